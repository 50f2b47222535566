// Writing a journal: creating it with its header, buffering rows and
// syncing them to disk at most a second apart, and removing it.

#include "store/JournalLayout.h"

#include "store/base/Paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace quillmar {

namespace {

bool writeAll(int fd, const uint8_t* data, size_t size, int& error) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        error = n < 0 ? errno : EIO;
        return false;
    }
    return true;
}

// Creates folder and its missing parents (mode 0700, as a state folder).
void makeFolders(const std::string& folder) {
    std::string path;
    size_t at = 0;
    while (at != std::string::npos) {
        const size_t next = folder.find('/', at + 1);
        path = folder.substr(0, next);
        at = next;
        if (path.empty()) continue;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            throw FileError(JournalFailure(ErrorKind::CannotCreate, "Cannot create the folder", path, errno));
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw FileError(FileProblem(ErrorKind::CannotCreate, "Cannot create the folder", folder,
                                    "a file of that name is in the way"));
}

std::string randomPart() {
    uint64_t r = 0;
    if (::getrandom(&r, sizeof r, GRND_NONBLOCK) != sizeof r) {
        // No entropy yet this early: the clock and the address space differ enough.
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        r = uint64_t(ts.tv_nsec) * 0x9E3779B97F4A7C15ull ^ uint64_t(ts.tv_sec) ^
            reinterpret_cast<uintptr_t>(&r);
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int k = 0; k < 16; ++k)
        text[size_t(k)] = digits[(r >> (4 * k)) & 15];
    return text;
}

} // namespace

TJournal::TJournal(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

std::unique_ptr<TJournal> TJournal::Create(const std::string& folder, const TParameterArray& table,
                                           double startTime) {
    makeFolders(folder);
    const std::string name = folder + "/recording-" + std::to_string(::getpid()) + "-" + randomPart();
    const std::string path = name + JournalSuffix;
    const std::string draft = path + ".new";
    int fd;
    do
        fd = ::open(draft.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw FileError(JournalFailure(ErrorKind::CannotCreate, "Cannot create the journal", draft, errno));
    // Ours from the start: nobody else can have locked a file just made.
    ::flock(fd, LOCK_EX | LOCK_NB);
    JournalHeader header;
    header.StartTime = startTime;
    header.ProcessId = int32_t(::getpid());
    header.Table = table;
    for (TParameter& p : header.Table)
        p.BitNames.clear();
    const std::vector<uint8_t> bytes = JournalHeaderBytes(header);
    int error = 0;
    if (!writeAll(fd, bytes.data(), bytes.size(), error) || ::fdatasync(fd) != 0 ||
        ::rename(draft.c_str(), path.c_str()) != 0) {
        if (error == 0) error = errno;
        ::close(fd);
        ::unlink(draft.c_str());
        throw FileError(JournalFailure(ErrorKind::CannotWrite, "Cannot write the journal", path, error));
    }
    SyncJournalFolder(folder);
    std::unique_ptr<TJournal> journal(new TJournal(fd, path));
    journal->headerBytes_ = bytes.size();
    return journal;
}

TJournal::~TJournal() {
    if (fd_ < 0) return;
    if (pending_) Sync();
    ::close(fd_);
}

void TJournal::fail(int error) {
    if (failure_.empty()) {
        failureDetail_ = JournalFailure(ErrorKind::CannotWrite, "Cannot write the journal", path_, error);
        failure_ = FormatError(*failureDetail_);
    }
    buffer_.clear();
    buffer_.shrink_to_fit();
}

void TJournal::Append(const uint8_t* row) {
    if (fd_ < 0 || adopted_ || !failure_.empty()) return;
    pending_ = true;
    const uint32_t number = uint32_t(++rows_);
    buffer_.insert(buffer_.end(), row, row + JournalRowBytes);
    putU32(buffer_, JournalRecordCrc(row, number));
    if (buffer_.size() >= MaxBufferBytes) {
        int error = 0;
        if (!writeAll(fd_, buffer_.data(), buffer_.size(), error)) fail(error);
        buffer_.clear();
    }
}

bool TJournal::SyncIfDue(double now, double maxAge) {
    if (!pending_) return true;
    if (!haveOldest_) {
        haveOldest_ = true;
        oldestBuffered_ = now;
    }
    if (now - oldestBuffered_ < maxAge) return true;
    return Sync();
}

bool TJournal::Sync() {
    haveOldest_ = false;
    pending_ = false;
    if (fd_ < 0 || adopted_ || !failure_.empty()) return failure_.empty();
    int error = 0;
    if (!writeAll(fd_, buffer_.data(), buffer_.size(), error) || ::fdatasync(fd_) != 0) {
        if (error == 0) error = errno;
        fail(error);
        return false;
    }
    buffer_.clear();
    ++syncs_;
    return true;
}

uint64_t TJournal::RowsInFile() const {
    if (fd_ < 0) return 0;
    if (adopted_) return rows_;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || uint64_t(st.st_size) < headerBytes_) return 0;
    return std::min<uint64_t>(rows_, (uint64_t(st.st_size) - headerBytes_) / JournalRecordBytes);
}

void TJournal::KeepBookmarks(const std::vector<Bookmark>& bookmarks) {
    if (fd_ < 0) return;
    WriteBookmarks(JournalBookmarksFileName(path_), bookmarks);
}

void TJournal::Remove() {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    ::unlink(JournalBookmarksFileName(path_).c_str());
    SyncJournalFolder(folderOf(path_));
    ::close(fd_);
    fd_ = -1;
    buffer_.clear();
}

} // namespace quillmar
