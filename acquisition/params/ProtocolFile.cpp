// Reading and writing the parameter table as "M100 ALDL protocol.ini".

#include "acquisition/params/ProtocolFile.h"

#include "store/base/Paths.h"

#include <cctype>
#include <cstdlib>
#include <limits>

namespace quillmar {
namespace {

std::string sectionOf(size_t entry) { return "Parameter " + std::to_string(entry + 1); }

void readInteger(const IniFile& ini, const std::string& s, const char* key, int32_t& field) {
    if (auto text = ini.value(s, key))
        if (auto v = ParseIniInteger(*text))
            if (*v >= std::numeric_limits<int32_t>::min() && *v <= std::numeric_limits<int32_t>::max())
                field = static_cast<int32_t>(*v);
}

void readBool(const IniFile& ini, const std::string& s, const char* key, bool& field) {
    if (auto text = ini.value(s, key))
        if (auto v = ParseIniInteger(*text)) field = *v != 0;
}

void readFloat(const IniFile& ini, const std::string& s, const char* key, double& field) {
    if (auto text = ini.value(s, key))
        if (auto v = ParseIniFloat(*text)) field = *v;
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

// An 8-bit field (Position, Size): a value outside 0..255, or one that is not
// a number at all, is a failure the start-up reports (the first one found).
void readByte(const IniFile& ini, const std::string& s, const char* key, uint8_t& field,
              const std::string& fileName, TableCheck& range) {
    auto text = ini.value(s, key);
    if (!text) return;
    auto v = ParseIniInteger(*text);
    if (v && *v >= 0 && *v <= 255) {
        field = static_cast<uint8_t>(*v);
        return;
    }
    if (range.Ok) {
        range.Ok = false;
        range.Caption = "error";
        range.Where = "section [" + s + "], key " + key;
        const std::string why = v || looksWhole(*text) ? " is outside 0..255" : " is not a number";
        range.Message = fileName + ", " + range.Where + ": \"" + *text + "\"" + why;
    }
}

} // namespace

std::string DefaultIniPath() {
    return xdgConfigHome() + "/Quillmar/" + ProtocolFileName;
}

TableCheck ReadParameters(const IniFile& ini, TParameterArray& params, const std::string& fileName) {
    TableCheck range;
    size_t count = 0;
    for (size_t i = 0;; ++i) {
        const std::string s = sectionOf(i);
        if (!ini.hasSection(s)) break;
        if (params.size() < i + 1) params.resize(i + 1);
        TParameter& p = params[i];
        p.Name = ini.readString(s, "Name", p.Name);
        readByte(ini, s, "Position", p.Position, fileName, range);
        readByte(ini, s, "Size", p.Size, fileName, range);
        readFloat(ini, s, "Offset", p.Offset);
        readFloat(ini, s, "Factor", p.Factor);
        p.FormatAs = ini.readString(s, "FormatAs", p.FormatAs);
        p.Units = ini.readString(s, "Units", p.Units);
        readBool(ini, s, "Signed", p.Signed);
        readBool(ini, s, "Flags", p.Flags);
        readInteger(ini, s, "Icon", p.Icon);
        count = i + 1;
    }
    params.resize(count);
    return range;
}

void WriteParameters(IniFile& ini, const TParameterArray& params) {
    for (size_t i = 0; i < params.size(); ++i) {
        const TParameter& p = params[i];
        const std::string s = sectionOf(i);
        ini.setValue(s, "Name", p.Name);
        ini.setValue(s, "Position", std::to_string(p.Position));
        ini.setValue(s, "Size", std::to_string(p.Size));
        ini.setValue(s, "Offset", FormatGeneral(p.Offset));
        ini.setValue(s, "Factor", FormatGeneral(p.Factor));
        ini.setValue(s, "FormatAs", p.FormatAs);
        ini.setValue(s, "Units", p.Units);
        ini.setValue(s, "Signed", p.Signed ? "1" : "0");
        ini.setValue(s, "Flags", p.Flags ? "1" : "0");
        ini.setValue(s, "Icon", std::to_string(p.Icon));
    }
}

void SaveIniFile(const std::string& path, const TParameterArray& params) {
    IniFile ini = IniFile::load(path);
    WriteParameters(ini, params);
    ini.save(path);
}

LoadResult LoadIniFile(const std::string& path, TParameterArray& params, MissingTable missing) {
    LoadResult result;
    const IniFile ini = IniFile::load(path);
    if (ini.hasSection(sectionOf(0))) {
        result.Range = ReadParameters(ini, params, path);
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
    }
    return result;
}

TableCheck LoadCheckedParameters(const std::string& path, TParameterArray& params, std::string* writeError,
                                 MissingTable missing, LoadResult* result) {
    LoadResult loaded;
    try {
        loaded = LoadIniFile(path, params, missing);
    } catch (const IniFileError& e) {
        TableCheck failed;
        failed.Ok = false;
        failed.Caption = "error";
        failed.Message = e.what();
        return failed;
    }
    if (writeError) *writeError = loaded.WriteError;
    if (result) *result = loaded;
    if (!loaded.Range.Ok) return loaded.Range;
    return CheckParameterTable(params, path);
}

} // namespace quillmar
