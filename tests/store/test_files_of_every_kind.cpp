// Saving and loading where the name is not a plain file: devices, FIFOs,
// folders, sockets and symbolic links are never replaced, and whatever a
// load is pointed at it neither hangs nor reads without end.

#include "StoreTestSupport.h"

#include "store/Store.h"
#include "store/base/AtomicFile.h"
#include "store/base/InputFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>

using namespace quillmar;
using namespace quillmar::test;

namespace {

void fillLog(TNumber2DArrayStore& log, uint32_t rows) {
    ASSERT_TRUE(log.Make2D(71, rows, 1));
    for (uint32_t r = 1; r <= rows; ++r)
        for (uint32_t c = 1; c <= 71; ++c)
            log.SetElement(c, r, (r * 5 + c) % 256);
}

std::string saveError(const TStore& store, const std::string& name) {
    try {
        store.SaveToFile(name);
    } catch (const FileError& e) {
        return e.what();
    }
    return "";
}

std::string loadError(TStore& store, const std::string& name) {
    try {
        store.LoadFromFile(name);
    } catch (const FileError& e) {
        return e.what();
    }
    return "";
}

mode_t typeOf(const std::string& name) {
    struct stat st {};
    return ::lstat(name.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

// The name of the read end of a pipe, as a shell's <(...) gives it; a thread
// writes bytes into it and closes it.
struct Pipe {
    int fds[2] = {-1, -1};
    std::thread writer;
    explicit Pipe(std::vector<uint8_t> bytes) {
        EXPECT_EQ(::pipe(fds), 0);
        writer = std::thread([this, bytes = std::move(bytes)] {
            size_t at = 0;
            while (at < bytes.size()) {
                const ssize_t n = ::write(fds[1], bytes.data() + at, bytes.size() - at);
                if (n <= 0) break;
                at += size_t(n);
            }
            ::close(fds[1]);
        });
    }
    ~Pipe() {
        writer.join();
        ::close(fds[0]);
    }
    std::string name() const { return "/proc/self/fd/" + std::to_string(fds[0]); }
};

} // namespace

TEST(SaveTargets, OnlyRegularFilesAreReplaced) {
    ScratchDir dir;
    TNumber2DArrayStore log;
    fillLog(log, 3);

    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(saveError(log, fifo),
              "Cannot write file " + fifo + ": it is a FIFO (named pipe), not a regular file");
    EXPECT_EQ(typeOf(fifo), mode_t(S_IFIFO));

    const std::string folder = dir.file("folder.ecu");
    std::filesystem::create_directories(folder);
    EXPECT_EQ(saveError(log, folder), "Cannot write file " + folder + ": it is a folder, not a regular file");
    EXPECT_EQ(typeOf(folder), mode_t(S_IFDIR));

    const std::string socketName = dir.file("sock");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketName.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_NE(saveError(log, socketName).find("it is a socket"), std::string::npos);
    EXPECT_EQ(typeOf(socketName), mode_t(S_IFSOCK));
    ::close(sock);

    // The system's own device, named or reached through a link, stays a device.
    EXPECT_EQ(saveError(log, "/dev/null"),
              "Cannot write file /dev/null: it is a character device, not a regular file");
    const std::string link = dir.file("null.ecu");
    ASSERT_EQ(::symlink("/dev/null", link.c_str()), 0);
    EXPECT_EQ(saveError(log, link), "Cannot write file " + link +
                                        ": it points to /dev/null, a character device, not a regular file");
    EXPECT_EQ(typeOf("/dev/null"), mode_t(S_IFCHR));
    EXPECT_EQ(typeOf(link), mode_t(S_IFLNK));
    EXPECT_THROW(CheckSaveTarget(link), FileError);
    // Nothing was left behind by the refusals.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 4);
}

TEST(SaveTargets, ALinkToANewFileCreatesItsTarget) {
    ScratchDir dir;
    TNumber2DArrayStore log;
    fillLog(log, 2);
    // Relative and absolute, through a chain of two links.
    const std::string first = dir.file("first.ecu"), second = dir.file("second.ecu");
    ASSERT_EQ(::symlink("second.ecu", first.c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("made.ecu").c_str(), second.c_str()), 0);
    EXPECT_EQ(CheckSaveTarget(first), dir.file("made.ecu"));
    log.SaveToFile(first);
    EXPECT_EQ(typeOf(first), mode_t(S_IFLNK));
    EXPECT_EQ(typeOf(second), mode_t(S_IFLNK));
    EXPECT_EQ(readFile(dir.file("made.ecu")), log.SaveToBytes());
    // Saved again, the target is replaced and the links stay.
    fillLog(log, 5);
    log.SaveToFile(first);
    EXPECT_EQ(readFile(dir.file("made.ecu")), log.SaveToBytes());
    EXPECT_EQ(typeOf(first), mode_t(S_IFLNK));
    // A link into a folder that does not exist cannot be saved through.
    const std::string nowhere = dir.file("nowhere.ecu");
    ASSERT_EQ(::symlink("no/such/folder.ecu", nowhere.c_str()), 0);
    EXPECT_EQ(saveError(log, nowhere), "Cannot create file " + nowhere + " (" +
                                           dir.file("no/such/folder.ecu") + ": No such file or directory)");
}

TEST(InputFiles, NeitherHangNorReadWithoutEnd) {
    ScratchDir dir;
    TNumber2DArrayStore log;
    fillLog(log, 4);
    const std::string good = dir.file("good.ecu");
    log.SaveToFile(good);

    TNumber2DArrayStore loaded;
    EXPECT_EQ(loadError(loaded, dir.path.string()),
              "Cannot open file " + dir.path.string() + ": it is a folder, not a regular file");

    // A FIFO nobody writes to opens at once and reads as empty.
    const std::string fifo = dir.file("fifo.ecu");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(loadError(loaded, fifo), "");
    EXPECT_EQ(loaded.Rows, 0u);
    EXPECT_TRUE(ReadInputFile(fifo, 100, "a test file").empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    // A device that never ends is read no further than the header allows.
    EXPECT_EQ(loadError(loaded, "/dev/zero"), "Cannot load file /dev/zero: it goes on past the 273 bytes its "
                                              "header (byte 0: 0 records, byte 4: 0 bytes each) gives");
    EXPECT_EQ(
        [&] {
            try {
                ReadInputFile("/dev/zero", 1000, "a test file");
            } catch (const FileError& e) {
                return std::string(e.what());
            }
            return std::string();
        }(),
        "Cannot read file /dev/zero: it goes on past 1000 bytes, more than a test file can hold");
    // A header that promises more than a stream may bring is refused at once.
    std::vector<uint8_t> huge = readFile(good);
    put32(huge, 0, 0xFFFFFFFF);
    put32(huge, 4, 10);
    {
        Pipe pipe(huge);
        EXPECT_NE(loadError(loaded, pipe.name()).find("more than the 1073741824 bytes"), std::string::npos);
    }
}

TEST(InputFiles, PipesAreReadToTheirEnd) {
    ScratchDir dir;
    TNumber2DArrayStore log;
    fillLog(log, 300);
    const std::vector<uint8_t> bytes = log.SaveToBytes();
    {
        Pipe pipe(bytes);
        TNumber2DArrayStore loaded;
        loaded.LoadFromFile(pipe.name());
        EXPECT_EQ(loaded.Rows, 300u);
        EXPECT_EQ(loaded.SaveToBytes(), bytes);
    }
    // Cut short, a piped log loads its whole rows as a file does.
    {
        Pipe pipe(std::vector<uint8_t>(bytes.begin(), bytes.end() - 100));
        TNumber2DArrayStore loaded;
        loaded.LoadFromFile(pipe.name());
        EXPECT_EQ(loaded.Rows, 298u);
        EXPECT_NE(loaded.LoadWarning.find("298 of 300 rows"), std::string::npos) << loaded.LoadWarning;
    }
    // One byte too many is refused with the header's count.
    {
        std::vector<uint8_t> longer = bytes;
        longer.push_back(0);
        Pipe pipe(longer);
        TNumber2DArrayStore loaded;
        EXPECT_NE(loadError(loaded, pipe.name()).find("goes on past the " + std::to_string(bytes.size())),
                  std::string::npos);
        EXPECT_EQ(loaded.Rows, 0u);
    }
    // The older layout (no name block) comes through a pipe too.
    {
        std::vector<uint8_t> older(bytes.begin(), bytes.begin() + 8);
        older.insert(older.end(), bytes.begin() + 264, bytes.end());
        Pipe pipe(older);
        TNumber2DArrayStore loaded;
        loaded.LoadFromFile(pipe.name());
        EXPECT_EQ(loaded.Rows, 300u);
        EXPECT_EQ(loaded.GetElement(71, 300), log.GetElement(71, 300));
    }
}
