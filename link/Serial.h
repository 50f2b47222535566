#pragma once
// A small serial-port class: exclusive open of a numbered port or a device
// path, line settings applied at open and restored at close, and blocking
// operations whose every single wait is bounded by WaitLimit milliseconds.
// Failures never throw: each call returns false or a short byte string and
// leaves the system's error code in LastError() and the failure in
// LastFailure() (as text in LastErrorText).

#include <array>
#include <cstdint>
#include <string>

#include "link/Frame.h"
#include "link/PortTable.h"
#include "store/base/Error.h"

namespace quillmar {

// Event masks a wait can be armed with. A break or a line error always ends a
// wait, as a failure.
inline constexpr uint32_t EV_RXCHAR = 0x0001;  // a byte arrived since arming
inline constexpr uint32_t EV_TXEMPTY = 0x0004; // the last byte has left
inline constexpr uint32_t EV_BREAK = 0x0040;
inline constexpr uint32_t EV_ERR = 0x0080;

// Queues emptied by Purge.
inline constexpr uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr uint32_t PURGE_RXCLEAR = 0x0008;

// Access asked for at open.
inline constexpr uint32_t GENERIC_READ = 0x80000000u;
inline constexpr uint32_t GENERIC_WRITE = 0x40000000u;

// The line settings of a port: the fields of the kernel's termios2 record.
struct TLineSettings {
    uint32_t InputFlags = 0;
    uint32_t OutputFlags = 0;
    uint32_t ControlFlags = 0;
    uint32_t LocalFlags = 0;
    uint8_t LineDiscipline = 0;
    std::array<uint8_t, 19> ControlChars{};
    uint32_t InputSpeed = 0;
    uint32_t OutputSpeed = 0;

    bool operator==(const TLineSettings&) const = default;

    // Raw bytes, no parity, 8 data bits, 1 stop bit, receiver on, modem
    // control lines ignored, no flow control, at any rate (BOTHER).
    static TLineSettings Raw8N1(uint32_t baud);
};

// Read time-outs: VMIN (bytes) and VTIME (tenths of a second).
struct TSerialTimeouts {
    uint8_t MinBytes = 0;
    uint8_t Tenths = 0;
    bool operator==(const TSerialTimeouts&) const = default;
};

// What to tell a user the system refused a device (EACCES): the group to
// join when the device's group may read and write it, otherwise who may open
// it. The second form works from the device's mode bits and the names of its
// owner and group.
std::string PermissionAdvice(const std::string& device);
std::string PermissionAdvice(unsigned mode, const std::string& owner, const std::string& group);

// Reads and writes the line settings of any open terminal (a port, either
// side of a pseudo-terminal). False with errno set on failure.
bool ReadLineSettings(int fd, TLineSettings& settings);
bool WriteLineSettings(int fd, const TLineSettings& settings);

class TSerial {
public:
    // Without settings, the first successful open adopts the port's own.
    TSerial();
    explicit TSerial(const TLineSettings& settings);
    virtual ~TSerial();
    TSerial(const TSerial&) = delete;
    TSerial& operator=(const TSerial&) = delete;

    // Opens COM1..COM20 exclusively. An open port is closed first; a number
    // outside 1..20 then gives false.
    bool OpenPort(uint8_t number, uint32_t access = GENERIC_READ | GENERIC_WRITE);
    // The same for a device path given directly. PortNumber() is the table
    // entry that opens this path, or 0 when none does.
    bool OpenDevice(const std::string& path, uint32_t access = GENERIC_READ | GENERIC_WRITE);
    virtual void ClosePort();

    // Bytes in the input queue.
    uint32_t BytesWaiting();
    bool ArmEventWait(uint32_t mask);
    // Waits for the armed event, or for an outstanding write to finish,
    // at most WaitLimit milliseconds.
    virtual bool WaitForEvent();
    bool WaitForMask(uint32_t mask);
    // Writes all bytes and waits (bounded) until they have left.
    virtual bool WriteBytes(const TBytes& bytes);
    // At most count bytes; returns early once one wait passes with nothing arriving.
    TBytes ReadBytes(size_t count);
    // Makes LastError() the last failure: LastFailure() and LastErrorText.
    void ReportError();

