#pragma once
// quillmar-cli as a child process on a headless box: no display and no Qt
// platform named in its environment, its own home and config folders.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillmar::agraphtest {

struct CliResult {
    int Status = -1; // exit status, or -signal
    std::string Out, Err;
};

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs program with args; stdout and stderr go through files in dir.
inline CliResult runCli(const std::string& program, const std::vector<std::string>& args,
                        const std::filesystem::path& dir) {
    const std::string out = (dir / "cli.out").string(), err = (dir / "cli.err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<std::string> env{"HOME=" + dir.string(), "XDG_CONFIG_HOME=" + dir.string(),
                                 "XDG_RUNTIME_DIR=" + dir.string(), "LC_ALL=C"};
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        bool dropped = false;
        for (const char* name : {"HOME=", "XDG_CONFIG_HOME=", "XDG_RUNTIME_DIR=", "LC_ALL=", "DISPLAY=",
                                 "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="})
            dropped = dropped || v.rfind(name, 0) == 0;
        if (!dropped) env.push_back(v);
    }
    auto pointers = [](std::vector<std::string>& v) {
        std::vector<char*> p;
        for (auto& w : v)
            p.push_back(w.data());
        p.push_back(nullptr);
        return p;
    };
    auto argv = pointers(words), envp = pointers(env);
    pid_t pid = -1;
    CliResult result;
    if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.Out = readFile(out);
    result.Err = readFile(err);
    return result;
}

} // namespace quillmar::agraphtest
