#include "app/sheet/SpreadsheetProgram.h"

#include "app/sheet/Spreadsheet.h"
#include "store/base/Paths.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillmar {

namespace {

std::string envOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

std::vector<std::string> splitList(const std::string& s, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= s.size()) {
        const size_t end = s.find(sep, start);
        const std::string part = s.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!part.empty()) parts.push_back(part);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The string escapes of a desktop file value: \s \n \t \r \\.
std::string unescapeValue(const std::string& v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            const char c = v[++i];
            switch (c) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                out += '\\';
                out += c;
                break;
            }
        } else {
            out += v[i];
        }
    }
    return out;
}

// The spreadsheet programs looked for on the path when the desktop names none.
const std::vector<std::vector<std::string>>& knownPrograms() {
    static const std::vector<std::vector<std::string>> list = {
        {"localc"},   {"libreoffice", "--calc"}, {"soffice", "--calc"},
        {"gnumeric"}, {"calligrasheets"},        {"onlyoffice-desktopeditors"},
    };
    return list;
}

// Paths a desktop file id may have below an applications folder: the id
// itself, and with its first '-' standing for a subfolder.
std::vector<std::string> desktopIdPaths(const std::string& id) {
    std::vector<std::string> paths{id};
    const auto dash = id.find('-');
    if (dash != std::string::npos) paths.push_back(id.substr(0, dash) + "/" + id.substr(dash + 1));
    return paths;
}

std::vector<char*> argvPointers(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// Waits for pid, retrying on signals; the exit status, or -1.
int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
public:
    SpawnAttributes() { posix_spawnattr_init(&attr_); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attr_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &attr_; }

private:
    posix_spawnattr_t attr_;
};

} // namespace

std::vector<std::string> SpreadsheetProgram::CommandFor(const std::string& file) const {
    std::vector<std::string> out;
    bool fileGiven = false;
    for (const std::string& arg : Argv) {
        if (arg == "%F" || arg == "%U") {
            out.push_back(file);
            fileGiven = true;
            continue;
        }
        if (arg == "%i") continue; // the icon: nothing to give
        std::string a;
        bool onlyCodes = true;
        for (size_t i = 0; i < arg.size(); ++i) {
            if (arg[i] != '%' || i + 1 >= arg.size()) {
                a += arg[i];
                onlyCodes = false;
                continue;
            }
            const char code = arg[++i];
            switch (code) {
            case '%':
                a += '%';
                onlyCodes = false;
                break;
            case 'f':
            case 'u':
            case 'F':
            case 'U':
                a += file;
                fileGiven = true;
                onlyCodes = false;
                break;
            case 'c':
                a += Name;
                onlyCodes = false;
                break;
            case 'k':
                a += DesktopFile;
                onlyCodes = false;
                break;
            default:
                break; // deprecated or unknown codes expand to nothing
            }
        }
        if (!(onlyCodes && a.empty())) out.push_back(a);
    }
    if (!fileGiven) out.push_back(file);
    return out;
}

ProgramLookup DesktopProgramLookup() {
    ProgramLookup lookup;
    lookup.QueryDefault = [](const std::string& mimeType) {
        const auto answer = RunForOutput({"xdg-mime", "query", "default", mimeType}, 5000);
        return answer ? trim(*answer) : std::string();
    };
    lookup.ApplicationFolders.push_back(xdgDataHome() + "/applications");
    for (const auto& dir : splitList(envOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share"), ':'))
        lookup.ApplicationFolders.push_back(dir + "/applications");
    lookup.Path = envOr("PATH", "/usr/local/bin:/usr/bin:/bin");
    return lookup;
}

std::string FindOnPath(const std::string& program, const std::string& searchPath) {
    if (program.empty()) return {};
    if (program.find('/') != std::string::npos) return isExecutableFile(program) ? program : std::string();
    for (const auto& dir : splitList(searchPath, ':')) {
        const std::string candidate = dir + "/" + program;
        if (isExecutableFile(candidate)) return candidate;
    }
    return {};
}

std::optional<std::vector<std::string>> SplitDesktopExec(const std::string& exec) {
    const std::string s = unescapeValue(exec);
    std::vector<std::string> args;
    std::string current;
    bool inArg = false;
    bool quoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quoted) {
            if (c == '\\' && i + 1 < s.size() && std::strchr("\"`$\\", s[i + 1])) {
                current += s[++i];
            } else if (c == '"') {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == '"') {
            quoted = true;
            inArg = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inArg) args.push_back(current);
            current.clear();
            inArg = false;
        } else {
            current += c;
            inArg = true;
        }
    }
    if (quoted) return std::nullopt;
    if (inArg) args.push_back(current);
    if (args.empty()) return std::nullopt;
    return args;
}