    // Empties the receive and/or transmit queues (PURGE_RXCLEAR, PURGE_TXCLEAR).
    bool Purge(uint32_t flags);
    bool SetTimeouts(const TSerialTimeouts& timeouts);

    bool IsOpen() const { return isOpen_; }
    uint8_t PortNumber() const { return portNumber_; }
    const std::string& DevicePath() const { return devicePath_; }
    int Handle() const { return handle_; }
    bool KeepPortSettings() const { return keepPortSettings_; }
    const TLineSettings& SavedSettings() const { return savedSettings_; }
    const TLineSettings& WantedSettings() const { return wantedSettings_; }
    const TSerialTimeouts& SavedTimeouts() const { return savedTimeouts_; }
    bool IoPending() const { return ioPending_; }
    bool TimedOut() const { return timedOut_; }
    uint32_t LastError() const { return lastError_; }
    uint32_t WaitLimit() const { return waitLimit_; }
    // The open device went away while in use: it hung up, or an operation
    // failed as on a device that is gone (EIO, ENXIO, ENODEV and the like).
    // Cleared by the next successful open.
    bool LineLost() const { return lineLost_; }
    void SetWaitLimit(uint32_t milliseconds) { waitLimit_ = milliseconds; }

    // The last failure: its kind (PermissionDenied, InUse, RateNotKept,
    // LineLost, PortFailure, UnknownPort), the device as its place and the
    // system's error number.
    const Error& LastFailure() const { return lastFailure_; }
    // The same as text (FormatError): the system's text for LastError(),
    // naming the device; set by ReportError.
    std::string LastErrorText;

protected:
    void setLastError(uint32_t code) { lastError_ = code; }
    // Makes error the last failure, LastErrorText its text.
    void setFailure(Error error) {
        LastErrorText = FormatError(error);
        lastFailure_ = std::move(error);
    }

private:
    struct LineCounts {
        uint32_t breaks = 0;
        uint32_t errors = 0;
    };

    bool openPath(const std::string& path, uint8_t number, uint32_t access);
    uint32_t configure(); // 0 or the reason the settings were refused
    void releaseHandle();
    bool applyTimeouts(const TSerialTimeouts& timeouts);
    void drainInput();
    size_t readNow(size_t count, TBytes& into);
    bool readLineCounts(LineCounts& counts) const;
    uint32_t waitForInput(int64_t deadlineNs);
    uint32_t waitForWrite(int64_t deadlineNs);
    uint32_t waitForTxEmpty(int64_t deadlineNs);
    uint32_t baud() const;

    bool keepPortSettings_ = false;
    TLineSettings savedSettings_;
    TSerialTimeouts savedTimeouts_;
    bool ioPending_ = false;
    uint8_t portNumber_ = 0;
    TLineSettings wantedSettings_;
    int handle_ = -1;
    uint32_t lastError_ = 0;
    Error lastFailure_;
    bool timedOut_ = false;
    bool isOpen_ = false;
    bool lineLost_ = false;
    uint32_t waitLimit_ = 1000;

    std::string devicePath_;
    uint32_t armedMask_ = 0;
    TBytes pending_; // bytes taken from the driver while arming a wait for new ones
    size_t pendingHead_ = 0;
    size_t seen_ = 0;            // bytes waiting when the caller last asked BytesWaiting
    bool arrivedUnseen_ = false; // bytes came between that question and arming
    TBytes writeBuffer_;         // the outstanding write
    size_t writeOffset_ = 0;
    TSerialTimeouts currentTimeouts_;
    bool haveLineCounts_ = false; // the driver reports break and error counts
    LineCounts armedCounts_;
    bool haveModemLines_ = false;
    int savedModemLines_ = 0;
    bool lowLatencySet_ = false; // cleared again at close
};

} // namespace quillmar
