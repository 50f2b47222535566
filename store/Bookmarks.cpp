#include "store/Bookmarks.h"

#include "store/base/AtomicFile.h"
#include "store/base/FileError.h"
#include "store/base/InputFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <unistd.h>

namespace quillmar {

namespace {

// A bookmarks file is a few lines; anything this long is not one.
constexpr uint64_t MaxBookmarksFileBytes = 16u << 20;
// Warnings kept for one file; the rest are counted.
constexpr size_t MaxWarnings = 20;

// The length of the well-formed UTF-8 sequence at s[i], 0 when there is none
// (overlong forms, surrogates and code points above U+10FFFF are not).
size_t utf8Length(std::string_view s, size_t i) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return 1;
    size_t n;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
    if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
    return n;
}

bool isUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const size_t n = utf8Length(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Shows a field of a hostile file in a message: short, one line.
std::string quoted(std::string_view field) {
    std::string shown = CleanBookmarkNote(field.substr(0, 40));
    if (field.size() > 40) shown += "...";
    return "'" + shown + "'";
}

} // namespace

std::string BookmarksFileName(const std::string& logFileName) {
    return logFileName + ".bookmarks";
}

std::string CleanBookmarkNote(std::string_view note) {
    std::string out;
    out.reserve(note.size());
    for (size_t i = 0; i < note.size();) {
        const size_t n = utf8Length(note, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD
            ++i;
            continue;
        }
        const std::string_view ch = note.substr(i, n);
        // Tab, line feed, vertical tab, form feed, carriage return, and the
        // line breaks of Unicode: next line, line and paragraph separator.
        const bool lineBreak = (n == 1 && (ch[0] == '\t' || (ch[0] >= '\n' && ch[0] <= '\r'))) ||
                               ch == "\xC2\x85" || ch == "\xE2\x80\xA8" || ch == "\xE2\x80\xA9";
        if (lineBreak && ch[0] == '\r' && i + 1 < note.size() && note[i + 1] == '\n') ++i; // one break
        if (lineBreak)
            out += ' ';
        else
            out += ch;
        i += n;
    }
    return out;
}

std::string FormatBookmarkTime(double seconds) {
    if (!std::isfinite(seconds)) seconds = 0;
    if (seconds == 0) seconds = 0; // no "-0.000"
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, 3);
    std::string text(buffer, result.ptr);
    if (text == "-0.000") text = "0.000";
    return text;
}

std::string FormatBookmarks(const std::vector<Bookmark>& bookmarks) {
    std::string text;
    for (const Bookmark& b : bookmarks) {
        text += FormatBookmarkTime(b.Time);
        text += '\t';
        text += std::to_string(b.Number);
        text += '\t';
        text += CleanBookmarkNote(b.Note);
        text += '\n';
    }
    return text;
}

BookmarkRead ParseBookmarks(std::string_view text, const std::string& fileName) {
    BookmarkRead read;
    size_t problems = 0;
    auto warn = [&](uint64_t line, const std::string& what) {
        ++problems;
        if (read.Warnings.size() < MaxWarnings)
            read.Warnings.push_back(fileName + " line " + std::to_string(line) + ": " + what);
    };
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3); // a byte order mark
    uint64_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (trim(line).empty()) continue;

        const size_t tab1 = line.find('\t');
        const size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string_view::npos) {
            warn(lineNumber, "not a bookmark (time, tab, number, tab, note)");
            continue;
        }
        const std::string_view timeField = trim(line.substr(0, tab1));
        const std::string_view numberField = trim(line.substr(tab1 + 1, tab2 - tab1 - 1));
        Bookmark b;
        const char* tf = timeField.data();
        const auto timeResult = std::from_chars(tf, tf + timeField.size(), b.Time, std::chars_format::fixed);
        if (timeField.empty() || timeResult.ec != std::errc() || timeResult.ptr != tf + timeField.size() ||
            !std::isfinite(b.Time) || b.Time < 0) {
            warn(lineNumber, quoted(timeField) + " is not a time in seconds");
            continue;
        }
        const char* nf = numberField.data();
        const auto numberResult = std::from_chars(nf, nf + numberField.size(), b.Number);
        if (numberField.empty() || numberResult.ec != std::errc() ||
            numberResult.ptr != nf + numberField.size() || b.Number == 0) {
            warn(lineNumber, quoted(numberField) + " is not a bookmark number");
            continue;
        }
        const std::string_view note = line.substr(tab2 + 1);
        if (!isUtf8(note)) warn(lineNumber, "the note is not UTF-8; its odd bytes are shown as \xEF\xBF\xBD");
        b.Note = CleanBookmarkNote(note);
        read.Bookmarks.push_back(std::move(b));
    }
    if (problems > MaxWarnings)
        read.Warnings.push_back(fileName + ": " + std::to_string(problems - MaxWarnings) +
                                " more lines with problems");
    return read;
}

std::optional<BookmarkRead> ReadBookmarks(const std::string& fileName) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) return std::nullopt;
    const std::vector<uint8_t> bytes = ReadInputFile(fileName, MaxBookmarksFileBytes, "a bookmarks file");
    return ParseBookmarks(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                          fileName);
}

void WriteBookmarks(const std::string& fileName, const std::vector<Bookmark>& bookmarks) {
    WriteFileAtomically(fileName, FormatBookmarks(bookmarks));
}

void SaveBookmarksBeside(const std::string& logFileName, const std::vector<Bookmark>& bookmarks) {
    const std::string fileName = BookmarksFileName(logFileName);
    if (!bookmarks.empty()) {
        WriteBookmarks(fileName, bookmarks);
        return;
    }
    struct stat st {};
    if (::lstat(fileName.c_str(), &st) != 0) return;
    // Only a regular file is ours to remove.
    if (!S_ISREG(st.st_mode)) return;
    if (::unlink(fileName.c_str()) != 0 && errno != ENOENT)
        throw FileError("Cannot remove file " + fileName + " (" + std::strerror(errno) + ")", fileName);
}

} // namespace quillmar
