#include <gtest/gtest.h>

#include <sys/stat.h>

#include <asm/termbits.h>
#include <sys/wait.h>

#include <memory>
#include <thread>

#include "link/PortTable.h"
#include "link/Serial.h"
#include "tests/link/PtyPair.h"

using namespace quillmar;
using quillmar::test::PtyPair;

namespace {

// Exposes the error code so the message texts can be checked.
class ProbeSerial : public TSerial {
public:
    using TSerial::TSerial;
    void fail(uint32_t code) {
        setLastError(code);
        ReportError();
    }
};

TLineSettings settingsOf(int fd) {
    TLineSettings s;
    EXPECT_TRUE(ReadLineSettings(fd, s));
    return s;
}

} // namespace

TEST(PortTable, NamesDevicesAndOverrides) {
    EXPECT_EQ(PortName(1), "COM1");
    EXPECT_EQ(PortName(21), "");
    EXPECT_EQ(PortDevice(1), "/dev/ttyS0");
    EXPECT_EQ(PortDevice(20), "/dev/ttyS19");
    EXPECT_EQ(PortDevice(0), "");

    EXPECT_EQ(PortNumberFromName("com12"), 12);
    EXPECT_EQ(PortNumberFromName("COM20"), 20);
    EXPECT_FALSE(PortNumberFromName("COM21"));
    EXPECT_FALSE(PortNumberFromName("COM0"));
    EXPECT_FALSE(PortNumberFromName("COM03"));
    EXPECT_FALSE(PortNumberFromName("COMX"));

    ASSERT_TRUE(SetPortDevice(4, "/dev/ttyUSB0"));
    EXPECT_EQ(PortDevice(4), "/dev/ttyUSB0");
    EXPECT_EQ(ResolvePort("com4"), "/dev/ttyUSB0");
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyUSB0"), 4);
    SetPortDevice(4, "");
    EXPECT_EQ(PortDevice(4), "/dev/ttyS3");
    EXPECT_FALSE(SetPortDevice(21, "/dev/null"));

    EXPECT_EQ(ResolvePort("/dev/pts/7"), "/dev/pts/7");
    EXPECT_FALSE(ResolvePort("ttyS0"));
    EXPECT_FALSE(ResolvePort(""));
}

TEST(Serial, PortNumbersOutsideTheTableCloseAndFail) {
    PtyPair pty;
    ASSERT_FALSE(pty.path.empty());
    SetPortDevice(9, pty.path);
    TSerial port(TLineSettings::Raw8N1(8192));
    ASSERT_TRUE(port.OpenPort(9)) << port.LastErrorText;
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.PortNumber(), 9);

    EXPECT_FALSE(port.OpenPort(0));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.PortNumber(), 0);
    EXPECT_EQ(port.Handle(), -1);

    ASSERT_TRUE(port.OpenPort(9));
    EXPECT_FALSE(port.OpenPort(21));
    EXPECT_FALSE(port.IsOpen());
    SetPortDevice(9, "");

    // Operations on a closed port fail at once.
    EXPECT_FALSE(port.WriteBytes({1}));
    EXPECT_TRUE(port.ReadBytes(3).empty());
    EXPECT_EQ(port.BytesWaiting(), 0u);
    EXPECT_FALSE(port.WaitForMask(EV_RXCHAR));
}

TEST(Serial, OpenFailuresCarryTheSystemText) {
    TSerial port(TLineSettings::Raw8N1(8192));
    EXPECT_FALSE(port.OpenDevice("/dev/quillmar-no-such-port"));
    EXPECT_EQ(port.LastError(), uint32_t(ENOENT));
    EXPECT_NE(port.LastErrorText.find("No such file or directory"), std::string::npos);
    EXPECT_NE(port.LastErrorText.find("/dev/quillmar-no-such-port"), std::string::npos);
    EXPECT_EQ(port.LastErrorText, "No such file or directory: /dev/quillmar-no-such-port");
    EXPECT_EQ(port.LastFailure().kind, ErrorKind::PortFailure);
    EXPECT_EQ(port.LastFailure().place.file, "/dev/quillmar-no-such-port");
    EXPECT_EQ(port.LastFailure().code, ENOENT);

    // Not a terminal: the settings cannot be read, and nothing stays held.
    EXPECT_FALSE(port.OpenDevice("/dev/null"));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Handle(), -1);
    EXPECT_NE(port.LastErrorText.find("/dev/null"), std::string::npos);

    PtyPair pty;
    ProbeSerial probe(TLineSettings::Raw8N1(8192));
    ASSERT_TRUE(probe.OpenDevice(pty.path));
    probe.fail(EACCES);
    EXPECT_NE(probe.LastErrorText.find("Permission denied"), std::string::npos);
    EXPECT_NE(probe.LastErrorText.find(pty.path), std::string::npos);
    // A pseudo-terminal's group may write it but not read it: joining that
    // group would not help, so the advice does not say to.
    EXPECT_EQ(probe.LastErrorText.find("Join the group"), std::string::npos) << probe.LastErrorText;
    EXPECT_EQ(probe.LastErrorText,
              std::string("Permission denied: ") + pty.path + ". " + PermissionAdvice(pty.path));
    EXPECT_EQ(probe.LastFailure().kind, ErrorKind::PermissionDenied);
    EXPECT_EQ(FormatError(probe.LastFailure()), probe.LastErrorText);
    // The line going away while open is said as such.
    probe.fail(EIO);
    EXPECT_EQ(probe.LastFailure().kind, ErrorKind::LineLost);
    EXPECT_EQ(probe.LastErrorText, std::string("Input/output error: ") + pty.path);
}

