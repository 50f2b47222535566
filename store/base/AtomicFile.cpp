#include "store/base/AtomicFile.h"

#include "store/base/InputFile.h"
#include "store/base/Paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmar {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now; false (errno set) when the close reports an error.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, const uint8_t* data, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, data, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

// SaveTemporaryPrefix and the six letters or digits mkstemp puts after it.
bool isOurTemporaryName(const std::string& name, std::size_t prefixLength) {
    if (name.size() != prefixLength + 6 || name.compare(0, prefixLength, SaveTemporaryPrefix) != 0)
        return false;
    for (std::size_t k = prefixLength; k < name.size(); ++k) {
        const char c = name[k];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    }
    return true;
}

} // namespace

std::string CheckSaveTarget(const std::string& fileName) {
    if (fileName.empty()) {
        Error e;
        e.kind = ErrorKind::CannotCreate;
        e.lead = "Cannot create file";
        e.detail = "no file name given";
        throw FileError(std::move(e));
    }
    auto cannotCreate = [&](int err) {
        return FileError(
            FileFailure(ErrorKind::CannotCreate, "Cannot create file", fileName, std::strerror(err), err));
    };
    // Follow a chain of symbolic links by hand: realpath gives up on a link
    // whose target does not exist yet, and that target is the file to create.
    std::string target = fileName;
    struct stat st {};
    for (int hops = 0;; ++hops) {
        if (::lstat(target.c_str(), &st) != 0) {
            if (errno == ENOENT) return target; // a new file
            throw cannotCreate(errno);
        }
        if (!S_ISLNK(st.st_mode)) break;
        if (hops >= 40) throw cannotCreate(ELOOP);
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n <= 0) throw cannotCreate(errno);
        link.resize(static_cast<std::size_t>(n));
        target = link[0] == '/' ? link : folderOf(target) + "/" + link;
    }
    if (!S_ISREG(st.st_mode)) {
        const std::string what = NotARegularFileText(st.st_mode);
        throw FileError(
            FileProblem(ErrorKind::NotRegularFile, "Cannot write file", fileName,
                        target == fileName ? "it is " + what : "it points to " + target + ", " + what));
    }
    return target;
}

size_t SweepSaveLeftovers(const std::string& folder, double minAgeSeconds) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return 0;
    const std::size_t prefixLength = std::strlen(SaveTemporaryPrefix);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    size_t removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!isOurTemporaryName(name, prefixLength)) continue;
        const std::string path = folder + "/" + name;
        // Opened without following a link and without waiting, then looked
        // at through the descriptor: what is checked is what is removed.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        Descriptor file(fd);
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
        const double age =
            double(now.tv_sec - st.st_mtim.tv_sec) + 1e-9 * double(now.tv_nsec - st.st_mtim.tv_nsec);
        if (age < minAgeSeconds) continue;
        // A save in progress holds its file locked.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) continue;
        struct stat still {};
        if (::lstat(path.c_str(), &still) != 0 || still.st_dev != st.st_dev || still.st_ino != st.st_ino)
            continue;
        if (::unlink(path.c_str()) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

void WriteFileAtomically(const std::string& fileName, std::initializer_list<std::span<const uint8_t>> parts) {
    // Replace the target of a symbolic link, not the link; refuse anything
    // but a regular file.
    const std::string target = CheckSaveTarget(fileName);
    // The system's reason, with the file it concerns when a link led there.
    auto failure = [&](ErrorKind kind, int err) {
        const std::string reason = std::strerror(err);
        return FileError(
            FileFailure(kind, kind == ErrorKind::CannotWrite ? "Cannot write file" : "Cannot create file",
                        fileName, target == fileName ? reason : target + ": " + reason, err));
    };
    struct stat st {};
    // A file the user may not write stays as it is, although the rename could replace it.
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0)
        throw failure(ErrorKind::CannotCreate, errno);

    const std::string folder = folderOf(target);
    SweepSaveLeftovers(folder);
    std::string temp = folder + "/" + SaveTemporaryPrefix + "XXXXXX";
    Descriptor file(::mkostemp(temp.data(), O_CLOEXEC));
    if (file.get() < 0) throw failure(ErrorKind::CannotCreate, errno);
    // Held while it is written, so that no other save's sweep takes it for a leftover.
    ::flock(file.get(), LOCK_EX | LOCK_NB);

    auto fail = [&](int err) {
        if (file.get() >= 0) file.close();
        ::unlink(temp.c_str());
        throw failure(ErrorKind::CannotWrite, err);
    };
    // mkstemp makes the file private: keep the permissions of the file being
    // replaced, and give a new file the usual ones.
    mode_t mode;
    if (::stat(target.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(file.get(), mode);

    for (const auto& part : parts)
        if (!part.empty() && !writeAll(file.get(), part.data(), part.size())) fail(errno);
    if (::fsync(file.get()) != 0) fail(errno);
    if (!file.close()) fail(errno);
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw failure(ErrorKind::CannotCreate, err);
    }
    // Make the rename itself durable.
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

} // namespace quillmar
