// quillmar-cli ports: the lines it prints for a made-up machine, and the
// program itself on this one.

#include "cli/CliPorts.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/link/FakeSysfs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include <fcntl.h>
#include <unistd.h>

namespace quillmar::clitest {
namespace {

// What a call prints on stdout and stderr, caught in files of dir.
CliRun captured(const fs::path& dir, const std::function<int()>& call) {
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = ::dup(1), savedErr = ::dup(2);
    const fs::path out = dir / "captured-out", err = dir / "captured-err";
    const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    ::close(outFd);
    ::close(errFd);
    const int status = call();
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut, 1);
    ::dup2(savedErr, 2);
    ::close(savedOut);
    ::close(savedErr);
    return {status, readText(out), readText(err)};
}

TEST_F(CliTest, PortsPrintsOneLinePerDeviceOrSaysThereIsNone) {
    test::FakeSysfs fake;
    const std::string usb = "pci0000:00/0000:00:14.0/usb1/1-1";
    fake.setUsbDevice(usb, "0403", "6001", "FTDI", "FT232R USB UART", "A1B2C3D4");
    fake.setDriver(usb + "/1-1:1.0/ttyUSB0", "usb-serial", "ftdi_sio");
    fake.addTty("ttyUSB0", usb + "/1-1:1.0/ttyUSB0");
    fake.addById("usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0", "ttyUSB0");
    fake.setDriver("platform/serial8250", "platform", "serial8250");
    const auto empty = fake.addTty("ttyS1", "platform/serial8250");
    test::FakeSysfs::write(empty / "type", "0\n");
    fake.addVirtualTty("tty0");
    const std::string dev = fake.dev.string();

    const CliRun one = captured(dir, [&] { return CmdPorts({}, SerialPortFinder(fake.sys, fake.dev)); });
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out, dev + "/ttyUSB0\tFTDI FT232R USB UART, serial A1B2C3D4 (" + dev +
                           "/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0)\n");
    EXPECT_EQ(one.err, "");

    // Only an empty 8250 slot and a console: nothing to list, and no failure.
    fs::remove(fake.sys / "class/tty/ttyUSB0");
    const CliRun none = captured(dir, [&] { return CmdPorts({}, SerialPortFinder(fake.sys, fake.dev)); });
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "No serial ports found\n");
}

TEST_F(CliTest, PortsListsThisMachinesPortsAndHasHelpLikeTheOtherCommands) {
    std::string want;
    for (const SerialDeviceInfo& d : FindSerialDevices())
        want += PortListLine(d) + "\n";
    const CliRun r = run({"ports"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, want);
    EXPECT_EQ(r.err, want.empty() ? "No serial ports found\n" : "");

    const CliRun help = run({"ports", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: quillmar-cli ports\n", 0), 0u) << help.out;
    EXPECT_NE(run({"--help"}).out.find("\n  ports      list the serial ports of this computer\n"),
              std::string::npos);

    const CliRun extra = run({"ports", "/dev/ttyS0"});
    EXPECT_EQ(extra.status, 2);
    EXPECT_NE(extra.err.find("quillmar-cli ports: unexpected argument '/dev/ttyS0'"), std::string::npos)
        << extra.err;
    const CliRun option = run({"ports", "--all"});
    EXPECT_EQ(option.status, 2);
    EXPECT_NE(option.err.find("unknown option --all"), std::string::npos) << option.err;
    EXPECT_EQ(option.out, "");
}

} // namespace
} // namespace quillmar::clitest
