#include "link/FrameReceiver.h"

namespace quillmar {

namespace {

Error linkError(ErrorKind kind, const std::string& detail) {
    Error e;
    e.kind = kind;
    e.detail = detail;
    return e;
}

} // namespace

std::optional<TFrame> ReceiveFrameFrom(ByteSource& line, const LinkLog& log) {
    if (line.Waiting() == 0 && !line.WaitForMore()) return std::nullopt;

    // Hunt for the start byte. Bytes at 8192 baud arrive about 1.2 ms apart,
    // so when the queue runs dry mid-hunt the next byte is waited for (bounded).
    bool found = false;
    for (int skipped = 0; skipped <= MaxNoiseBytes; ++skipped) {
        if (line.Waiting() == 0 && !line.WaitForMore()) break;
        const TBytes b = line.Read(1);
        if (b.empty()) break;
        if (b[0] == FrameStartByte) {
            found = true;
            break;
        }
    }
    // The length byte may still be on the wire when the start byte is read.
    if (found && line.Waiting() == 0 && !line.WaitForMore()) found = false;
    const TBytes length = found ? line.Read(1) : TBytes{};
    if (length.empty()) {
        log(linkError(ErrorKind::Timeout, "No frame start byte received"));
        return std::nullopt;
    }

    // The length byte is trusted, but never read past: a value below the
    // bias asks for no further bytes and the check byte decides.
    const uint8_t lengthByte = length[0];
    const size_t body = lengthByte > FrameLengthBias ? size_t(lengthByte - FrameLengthBias) : 0;
    while (line.Waiting() < body) {
        if (!line.WaitForMore()) {
            log(linkError(ErrorKind::Timeout, "Not enough bytes received"));
            return std::nullopt;
        }
    }
    TBytes bytes{FrameStartByte, lengthByte};
    const TBytes rest = line.Read(body);
    bytes.insert(bytes.end(), rest.begin(), rest.end());

    TFrame frame;
    frame.Parse(bytes);
    if (frame.ComputeCheckByte() != frame.CheckByte) {
        log(linkError(ErrorKind::BadFrame, "Check byte failure"));
        return std::nullopt;
    }
    return frame;
}

bool ReceiveReply(ByteSource& line, const TBytes& sent, uint8_t mode, TBytes& reply, const LinkLog& log) {
    reply.clear();
    const TBytes echo = line.Read(sent.size());
    if (echo != sent) {
        Error e;
        e.kind = echo.empty() ? ErrorKind::Timeout : ErrorKind::BadFrame;
        e.lead = "Bad echo";
        e.reason = "sent: " + BytesToHex(sent) + " received: " + BytesToHex(echo);
        log(e);
        // Something came back, so the engine computer may well answer: its
        // reply is taken off the line (bounded, unlogged) rather than left to
        // arrive in the middle of the next transaction and spoil that too.
        if (!echo.empty()) ReceiveFrameFrom(line, [](const Error&) {});
        return false;
    }
    const std::optional<TFrame> answer = ReceiveFrameFrom(line, log);
    if (!answer) {
        log(linkError(ErrorKind::Timeout, "No reply"));
        return false;
    }
    if (answer->Mode != mode) {
        log(linkError(ErrorKind::BadFrame, "Reply mode doesn't match"));
        return false;
    }
    reply = answer->Data;
    return answer->CheckOK();
}

} // namespace quillmar
