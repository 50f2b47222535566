#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <vector>

#include "link/ALDLComms.h"
#include "tests/sim/EcuSimChild.h"

using namespace quillmar;
using quillmar::test::Child;

TEST(EcuSimProgram, ServesTheDeviceItPrintsAndRecordsReplies) {
    const std::string record = ::testing::TempDir() + "quillmar_sim_record.txt";
    const std::string link = ::testing::TempDir() + "quillmar_sim_link";
    Child sim({"--record", record, "--link", link, "--seed", "3"});
    ASSERT_GT(sim.pid, 0);
    const std::string device = sim.firstLine();
    ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(device, target);

    TALDLComms comms;
    std::vector<std::string> log;
    comms.ErrorLog = &log;
    ASSERT_TRUE(comms.ConnectDevice(link)) << comms.LastErrorText;
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i) {
        TBytes reply;
        ASSERT_TRUE(comms.Request(1, reply)) << log.back();
        TFrame frame(1, reply);
        std::string hex = frame.AsHex();
        hex.pop_back();
        expected.push_back(hex);
    }
    comms.ClosePort();
    EXPECT_EQ(sim.finish(SIGTERM), 0);

    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0); // the link goes with the simulator
    std::ifstream in(record);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    EXPECT_EQ(lines, expected);
    std::remove(record.c_str());
}

TEST(EcuSimProgram, HangsUpWhenToldAndRejectsBadOptions) {
    Child sim({"--hang-up", "0.05"});
    ASSERT_FALSE(sim.firstLine().empty());
    EXPECT_EQ(sim.finish(0), 0);

    EXPECT_EQ(Child({"--silence", "often"}).finish(0), 2);
    // Endless or huge times would hang the model or overflow the clocks: the
    // simulator refuses them and never starts (no device line).
    for (const char* option : {"--step", "--hang-up", "--turnaround"}) {
        Child refused({option, "inf"});
        EXPECT_TRUE(refused.firstLine().empty()) << option;
        EXPECT_EQ(refused.finish(SIGKILL), 2) << option;
    }
    Child huge({"--hang-up", "1e300"});
    EXPECT_TRUE(huge.firstLine().empty());
    EXPECT_EQ(huge.finish(SIGKILL), 2);
    EXPECT_EQ(Child({"--frobnicate", "1"}).finish(0), 2);
    EXPECT_EQ(Child({"--prom", "/nonexistent/prom.bin"}).finish(0), 2);
}

TEST(EcuSimProgram, OptionsFollowOneRuleAndFilesAreBounded) {
    // An unknown option is called that, last on the line or not.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--bogus"}, {"--bogus", "1"}, {"--pace", "--bogus"}}) {
        Child sim(args);
        EXPECT_NE(sim.errText().find("unknown option --bogus"), std::string::npos);
        EXPECT_EQ(sim.finish(0), 2);
    }
    Child last({"--step"});
    EXPECT_NE(last.errText().find("--step needs a value"), std::string::npos);
    EXPECT_EQ(last.finish(0), 2);
    // Blanks, signs, exponents and fractions where whole numbers belong are refused.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--step", " 0.1"},
                                                 {"--seed", "3.5"},
                                                 {"--hang-up", "1e3"},
                                                 {"--silence", "+2"},
                                                 {"--turnaround", "-1"}}) {
        Child sim(args);
        EXPECT_TRUE(sim.firstLine().empty()) << args[0];
        EXPECT_EQ(sim.finish(SIGKILL), 2) << args[0] << " " << args[1];
    }
    // Files the simulator cannot use end it at once with status 2.
    for (const char* prom : {"/tmp", "/dev/zero"}) {
        Child sim({"--prom", prom});
        EXPECT_NE(sim.errText().find(prom), std::string::npos);
        EXPECT_EQ(sim.finish(0), 2) << prom;
    }
    // The help says what 0 means.
    Child help({"--help"});
    std::string text;
    for (std::string line; !(line = help.firstLine()).empty();)
        text += line + "\n";
    EXPECT_NE(text.find("--hang-up SECONDS  close the line after this long (0, the default: never)"),
              std::string::npos)
        << text;
    EXPECT_EQ(help.finish(0), 0);
}

TEST(EcuSimProgram, GoesSilentForAWhileAndAnswersAgain) {
    Child sim({"--silent-after", "0", "--silent-for", "0.4"});
    const std::string device = sim.firstLine();
    ASSERT_FALSE(device.empty());
    TALDLComms comms;
    std::vector<std::string> log;
    comms.ErrorLog = &log;
    ASSERT_TRUE(comms.ConnectDevice(device)) << comms.LastErrorText;
    comms.SetWaitLimit(50);
    // Silent: the request comes back as echo, and nothing answers it.
    TBytes reply;
    EXPECT_FALSE(comms.Request(1, reply));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "No reply");
    // The spell ends by itself.
    comms.SetWaitLimit(1000);
    bool answered = false;
    for (int i = 0; i < 40 && !answered; ++i)
        answered = comms.Request(1, reply);
    EXPECT_TRUE(answered);
    EXPECT_EQ(reply.size(), 63u);
    comms.ClosePort();
    EXPECT_EQ(sim.finish(SIGTERM), 0);
}
