#pragma once
// The serial ports this computer has now, read from sysfs and /dev.
//
// A tty is a serial port when /sys/class/tty/NAME has a device link: virtual
// consoles, the console, ptmx and the pseudo-terminals have none, so they
// are never listed. A port of the kernel's serial core (ttyS*, ttyAMA* and
// the like) is listed only when a UART stands behind it: its type attribute
// reads non-zero (0 is the core's "unknown", which every unused ttyS slot
// of the 8250 driver reports); a kernel too old to have that attribute
// shows an empty slot as I/O port 0 and memory base 0 instead. A tty whose
// device node is missing from /dev cannot be opened and is left out too.
//
// USB adapters are described by the strings of the USB device above the
// tty in the sysfs device tree (maker, product, serial number); other ports
// by their UART, address and driver. udev's /dev/serial/by-id links, which
// keep their names when an adapter is plugged into another socket, are
// matched to the devices they lead to.

#include <filesystem>
#include <string>
#include <vector>

namespace quillmar {

struct SerialDeviceInfo {
    std::string Device;       // the device node: /dev/ttyUSB0
    std::string ById;         // its /dev/serial/by-id link; empty when there is none
    std::string Description;  // "FTDI FT232R USB UART, serial A1B2C3D4"
    std::string Manufacturer; // the USB device's strings; empty for other ports
    std::string Product;
    std::string SerialNumber;
    std::string Driver; // the kernel driver behind the tty: ftdi_sio, cdc_acm, serial
    bool Usb = false;

    // The name to point a COM port at: the by-id link where there is one
    // (it survives re-plugging), else the device node.
    const std::string& StableName() const { return ById.empty() ? Device : ById; }
};

class SerialPortFinder {
public:
    // sysRoot stands for /sys and devRoot for /dev; the paths found are
    // under devRoot.
    explicit SerialPortFinder(std::filesystem::path sysRoot = "/sys", std::filesystem::path devRoot = "/dev");

    // The ports found, in natural order of their device paths (ttyS2 before
    // ttyS10). Unreadable parts of sysfs count as nothing found.
    std::vector<SerialDeviceInfo> find() const;

private:
    std::filesystem::path sysRoot_;
    std::filesystem::path devRoot_;
};

// The serial ports of this computer: SerialPortFinder().find().
std::vector<SerialDeviceInfo> FindSerialDevices();

// One port as a line of text: the device, a tab, the description, then the
// by-id link in parentheses where there is one.
std::string PortListLine(const SerialDeviceInfo& device);

} // namespace quillmar