TEST(Serial, PermissionAdviceNamesOnlyAGroupThatMayOpenTheDevice) {
    EXPECT_EQ(PermissionAdvice(S_IFCHR | 0660, "root", "dialout"),
              "Join the group \"dialout\" that owns it (for example: sudo usermod -aG dialout $USER), then "
              "log in again.");
    const std::string owner = PermissionAdvice(S_IFCHR | 0600, "root", "root");
    EXPECT_EQ(owner.find("Join"), std::string::npos) << owner;
    EXPECT_NE(owner.find("Only its owner \"root\" may open it (permissions 0600"), std::string::npos)
        << owner;
    // Write-only for the group (a terminal's "tty" group) is no access either.
    EXPECT_EQ(PermissionAdvice(S_IFCHR | 0620, "ann", "tty").find("Join"), std::string::npos);
    EXPECT_NE(PermissionAdvice(S_IFCHR | 0400, "root", "root").find("Nobody may open it"), std::string::npos);
    EXPECT_NE(PermissionAdvice(S_IFCHR | 0666, "root", "root").find("everyone"), std::string::npos);
}

TEST(Serial, OpenIsExclusive) {
    PtyPair pty;
    TSerial first(TLineSettings::Raw8N1(8192));
    TSerial second(TLineSettings::Raw8N1(8192));
    ASSERT_TRUE(first.OpenDevice(pty.path)) << first.LastErrorText;
    EXPECT_FALSE(second.OpenDevice(pty.path));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_NE(second.LastError(), 0u);
    EXPECT_NE(second.LastErrorText.find("in use"), std::string::npos) << second.LastErrorText;
    EXPECT_EQ(second.LastFailure().kind, ErrorKind::InUse);
    EXPECT_EQ(second.LastErrorText, FormatError(second.LastFailure()));

    // Another process is kept out just the same.
    const pid_t child = fork();
    if (child == 0) {
        TSerial other(TLineSettings::Raw8N1(8192));
        _exit(other.OpenDevice(pty.path) ? 1 : 0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    first.ClosePort();
    EXPECT_TRUE(second.OpenDevice(pty.path)) << second.LastErrorText;
}

TEST(Serial, SettingsAppliedAndRestored) {
    PtyPair pty;
    // Distinctive settings the port has before it is opened.
    TLineSettings before = TLineSettings::Raw8N1(9600);
    before.ControlFlags |= CSTOPB;
    before.ControlChars[VMIN] = 5;
    before.ControlChars[VTIME] = 3;
    ASSERT_TRUE(WriteLineSettings(pty.slave, before));
    before = settingsOf(pty.slave);

    TSerial port(TLineSettings::Raw8N1(8192));
    ASSERT_TRUE(port.OpenDevice(pty.path)) << port.LastErrorText;
    EXPECT_EQ(port.SavedSettings(), before);
    EXPECT_EQ(port.SavedTimeouts(), (TSerialTimeouts{5, 3}));
    TLineSettings open = settingsOf(pty.slave);
    EXPECT_EQ(open.OutputSpeed, 8192u);
    EXPECT_EQ(open.InputSpeed, 8192u);
    EXPECT_FALSE(open.ControlFlags & CSTOPB);

    // Time-outs changed for a while come back after every read and write.
    ASSERT_TRUE(port.SetTimeouts({0, 0}));
    EXPECT_EQ(settingsOf(pty.slave).ControlChars[VMIN], 0);
    port.SetWaitLimit(20);
    port.ReadBytes(1);
    EXPECT_EQ(settingsOf(pty.slave).ControlChars[VMIN], 5);
    EXPECT_EQ(settingsOf(pty.slave).ControlChars[VTIME], 3);
    ASSERT_TRUE(port.SetTimeouts({0, 0}));
    EXPECT_TRUE(port.WriteBytes({0x41}));
    EXPECT_EQ(settingsOf(pty.slave).ControlChars[VMIN], 5);

    port.ClosePort();
    EXPECT_EQ(settingsOf(pty.slave), before);
}

TEST(Serial, WithoutSettingsTheFirstOpenAdoptsThePorts) {
    PtyPair pty;
    const TLineSettings own = settingsOf(pty.slave);
    TSerial port;
    EXPECT_TRUE(port.KeepPortSettings());
    ASSERT_TRUE(port.OpenDevice(pty.path));
    EXPECT_FALSE(port.KeepPortSettings());
    EXPECT_EQ(port.WantedSettings(), own);
    EXPECT_EQ(port.WaitLimit(), 1000u);
}

TEST(Serial, ReadsAreBoundedByTheWaitLimit) {
    PtyPair pty;
    TSerial port(TLineSettings::Raw8N1(8192));
    ASSERT_TRUE(port.OpenDevice(pty.path));
    port.SetWaitLimit(200); // room for a loaded machine; each time-out below costs one

    EXPECT_TRUE(port.ReadBytes(4).empty());
    EXPECT_TRUE(port.TimedOut());

    ASSERT_TRUE(pty.send({1, 2, 3}));
    EXPECT_EQ(port.ReadBytes(5), (TBytes{1, 2, 3}));
    EXPECT_TRUE(port.TimedOut()); // the further wait ran out

    ASSERT_TRUE(pty.send({7, 8, 9, 10}));
    EXPECT_EQ(port.ReadBytes(2), (TBytes{7, 8}));
    EXPECT_EQ(port.BytesWaiting(), 2u);
    EXPECT_EQ(port.ReadBytes(2), (TBytes{9, 10}));

    // Any byte value, 0 included, passes untouched both ways.
    TBytes all(256);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = uint8_t(i);
    ASSERT_TRUE(pty.send(all));
    EXPECT_EQ(port.ReadBytes(256), all);
    ASSERT_TRUE(port.WriteBytes(all));
    EXPECT_EQ(pty.received(), all);

    ASSERT_TRUE(pty.send({5, 6}));
    ASSERT_TRUE(port.WaitForMask(EV_RXCHAR) || port.BytesWaiting() == 2);
    EXPECT_TRUE(port.Purge(PURGE_RXCLEAR));
    EXPECT_EQ(port.BytesWaiting(), 0u);
}

TEST(Serial, WaitsEndOnNewBytesOnly) {
    PtyPair pty;
    TSerial port(TLineSettings::Raw8N1(8192));
    ASSERT_TRUE(port.OpenDevice(pty.path));
    port.SetWaitLimit(200); // room for a loaded machine; each time-out below costs one
    // A byte that came unseen ends a wait at once, even when it came before
    // the wait was armed; one the caller has counted does not.
    ASSERT_TRUE(pty.send({1}));
    EXPECT_TRUE(port.WaitForMask(EV_RXCHAR));
    EXPECT_EQ(port.BytesWaiting(), 1u);
    EXPECT_FALSE(port.WaitForMask(EV_RXCHAR));
    EXPECT_TRUE(port.TimedOut());
    EXPECT_EQ(port.BytesWaiting(), 1u);

    port.SetWaitLimit(2000);
    std::thread later([&] {
        usleep(5000);
        pty.send({2});
    });
    EXPECT_TRUE(port.WaitForMask(EV_RXCHAR));
    later.join();
    EXPECT_FALSE(port.TimedOut());
    port.SetWaitLimit(30);
    EXPECT_EQ(port.ReadBytes(5), (TBytes{1, 2}));
}

TEST(Serial, HangUpEndsWaitsWithAnError) {
    auto pty = std::make_unique<PtyPair>();
    TSerial port(TLineSettings::Raw8N1(8192));
    ASSERT_TRUE(port.OpenDevice(pty->path));
    const std::string path = pty->path;
    ::close(pty->slave);
    pty->slave = -1;
    ::close(pty->master);
    pty->master = -1;
    port.SetWaitLimit(5000);
    EXPECT_FALSE(port.WaitForMask(EV_RXCHAR));
    EXPECT_FALSE(port.TimedOut());
    EXPECT_NE(port.LastError(), 0u);
    EXPECT_FALSE(port.LastErrorText.empty());
    EXPECT_TRUE(port.ReadBytes(3).empty());
    port.ClosePort();
}
