#include "cli/CliCommands.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    // RunCli reports its own failures; this catches what escapes even that.
    try {
        return quillmar::RunCli(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmar-cli: %s\n", e.what());
    } catch (...) {
        std::fputs("quillmar-cli: unexpected error\n", stderr);
    }
    return quillmar::ExitBadInput;
}
