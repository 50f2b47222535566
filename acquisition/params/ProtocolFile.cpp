// Reading and writing the parameter table as "M100 ALDL protocol.ini".

#include "acquisition/params/ProtocolFile.h"

#include "store/base/Paths.h"

#include <cctype>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace quillmar {
namespace {

std::string sectionOf(size_t entry) {
    return "Parameter " + std::to_string(entry + 1);
}

// The ten keys of a section, in the order they are written.
enum Key { Name, Position, Size, Offset, Factor, FormatAs, Units, Signed, Flags, Icon, KeyCount };
const std::vector<std::string_view>& keyNames() {
    static const std::vector<std::string_view> names = {"Name",     "Position", "Size",   "Offset", "Factor",
                                                        "FormatAs", "Units",    "Signed", "Flags",  "Icon"};
    return names;
}

// Why the file cannot be taken as the protocol file, or nullopt: it is not
// text, or it has no table and a line that is not INI text (a file named by
// mistake, which writing the table into would damage).
std::optional<Error> refusal(const IniFile& ini, const std::string& path) {
    std::optional<std::string> why = ini.notText();
    if (!why && !ini.hasSection(sectionOf(0))) {
        const std::vector<size_t> stray = ini.strayLines();
        if (!stray.empty()) why = ini.strayLineText(stray.front());
    }
    if (!why) return std::nullopt;
    Error e = FileProblem(ErrorKind::NotAProtocolFile, "Cannot use", path, *why + "; it was left unchanged");
    e.quoteFile = true;
    e.tail = " as the protocol file";
    return e;
}

// Lines of a file with a table that are not INI text: read past, and said.
void warnStrayLines(const IniFile& ini, const std::string& path, std::vector<Error>& warnings) {
    constexpr size_t Listed = 3;
    const std::vector<size_t> stray = ini.strayLines();
    for (size_t i = 0; i < stray.size() && i < Listed; ++i) {
        Error e;
        e.kind = ErrorKind::NotIniText;
        e.severity = Severity::Warning;
        e.place.file = path;
        e.place.line = stray[i];
        e.tail = " " + ini.strayLineWhy(stray[i]) + "; it is ignored";
        warnings.push_back(std::move(e));
    }
    if (stray.size() > Listed) {
        Error e = FileProblem(ErrorKind::NotIniText, "", path,
                              std::to_string(stray.size() - Listed) +
                                  " more lines are not INI text; they are ignored");
        e.severity = Severity::Warning;
        warnings.push_back(std::move(e));
    }
}

// A whole number in one of the forms ParseIniInteger reads, however many
// digits it has.
bool looksWhole(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    std::string t = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (t[0] == '+' || t[0] == '-') t.erase(0, 1);
    bool hex = false;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        hex = true;
        t.erase(0, 2);
    } else if (t.size() > 1 && t[0] == '$') {
        hex = true;
        t.erase(0, 1);
    }
    if (t.empty()) return false;
    for (const char c : t) {
        const auto u = static_cast<unsigned char>(c);
        if (!(hex ? std::isxdigit(u) : std::isdigit(u))) return false;
    }
    return true;
}

// Reads the keys of one section over an entry's fields. A value that does
// not convert leaves its field as it was, with a warning that names the
// file, line, section and key.
class SectionReader {
public:
    SectionReader(const IniFile& ini, const std::string& section, const std::string& fileName,
                  std::vector<std::optional<std::string>> values, std::vector<Error>* warnings)
        : ini_(ini), section_(section), fileName_(fileName), values_(std::move(values)), warnings_(warnings) {
    }

    const std::optional<std::string>& text(Key key) const { return values_[key]; }

    void readText(Key key, std::string& field) const {
        if (values_[key]) field = *values_[key];
    }

    void readFloat(Key key, double& field) const {
        if (!values_[key]) return;
        if (auto v = ParseIniFloat(*values_[key]))
            field = *v;
        else
            warn(key, ErrorKind::NotANumber, "is not a number", FormatGeneral(field));
    }

    void readBool(Key key, bool& field) const {
        if (!values_[key]) return;
        if (auto v = ParseIniInteger(*values_[key]))
            field = *v != 0;
        else
            warn(key, ErrorKind::NotANumber, "is not a number", field ? "1" : "0");
    }

    void readInteger(Key key, int32_t& field) const {
        if (!values_[key]) return;
        const auto v = ParseIniInteger(*values_[key]);
        if (v && *v >= std::numeric_limits<int32_t>::min() && *v <= std::numeric_limits<int32_t>::max())
            field = static_cast<int32_t>(*v);
        else if (v || looksWhole(*values_[key]))
            warn(key, ErrorKind::OutOfRange, "is outside -2147483648..2147483647", std::to_string(field));
        else
            warn(key, ErrorKind::NotANumber, "is not a number", std::to_string(field));
    }

private:
    void warn(Key key, ErrorKind kind, const std::string& why, const std::string& kept) const {
        if (!warnings_) return;
        const std::string name(keyNames()[key]);
        Error e;
        e.kind = kind;
        e.severity = Severity::Warning;
        e.place.file = fileName_;
        e.place.line = ini_.lineOf(section_, name);
        e.place.section = section_;
        e.place.key = name;
        e.detail = "\"" + *values_[key] + "\" " + why + "; " + name + " stays " + kept;
        warnings_->push_back(std::move(e));
    }

