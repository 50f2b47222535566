// Finding the serial ports in sysfs: which ttys count, how each is described,
// which by-id link belongs to which, in what order.

#include "link/SerialPorts.h"
#include "tests/link/FakeSysfs.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

namespace quillmar {
namespace {

using test::FakeSysfs;

std::vector<std::string> lines(const std::vector<SerialDeviceInfo>& devices) {
    std::vector<std::string> out;
    for (const SerialDeviceInfo& d : devices)
        out.push_back(PortListLine(d));
    return out;
}

const std::string Usb1 = "pci0000:00/0000:00:14.0/usb1";
const std::string FtdiById = "usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0";

// A desktop of today: USB adapters of three kinds, a CDC ACM board, one
// built-in UART behind the serial core's port and controller devices, three
// empty 8250 slots, virtual ttys, and an adapter whose node udev has not
// made yet.
void buildDesktop(FakeSysfs& fake) {
    fake.setUsbDevice(Usb1 + "/1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A1B2C3D4");
    fake.setDriver(Usb1 + "/1-1/1-1:1.0", "usb", "ftdi_sio");
    fake.setDriver(Usb1 + "/1-1/1-1:1.0/ttyUSB0", "usb-serial", "ftdi_sio");
    fake.addTty("ttyUSB0", Usb1 + "/1-1/1-1:1.0/ttyUSB0");
    fake.addById(FtdiById, "ttyUSB0");

    fake.setUsbDevice(Usb1 + "/1-2", "2341", "0043", "Arduino LLC", "Arduino Uno", "75833353035351F0E1C1");
    fake.setDriver(Usb1 + "/1-2/1-2:1.0", "usb", "cdc_acm");
    fake.addTty("ttyACM0", Usb1 + "/1-2/1-2:1.0");

    fake.setUsbDevice(Usb1 + "/1-3", "067b", "2303", "Prolific Technology Inc.", "USB-Serial Controller", "");
    fake.setDriver(Usb1 + "/1-3/1-3:1.0/ttyUSB2", "usb-serial", "pl2303");
    fake.addTty("ttyUSB2", Usb1 + "/1-3/1-3:1.0/ttyUSB2");
    fake.addById("usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0", "ttyUSB2");

    // A CH340 names nothing: its ids and driver say what it is.
    fake.setUsbDevice(Usb1 + "/1-4", "1a86", "7523", "", "", "");
    fake.setDriver(Usb1 + "/1-4/1-4:1.0/ttyUSB10", "usb-serial", "ch341");
    fake.addTty("ttyUSB10", Usb1 + "/1-4/1-4:1.0/ttyUSB10");

    fake.setUsbDevice(Usb1 + "/1-5", "0403", "6001", "FTDI", "FT232R USB UART", "B9");
    fake.addTty("ttyUSB3", Usb1 + "/1-5/1-5:1.0/ttyUSB3", false);

    fake.setDriver("pnp0/00:04", "pnp", "serial");
    fake.setDriver("pnp0/00:04/00:04:0", "serial-base", "ctrl");
    fake.setDriver("pnp0/00:04/00:04:0/00:04:0.0", "serial-base", "port");
    const auto ttyS0 = fake.addTty("ttyS0", "pnp0/00:04/00:04:0/00:04:0.0");
    FakeSysfs::write(ttyS0 / "type", "4\n");
    FakeSysfs::write(ttyS0 / "port", "0x3F8\n");
    FakeSysfs::write(ttyS0 / "iomem_base", "0x0\n");

    fake.setDriver("platform/serial8250", "platform", "serial8250");
    for (int n = 1; n <= 3; ++n) {
        const std::string name = "ttyS" + std::to_string(n);
        const auto tty =
            fake.addTty(name, "platform/serial8250/serial8250:0/serial8250:0." + std::to_string(n));
        // Legacy slots keep their addresses although nothing answers there.
        FakeSysfs::write(tty / "type", "0\n");
        FakeSysfs::write(tty / "port", n == 1 ? "0x2F8\n" : "0x0\n");
        FakeSysfs::write(tty / "iomem_base", "0x0\n");
    }

    for (const char* name : {"tty", "tty0", "tty1", "console", "ptmx"})
        fake.addVirtualTty(name);
}

TEST(SerialPorts, ADesktopsPortsAreListedOneLineEachInNaturalOrder) {
    FakeSysfs fake;
    buildDesktop(fake);
    const std::vector<SerialDeviceInfo> found = SerialPortFinder(fake.sys, fake.dev).find();
    const std::string dev = fake.dev.string();
    EXPECT_EQ(lines(found),
              (std::vector<std::string>{
                  dev + "/ttyACM0\tArduino LLC Arduino Uno, serial 75833353035351F0E1C1",
                  dev + "/ttyS0\t16550A serial port at I/O 0x3F8, driver serial",
                  dev + "/ttyUSB0\tFTDI FT232R USB UART, serial A1B2C3D4 (" + dev + "/serial/by-id/" +
                      FtdiById + ")",
                  dev + "/ttyUSB2\tProlific Technology Inc. USB-Serial Controller (" + dev +
                      "/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0)",
                  dev + "/ttyUSB10\tUSB serial adapter 1a86:7523, driver ch341",
              }));

    // What the dialog shows and assigns besides the line.
    ASSERT_EQ(found.size(), 5u);
    const SerialDeviceInfo& ftdi = found[2];
    EXPECT_TRUE(ftdi.Usb);
    EXPECT_EQ(ftdi.Manufacturer, "FTDI");
    EXPECT_EQ(ftdi.Product, "FT232R USB UART");
    EXPECT_EQ(ftdi.SerialNumber, "A1B2C3D4");
    EXPECT_EQ(ftdi.Driver, "ftdi_sio");
    EXPECT_EQ(ftdi.StableName(), dev + "/serial/by-id/" + FtdiById);
    EXPECT_EQ(found[0].Driver, "cdc_acm");
    // The serial core's own port and controller devices are not the driver.
    EXPECT_FALSE(found[1].Usb);
    EXPECT_EQ(found[1].Driver, "serial");
    EXPECT_EQ(found[1].StableName(), dev + "/ttyS0");
}

TEST(SerialPorts, EmptySlotsOnOldKernelsAndOtherUartsAreToldApart) {
    FakeSysfs fake;
    // Before the type attribute: an empty slot has neither an I/O port nor a
    // memory base.
    fake.setDriver("platform/serial8250", "platform", "serial8250");
    for (const char* name : {"ttyS1", "ttyS2"}) {
        const auto tty = fake.addTty(name, "platform/serial8250");
        FakeSysfs::write(tty / "port", "0x0\n");
        FakeSysfs::write(tty / "iomem_base", "0x0\n");
    }
    fake.setDriver("pnp0/00:05", "pnp", "serial");
    const auto ttyS4 = fake.addTty("ttyS4", "pnp0/00:05");
    FakeSysfs::write(ttyS4 / "port", "0x2E8\n");
    FakeSysfs::write(ttyS4 / "iomem_base", "0x0\n");
    // A memory-mapped UART of a board, of a type without a name here.
    fake.setDriver("platform/soc/fe201000.serial", "amba", "uart-pl011");
    const auto ama = fake.addTty("ttyAMA0", "platform/soc/fe201000.serial");
    FakeSysfs::write(ama / "type", "83\n");
    FakeSysfs::write(ama / "port", "0x0\n");
    FakeSysfs::write(ama / "iomem_base", "0xFE201000\n");
    // A serial device that tells nothing about itself.
    fake.addTty("ttyX0", "platform/x0");

    const std::string dev = fake.dev.string();
    EXPECT_EQ(lines(SerialPortFinder(fake.sys, fake.dev).find()),
              (std::vector<std::string>{
                  dev + "/ttyAMA0\tUART type 83 serial port at memory 0xFE201000, driver uart-pl011",
                  dev + "/ttyS4\tSerial port at I/O 0x2E8, driver serial",
                  dev + "/ttyX0\tSerial port",
              }));
}

TEST(SerialPorts, UsbStringsAreMadeFitForOneLine) {
    FakeSysfs fake;
    // Blanks and control characters in a string collapse to one space.
    fake.setUsbDevice(Usb1 + "/1-1", "0403", "6015", "  FTDI ", "FT230X\tBasic\nUART  ", "DN0\r1");
    fake.addTty("ttyUSB0", Usb1 + "/1-1/1-1:1.0/ttyUSB0");
    // A product that names its maker already; no serial number.
    fake.setUsbDevice(Usb1 + "/1-2", "0403", "6001", "FTDI", "ftdi usb serial converter", "");
    fake.addTty("ttyUSB1", Usb1 + "/1-2/1-2:1.0/ttyUSB1");
    // No product string: the interface's name stands in; only a maker.
    fake.setUsbDevice(Usb1 + "/1-3", "10c4", "ea70", "Silicon Labs", "", "0099");
    FakeSysfs::write(fake.sys / "devices" / (Usb1 + "/1-3/1-3:1.1/interface"), "CP2105 Enhanced COM Port\n");
    fake.addTty("ttyUSB2", Usb1 + "/1-3/1-3:1.1/ttyUSB2");
    fake.setUsbDevice(Usb1 + "/1-4", "1234", "5678", "Maker Only", "", "");
    fake.addTty("ttyUSB3", Usb1 + "/1-4/1-4:1.0/ttyUSB3");
    // Two links to one node: the first by name is the one shown.
    fake.addById("usb-b-if00-port0", "ttyUSB3");
    fake.addById("usb-a-if00-port0", "ttyUSB3");
    // A link to no node at all changes nothing.
    fake.addById("usb-gone-if00-port0", "ttyUSB9");

    const std::string dev = fake.dev.string();
    const std::vector<SerialDeviceInfo> found = SerialPortFinder(fake.sys, fake.dev).find();
    EXPECT_EQ(lines(found), (std::vector<std::string>{
                                dev + "/ttyUSB0\tFTDI FT230X Basic UART, serial DN0 1",
                                dev + "/ttyUSB1\tftdi usb serial converter",
                                dev + "/ttyUSB2\tSilicon Labs CP2105 Enhanced COM Port, serial 0099",
                                dev + "/ttyUSB3\tMaker Only (" + dev + "/serial/by-id/usb-a-if00-port0)",
                            }));
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0].Product, "FT230X Basic UART");
}

