// Reading and writing the parameter table as "M100 ALDL protocol.ini".

#include "acquisition/ProtocolFile.h"

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

// An 8-bit field: a value outside 0..255 is a range failure.
void readByte(const IniFile& ini, const std::string& s, const char* key, uint8_t& field,
              const std::string& fileName, TableCheck& range) {
    auto text = ini.value(s, key);
    if (!text) return;
    auto v = ParseIniInteger(*text);
    if (!v) return;
    if (*v >= 0 && *v <= 255) {
        field = static_cast<uint8_t>(*v);
        return;
    }
    if (range.Ok) {
        range.Ok = false;
        range.Caption = "error";
        range.Where = "section [" + s + "], key " + key;
        range.Message = fileName + ", " + range.Where + ": " + *text + " is outside 0..255";
    }
}

} // namespace

std::string DefaultIniPath() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && home[0] ? home : ".") + "/.config";
    }
    return base + "/Quillmar/" + ProtocolFileName;
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

LoadResult LoadIniFile(const std::string& path, TParameterArray& params) {
    LoadResult result;
    const IniFile ini = IniFile::load(path);
    if (ini.hasSection(sectionOf(0))) {
        result.Range = ReadParameters(ini, params, path);
        return result;
    }
    params = BuiltInParameters();
    result.UsedBuiltIn = true;
    try {
        SaveIniFile(path, params);
    } catch (const IniFileError& e) {
        result.WriteError = e.what();
    }
    return result;
}

TableCheck LoadCheckedParameters(const std::string& path, TParameterArray& params,
                                 std::string* writeError) {
    LoadResult loaded;
    try {
        loaded = LoadIniFile(path, params);
    } catch (const IniFileError& e) {
        TableCheck failed;
        failed.Ok = false;
        failed.Caption = "error";
        failed.Message = e.what();
        return failed;
    }
    if (writeError) *writeError = loaded.WriteError;
    if (!loaded.Range.Ok) return loaded.Range;
    return CheckParameterTable(params, path);
}

} // namespace quillmar
