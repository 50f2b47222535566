// A small INI file with private-profile semantics, kept byte for byte.

#include "acquisition/IniFile.h"

#include "store/AtomicFile.h"

#include "store/Cp1252.h"
#include "store/InputFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>

namespace quillmar {
namespace {

constexpr std::string_view Bom = "\xEF\xBB\xBF";

std::string trim(std::string_view s) {
    const char* ws = " \t\r\n\v\f";
    const size_t b = s.find_first_not_of(ws);
    if (b == std::string_view::npos) return {};
    const size_t e = s.find_last_not_of(ws);
    return std::string(s.substr(b, e - b + 1));
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

// The section name of a header line "[name]", or nullopt.
std::optional<std::string> sectionName(const std::string& text) {
    const std::string t = trim(text);
    if (t.empty() || t[0] != '[') return std::nullopt;
    const size_t close = t.find(']');
    return trim(std::string_view(t).substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

// Key and value of a "key=value" line, or nullopt for comments and other text.
std::optional<std::pair<std::string, std::string>> keyValue(const std::string& text) {
    const std::string t = trim(text);
    if (t.empty() || t[0] == ';') return std::nullopt;
    const size_t eq = t.find('=');
    if (eq == std::string::npos) return std::nullopt;
    std::string key = trim(std::string_view(t).substr(0, eq));
    if (key.empty()) return std::nullopt;
    return std::make_pair(std::move(key), trim(std::string_view(t).substr(eq + 1)));
}

// A C0 control other than tab, vertical tab, form feed and carriage return:
// no text a person writes holds one.
bool holdsControl(std::string_view s) {
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && u != '\t' && u != '\v' && u != '\f' && u != '\r') return true;
    }
    return false;
}

// UTF-16 text: a byte order mark, or (without one) NUL in every other byte of
// most of its start, as characters of the Latin alphabet have in UTF-16.
bool looksUtf16(std::string_view bytes) {
    if (bytes.size() >= 2 &&
        ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF')))
        return true;
    const size_t n = std::min<size_t>(bytes.size(), 1024) & ~size_t{1};
    if (n < 4) return false;
    size_t nulEven = 0, nulOdd = 0;
    for (size_t i = 0; i < n; ++i)
        if (bytes[i] == '\0') ++(i % 2 ? nulOdd : nulEven);
    const size_t pairs = n / 2;
    return (nulEven == 0 && nulOdd * 4 >= pairs * 3) || (nulOdd == 0 && nulEven * 4 >= pairs * 3);
}

} // namespace

size_t IniFile::NoCaseHash::operator()(std::string_view s) const {
    // FNV-1a over the lower-case bytes.
    uint64_t h = 14695981039346656037ull;
    for (const char c : s)
        h = (h ^ static_cast<unsigned char>(lowerAscii(c))) * 1099511628211ull;
    return static_cast<size_t>(h);
}

bool IniFile::NoCaseEqual::operator()(std::string_view a, std::string_view b) const {
    return equalNoCase(a, b);
}

IniFile IniFile::fromBytes(std::string_view bytes) {
    IniFile f;
    f.exists_ = true;
    f.nul_ = bytes.find('\0') != std::string_view::npos;
    f.utf16_ = looksUtf16(bytes);
    if (bytes.substr(0, Bom.size()) == Bom) {
        f.utf8_ = true;
        f.bom_ = true;
        bytes.remove_prefix(Bom.size());
    } else if (IsNonAsciiUtf8(bytes)) {
        // Saved as UTF-8 by an editor that writes no byte order mark.
        f.utf8_ = true;
    }
    bool newlineSeen = false;
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t nl = bytes.find('\n', at);
        Line line;
        if (nl == std::string_view::npos) {
            line.raw = std::string(bytes.substr(at));
            at = bytes.size();
        } else {
            size_t end = nl;
            line.eol = "\n";
            if (end > at && bytes[end - 1] == '\r') {
                --end;
                line.eol = "\r\n";
            }
            line.raw = std::string(bytes.substr(at, end - at));
            at = nl + 1;
            if (!newlineSeen) {
                f.newline_ = line.eol;
                newlineSeen = true;
            }
        }
        line.text = f.decode(line.raw);
        parse(line);
        if (line.kind == Line::Kind::Section) {
            Block block;
            block.push_back(std::move(line));
            f.addBlock(std::move(block));
        } else {
            f.blocks_.back().push_back(std::move(line));
        }
    }
    return f;
}

IniFile IniFile::load(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) return IniFile();
    if (ec) throw IniFileError("Cannot read \"" + path + "\": " + ec.message());
    try {
        const std::vector<uint8_t> bytes = ReadInputFile(path, MaxIniFileBytes, "a protocol file");
        return fromBytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const FileError& e) {
        throw IniFileError(e.what());
    }
}

std::optional<std::string> IniFile::notText() const {
    if (utf16_) return "it is UTF-16 text; save it as UTF-8 or Windows-1252 text";
    if (nul_) return "it holds NUL bytes, as binary data does, not text";
    return std::nullopt;
}

std::vector<size_t> IniFile::strayLines() const {
    std::vector<size_t> stray;
    size_t n = 0;
    for (const Block& block : blocks_) {
        for (const Line& line : block) {
            ++n;
            if (holdsControl(line.raw)) {
                stray.push_back(n);
                continue;
            }
            if (line.kind != Line::Kind::Other) continue;
            const size_t first = line.raw.find_first_not_of(" \t\r\v\f");
            if (first == std::string::npos || line.raw[first] == ';' || line.raw[first] == '#') continue;
            stray.push_back(n);
        }
    }
    return stray;
}

std::string IniFile::strayLineText(size_t n) const {
    const Line& line = lineAt(n);
    std::string says = "line " + std::to_string(n) + " is not INI text";
    if (holdsControl(line.raw)) return says + " (it holds control characters)";
    // Its first 40 characters.
    const std::string t = trim(line.text);
    size_t cut = 0;
    for (size_t chars = 0; cut < t.size() && chars < 40; ++chars) {
        ++cut;
        while (cut < t.size() && (static_cast<unsigned char>(t[cut]) & 0xC0) == 0x80)
            ++cut;
    }
    return says + ": \"" + t.substr(0, cut) + (cut < t.size() ? "...\"" : "\"");
}

const IniFile::Line& IniFile::lineAt(size_t n) const {
    for (const Block& block : blocks_) {
        if (n <= block.size()) return block[n - 1];
        n -= block.size();
    }
    throw std::out_of_range("IniFile: no such line");
}

std::string IniFile::encode(const std::string& utf8) const {
    return utf8_ ? utf8 : utf8ToCp1252(utf8);
}
std::string IniFile::decode(const std::string& raw) const {
    return utf8_ ? raw : cp1252ToUtf8(raw);
}

IniFile::Line IniFile::makeLine(const std::string& utf8) const {
    Line line;
    line.raw = encode(utf8);
    line.text = decode(line.raw);
    line.eol = newline_;
    parse(line);
    return line;
}

void IniFile::parse(Line& line) {
    if (auto name = sectionName(line.text)) {
        line.kind = Line::Kind::Section;
        line.name = std::move(*name);
    } else if (auto kv = keyValue(line.text)) {
        line.kind = Line::Kind::Key;
        line.name = std::move(kv->first);
        line.value = std::move(kv->second);
    }
}

void IniFile::addBlock(Block block) {
    sections_.emplace(block.front().name, blocks_.size()); // the first of a name stays
    blocks_.push_back(std::move(block));
}

size_t IniFile::findSection(std::string_view section) const {
    const auto it = sections_.find(section);
    return it == sections_.end() ? std::string::npos : it->second;
}

size_t IniFile::findKey(size_t b, std::string_view key) const {
    const Block& block = blocks_[b];
    for (size_t i = 1; i < block.size(); ++i)
        if (block[i].kind == Line::Kind::Key && equalNoCase(block[i].name, key)) return i;
    return std::string::npos;
}

bool IniFile::hasSection(const std::string& section) const {
    return findSection(section) != std::string::npos;
}

std::optional<std::string> IniFile::value(const std::string& section, const std::string& key) const {
    const size_t b = findSection(section);
    if (b == std::string::npos) return std::nullopt;
    const size_t k = findKey(b, key);
    if (k == std::string::npos) return std::nullopt;
    return blocks_[b][k].value;
}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& def) const {
    auto v = value(section, key);
    return v ? *v : def;
}

