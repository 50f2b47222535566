#include "store/base/InputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmar {

std::string NotARegularFileText(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder, not a regular file";
    if (S_ISCHR(mode)) return "a character device, not a regular file";
    if (S_ISBLK(mode)) return "a block device, not a regular file";
    if (S_ISFIFO(mode)) return "a FIFO (named pipe), not a regular file";
    if (S_ISSOCK(mode)) return "a socket, not a regular file";
    return "not a regular file";
}

InputFile::InputFile(const std::string& fileName) : name_(fileName) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    fd_ = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) {
        // A missing file needs no reason; others say why.
        const int err = errno;
        if (err == ENOENT)
            throw FileError(FileFailure(ErrorKind::CannotOpen, "Cannot open file", fileName, "", err));
        throw FileError(
            FileFailure(ErrorKind::CannotOpen, "Cannot open file", fileName, std::strerror(err), err));
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int err = errno;
        ::close(fd_);
        throw FileError(
            FileFailure(ErrorKind::CannotOpen, "Cannot open file", fileName, std::strerror(err), err));
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd_);
        throw FileError(FileProblem(ErrorKind::NotRegularFile, "Cannot open file", fileName,
                                    "it is " + NotARegularFileText(st.st_mode)));
    }
    regular_ = S_ISREG(st.st_mode);
    size_ = regular_ && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    // Reads wait for data again: a pipe with a writer is read to its end,
    // and a FIFO whose writer has gone reads as ended.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::size_t InputFile::read(uint8_t* data, std::size_t count) {
    std::size_t done = 0;
    while (done < count && !end_) {
        const ssize_t n = ::read(fd_, data + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            throw FileError(
                FileFailure(ErrorKind::CannotRead, "Cannot read file", name_, std::strerror(err), err));
        }
        if (n == 0) {
            end_ = true;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::vector<uint8_t> InputFile::readToEnd(uint64_t limit, const std::string& what) {
    std::vector<uint8_t> bytes;
    // A regular file says how much to expect; a stream grows as it comes.
    // Reading the size and one byte more shows the end in one call, without
    // zeroing a larger buffer first.
    std::size_t chunk = 64 * 1024;
    if (regular_ && size_ < limit) {
        chunk = static_cast<std::size_t>(size_) + 1;
        bytes.reserve(chunk);
    }
    while (!end_) {
        const uint64_t room = limit + 1 - bytes.size(); // one byte past the limit shows there is more
        const std::size_t want = static_cast<std::size_t>(room < chunk ? room : chunk);
        const std::size_t at = bytes.size();
        bytes.resize(at + want);
        const std::size_t got = read(bytes.data() + at, want);
        bytes.resize(at + got);
        if (bytes.size() > limit) {
            Error e = FileProblem(ErrorKind::TooLarge, "Cannot read file", name_,
                                  "it goes on past " + std::to_string(limit) + " bytes, more than " + what +
                                      " can hold");
            e.place.byteOffset = limit;
            throw FileError(std::move(e));
        }
        if (chunk < (std::size_t{1} << 24)) chunk = chunk < 64 * 1024 ? 64 * 1024 : chunk * 2;
    }
    return bytes;
}

std::vector<uint8_t> ReadInputFile(const std::string& fileName, uint64_t limit, const std::string& what) {
    InputFile file(fileName);
    return file.readToEnd(limit, what);
}

} // namespace quillmar
