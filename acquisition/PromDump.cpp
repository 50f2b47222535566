// Reading the engine computer's program memory (0x8000..0xFFFF) through
// mode 2 requests into a 32768-byte image file.

#include "acquisition/Acquisition.h"

#include "link/ALDLComms.h"
#include "store/Messages.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmar {

namespace {

constexpr uint32_t PromStart = 0x8000;
constexpr uint32_t PromEnd = 0x10000;
constexpr int AttemptLimit = 5;
constexpr int EmptyReplyLimit = 5;
constexpr size_t TestReplyBytes = 64;

std::string formatLine(const char* pattern, unsigned value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

std::string systemError(const std::string& what, const std::string& fileName) {
    return what + " " + fileName + ": " + std::strerror(errno);
}

// Closes a descriptor on every way out.
struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

std::string folderOf(const std::string& fileName) {
    const auto slash = fileName.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return fileName.substr(0, slash);
}

} // namespace

void WriteFileAtomically(const std::string& fileName, const std::vector<uint8_t>& data) {
    if (fileName.empty()) throw std::runtime_error("Cannot create file: no file name given");
    std::string temp = fileName + ".XXXXXX";
    FileDescriptor file;
    file.fd = ::mkstemp(temp.data());
    if (file.fd < 0) throw std::runtime_error(systemError("Cannot create file", fileName));
    auto fail = [&](const std::string& what) {
        const std::string message = systemError(what, fileName);
        ::unlink(temp.c_str());
        throw std::runtime_error(message);
    };
    // mkstemp makes the file private; an image is an ordinary user file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(file.fd, 0666 & ~mask);
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(file.fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("Cannot write file");
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(file.fd) != 0) fail("Cannot write file");
    if (::close(file.fd) != 0) {
        file.fd = -1;
        fail("Cannot write file");
    }
    file.fd = -1;
    if (::rename(temp.c_str(), fileName.c_str()) != 0) fail("Cannot create file");
    FileDescriptor folder;
    folder.fd = ::open(folderOf(fileName).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder.fd >= 0) ::fsync(folder.fd);
}

PromDumpResult Acquisition::DumpProm(const std::string& fileName) {
    if (acquisitionOn_) {
        showMessage("Error", "Data acquisition is in progress");
        return PromDumpResult::Busy;
    }
    if (promRunning_) {
        showMessage("Error", "A PROM dump is already in progress");
        return PromDumpResult::Busy;
    }
    promRunning_ = true;
    promCancel_ = false;
    listener_->graphPanelVisible(false);
    PromDumpResult result;
    try {
        result = runPromDump(fileName);
    } catch (const std::exception& e) {
        ErrorLog.emplace_back(e.what());
        reportNewErrorLines();
        showMessage("Error", "Exception occurred, PROM dump failed");
        result = PromDumpResult::Failed;
    } catch (...) {
        showMessage("Error", "Exception occurred, PROM dump failed");
        result = PromDumpResult::Failed;
    }
    promRunning_ = false;
    promCancel_ = false;
    listener_->graphPanelVisible(true);
    return result;
}

PromDumpResult Acquisition::runPromDump(const std::string& fileName) {
    std::vector<uint8_t> image;
    image.reserve(PromEnd - PromStart);
    uint32_t address = PromStart;
    int emptyReplies = 0;
    while (address < PromEnd) {
        if (promCancel_) {
            ErrorLog.emplace_back("PROM dump cancelled");
            reportNewErrorLines();
            return PromDumpResult::Cancelled;
        }

        // 1. The reply for this address.
        TBytes reply;
        if (testMode_) {
            std::uniform_int_distribution<int> byte(0, 254);
            reply.resize(TestReplyBytes);
            for (auto& c : reply) c = static_cast<uint8_t>(byte(random_));
        } else {
            const TBytes request{static_cast<uint8_t>(address >> 8),
                                 static_cast<uint8_t>(address & 0xFF)};
            bool ok = false;
            for (int attempt = 0; attempt < AttemptLimit && !ok; ++attempt) {
                reply.clear();
                const size_t linesBefore = ErrorLog.size();
                ok = Comms && Comms->Transact(2, request, reply);
                if (!ok && ErrorLog.size() == linesBefore) ErrorLog.push_back(writeFailureLine());
            }
            reportNewErrorLines();
            if (!ok) {
                showMessage("Aborting", "Five consecutive mode 2 command failures");
                return PromDumpResult::LinkFailed;
            }
        }

        // 2. Progress in the error log.
        ErrorLog.push_back(formatLine("Reading addr: $%X", address));

        if (reply.empty()) {
            // 3. An empty reply: try the same address again, up to a limit.
            reportNewErrorLines();
            if (++emptyReplies >= EmptyReplyLimit) {
                showMessage("Error", "ALDL error");
                return PromDumpResult::NoData;
            }
        } else {
            // 4. Keep what belongs below the end of memory.
            emptyReplies = 0;
            ErrorLog.push_back(formatLine("Bytes returned: %u", static_cast<unsigned>(reply.size())));
            reportNewErrorLines();
            const size_t n = std::min<size_t>(reply.size(), PromEnd - address);
            image.insert(image.end(), reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(n));
            address += static_cast<uint32_t>(n);
        }

        // 5. Let pending events run between addresses.
        listener_->promProgress(address, image.size());
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
    }

    // 6. Complete: write the image in one go.
    WriteFileAtomically(fileName, image);
    return PromDumpResult::Written;
}

} // namespace quillmar
