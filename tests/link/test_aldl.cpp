#include <gtest/gtest.h>

#include <cmath>

#include "acquisition/demo/PromImage.h"
#include "acquisition/demo/SimulatedEcu.h"
#include "acquisition/params/Parameters.h"
#include "link/ALDLComms.h"
#include "tests/link/PtyPair.h"

using namespace quillmar;
using Lines = std::vector<std::string>;

namespace {

// A link connected to a fresh simulator.
struct Bench {
    SimulatedEcu ecu;
    TALDLComms link;
    Lines log;

    explicit Bench(SimOptions options = {}) : ecu(options) {
        EXPECT_TRUE(ecu.Start()) << ecu.Error();
        link.ErrorLog = &log;
        EXPECT_TRUE(link.ConnectDevice(ecu.DevicePath())) << link.LastErrorText;
        // Roomier than the link's 100 ms, so a loaded machine (sanitizers,
        // parallel tests) cannot turn a slow reply into a failure.
        link.SetWaitLimit(400);
    }

    bool request(TBytes& reply) { return link.Request(1, reply); }
};

SimOptions faultEvery(SimFault fault, unsigned n, bool pace = false) {
    SimOptions o;
    o.FaultEvery[size_t(fault)] = n;
    o.Pace = pace;
    return o;
}

// Decodes a reply with the parameter table and compares every entry with
// the value the simulator meant to send, within one step of the entry.
void expectDecodesTo(const TBytes& reply, const std::map<std::string, double>& sent) {
    ASSERT_EQ(reply.size(), 63u);
    int checked = 0;
    for (const TParameter& p : BuiltInParameters()) {
        if (p.Size == 0) continue;
        const auto it = sent.find(DisplayName(p));
        ASSERT_NE(it, sent.end()) << p.Name;
        const double decoded = double(DecodeValue(p, reply.data(), reply.size()));
        const double step = p.Size >= 3 ? 1.0 : std::fabs(p.Factor);
        EXPECT_LE(std::fabs(decoded - it->second), step) << DisplayName(p);
        ++checked;
    }
    EXPECT_EQ(checked, 56);
}

} // namespace

TEST(ALDLComms, ConnectsAtTheLinkRate) {
    Bench b;
    EXPECT_EQ(TALDLComms().WaitLimit(), 100u);
    TLineSettings s;
    ASSERT_TRUE(ReadLineSettings(b.link.Handle(), s));
    EXPECT_EQ(s.OutputSpeed, 8192u);

    SetPortDevice(11, b.ecu.DevicePath());
    TALDLComms byNumber;
    b.link.ClosePort();
    ASSERT_TRUE(byNumber.Connect(11)) << byNumber.LastErrorText;
    EXPECT_EQ(byNumber.PortNumber(), 11);
    byNumber.ClosePort();
    ASSERT_TRUE(byNumber.ConnectPort("com11"));
    EXPECT_EQ(byNumber.PortNumber(), 11);
    EXPECT_FALSE(byNumber.ConnectPort("serial-one"));
    EXPECT_FALSE(byNumber.IsOpen());
    EXPECT_EQ(byNumber.LastErrorText, "Unknown port \"serial-one\": give COM1 to COM20 or a device path");
    EXPECT_EQ(byNumber.LastFailure().kind, ErrorKind::UnknownPort);
    SetPortDevice(11, "");
}

TEST(ALDLComms, ModeOneRoundTripDecodesToTheModel) {
    Bench b;
    for (int i = 0; i < 5; ++i) {
        TBytes reply;
        ASSERT_TRUE(b.request(reply)) << (b.log.empty() ? "" : b.log.back());
        expectDecodesTo(reply, b.ecu.LastValues());
    }
    TBytes reply;
    ASSERT_TRUE(b.link.Transact(1, {0x00}, reply));
    expectDecodesTo(reply, b.ecu.LastValues());
    EXPECT_TRUE(b.log.empty());
    EXPECT_EQ(b.ecu.RequestCount(), 6u);
}

TEST(ALDLComms, PacedLineAndNoiseBeforeTheStartByte) {
    SimOptions o = faultEvery(SimFault::Noise, 2, true);
    o.TurnaroundMs = 5;
    Bench b(o);
    for (int i = 0; i < 4; ++i) {
        TBytes reply;
        EXPECT_TRUE(b.request(reply));
        EXPECT_EQ(reply.size(), 63u);
    }
    EXPECT_TRUE(b.log.empty()) << b.log.front();
}

TEST(ALDLComms, ModeTwoReadsThePromImage) {
    SimOptions o;
    o.Seed = 7;
    Bench b(o);
    const PromImage image = PromImage::Generated(7);
    TBytes reply;
    ASSERT_TRUE(b.link.Transact(2, {0x80, 0x00}, reply));
    EXPECT_EQ(reply, image.Read(0x8000, 64));
    ASSERT_TRUE(b.link.Transact(2, {0xFF, 0xC0}, reply));
    EXPECT_EQ(reply, image.Read(0xFFC0, 64));
    ASSERT_TRUE(b.link.Transact(2, {0xFF, 0xF0}, reply));
    EXPECT_EQ(reply.size(), 16u);
}