    const IniFile& ini_;
    const std::string& section_;
    const std::string& fileName_;
    std::vector<std::optional<std::string>> values_;
    std::vector<Error>* warnings_;
};

// An 8-bit field (Position, Size): a value outside 0..255, or one that is not
// a number at all, is a failure the start-up reports (the first one found).
void readByte(const SectionReader& r, Key key, const std::string& s, uint8_t& field,
              const std::string& fileName, TableCheck& range) {
    const std::optional<std::string>& text = r.text(key);
    if (!text) return;
    auto v = ParseIniInteger(*text);
    if (v && *v >= 0 && *v <= 255) {
        field = static_cast<uint8_t>(*v);
        return;
    }
    if (range.Ok) {
        const bool whole = v || looksWhole(*text);
        Error e;
        e.kind = whole ? ErrorKind::OutOfRange : ErrorKind::NotANumber;
        e.severity = Severity::Fatal;
        e.place.file = fileName;
        e.place.section = s;
        e.place.key = std::string(keyNames()[key]);
        e.detail = "\"" + *text + "\"" + (whole ? " is outside 0..255" : " is not a number");
        range = TableCheck::Failed(std::move(e));
    }
}

} // namespace

std::string DefaultIniPath() {
    return xdgConfigHome() + "/Quillmar/" + ProtocolFileName;
}

TableCheck ReadParameters(const IniFile& ini, TParameterArray& params, const std::string& fileName,
                          std::vector<Error>* warnings) {
    TableCheck range;
    size_t count = 0;
    for (size_t i = 0;; ++i) {
        const std::string s = sectionOf(i);
        std::vector<std::optional<std::string>> values = ini.values(s, keyNames());
        if (values.empty()) break; // no such section: the table ends
        if (params.size() < i + 1) params.resize(i + 1);
        TParameter& p = params[i];
        const SectionReader r(ini, s, fileName, std::move(values), warnings);
        r.readText(Name, p.Name);
        readByte(r, Position, s, p.Position, fileName, range);
        readByte(r, Size, s, p.Size, fileName, range);
        r.readFloat(Offset, p.Offset);
        r.readFloat(Factor, p.Factor);
        r.readText(FormatAs, p.FormatAs);
        r.readText(Units, p.Units);
        r.readBool(Signed, p.Signed);
        r.readBool(Flags, p.Flags);
        r.readInteger(Icon, p.Icon);
        count = i + 1;
    }
    params.resize(count);
    return range;
}

void WriteParameters(IniFile& ini, const TParameterArray& params) {
    std::vector<std::pair<std::string_view, std::string>> keys(KeyCount);
    for (size_t k = 0; k < KeyCount; ++k)
        keys[k].first = keyNames()[k];
    for (size_t i = 0; i < params.size(); ++i) {
        const TParameter& p = params[i];
        keys[Name].second = p.Name;
        keys[Position].second = std::to_string(p.Position);
        keys[Size].second = std::to_string(p.Size);
        keys[Offset].second = FormatGeneral(p.Offset);
        keys[Factor].second = FormatGeneral(p.Factor);
        keys[FormatAs].second = p.FormatAs;
        keys[Units].second = p.Units;
        keys[Signed].second = p.Signed ? "1" : "0";
        keys[Flags].second = p.Flags ? "1" : "0";
        keys[Icon].second = std::to_string(p.Icon);
        ini.setValues(sectionOf(i), keys);
    }
    // Entries past the table's end would be read back as part of it.
    for (size_t i = params.size(); ini.hasSection(sectionOf(i)); ++i)
        ini.removeSection(sectionOf(i));
}

void SaveIniFile(const std::string& path, const TParameterArray& params) {
    IniFile ini = IniFile::load(path);
    if (auto refused = refusal(ini, path)) throw IniFileError(std::move(*refused));
    WriteParameters(ini, params);
    ini.save(path);
}

LoadResult LoadIniFile(const std::string& path, TParameterArray& params, MissingTable missing) {
    LoadResult result;
    const IniFile ini = IniFile::load(path);
    if (auto refused = refusal(ini, path)) throw IniFileError(std::move(*refused));
    if (ini.hasSection(sectionOf(0))) {
        warnStrayLines(ini, path, result.WarningDetails);
        result.Range = ReadParameters(ini, params, path, &result.WarningDetails);
        for (const Error& w : result.WarningDetails)
            result.Warnings.push_back(FormatError(w));
        return result;
    }
    params = BuiltInParameters();
    result.UsedBuiltIn = true;
    result.FileMissing = !ini.exists();
    if (missing == MissingTable::UseBuiltIn) return result;
    try {
        SaveIniFile(path, params);
    } catch (const IniFileError& e) {
        result.WriteError = e.what();
        result.WriteFailure = e.error();
    }
    return result;
}

TableCheck LoadCheckedParameters(const std::string& path, TParameterArray& params, std::string* writeError,
                                 MissingTable missing, LoadResult* result) {
    LoadResult loaded;
    try {
        loaded = LoadIniFile(path, params, missing);
    } catch (const IniFileError& e) {
        return TableCheck::Failed(e.error());
    }
    if (writeError) *writeError = loaded.WriteError;
    if (result) *result = loaded;
    if (!loaded.Range.Ok) return loaded.Range;
    return CheckParameterTable(params, path);
}

} // namespace quillmar
