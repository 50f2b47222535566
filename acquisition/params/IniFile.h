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

#include "store/base/Error.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillmar {

// An I/O failure on an INI or protocol file, or a file refused as the
// protocol file; what() names the file, error() says the same in parts.
class IniFileError : public ErrorException {
public:
    using ErrorException::ErrorException;
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

    // Why the bytes are not text at all, or nullopt: UTF-16 text ("it is
    // UTF-16 text ...") or other bytes holding NUL ("it holds NUL bytes ...").
    std::optional<std::string> notText() const;
    // Numbers (from 1) of the lines that are neither a section header, a
    // key=value line, a comment (';' or '#') nor blank, or that hold control
    // characters.
    std::vector<size_t> strayLines() const;
    // Why line n (from 1) is not INI text: "line 3 is not INI text: "...""
    // quoting its start, or "... (it holds control characters)".
    std::string strayLineText(size_t n) const;
    // The same without "line 3 ": "is not INI text: "..."".
    std::string strayLineWhy(size_t n) const;

    bool hasSection(const std::string& section) const;
    std::optional<std::string> value(const std::string& section, const std::string& key) const;
    std::string readString(const std::string& section, const std::string& key, const std::string& def) const;
    // The values of several keys of one section, read in one pass: for each
    // of keys the value of its first occurrence, or nullopt. Empty when
    // there is no such section.
    std::vector<std::optional<std::string>> values(const std::string& section,
                                                   const std::vector<std::string_view>& keys) const;
    // The number (from 1) of the line holding key in section, or 0.
    size_t lineOf(const std::string& section, const std::string& key) const;

    // Writes key=value. Line breaks in value become blanks so that one value
    // stays one line.
    void setValue(const std::string& section, const std::string& key, const std::string& value);
    // Writes several keys of one section in one pass, as setValue for each
    // in turn would.
    void setValues(const std::string& section,
                   const std::vector<std::pair<std::string_view, std::string>>& keyValues);

    // Takes every section named section out of the file, header and lines.
    void removeSection(const std::string& section);

    // The file bytes.
    std::string toBytes() const;

    // Writes the file atomically: a temporary file in the same folder, flushed
    // to disk, then renamed over path. Creates missing folders. Throws
    // IniFileError naming the file on failure.
    void save(const std::string& path) const;

private:
    enum class Eol : uint8_t { None, Lf, CrLf };
    // One line, parsed once: a section header, a key line, or anything else.
    // Its bytes are a piece of the file as read, or a string of its own once
    // written. Names and values are found in the bytes as on disk (the
    // characters that give a line its form are ASCII in Windows-1252 and
    // UTF-8 alike) and decoded when asked for.
    struct Line {
        uint32_t at = 0, size = 0; // the bytes in source_, without the line end
        int32_t own = -1;          // or, when not -1, owned_[own]
        Eol eol = Eol::None;
        enum class Kind : uint8_t { Other, Section, Key } kind = Kind::Other;
        uint32_t nameAt = 0, nameSize = 0;   // section name or key as spelled, within the bytes
        uint32_t valueAt = 0, valueSize = 0; // a key line's trimmed value
    };
    static void parse(Line& line, std::string_view bytes);
    static std::string_view eolText(Eol eol) {
        return eol == Eol::CrLf ? "\r\n" : eol == Eol::Lf ? "\n" : "";
    }
    std::string_view bytesOf(const Line& line) const {
        return line.own < 0 ? std::string_view(source_).substr(line.at, line.size)
                            : std::string_view(owned_[size_t(line.own)]);
    }
    std::string_view nameOf(const Line& line) const {
        return bytesOf(line).substr(line.nameAt, line.nameSize);
    }
    std::string_view valueOf(const Line& line) const {
        return bytesOf(line).substr(line.valueAt, line.valueSize);
    }

    // The file as blocks of lines: blocks_[0] holds the lines before the
    // first section header (often none), every further block a header and
    // the lines up to the next one. A key goes into its block and a new
    // section is a new block at the end, so the index of sections never goes
    // stale and writing a table costs no rescans.
    using Block = std::vector<Line>;

    // ASCII case-insensitive hashing and comparison for the section index.
    struct NoCaseHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const;
    };
    struct NoCaseEqual {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };

    // The block of the first section named section, or npos.
    size_t findSection(std::string_view section) const;
    // The index in block b of the line holding key, or npos.
    size_t findKey(size_t b, std::string_view key) const;
    // The same for several keys, in one pass over the block.
    std::vector<size_t> findKeys(size_t b, const std::vector<std::string_view>& keys) const;
    // The line numbered n (from 1).
    const Line& lineAt(size_t n) const;
    // Appends a block and indexes its header if its name is new.
    void addBlock(Block block);
    // Gives line the bytes as on disk, ended as the file's lines are.
    void assign(Line& line, std::string bytes);
    // Ends the file's last line before anything follows it.
    void endLastLine();
    std::string encode(std::string_view utf8) const;
    std::string decode(std::string_view raw) const;

    std::string source_;             // the file as read, without a byte order mark
    std::vector<std::string> owned_; // the bytes of lines written since
    std::vector<Block> blocks_ = std::vector<Block>(1);
    // Section name (decoded, as spelled in its header) -> its first block.
    std::unordered_map<std::string, size_t, NoCaseHash, NoCaseEqual> sections_;
    Eol newline_ = Eol::CrLf;
    bool utf8_ = false; // the file is UTF-8
    bool bom_ = false;  // it began with a UTF-8 byte order mark
    bool exists_ = false;
    bool utf16_ = false; // it began with a UTF-16 byte order mark or reads as UTF-16
    bool nul_ = false;   // it holds NUL bytes
};

// Reading helpers shared by the protocol file. Each returns nullopt when the
// whole trimmed text is not a number of that kind.
std::optional<long long> ParseIniInteger(const std::string& text); // decimal, 0x.. or $..
std::optional<double> ParseIniFloat(const std::string& text);      // '.' or ',' separator

} // namespace quillmar
