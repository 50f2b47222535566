// Decoding reply bytes into values, flag bits and the names derived from the table.

#include "acquisition/params/Parameters.h"

#include <cmath>
#include <cstring>
#include <string_view>

namespace quillmar {

long double DecodeValue(const TParameter& p, const uint8_t* data, size_t length) {
    const size_t n = p.Size;
    const size_t pos = p.Position;
    if (n == 0 || pos == 0 || data == nullptr || pos - 1 + n > length) return 0;
    const uint8_t* b = data + (pos - 1);
    if (n == 1) {
        return static_cast<long double>(b[0]) * p.Factor + p.Offset;
    }
    if (n == 2) {
        const unsigned raw = static_cast<unsigned>(b[0]) * 256u + b[1];
        long double r = p.Signed ? static_cast<long double>(static_cast<int16_t>(static_cast<uint16_t>(raw)))
                                 : static_cast<long double>(raw);
        return r * p.Factor + p.Offset;
    }
    // Three bytes and more: low byte first, the raw number itself.
    if (n <= 8) {
        uint64_t r = 0;
        for (size_t k = 0; k < n; ++k)
            r |= static_cast<uint64_t>(b[k]) << (8 * k);
        return static_cast<long double>(r);
    }
    long double r = 0;
    for (size_t k = 0; k < n; ++k)
        r += std::ldexp(static_cast<long double>(b[k]), static_cast<int>(8 * k));
    return r;
}

void DecodeParameter(TParameterArray& params, int i, const uint8_t* data, size_t length) {
    if (i < 0 || static_cast<size_t>(i) >= params.size()) return;
    TParameter& p = params[static_cast<size_t>(i)];
    if (p.Size == 0) return;
    p.Value = static_cast<double>(DecodeValue(p, data, length));
}

int DerivedSlot(const std::string& name) {
    static constexpr std::string_view names[DerivedChannelCount] = {
        "Time",        "Distance",       "Acceleration", "Power",        "Gear",
        "Calc. speed", "Smoothed speed", "Boost",        "Injector duty"};
    for (int s = 0; s < DerivedChannelCount; ++s)
        if (name == names[s]) return s;
    return -1;
}

bool BitIsOn(double value, int bit) {
    if (bit < 0 || bit > 63 || !std::isfinite(value)) return false;
    // Values beyond the 64-bit range have no defined bits.
    const long double r = std::nearbyint(static_cast<long double>(value));
    if (r >= 0x1p63L || r < -0x1p63L) return false;
    const auto v = static_cast<uint64_t>(static_cast<int64_t>(r));
    return (v & (uint64_t{1} << bit)) != 0;
}

std::string DisplayName(const TParameter& p) {
    const size_t at = p.Name.find(BitNameSeparator);
    return at == std::string::npos ? p.Name : p.Name.substr(0, at);
}

std::vector<std::string> SplitBitNames(const TParameter& p) {
    std::vector<std::string> names;
    if (!p.Flags) return names;
    const size_t count = static_cast<size_t>(p.Size) * 8;
    names.resize(count);
    const std::string sep = BitNameSeparator;
    size_t at = p.Name.find(sep);
    for (size_t i = 0; i < count && at != std::string::npos; ++i) {
        const size_t start = at + sep.size();
        const size_t next = (i + 1 < count) ? p.Name.find(sep, start) : std::string::npos;
        names[i] = p.Name.substr(start, next == std::string::npos ? std::string::npos : next - start);
        at = next;
    }
    return names;
}

void FillBitNames(TParameterArray& params) {
    for (auto& p : params)
        p.BitNames = SplitBitNames(p);
}

std::vector<std::string> MakeParameterNames(const TParameterArray& params) {
    std::vector<std::string> names;
    names.reserve(params.size() + 1);
    names.emplace_back("blank");
    for (const auto& p : params)
        names.push_back(DisplayName(p));
    return names;
}

std::vector<TFlagDef> MakeFlagDefs(const TParameterArray& params) {
    std::vector<TFlagDef> defs;
    for (const auto& p : params) {
        if (!p.Flags) continue;
        const std::string name = DisplayName(p);
        const int bits = p.Size * 8;
        for (int b = 0; b < bits; ++b)
            defs.push_back(TFlagDef{name, b < 32 ? static_cast<int32_t>(uint32_t{1} << b) : 0});
    }
    return defs;
}

int32_t IndexOfName(const std::vector<std::string>& parameterNames, const std::string& name) {
    for (size_t i = 0; i < parameterNames.size(); ++i)
        if (parameterNames[i] == name) return static_cast<int32_t>(i);
    return -1;
}

const char* KnownParameterName(KnownParameter which) {
    switch (which) {
    case KnownParameter::Time:
        return KnownName::Time;
    case KnownParameter::Speed:
        return KnownName::Speed;
    case KnownParameter::EngineSpeed:
        return KnownName::EngineSpeed;
    case KnownParameter::ManifoldPressure:
        return KnownName::ManifoldPressure;
    case KnownParameter::Barometer:
        return KnownName::Barometer;
    case KnownParameter::InjectorPulseWidth:
        return KnownName::InjectorPulseWidth;
    }
    return "";
}

int32_t FindKnownParameter(const std::vector<std::string>& parameterNames, KnownParameter which) {
    return IndexOfName(parameterNames, KnownParameterName(which));
}

ParameterIndices FindParameterIndices(const std::vector<std::string>& parameterNames) {
    ParameterIndices ix;
    ix.SpeedIndex = FindKnownParameter(parameterNames, KnownParameter::Speed);
    ix.TimeIndex = FindKnownParameter(parameterNames, KnownParameter::Time);
    ix.MapIndex = FindKnownParameter(parameterNames, KnownParameter::ManifoldPressure);
    ix.BarometerIndex = FindKnownParameter(parameterNames, KnownParameter::Barometer);
    ix.InjectorIndex = FindKnownParameter(parameterNames, KnownParameter::InjectorPulseWidth);
    ix.EngineSpeedIndex = FindKnownParameter(parameterNames, KnownParameter::EngineSpeed);
    return ix;
}

} // namespace quillmar
