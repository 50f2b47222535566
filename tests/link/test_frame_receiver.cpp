// The receiving half of a transaction over bytes in memory: what it takes
// off the line, what it accepts and what it says, whatever arrives.

#include "link/FrameReceiver.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quillmar {
namespace {

using Lines = std::vector<std::string>;

// Bytes that arrive burst bytes at a time, one burst per wait.
class MemoryLine : public ByteSource {
public:
    MemoryLine(TBytes bytes, size_t burst) : bytes_(std::move(bytes)), burst_(burst) {
        arrived_ = std::min(bytes_.size(), burst_);
    }
    size_t Waiting() override { return arrived_ - taken_; }
    bool WaitForMore() override {
        if (arrived_ == bytes_.size()) return false;
        arrived_ = std::min(bytes_.size(), arrived_ + burst_);
        return true;
    }
    TBytes Read(size_t count) override {
        TBytes out;
        while (out.size() < count && (Waiting() > 0 || WaitForMore())) {
            const size_t n = std::min(Waiting(), count - out.size());
            out.insert(out.end(), bytes_.begin() + long(taken_), bytes_.begin() + long(taken_ + n));
            taken_ += n;
        }
        return out;
    }
    size_t left() const { return bytes_.size() - taken_; }

private:
    TBytes bytes_;
    size_t burst_, arrived_ = 0, taken_ = 0;
};

TBytes operator+(TBytes a, const TBytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Outcome {
    bool ok;
    TBytes reply;
    Lines log;
    std::vector<ErrorKind> kinds;
    size_t left;
};

Outcome receive(const TBytes& line, size_t burst = 1000) {
    const TBytes sent = TFrame(1, {}).AsBytes();
    MemoryLine source(line, burst);
    Outcome o;
    o.ok = ReceiveReply(source, sent, 1, o.reply, [&](const Error& e) {
        o.log.push_back(FormatError(e));
        o.kinds.push_back(e.kind);
    });
    o.left = source.left();
    return o;
}

TEST(FrameReceiver, TakesOffTheLineExactlyOneEchoAndOneReply) {
    const TBytes echo = TFrame(1, {}).AsBytes();
    const TBytes data(63, 0x42);
    const TBytes reply = TFrame(1, data).AsBytes();
    const TBytes next = TFrame(1, TBytes(63, 7)).AsBytes();
    for (const size_t burst : {size_t(1), size_t(3), size_t(1000)}) {
        const Outcome o = receive(echo + TBytes{0x00, 0x55, 0xAA} + reply + next, burst);
        EXPECT_TRUE(o.ok) << burst;
        EXPECT_EQ(o.reply, data);
        EXPECT_TRUE(o.log.empty());
        EXPECT_EQ(o.left, next.size()); // the next frame stays on the line
    }
    // A reply the length byte cuts short, or announces beyond what comes.
    TBytes bad = reply;
    bad.back() ^= 0x5A;
    EXPECT_EQ(receive(echo + bad).log, (Lines{"Check byte failure", "No reply"}));
    EXPECT_EQ(receive(echo + TBytes(reply.begin(), reply.begin() + 9)).log,
              (Lines{"Not enough bytes received", "No reply"}));
    EXPECT_EQ(receive(echo + TBytes(300, 0x11)).log, (Lines{"No frame start byte received", "No reply"}));
    EXPECT_EQ(receive(echo).log, (Lines{"No reply"}));
    EXPECT_EQ(receive(echo + TFrame(2, data).AsBytes()).log, (Lines{"Reply mode doesn't match"}));
    // What arrived wrong is a bad frame; what did not arrive in time, a time-out.
    using K = std::vector<ErrorKind>;
    EXPECT_EQ(receive(echo + bad).kinds, (K{ErrorKind::BadFrame, ErrorKind::Timeout}));
    EXPECT_EQ(receive(echo + TBytes(reply.begin(), reply.begin() + 9)).kinds,
              (K{ErrorKind::Timeout, ErrorKind::Timeout}));
    EXPECT_EQ(receive(echo + TFrame(2, data).AsBytes()).kinds, (K{ErrorKind::BadFrame}));
}

TEST(FrameReceiver, TheReplyBehindAnAlteredEchoIsTakenOffTheLine) {
    TBytes echo = TFrame(1, {}).AsBytes();
    echo.back() ^= 0x10;
    const TBytes reply = TFrame(1, TBytes(63, 1)).AsBytes();
    const Outcome o = receive(echo + reply, 5);
    EXPECT_FALSE(o.ok);
    EXPECT_TRUE(o.reply.empty());
    EXPECT_EQ(o.log, (Lines{"Bad echo (sent: F4 56 01 B5  received: F4 56 01 A5 )"}));
    EXPECT_EQ(o.left, 0u);
    // Nothing at all came back: nothing more is waited for.
    EXPECT_EQ(receive({}).log, (Lines{"Bad echo (sent: F4 56 01 B5  received: )"}));
    EXPECT_EQ(o.kinds, std::vector<ErrorKind>{ErrorKind::BadFrame});
    EXPECT_EQ(receive({}).kinds, std::vector<ErrorKind>{ErrorKind::Timeout});
}

} // namespace
} // namespace quillmar
