#include "link/ALDLComms.h"

#include "link/FrameReceiver.h"

#include <cerrno>

namespace quillmar {

namespace {

// The port as a source of received bytes.
class PortSource : public ByteSource {
public:
    explicit PortSource(TSerial& port) : port_(port) {}
    size_t Waiting() override { return port_.BytesWaiting(); }
    bool WaitForMore() override { return port_.WaitForMask(EV_RXCHAR); }
    TBytes Read(size_t count) override { return port_.ReadBytes(count); }

private:
    TSerial& port_;
};

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
    if (auto number = PortNumberFromName(port)) return Connect(*number);
    if (auto device = ResolvePort(port)) return ConnectDevice(*device);
    ClosePort();
    setLastError(ENOENT);
    Error e;
    e.kind = ErrorKind::UnknownPort;
    e.lead = "Unknown port";
    e.place.file = port;
    e.quoteFile = true;
    e.detail = "give COM1 to COM20 or a device path";
    e.code = ENOENT;
    setFailure(std::move(e));
    return false;
}

bool TALDLComms::connected() {
    SetTimeouts({0, 0});
    ArmEventWait(0);
    return true;
}

void TALDLComms::log(const Error& error) {
    lastTransactionFailure_ = error;
    if (ErrorLog) ErrorLog->push_back(FormatError(error));
}

bool TALDLComms::Transact(uint8_t mode, const TBytes& data, TBytes& reply) {
    reply.clear();
    lastTransactionFailure_.reset();
    TFrame request(mode, data);
    const TBytes sent = request.AsBytes();
    Purge(PURGE_RXCLEAR);
    if (!WriteBytes(sent)) return false;
    PortSource line(*this);
    return ReceiveReply(line, sent, request.Mode, reply, [this](const Error& e) { log(e); });
}

std::optional<TFrame> TALDLComms::ReceiveFrame() {
    lastTransactionFailure_.reset();
    PortSource line(*this);
    return ReceiveFrameFrom(line, [this](const Error& e) { log(e); });
}

} // namespace quillmar
