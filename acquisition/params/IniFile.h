#pragma once
// A small INI file with private-profile semantics.
//
// Section and key names compare case-insensitively (ASCII); the first
// occurrence of a section or key wins; lines inside a section without '='
// are ignored; a value is the text after the first '=', trimmed. Comments,
// unknown sections and keys are kept. Writing a key replaces its line in
// place (keeping the key's spelling) or adds it after the last key of its
// section; a new section goes at the end of the file.
//
// In memory the text is UTF-8; on disk it is Windows-1252, and lines nobody
// wrote to keep their exact bytes, so an untouched file saves byte for byte
// as it was read. Line ends follow the file (CRLF for a new file). A file
// that starts with a UTF-8 byte order mark, or that is well-formed UTF-8 and
// holds non-ASCII bytes (as a Linux editor saves it), is read and written as
// UTF-8; a file keeps its byte order mark, or its lack of one.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillmar {

// An I/O failure on an INI or protocol file; what() names the file.
class IniFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class IniFile {
public:
    IniFile() = default;

    // Parses file bytes.
    static IniFile fromBytes(std::string_view bytes);

    // Reads path (through InputFile: folders refused, pipes read to their
    // end, at most MaxIniFileBytes). A missing file gives an empty IniFile
    // (exists() false); any other failure throws IniFileError.
    static IniFile load(const std::string& path);
    static constexpr uint64_t MaxIniFileBytes = uint64_t{1} << 20;

    bool exists() const { return exists_; }

    bool hasSection(const std::string& section) const;
    std::optional<std::string> value(const std::string& section, const std::string& key) const;
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& def) const;

    // Writes key=value. Line breaks in value become blanks so that one value
    // stays one line.
    void setValue(const std::string& section, const std::string& key, const std::string& value);

    // The file bytes.
    std::string toBytes() const;

    // Writes the file atomically: a temporary file in the same folder, flushed
    // to disk, then renamed over path. Creates missing folders. Throws
    // IniFileError naming the file on failure.
    void save(const std::string& path) const;

private:
    struct Line {
        std::string raw;   // bytes as on disk, without the line end
        std::string eol;   // "\r\n", "\n", "\r" or "" (last line without end)
        std::string text;  // raw as UTF-8
        // Parsed once: a section header, a key line, or anything else.
        enum class Kind { Other, Section, Key } kind = Kind::Other;
        std::string name;  // section name or key as spelled
        std::string value; // a key line's trimmed value
    };
    static void parse(Line& line);

    // Index of the header line of the first section named section, or npos.
    size_t findSection(const std::string& section) const;
    // Index of the line holding key in the section whose header is at s, or npos.
    size_t findKey(size_t s, const std::string& key) const;
    std::string encode(const std::string& utf8) const;
    std::string decode(const std::string& raw) const;
    Line makeLine(const std::string& utf8) const;

    std::vector<Line> lines_;
    // Lower-case section name -> header line of its first occurrence; rebuilt
    // after lines were inserted.
    mutable std::unordered_map<std::string, size_t> sections_;
    mutable bool sectionsStale_ = true;
    std::string newline_ = "\r\n";
    bool utf8_ = false; // the file is UTF-8
    bool bom_ = false;  // it began with a UTF-8 byte order mark
    bool exists_ = false;
};

// Reading helpers shared by the protocol file. Each returns nullopt when the
// whole trimmed text is not a number of that kind.
std::optional<long long> ParseIniInteger(const std::string& text);  // decimal, 0x.. or $..
std::optional<double> ParseIniFloat(const std::string& text);       // '.' or ',' separator

} // namespace quillmar
