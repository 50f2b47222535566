// The advice for a port that cannot be opened, as the window and
// quillmar-cli give it.

#include "acquisition/ConnectAdvice.h"
#include "link/PortTable.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace quillmar {

TEST(ConnectAdvice, NamesEachFrontEndsWayOfChoosingThePort) {
    for (const uint32_t code : {ENOENT, ENODEV, ENXIO}) {
        EXPECT_EQ(ConnectAdvice(code, AdviceFor::Window),
                  "Plug the adapter in, or choose the port it is on with Setup > Set comm port.");
        EXPECT_NE(ConnectAdvice(code, AdviceFor::CommandLine).find("--port"), std::string::npos);
    }
    for (const uint32_t code : {EBUSY, EWOULDBLOCK}) {
        EXPECT_EQ(ConnectAdvice(code, AdviceFor::Window),
                  "Close the other program, then choose Setup > Set comm port and OK.");
        EXPECT_NE(ConnectAdvice(code, AdviceFor::CommandLine).find("Close the other program"),
                  std::string::npos);
    }
    for (const uint32_t code : {0u, uint32_t(EACCES), uint32_t(EIO)}) {
        EXPECT_EQ(ConnectAdvice(code, AdviceFor::Window), "");
        EXPECT_EQ(ConnectAdvice(code, AdviceFor::CommandLine), "");
    }
}

TEST(ConnectAdvice, TheWindowsLine) {
    SetPortDevice(19, "/nonexistent/ttyUSB3");
    EXPECT_EQ(ConnectFailureLine("COM19", "No such file or directory", ENOENT),
              "Cannot open COM19 (/nonexistent/ttyUSB3): No such file or directory. Plug the adapter in, or "
              "choose the port it is on with Setup > Set comm port.");
    SetPortDevice(19, "");
    EXPECT_EQ(
        ConnectFailureLine("/dev/ttyUSB0", "Device or resource busy.", EBUSY),
        "Cannot open /dev/ttyUSB0: Device or resource busy. Close the other program, then choose Setup > "
        "Set comm port and OK.");
    EXPECT_EQ(ConnectFailureLine("/dev/ttyUSB0", "", EACCES), "Cannot open /dev/ttyUSB0");
}

} // namespace quillmar
