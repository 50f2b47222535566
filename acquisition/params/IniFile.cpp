// A small INI file with private-profile semantics, kept byte for byte.

#include "acquisition/params/IniFile.h"

#include "store/base/AtomicFile.h"

#include "store/base/Cp1252.h"
#include "store/base/InputFile.h"

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

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
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

} // namespace

IniFile IniFile::fromBytes(std::string_view bytes) {
    IniFile f;
    f.exists_ = true;
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
        f.lines_.push_back(std::move(line));
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

std::string IniFile::encode(const std::string& utf8) const { return utf8_ ? utf8 : utf8ToCp1252(utf8); }
std::string IniFile::decode(const std::string& raw) const { return utf8_ ? raw : cp1252ToUtf8(raw); }

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

size_t IniFile::findSection(const std::string& section) const {
    if (sectionsStale_) {
        sections_.clear();
        for (size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].kind == Line::Kind::Section) sections_.emplace(lower(lines_[i].name), i);
        sectionsStale_ = false;
    }
    const auto it = sections_.find(lower(section));
    return it == sections_.end() ? std::string::npos : it->second;
}

size_t IniFile::findKey(size_t s, const std::string& key) const {
    for (size_t i = s + 1; i < lines_.size(); ++i) {
        if (lines_[i].kind == Line::Kind::Section) break;
        if (lines_[i].kind == Line::Kind::Key && equalNoCase(lines_[i].name, key)) return i;
    }
    return std::string::npos;
}

bool IniFile::hasSection(const std::string& section) const {
    return findSection(section) != std::string::npos;
}

std::optional<std::string> IniFile::value(const std::string& section, const std::string& key) const {
    const size_t s = findSection(section);
    if (s == std::string::npos) return std::nullopt;
    const size_t k = findKey(s, key);
    if (k == std::string::npos) return std::nullopt;
    return lines_[k].value;
}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& def) const {
    auto v = value(section, key);
    return v ? *v : def;
}

void IniFile::setValue(const std::string& section, const std::string& key, const std::string& value) {
    std::string clean = value;
    for (char& c : clean)
        if (c == '\r' || c == '\n') c = ' ';
    const auto endLastLine = [this] {
        if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = newline_;
    };

    const size_t s = findSection(section);
    if (s == std::string::npos) {
        endLastLine();
        lines_.push_back(makeLine("[" + section + "]"));
        lines_.push_back(makeLine(key + "=" + clean));
        sectionsStale_ = true;
        return;
    }
    const size_t k = findKey(s, key);
    if (k != std::string::npos) {
        // Keep the key as the file spells it.
        const std::string spelled = lines_[k].name;
        const std::string eol = lines_[k].eol;
        lines_[k] = makeLine(spelled + "=" + clean);
        lines_[k].eol = eol;
        return;
    }
    // After the section's last key, or right after its header.
    size_t insertAt = s + 1;
    for (size_t i = s + 1; i < lines_.size(); ++i) {
        if (lines_[i].kind == Line::Kind::Section) break;
        if (lines_[i].kind == Line::Kind::Key) insertAt = i + 1;
    }
    if (insertAt == lines_.size()) endLastLine();
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), makeLine(key + "=" + clean));
    sectionsStale_ = true;
}

std::string IniFile::toBytes() const {
    std::string out;
    if (bom_) out += Bom;
    for (const auto& l : lines_) {
        out += l.raw;
        out += l.eol;
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