TEST(SerialPorts, BrokenOrMissingTreesGiveNothingRatherThanFail) {
    EXPECT_TRUE(SerialPortFinder("/nonexistent/sys", "/nonexistent/dev").find().empty());

    FakeSysfs fake;
    // A device link to nowhere, a class entry that is a plain file, and a
    // type attribute holding junk (taken as a UART rather than hidden).
    std::filesystem::create_directories(fake.sys / "devices/platform/gone/tty/ttyS9");
    std::filesystem::create_directory_symlink("../../../nothing",
                                              fake.sys / "devices/platform/gone/tty/ttyS9/device");
    std::filesystem::create_directory_symlink("../../devices/platform/gone/tty/ttyS9",
                                              fake.sys / "class/tty/ttyS9");
    FakeSysfs::write(fake.dev / "ttyS9", "");
    FakeSysfs::write(fake.sys / "class/tty/stray", "");
    const auto odd = fake.addTty("ttyS5", "platform/odd");
    FakeSysfs::write(odd / "type", "unknown\n");
    // No by-id folder at all, and a node name from the uevent.
    FakeSysfs::write(odd / "uevent", "MAJOR=4\nMINOR=69\nDEVNAME=tts/5\n");
    FakeSysfs::write(fake.dev / "tts/5", "");

    EXPECT_EQ(lines(SerialPortFinder(fake.sys, fake.dev).find()),
              (std::vector<std::string>{fake.dev.string() + "/tts/5\tSerial port"}));
}

// This machine's own ports: whatever they are, each line is whole and its
// node is there.
TEST(SerialPorts, ThisMachinesPortsAreWholeLinesOfNodesThatExist) {
    for (const SerialDeviceInfo& d : FindSerialDevices()) {
        const std::string line = PortListLine(d);
        SCOPED_TRACE(line);
        struct stat st {};
        EXPECT_EQ(::stat(d.Device.c_str(), &st), 0);
        EXPECT_FALSE(d.Description.empty());
        EXPECT_EQ(line.find('\n'), std::string::npos);
        EXPECT_EQ(line.find('\t'), d.Device.size());
        EXPECT_EQ(line.rfind('\t'), d.Device.size());
    }
}

} // namespace
} // namespace quillmar
