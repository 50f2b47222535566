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
    LastErrorText = "Unknown port \"" + port + "\": give COM1 to COM20 or a device path";
    return false;
}

bool TALDLComms::connected() {
    SetTimeouts({0, 0});
    ArmEventWait(0);
    return true;
}

void TALDLComms::log(const std::string& line) {
    if (ErrorLog) ErrorLog->push_back(line);
}

bool TALDLComms::Transact(uint8_t mode, const TBytes& data, TBytes& reply) {
    reply.clear();
    TFrame request(mode, data);
    const TBytes sent = request.AsBytes();
    Purge(PURGE_RXCLEAR);
    if (!WriteBytes(sent)) return false;
    PortSource line(*this);
    return ReceiveReply(line, sent, request.Mode, reply, [this](const std::string& l) { log(l); });
}

std::optional<TFrame> TALDLComms::ReceiveFrame() {
    PortSource line(*this);
    return ReceiveFrameFrom(line, [this](const std::string& l) { log(l); });
}

} // namespace quillmar
