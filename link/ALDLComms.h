#pragma once
// The ALDL transaction over one serial port: write a request frame, read back
// its echo (the line is shared, so every byte sent returns), then receive and
// check one reply frame. Failures return false and append one line to the
// error log.

#include <optional>
#include <string>
#include <vector>

#include "link/Frame.h"
#include "link/Serial.h"

namespace quillmar {

class TALDLComms : public TSerial {
public:
    static constexpr uint32_t LinkBaud = 8192;
    static constexpr uint32_t LinkWaitLimit = 100; // milliseconds

    TALDLComms();

    // The list of text lines failed transactions are written to; not owned.
    std::vector<std::string>* ErrorLog = nullptr;

    // Opens COMn (1..20) with the link's line settings.
    bool Connect(uint8_t portNumber);
    // The same for a device path given directly (an overridden port, a pseudo-terminal).
    bool ConnectDevice(const std::string& path);
    // A port as a user names it: "COM3" (any case) or a device path.
    bool ConnectPort(const std::string& port);

    // One request and its reply. On success reply holds the reply's data bytes;
    // on failure it is empty and one line (or two) went to the error log.
    bool Transact(uint8_t mode, const TBytes& data, TBytes& reply);
    bool Request(uint8_t mode, TBytes& reply) { return Transact(mode, {}, reply); }

    // A received frame with a correct check byte, or nothing.
    std::optional<TFrame> ReceiveFrame();

    // The last failure the last Transact or ReceiveFrame logged (a Timeout or
    // a BadFrame), or nothing. A failed write is in LastFailure().
    const std::optional<Error>& TransactionFailure() const { return lastTransactionFailure_; }

    // The line settings of the link: 8 data bits, no parity, 1 stop bit at 8192 baud.
    static TLineSettings LinkSettings();

private:
    bool connected();
    void log(const Error& error);

    std::optional<Error> lastTransactionFailure_;
};

} // namespace quillmar
