#pragma once
// Receiving one ALDL reply, apart from the port it comes through: the echo of
// the request, then the hunt for the start byte, the length byte, the bytes
// it announces and the check byte. The serial port is one source of bytes; a
// block of bytes in memory is another (the fuzzer feeds the same routine).

#include "link/Frame.h"
#include "store/base/Error.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace quillmar {

// Where received bytes come from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Bytes that can be taken without waiting.
    virtual size_t Waiting() = 0;
    // Waits (bounded) for bytes that came after the last call of Waiting;
    // false when none came in time or the line failed.
    virtual bool WaitForMore() = 0;
    // At most count bytes, waiting (bounded) while they keep coming.
    virtual TBytes Read(size_t count) = 0;
};

// Receives one failure of a transaction: a Timeout (nothing, or too little,
// arrived in time) or a BadFrame; FormatError gives its error-log line.
using LinkLog = std::function<void(const Error&)>;

// Garbage skipped while hunting for a start byte, at most: longer than any
// frame, so a stream of noise cannot hold a transaction for long.
inline constexpr int MaxNoiseBytes = 256;

// A received frame with a correct check byte, or nothing. The hunt skips at
// most MaxNoiseBytes bytes; a length byte below the bias asks for no further
// bytes, and nothing is ever read past what the length byte announces.
// Failures go to log: "No frame start byte received", "Not enough bytes
// received", "Check byte failure". Nothing at all arriving logs nothing.
std::optional<TFrame> ReceiveFrameFrom(ByteSource& line, const LinkLog& log);

// The receiving half of a transaction: the echo of sent, then a reply frame
// of the same mode with a correct check byte. True with reply holding its
// data bytes; false with reply empty and one line (or two) in log. After an
// echo that came back altered, a reply that follows it is received and
// dropped, so that it cannot spoil the next transaction.
bool ReceiveReply(ByteSource& line, const TBytes& sent, uint8_t mode, TBytes& reply, const LinkLog& log);

} // namespace quillmar
