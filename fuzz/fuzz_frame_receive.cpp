// Arbitrary bytes as what the line returns after a mode 1 request: the echo,
// then the reply, through the receiving routine every transaction uses. The
// first byte says how many bytes each wait brings (1 to 16) and whether the
// request carried a message byte; the rest arrive in those bursts.
#include "link/FrameReceiver.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using quillmar::TBytes;

class BurstLine : public quillmar::ByteSource {
public:
    BurstLine(const uint8_t* data, size_t size, size_t burst) : data_(data), size_(size), burst_(burst) {
        arrived_ = std::min(size_, burst_);
    }
    size_t Waiting() override { return arrived_ - taken_; }
    bool WaitForMore() override {
        ++waits_;
        if (arrived_ == size_) return false;
        arrived_ = std::min(size_, arrived_ + burst_);
        return true;
    }
    TBytes Read(size_t count) override {
        TBytes out;
        while (out.size() < count) {
            if (Waiting() == 0 && !WaitForMore()) break;
            const size_t n = std::min(Waiting(), count - out.size());
            out.insert(out.end(), data_ + taken_, data_ + taken_ + n);
            taken_ += n;
        }
        return out;
    }
    size_t taken() const { return taken_; }
    size_t waits() const { return waits_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t burst_;
    size_t arrived_ = 0;
    size_t taken_ = 0;
    size_t waits_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t burst = size_t(data[0] & 0x0F) + 1;
    const bool withMessage = data[0] & 0x10;
    BurstLine line(data + 1, size - 1, burst);
    quillmar::TFrame request(1, withMessage ? TBytes{uint8_t(data[0] >> 5)} : TBytes{});
    const TBytes sent = request.AsBytes();
    TBytes reply;
    int lines = 0;
    const bool ok = quillmar::ReceiveReply(line, sent, request.Mode, reply, [&](const quillmar::Error& e) {
        ++lines;
        if (quillmar::FormatError(e).empty()) std::abort();
    });
    // Nothing read past what arrived; a bounded number of waits; at most two
    // lines for one failure, none for a success.
    if (line.taken() > size - 1) std::abort();
    if (line.waits() > size + 4) std::abort();
    if (ok ? lines != 0 : (lines < 1 || lines > 2)) std::abort();
    if (!ok && !reply.empty()) std::abort();
    if (ok) {
        // What was accepted is a frame of the request's mode that checks out.
        quillmar::TFrame again(request.Mode, reply), parsed;
        parsed.Parse(again.AsBytes());
        if (reply.size() > 255 || !parsed.CheckOK() || parsed.Data != reply) std::abort();
    }
    return 0;
}