size_t IniFile::lineOf(const std::string& section, const std::string& key) const {
    const size_t b = findSection(section);
    if (b == std::string::npos) return 0;
    const size_t k = findKey(b, key);
    if (k == std::string::npos) return 0;
    size_t n = k + 1;
    for (size_t i = 0; i < b; ++i)
        n += blocks_[i].size();
    return n;
}

void IniFile::setValue(const std::string& section, const std::string& key, const std::string& value) {
    std::string clean = value;
    for (char& c : clean)
        if (c == '\r' || c == '\n') c = ' ';
    // The file's last line gets a line end before anything follows it.
    const auto endLastLine = [this] {
        for (auto b = blocks_.rbegin(); b != blocks_.rend(); ++b) {
            if (b->empty()) continue;
            if (b->back().eol.empty()) b->back().eol = newline_;
            return;
        }
    };

    const size_t b = findSection(section);
    if (b == std::string::npos) {
        endLastLine();
        Block block;
        block.push_back(makeLine("[" + section + "]"));
        block.push_back(makeLine(key + "=" + clean));
        addBlock(std::move(block));
        return;
    }
    Block& block = blocks_[b];
    const size_t k = findKey(b, key);
    if (k != std::string::npos) {
        // Keep the key as the file spells it.
        const std::string spelled = block[k].name;
        const std::string eol = block[k].eol;
        block[k] = makeLine(spelled + "=" + clean);
        block[k].eol = eol;
        return;
    }
    // After the section's last key, or right after its header.
    size_t insertAt = 1;
    for (size_t i = 1; i < block.size(); ++i)
        if (block[i].kind == Line::Kind::Key) insertAt = i + 1;
    if (insertAt == block.size() && b + 1 == blocks_.size()) endLastLine();
    block.insert(block.begin() + static_cast<std::ptrdiff_t>(insertAt), makeLine(key + "=" + clean));
}