TEST(ALDLComms, EchoFailures) {
    {
        Bench b(faultEvery(SimFault::NoEcho, 1));
        TBytes reply{9};
        EXPECT_FALSE(b.request(reply));
        EXPECT_TRUE(reply.empty());
        EXPECT_EQ(b.log, (Lines{"Bad echo (sent: F4 56 01 B5  received: )"}));
        EXPECT_TRUE(b.link.IsOpen());
    }
    {
        Bench b(faultEvery(SimFault::BadEcho, 1));
        TBytes reply;
        EXPECT_FALSE(b.link.Transact(1, {0x00}, reply));
        EXPECT_EQ(b.log, (Lines{"Bad echo (sent: F4 57 01 00 B4  received: F4 57 01 00 A4 )"}));
    }
    {
        // The reply behind an altered echo is taken off the line, so the
        // transaction straight after it gets its own.
        Bench b(faultEvery(SimFault::BadEcho, 2));
        TBytes reply;
        for (int i = 1; i <= 20; ++i)
            EXPECT_EQ(b.request(reply), i % 2 == 1) << i;
        EXPECT_EQ(b.log.size(), 10u);
    }
}

TEST(ALDLComms, ReplyFailures) {
    struct Case {
        SimFault fault;
        Lines lines;
        ErrorKind last; // of the last line
    };
    const Case cases[] = {
        {SimFault::Silence, {"No reply"}, ErrorKind::Timeout},
        {SimFault::BadCheck, {"Check byte failure", "No reply"}, ErrorKind::Timeout},
        {SimFault::Truncated, {"Not enough bytes received", "No reply"}, ErrorKind::Timeout},
        {SimFault::WrongMode, {"Reply mode doesn't match"}, ErrorKind::BadFrame},
    };
    for (const Case& c : cases) {
        Bench b(faultEvery(c.fault, 2));
        TBytes reply;
        EXPECT_TRUE(b.request(reply)) << SimFaultName(c.fault);
        EXPECT_FALSE(b.request(reply)) << SimFaultName(c.fault);
        EXPECT_TRUE(reply.empty());
        EXPECT_EQ(b.log, c.lines) << SimFaultName(c.fault);
        ASSERT_TRUE(b.link.TransactionFailure()) << SimFaultName(c.fault);
        EXPECT_EQ(b.link.TransactionFailure()->kind, c.last) << SimFaultName(c.fault);
        // The next transaction starts clean.
        EXPECT_TRUE(b.request(reply)) << SimFaultName(c.fault);
        EXPECT_FALSE(b.link.TransactionFailure());
        EXPECT_EQ(reply.size(), 63u);
    }
}

TEST(ALDLComms, OddRepliesAreJudgedByTheirBytes) {
    struct Case {
        TBytes raw;
        Lines lines;
    };
    const Case cases[] = {
        {{0xF4, 0x55, 0xB7}, {"Reply mode doesn't match"}}, // no mode byte: mode 0
        {{0x00, 0x11, 0x22}, {"No frame start byte received", "No reply"}},
        {{0x33, 0xF4}, {"No frame start byte received", "No reply"}}, // nothing after the start byte
        {{0xF4, 0xFF, 0x01, 0x02}, {"Not enough bytes received", "No reply"}},
        {{0xF4, 0x10, 0x01}, {"Check byte failure", "No reply"}}, // length below 0x55: nothing more is read
        {{0xF4, 0x56, 0x01, 0xB4}, {"Check byte failure", "No reply"}},
        {TBytes(400, 0x00), {"No frame start byte received", "No reply"}}, // the hunt gives up
    };
    for (const Case& c : cases) {
        Bench b;
        b.ecu.QueueRawReply(c.raw);
        TBytes reply;
        EXPECT_FALSE(b.request(reply)) << BytesToHex(c.raw);
        EXPECT_EQ(b.log, c.lines) << BytesToHex(c.raw);
        EXPECT_TRUE(b.request(reply)); // and the line is usable again
    }

    // A valid frame with stray bytes after it: they are purged before the next request.
    Bench b;
    b.ecu.QueueRawReply({0xF4, 0x56, 0x01, 0xB5, 0xF4, 0x99});
    TBytes reply{1};
    EXPECT_TRUE(b.request(reply));
    EXPECT_TRUE(reply.empty());
    EXPECT_TRUE(b.request(reply));
    EXPECT_EQ(reply.size(), 63u);
    EXPECT_TRUE(b.log.empty());
}

TEST(ALDLComms, LinkGoneWriteFailsWithoutALogLine) {
    Bench b;
    TBytes reply;
    ASSERT_TRUE(b.request(reply));
    EXPECT_FALSE(b.link.LineLost());
    b.ecu.Stop();
    EXPECT_FALSE(b.request(reply));
    EXPECT_TRUE(b.log.empty());
    EXPECT_FALSE(b.link.LastErrorText.empty());
    EXPECT_TRUE(b.link.IsOpen());
    // The port knows its device went away; a good open forgets it.
    EXPECT_TRUE(b.link.LineLost());
    SimulatedEcu again;
    ASSERT_TRUE(again.Start()) << again.Error();
    ASSERT_TRUE(b.link.ConnectDevice(again.DevicePath()));
    EXPECT_FALSE(b.link.LineLost());
}
