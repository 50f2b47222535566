#include "cli/CliCommands.h"

int main(int argc, char** argv) {
    return quillmar::RunCli(argc, argv);
}
