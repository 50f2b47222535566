#include "link/ALDLComms.h"

#include <cerrno>

namespace quillmar {

namespace {
// Garbage skipped while hunting for a start byte, at most: longer than any
// frame, so a stream of noise cannot hold a transaction for long.
constexpr int MaxNoiseBytes = 256;
} // namespace

TLineSettings TALDLComms::LinkSettings() {
    return TLineSettings::Raw8N1(LinkBaud);
}

TALDLComms::TALDLComms() : TSerial(LinkSettings()) {
    SetWaitLimit(LinkWaitLimit);
}

bool TALDLComms::Connect(uint8_t portNumber) {
    return OpenPort(portNumber, GENERIC_READ | GENERIC_WRITE) && connected();
}

bool TALDLComms::ConnectDevice(const std::string& path) {
    return OpenDevice(path, GENERIC_READ | GENERIC_WRITE) && connected();
}

bool TALDLComms::ConnectPort(const std::string& port) {
    if (auto number = PortNumberFromName(port))
        return Connect(*number);
    if (auto device = ResolvePort(port))
        return ConnectDevice(*device);
    ClosePort();
    setLastError(ENOENT);
    LastErrorText = "Unknown port \"" + port + "\": give COM1 to COM20 or a device path";
    return false;
}

bool TALDLComms::connected() {
    SetTimeouts({0, 0});
    ArmEventWait(0);
    return true;
}

void TALDLComms::log(const std::string& line) {
    if (ErrorLog)
        ErrorLog->push_back(line);
}

bool TALDLComms::Transact(uint8_t mode, const TBytes& data, TBytes& reply) {
    reply.clear();
    TFrame request(mode, data);
    const TBytes sent = request.AsBytes();
    Purge(PURGE_RXCLEAR);
    if (!WriteBytes(sent))
        return false;

    const TBytes echo = ReadBytes(sent.size());
    std::string error;
    std::optional<TFrame> answer;
    if (echo != sent) {
        error = "Bad echo (sent: " + BytesToHex(sent) + " received: " + BytesToHex(echo) + ")";
    } else {
        answer = ReceiveFrame();
        if (!answer)
            error = "No reply";
    }
    if (!error.empty()) {
        log(error);
        return false;
    }
    if (answer->Mode != request.Mode) {
        log("Reply mode doesn't match");
        return false;
    }
    reply = answer->Data;
    return answer->CheckOK();
}

std::optional<TFrame> TALDLComms::ReceiveFrame() {
    if (BytesWaiting() == 0 && !WaitForMask(EV_RXCHAR))
        return std::nullopt;

    // Hunt for the start byte. Bytes at 8192 baud arrive about 1.2 ms apart,
    // so when the queue runs dry mid-hunt the next byte is waited for (bounded).
    bool found = false;
    for (int skipped = 0; skipped <= MaxNoiseBytes; ++skipped) {
        if (BytesWaiting() == 0 && !WaitForMask(EV_RXCHAR))
            break;
        const TBytes b = ReadBytes(1);
        if (b.empty())
            break;
        if (b[0] == FrameStartByte) {
            found = true;
            break;
        }
    }
    // The length byte may still be on the wire when the start byte is read.
    if (found && BytesWaiting() == 0 && !WaitForMask(EV_RXCHAR))
        found = false;
    TBytes length = found ? ReadBytes(1) : TBytes{};
    if (length.empty()) {
        log("No frame start byte received");
        return std::nullopt;
    }

    // The length byte is trusted, but never read past: a value below the
    // bias asks for no further bytes and the check byte decides.
    const uint8_t lengthByte = length[0];
    const size_t body = lengthByte > FrameLengthBias ? size_t(lengthByte - FrameLengthBias) : 0;
    while (BytesWaiting() < body) {
        if (!WaitForMask(EV_RXCHAR)) {
            log("Not enough bytes received");
            return std::nullopt;
        }
    }
    TBytes bytes{FrameStartByte, lengthByte};
    const TBytes rest = ReadBytes(body);
    bytes.insert(bytes.end(), rest.begin(), rest.end());

    TFrame frame;
    frame.Parse(bytes);
    if (frame.ComputeCheckByte() != frame.CheckByte) {
        log("Check byte failure");
        return std::nullopt;
    }
    return frame;
}

} // namespace quillmar
