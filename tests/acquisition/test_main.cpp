// The tests run inside a QCoreApplication (QTimers need one); it lives on
// main's stack so that it goes before Qt's own statics do. Journals of the
// recordings the tests make go to a folder of this run, not the user's.

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

int main(int argc, char** argv) {
    const std::filesystem::path state =
        std::filesystem::temp_directory_path() / ("quillmar-acquisition-state-" + std::to_string(::getpid()));
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(state, ignored);
    return status;
}
