// Saves that replace a file through a temporary one: the longest names a
// folder allows, the temporary files a killed save leaves behind, and the
// reason every failed save gives.

#include "StoreTestSupport.h"

#include "tests/common/PrivateMounts.h"

#include "store/base/AtomicFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillmar;
using namespace quillmar::test;

namespace {

namespace fs = std::filesystem;

std::string saveError(const std::string& name, const std::string& text = "content") {
    try {
        WriteFileAtomically(name, text);
    } catch (const FileError& e) {
        EXPECT_EQ(e.fileName(), name);
        return e.what();
    }
    return "";
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

// A file of ours as a killed save leaves it, last written secondsAgo.
void leaveFile(const std::string& path, double secondsAgo) {
    writeFile(path, {1, 2, 3});
    const auto when =
        fs::file_time_type::clock::now() -
        std::chrono::duration_cast<fs::file_time_type::duration>(std::chrono::duration<double>(secondsAgo));
    fs::last_write_time(path, when);
}

} // namespace

TEST(SaveFiles, NamesUpToTheLongestAFolderAllowsAreSavedAndReplaced) {
    ScratchDir dir;
    for (const size_t length : {size_t(248), size_t(251), size_t(255)}) {
        const std::string name = dir.file(std::string(length - 4, 'n') + ".ecu");
        EXPECT_EQ(saveError(name, "first"), "") << length;
        EXPECT_EQ(saveError(name, "second"), "") << length;
        const auto bytes = readFile(name);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "second");
        fs::remove(name);
    }
    // One byte more than a folder allows is refused with the system's reason.
    const std::string tooLong = dir.file(std::string(252, 'n') + ".ecu");
    EXPECT_EQ(saveError(tooLong), "Cannot create file " + tooLong + " (File name too long)");
    EXPECT_TRUE(namesIn(dir.path).empty());
}

TEST(SaveFiles, TheNextSaveIntoAFolderRemovesOurLeftoversOlderThanAMinute) {
    ScratchDir dir;
    const std::string old = dir.file(".quillmar-save-Ab12Cd");
    leaveFile(old, 120);
    // Not ours, or not old enough, or in use: all of these stay.
    const std::vector<std::string> kept = {
        ".quillmar-save-Xy34Zw",  // 30 seconds old
        ".quillmar-save-Held01",  // held by a save in progress
        ".run.ecu.Ab12Cd",        // the pattern of other programs
        ".quillmar-save-Ab12C",   // five characters, not six
        ".quillmar-save-Ab12Cd7", // seven
        ".quillmar-save-Ab-2Cd",  // not a letter or digit
        "quillmar-save-Ab12Cd",   // not hidden
        "run.ecu",
    };
    leaveFile(dir.file(kept[0]), 30);
    for (size_t k = 1; k < kept.size(); ++k)
        leaveFile(dir.file(kept[k]), 3600);
    const int held = ::open(dir.file(kept[1]).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    // A folder and a link of our name, the link's target old and ours.
    fs::create_directory(dir.file(".quillmar-save-Dir001"));
    fs::last_write_time(dir.file(".quillmar-save-Dir001"), fs::last_write_time(old));
    fs::create_directory(dir.file("elsewhere"));
    leaveFile(dir.file("elsewhere/.quillmar-save-Tgt001"), 3600);
    fs::create_symlink("elsewhere/.quillmar-save-Tgt001", dir.file(".quillmar-save-Lnk001"));
    std::set<std::string> expected(kept.begin(), kept.end());
    expected.insert({".quillmar-save-Dir001", ".quillmar-save-Lnk001", "elsewhere"});
    // Someone else's file of our name, where we may give it away.
    if (::geteuid() == 0) {
        leaveFile(dir.file(".quillmar-save-Oth001"), 3600);
        ASSERT_EQ(::chown(dir.file(".quillmar-save-Oth001").c_str(), 65534, 65534), 0);
        expected.insert(".quillmar-save-Oth001");
    }
    // A save into another folder leaves this one alone.
    fs::create_directory(dir.file("other"));
    EXPECT_EQ(saveError(dir.file("other/x.ecu")), "");
    EXPECT_TRUE(fs::exists(old));

    EXPECT_EQ(saveError(dir.file("new.ecu")), "");
    expected.insert("new.ecu");
    expected.insert("other");
    EXPECT_EQ(namesIn(dir.path), expected);
    EXPECT_TRUE(fs::exists(dir.file("elsewhere/.quillmar-save-Tgt001")));
    ::close(held);
    // Once the save holding it is gone, it goes too.
    EXPECT_EQ(SweepSaveLeftovers(dir.path.string()), 1u);
    EXPECT_FALSE(fs::exists(dir.file(kept[1])));
    // Now and only in the folder given.
    EXPECT_EQ(SweepSaveLeftovers(dir.file("missing")), 0u);
}

TEST(SaveFiles, EveryFailureNamesTheFileAndTheSystemsReason) {
    ScratchDir dir;
    const std::string nowhere = dir.file("no/such/folder.ecu");
    EXPECT_EQ(saveError(nowhere), "Cannot create file " + nowhere + " (No such file or directory)");
    // Through a link, the file it points to.
    const std::string link = dir.file("link.ecu");
    fs::create_symlink("gone/run.ecu", link);
    EXPECT_EQ(saveError(link), "Cannot create file " + link + " (" + dir.file("gone/run.ecu") +
                                   ": No such file or directory)");

    if (::geteuid() != 0) {
        const std::string locked = dir.file("locked.ecu");
        writeFile(locked, {1});
        ::chmod(locked.c_str(), 0444);
        EXPECT_EQ(saveError(locked), "Cannot create file " + locked + " (Permission denied)");
        const std::string closed = dir.file("closed");
        fs::create_directory(closed);
        ::chmod(closed.c_str(), 0555);
        EXPECT_EQ(saveError(closed + "/x.ecu"),
                  "Cannot create file " + closed + "/x.ecu (Permission denied)");
        ::chmod(closed.c_str(), 0755);
    }

    // A full and a read-only file system.
    const std::string small = dir.file("small");
    fs::create_directory(small);
    if (!mounts::MountSmallTmpfs(small, "16k"))
        GTEST_SKIP() << "no private mount namespace for a small tmpfs here";
    mounts::Unmounts unmount;
    unmount.add(small);
    const std::string run = small + "/run.ecu";
    EXPECT_EQ(saveError(run, "kept"), "");
    EXPECT_EQ(saveError(run, std::string(64 * 1024, 'x')),
              "Cannot write file " + run + " (No space left on device)");
    ASSERT_TRUE(mounts::RemountReadOnly(small, "16k"));
    EXPECT_EQ(saveError(run), "Cannot create file " + run + " (Read-only file system)");
    EXPECT_EQ(saveError(small + "/new.ecu"),
              "Cannot create file " + small + "/new.ecu (Read-only file system)");
    const auto bytes = readFile(run);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "kept");
    EXPECT_EQ(namesIn(small), std::set<std::string>{"run.ecu"});
}