std::string IniFile::toBytes() const {
    std::string out;
    size_t size = bom_ ? Bom.size() : 0;
    for (const Block& block : blocks_)
        for (const Line& l : block)
            size += l.raw.size() + l.eol.size();
    out.reserve(size);
    if (bom_) out += Bom;
    for (const Block& block : blocks_) {
        for (const Line& l : block) {
            out += l.raw;
            out += l.eol;
        }
    }
    return out;
}

void IniFile::save(const std::string& path) const {
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    if (ec) throw IniFileError("Cannot write \"" + path + "\": " + ec.message());
    try {
        WriteFileAtomically(path, toBytes());
    } catch (const FileError& e) {
        throw IniFileError(e.what());
    }
}

std::optional<long long> ParseIniInteger(const std::string& text) {
    std::string t = trim(text);
    bool negative = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        negative = t[0] == '-';
        t.erase(0, 1);
    }
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.erase(0, 2);
    } else if (t.size() > 1 && t[0] == '$') {
        base = 16;
        t.erase(0, 1);
    }
    if (t.empty() || t[0] == '-' || t[0] == '+') return std::nullopt;
    unsigned long long magnitude = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), magnitude, base);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return std::nullopt;
    if (negative) {
        if (magnitude > 9223372036854775808ull) return std::nullopt;
        return magnitude == 9223372036854775808ull ? INT64_MIN : -static_cast<long long>(magnitude);
    }
    if (magnitude > 9223372036854775807ull) return std::nullopt;
    return static_cast<long long>(magnitude);
}

std::optional<double> ParseIniFloat(const std::string& text) {
    std::string t = trim(text);
    if (t.find('.') != std::string::npos && t.find(',') != std::string::npos) return std::nullopt;
    for (char& c : t)
        if (c == ',') c = '.';
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    if (t.empty() || t[0] == '+') return std::nullopt;
    double v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

} // namespace quillmar
