// A small INI file with private-profile semantics, kept byte for byte.

#include "acquisition/params/IniFile.h"

#include "store/base/AtomicFile.h"

#include "store/base/Cp1252.h"
#include "store/base/InputFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>

namespace quillmar {
namespace {

// "Cannot read "<path>": <the system's text>".
Error systemFailure(ErrorKind kind, const std::string& lead, const std::string& path,
                    const std::error_code& ec) {
    Error e = FileProblem(kind, lead, path, ec.message());
    e.quoteFile = true;
    e.code = ec.value();
    return e;
}

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
        if (a[i] != b[i] && lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

// ' ', or one of '\t', '\n', '\v', '\f' and '\r' (9 to 13).
bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view trimView(std::string_view s) {
    const char* b = s.data();
    const char* e = b + s.size();
    while (b < e && isBlank(*b))
        ++b;
    while (e > b && isBlank(e[-1]))
        --e;
    return std::string_view(b, size_t(e - b));
}

// The byte scans below take eight bytes at a step: a file is scanned a few
// times per load, and the fuzzer counts every step.
uint64_t load8(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

bool isAscii(std::string_view s) {
    size_t i = 0;
    for (; i + 8 <= s.size(); i += 8)
        if (load8(s.data() + i) & 0x8080808080808080ull) return false;
    for (; i < s.size(); ++i)
        if (static_cast<unsigned char>(s[i]) >= 0x80) return false;
    return true;
}

// Whether any byte is below 0x20.
bool anyBelowSpace(std::string_view s) {
    size_t i = 0;
    constexpr uint64_t Ones = 0x0101010101010101ull, Highs = 0x8080808080808080ull;
    for (; i + 8 <= s.size(); i += 8) {
        const uint64_t w = load8(s.data() + i);
        if ((w - Ones * 0x20) & ~w & Highs) return true;
    }
    for (; i < s.size(); ++i)
        if (static_cast<unsigned char>(s[i]) < 0x20) return true;
    return false;
}

// A C0 control other than tab, vertical tab, form feed and carriage return:
// no text a person writes holds one.
bool holdsControl(std::string_view s) {
    if (!anyBelowSpace(s)) return false;
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && u != '\t' && u != '\v' && u != '\f' && u != '\r') return true;
    }
    return false;
}

// UTF-16 text: a byte order mark, or (without one) NUL in every other byte of
// most of its start, as characters of the Latin alphabet have in UTF-16.
bool looksUtf16(std::string_view bytes, bool holdsNul) {
    if (bytes.size() >= 2 &&
        ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF')))
        return true;
    if (!holdsNul) return false;
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
    f.utf16_ = looksUtf16(bytes, f.nul_);
    if (bytes.substr(0, Bom.size()) == Bom) {
        f.utf8_ = true;
        f.bom_ = true;
        bytes.remove_prefix(Bom.size());
    } else if (!isAscii(bytes) && IsNonAsciiUtf8(bytes)) {
        // Saved as UTF-8 by an editor that writes no byte order mark.
        f.utf8_ = true;
    }
    f.source_ = std::string(bytes);
    const std::string_view source = f.source_;
    bool newlineSeen = false;
    size_t at = 0;
    while (at < source.size()) {
        const size_t nl = source.find('\n', at);
        Line line;
        line.at = static_cast<uint32_t>(at);
        if (nl == std::string_view::npos) {
            line.size = static_cast<uint32_t>(source.size() - at);
            at = source.size();
        } else {
            size_t end = nl;
            line.eol = Eol::Lf;
            if (end > at && source[end - 1] == '\r') {
                --end;
                line.eol = Eol::CrLf;
            }
            line.size = static_cast<uint32_t>(end - at);
            at = nl + 1;
            if (!newlineSeen) {
                f.newline_ = line.eol;
                newlineSeen = true;
            }
        }
        parse(line, std::string_view(source.data() + line.at, line.size));
        if (line.kind == Line::Kind::Section) {
            Block block;
            block.reserve(12); // a protocol file's section has 11 lines
            block.push_back(line);
            f.addBlock(std::move(block));
        } else {
            f.blocks_.back().push_back(line);
        }
    }
    return f;
}

IniFile IniFile::load(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) return IniFile();
    if (ec) throw IniFileError(systemFailure(ErrorKind::CannotRead, "Cannot read", path, ec));
    try {
        const std::vector<uint8_t> bytes = ReadInputFile(path, MaxIniFileBytes, "a protocol file");
        return fromBytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const FileError& e) {
        throw IniFileError(e.error());
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
            const std::string_view bytes = bytesOf(line);
            if (holdsControl(bytes)) {
                stray.push_back(n);
                continue;
            }
            if (line.kind != Line::Kind::Other) continue;
            const std::string_view t = trimView(bytes);
            if (t.empty() || t[0] == ';' || t[0] == '#') continue;
            stray.push_back(n);
        }
    }
    return stray;
}

std::string IniFile::strayLineText(size_t n) const {
    return "line " + std::to_string(n) + " " + strayLineWhy(n);
}

std::string IniFile::strayLineWhy(size_t n) const {
    const std::string_view bytes = bytesOf(lineAt(n));
    std::string says = "is not INI text";
    if (holdsControl(bytes)) return says + " (it holds control characters)";
    // Its first 40 characters.
    const std::string t = decode(trimView(bytes));
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

std::string IniFile::encode(std::string_view utf8) const {
    return utf8_ || isAscii(utf8) ? std::string(utf8) : utf8ToCp1252(utf8);
}
std::string IniFile::decode(std::string_view raw) const {
    return utf8_ || isAscii(raw) ? std::string(raw) : cp1252ToUtf8(raw);
}

void IniFile::parse(Line& line, std::string_view bytes) {
    line.kind = Line::Kind::Other;
    const std::string_view t = trimView(bytes);
    const auto offset = [&](std::string_view part) {
        return part.empty() ? uint32_t{0} : static_cast<uint32_t>(part.data() - bytes.data());
    };
    if (t.empty()) return;
    const char* const begin = t.data();
    const char* const end = begin + t.size();
    if (t[0] == '[') {
        // "[name]"; a header without its bracket still names a section.
        const char* close = static_cast<const char*>(std::memchr(begin, ']', t.size()));
        const std::string_view name =
            trimView(std::string_view(begin + 1, size_t((close ? close : end) - begin - 1)));
        line.kind = Line::Kind::Section;
        line.nameAt = offset(name);
        line.nameSize = static_cast<uint32_t>(name.size());
        return;
    }
    if (t[0] == ';') return;
    const char* eq = static_cast<const char*>(std::memchr(begin, '=', t.size()));
    if (!eq) return;
    const std::string_view key = trimView(std::string_view(begin, size_t(eq - begin)));
    if (key.empty()) return;
    const std::string_view value = trimView(std::string_view(eq + 1, size_t(end - eq - 1)));
    line.kind = Line::Kind::Key;
    line.nameAt = offset(key);
    line.nameSize = static_cast<uint32_t>(key.size());
    line.valueAt = offset(value);
    line.valueSize = static_cast<uint32_t>(value.size());
}

void IniFile::assign(Line& line, std::string bytes) {
    if (line.own < 0) {
        line.own = static_cast<int32_t>(owned_.size());
        owned_.push_back(std::move(bytes));
    } else {
        owned_[size_t(line.own)] = std::move(bytes);
    }
    line.at = 0;
    line.size = static_cast<uint32_t>(owned_[size_t(line.own)].size());
    parse(line, owned_[size_t(line.own)]);
}

void IniFile::addBlock(Block block) {
    sections_.emplace(decode(nameOf(block.front())), blocks_.size()); // the first of a name stays
    blocks_.push_back(std::move(block));
}

void IniFile::removeSection(const std::string& section) {
    if (sections_.erase(section) == 0) return;
    // Later blocks of the same name were never indexed: they go too, or the
    // next of them would stand in for the one removed.
    const NoCaseEqual same;
    for (size_t b = 1; b < blocks_.size(); ++b)
        if (!blocks_[b].empty() && same(decode(nameOf(blocks_[b].front())), section)) blocks_[b].clear();
}

size_t IniFile::findSection(std::string_view section) const {
    const auto it = sections_.find(section);
    return it == sections_.end() ? std::string::npos : it->second;
}

size_t IniFile::findKey(size_t b, std::string_view key) const {
    // An ASCII key matches the bytes as they are in either encoding; only
    // another key needs the names decoded.
    const bool ascii = isAscii(key);
    const Block& block = blocks_[b];
    for (size_t i = 1; i < block.size(); ++i) {
        const Line& line = block[i];
        if (line.kind != Line::Kind::Key) continue;
        if (ascii ? equalNoCase(nameOf(line), key) : equalNoCase(decode(nameOf(line)), key)) return i;
    }
    return std::string::npos;
}

std::vector<size_t> IniFile::findKeys(size_t b, const std::vector<std::string_view>& keys) const {
    constexpr size_t None = std::string::npos, Repeated = None - 1;
    const size_t n = keys.size();
    std::vector<size_t> found(n, None);
    // Plain arrays: this runs for every section of every file read.
    size_t* const at = found.data();
    const std::string_view* const key = keys.data();
    // A key asked for again takes the line of its first asking. Keys that
    // differ in length or in their first letter cannot be the same: only
    // when two share both is every pair compared.
    bool ascii = true;
    uint64_t seen = 0;
    bool alike = false;
    for (size_t k = 0; k < n; ++k) {
        ascii = ascii && isAscii(key[k]);
        const size_t first = key[k].empty() ? 0 : size_t(static_cast<unsigned char>(lowerAscii(key[k][0])));
        const uint64_t bit = uint64_t{1} << ((key[k].size() * 7 + first) % 64);
        alike = alike || (seen & bit) != 0;
        seen |= bit;
    }
    size_t missing = n;
    for (size_t k = 1; k < n && alike; ++k)
        for (size_t j = 0; j < k && at[k] == None; ++j)
            if (at[j] != Repeated && equalNoCase(key[j], key[k])) {
                at[k] = Repeated;
                --missing;
            }
    const Line* const lines = blocks_[b].data();
    const size_t count = blocks_[b].size();
    size_t next = 0; // keys mostly come in the order asked for
    for (size_t i = 1; i < count && missing > 0; ++i) {
        const Line& line = lines[i];
        if (line.kind != Line::Kind::Key) continue;
        std::string decoded;
        if (!ascii) decoded = decode(nameOf(line));
        const std::string_view name = ascii ? nameOf(line) : std::string_view(decoded);
        size_t k = next;
        if (k >= n || at[k] != None || !equalNoCase(name, key[k])) {
            for (k = 0; k < n; ++k)
                if (at[k] == None && equalNoCase(name, key[k])) break;
            if (k == n) continue; // not asked for, or not its first line
        }
        at[k] = i;
        next = k + 1;
        --missing;
    }
    for (size_t k = 0; k < n; ++k) {
        if (at[k] != Repeated) continue;
        at[k] = None;
        for (size_t j = 0; j < k && at[k] == None; ++j)
            if (equalNoCase(key[j], key[k])) at[k] = at[j];
    }
    return found;
}

bool IniFile::hasSection(const std::string& section) const {
    return findSection(section) != std::string::npos;
}

std::optional<std::string> IniFile::value(const std::string& section, const std::string& key) const {
    const size_t b = findSection(section);
    if (b == std::string::npos) return std::nullopt;
    const size_t k = findKey(b, key);
    if (k == std::string::npos) return std::nullopt;
    return decode(valueOf(blocks_[b][k]));
}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& def) const {
    auto v = value(section, key);
    return v ? *v : def;
}

std::vector<std::optional<std::string>> IniFile::values(const std::string& section,
                                                        const std::vector<std::string_view>& keys) const {
    std::vector<std::optional<std::string>> found;
    const size_t b = findSection(section);
    if (b == std::string::npos) return found;
    const std::vector<size_t> at = findKeys(b, keys);
    found.resize(keys.size());
    for (size_t k = 0; k < keys.size(); ++k)
        if (at[k] != std::string::npos) found[k] = decode(valueOf(blocks_[b][at[k]]));
    return found;
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

void IniFile::endLastLine() {
    for (auto b = blocks_.rbegin(); b != blocks_.rend(); ++b) {
        if (b->empty()) continue;
        if (b->back().eol == Eol::None) b->back().eol = newline_;
        return;
    }
}

void IniFile::setValue(const std::string& section, const std::string& key, const std::string& value) {
    setValues(section, {{key, value}});
}

void IniFile::setValues(const std::string& section,
                        const std::vector<std::pair<std::string_view, std::string>>& keyValues) {
    // The bytes of one line: the key as on disk, '=', the value with its
    // line breaks made blanks.
    const auto keyLine = [this](std::string_view rawKey, const std::string& value) {
        std::string bytes(rawKey);
        bytes += '=';
        const size_t at = bytes.size();
        bytes += encode(value);
        for (char* c = bytes.data() + at;
             (c = static_cast<char*>(std::memchr(c, '\r', size_t(bytes.data() + bytes.size() - c))));)
            *c = ' ';
        for (char* c = bytes.data() + at;
             (c = static_cast<char*>(std::memchr(c, '\n', size_t(bytes.data() + bytes.size() - c))));)
            *c = ' ';
        return bytes;
    };
    size_t b = findSection(section);
    if (b == std::string::npos) {
        // A new section at the end of the file, its keys added below.
        endLastLine();
        Block block;
        block.reserve(keyValues.size() + 1);
        Line header;
        header.eol = newline_;
        assign(header, encode("[" + section + "]"));
        block.push_back(header);
        b = blocks_.size();
        addBlock(std::move(block));
    }
    // Keys the section has are replaced in place, keeping the key as the
    // file spells it; the others go after its last key, or right after its
    // header, in the order given.
    std::vector<std::string_view> keys;
    keys.reserve(keyValues.size());
    for (const auto& kv : keyValues)
        keys.push_back(kv.first);
    std::vector<size_t> at = findKeys(b, keys);
    size_t insertAt = 1;
    for (size_t i = 1; i < blocks_[b].size(); ++i)
        if (blocks_[b][i].kind == Line::Kind::Key) insertAt = i + 1;
    for (size_t k = 0; k < keys.size(); ++k) {
        // A key given twice: the second finds the line of the first.
        for (size_t j = 0; j < k && at[k] == std::string::npos; ++j)
            if (equalNoCase(keys[j], keys[k])) at[k] = at[j];
        const std::string& value = keyValues[k].second;
        if (at[k] != std::string::npos) {
            Line& line = blocks_[b][at[k]];
            assign(line, keyLine(nameOf(line), value));
            continue;
        }
        if (insertAt == blocks_[b].size() && b + 1 == blocks_.size()) endLastLine();
        Line line;
        line.eol = newline_;
        assign(line, keyLine(encode(keys[k]), value));
        blocks_[b].insert(blocks_[b].begin() + static_cast<std::ptrdiff_t>(insertAt), line);
        if (line.kind == Line::Kind::Key) at[k] = insertAt++; // what follows goes after the last key
    }
}

std::string IniFile::toBytes() const {
    size_t size = bom_ ? Bom.size() : 0;
    for (const Block& block : blocks_)
        for (const Line& l : block)
            size += bytesOf(l).size() + eolText(l.eol).size();
    std::string out;
    out.reserve(size);
    if (bom_) out += Bom;
    for (const Block& block : blocks_) {
        for (const Line& l : block) {
            out += bytesOf(l);
            out += eolText(l.eol);
        }
    }
    return out;
}

void IniFile::save(const std::string& path) const {
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    if (ec) throw IniFileError(systemFailure(ErrorKind::CannotCreate, "Cannot write", path, ec));
    try {
        WriteFileAtomically(path, toBytes());
    } catch (const FileError& e) {
        throw IniFileError(e.error());
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
