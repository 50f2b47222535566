#pragma once
// quillmar-ecusim run as a child process, its stdout and stderr on pipes.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace quillmar::test {

// quillmar-ecusim as a child process with its standard output on a pipe.
struct Child {
    pid_t pid = -1;
    int out = -1;
    int err = -1;

    explicit Child(std::vector<std::string> args) {
        args.insert(args.begin(), QUILLMAR_ECUSIM);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int fds[2], errs[2];
        if (pipe(fds) != 0 || pipe(errs) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_adddup2(&actions, errs[1], 2);
        posix_spawn_file_actions_addclose(&actions, errs[0]);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        ::close(errs[1]);
        out = fds[0];
        err = errs[0];
    }
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (out >= 0) ::close(out);
        if (err >= 0) ::close(err);
    }
    // Everything the program writes to stderr until it closes it (exits).
    std::string errText() const {
        std::string text;
        char buffer[256];
        for (ssize_t n; (n = ::read(err, buffer, sizeof buffer)) > 0;)
            text.append(buffer, size_t(n));
        return text;
    }
    std::string firstLine() const {
        std::string line;
        char c;
        while (::read(out, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    int finish(int signal) {
        if (signal) kill(pid, signal);
        int status = -1;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

} // namespace quillmar::test