std::optional<SpreadsheetProgram> ReadDesktopFile(const std::string& path, const std::string& searchPath) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::string line, name, exec, tryExec, type;
    bool hidden = false;
    bool inEntry = false;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry) continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = trim(line.substr(0, eq));
        const std::string value = trim(line.substr(eq + 1));
        if (key == "Name")
            name = unescapeValue(value);
        else if (key == "Exec")
            exec = value;
        else if (key == "TryExec")
            tryExec = unescapeValue(value);
        else if (key == "Type")
            type = value;
        else if (key == "Hidden")
            hidden = value == "true";
    }
    if (hidden || exec.empty() || (!type.empty() && type != "Application")) return std::nullopt;
    if (!tryExec.empty() && FindOnPath(tryExec, searchPath).empty()) return std::nullopt;
    auto argv = SplitDesktopExec(exec);
    if (!argv) return std::nullopt;
    const std::string program = FindOnPath((*argv)[0], searchPath);
    if (program.empty()) return std::nullopt;
    (*argv)[0] = program;
    SpreadsheetProgram p;
    p.Name = name.empty() ? program : name;
    p.Argv = std::move(*argv);
    p.DesktopFile = path;
    return p;
}

std::optional<SpreadsheetProgram> FindSpreadsheetProgram(const ProgramLookup& lookup) {
    const std::string id = lookup.QueryDefault ? trim(lookup.QueryDefault(XlsxMimeType)) : std::string();
    if (!id.empty() && id.find("..") == std::string::npos && id.front() != '/') {
        for (const auto& folder : lookup.ApplicationFolders)
            for (const auto& relative : desktopIdPaths(id))
                if (auto p = ReadDesktopFile(folder + "/" + relative, lookup.Path)) return p;
    }
    for (const auto& command : knownPrograms()) {
        const std::string program = FindOnPath(command[0], lookup.Path);
        if (program.empty()) continue;
        SpreadsheetProgram p;
        p.Name = command[0];
        p.Argv = command;
        p.Argv[0] = program;
        return p;
    }
    return std::nullopt;
}

void OpenDetached(const std::vector<std::string>& command) {
    if (command.empty()) throw SheetError("No program given to open the workbook with");
    // A shell in a new session starts the program in the background and
    // exits at once; the program, orphaned, is reaped by the system.
    std::vector<std::string> args{"sh", "-c", "\"$@\" &", "sh"};
    args.insert(args.end(), command.begin(), command.end());
    const auto argv = argvPointers(args);

    SpawnActions actions;
    for (int fd = 0; fd <= 2; ++fd)
        posix_spawn_file_actions_addopen(actions.get(), fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    SpawnAttributes attr;
    posix_spawnattr_setflags(attr.get(), POSIX_SPAWN_SETSID);

    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, "/bin/sh", actions.get(), attr.get(), argv.data(), environ);
    if (rc != 0) throw SheetError("Cannot start " + command[0] + ": " + std::strerror(rc));
    if (waitFor(pid) != 0) throw SheetError("Cannot start " + command[0]);
}

std::optional<std::string> RunForOutput(const std::vector<std::string>& command, int timeoutMs) {
    if (command.empty()) return std::nullopt;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), pipeFds[1], 1);
    posix_spawn_file_actions_addopen(actions.get(), 2, "/dev/null", O_WRONLY, 0);
    const auto argv = argvPointers(command);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, command[0].c_str(), actions.get(), nullptr, argv.data(), environ);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return std::nullopt;
    }

    std::string output;
    bool timedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd pfd{pipeFds[0], POLLIN, 0};
        const int n = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) {
            timedOut = true;
            break;
        }
        if (n < 0) break;
        char buf[4096];
        const ssize_t got = ::read(pipeFds[0], buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        output.append(buf, static_cast<size_t>(got));
        if (output.size() > (1u << 20)) {
            timedOut = true; // an answer this long is not an answer
            break;
        }
    }
    ::close(pipeFds[0]);
    if (timedOut) ::kill(pid, SIGKILL);
    const int status = waitFor(pid);
    if (timedOut || status != 0) return std::nullopt;
    return output;
}

DocumentsLookup DesktopDocumentsLookup() {
    DocumentsLookup lookup;
    lookup.Home = homeFolder();
    lookup.ConfigHome = xdgConfigHome();
    lookup.XdgUserDir = [] {
        const auto answer = RunForOutput({"xdg-user-dir", "DOCUMENTS"}, 5000);
        return answer ? trim(*answer) : std::string();
    };
    return lookup;
}

std::string FindDocumentsFolder(const DocumentsLookup& lookup) {
    // user-dirs.dirs is a shell fragment of lines XDG_DOCUMENTS_DIR="$HOME/Documents".
    std::string found;
    std::ifstream in(lookup.ConfigHome + "/user-dirs.dirs");
    std::string line;
    while (in && std::getline(in, line)) {
        line = trim(line);
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() < 2 || value.front() != '"' || value.back() != '"') continue;
        value = value.substr(1, value.size() - 2);
        std::string unquoted;
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) ++i;
            unquoted += value[i];
        }
        if (unquoted.rfind("$HOME", 0) == 0) unquoted = lookup.Home + unquoted.substr(5);
        if (!unquoted.empty() && unquoted.front() == '/') found = unquoted; // the last line counts
    }
    while (found.size() > 1 && found.back() == '/')
        found.pop_back();
    if (!found.empty()) return found;

    if (lookup.XdgUserDir) {
        std::string answer = lookup.XdgUserDir();
        while (answer.size() > 1 && answer.back() == '/')
            answer.pop_back();
        std::string home = lookup.Home;
        while (home.size() > 1 && home.back() == '/')
            home.pop_back();
        if (!answer.empty() && answer.front() == '/' && answer != home) return answer;
    }
    return lookup.Home + "/Documents";
}

} // namespace quillmar
