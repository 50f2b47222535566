#pragma once
// Bookmarks of a recording: numbered moments with an optional note. The log
// file's layout has no room for them, so they live beside it in
// FILE.ecu.bookmarks: UTF-8 text, one bookmark a line, the time in seconds
// with three decimals, a tab, the number, a tab, the note.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmar {

struct Bookmark {
    double Time = 0;     // seconds since the recording's start
    uint32_t Number = 0; // 1, 2, ... in the order they were set
    std::string Note;    // UTF-8, one line; may be empty

    bool operator==(const Bookmark&) const = default;
};

// The bookmarks file of a log file: its name with ".bookmarks" added.
std::string BookmarksFileName(const std::string& logFileName);

// A note fit for one line of the file: tabs and line breaks become spaces,
// bytes that are not UTF-8 become U+FFFD.
std::string CleanBookmarkNote(std::string_view note);

// The time as the file and the listings write it: three decimals, a point,
// whatever the locale ("12.345"); 0.000 for a time that is not a number.
std::string FormatBookmarkTime(double seconds);

// The file's text: one line per bookmark, each ending in a line feed.
std::string FormatBookmarks(const std::vector<Bookmark>& bookmarks);

struct BookmarkRead {
    std::vector<Bookmark> Bookmarks;
    // "<file> line N: <what is wrong>" for each line that was skipped.
    std::vector<std::string> Warnings;
};

// Reads the text of a bookmarks file; fileName only names it in warnings.
// Blank lines are passed over, a line that is not a bookmark is skipped
// with a warning, and nothing in the text makes it fail.
BookmarkRead ParseBookmarks(std::string_view text, const std::string& fileName);

// Reads a bookmarks file; nullopt when there is none. Throws FileError when
// it exists and cannot be read.
std::optional<BookmarkRead> ReadBookmarks(const std::string& fileName);

// Writes the bookmarks file, replacing it safely (store/base/AtomicFile.h).
// Throws FileError.
void WriteBookmarks(const std::string& fileName, const std::vector<Bookmark>& bookmarks);

// Writes the bookmarks beside a log file just saved; with none, removes a
// bookmarks file left there by an earlier log of that name. Throws FileError.
void SaveBookmarksBeside(const std::string& logFileName, const std::vector<Bookmark>& bookmarks);

} // namespace quillmar
