#include "store/analysis/NamedValues.h"

#include "acquisition/params/Parameters.h"
#include "store/dataset/ALDLLog.h"

#include <cmath>
#include <set>

namespace quillmar {

namespace {

double bitValue(double value, int bit) {
    return BitIsOn(value, bit) ? 1.0 : 0.0;
}

} // namespace

std::optional<NamedValue> FindNamedValue(const TParameterArray& params,
                                         const std::vector<std::string>& channelNames,
                                         const std::string& name) {
    for (size_t i = 0; i < params.size(); ++i)
        if (DisplayName(params[i]) == name) return NamedValue{static_cast<int32_t>(i + 1), -1};
    for (size_t i = 0; i < params.size(); ++i) {
        const TParameter& p = params[i];
        if (!p.Flags) continue;
        const std::string entry = DisplayName(p);
        if (name.size() <= entry.size() + 1 || name.compare(0, entry.size(), entry) != 0 ||
            name[entry.size()] != '/')
            continue;
        const std::string bitName = name.substr(entry.size() + 1);
        const std::vector<std::string> bits = SplitBitNames(p);
        for (size_t b = 0; b < bits.size(); ++b)
            if (bits[b] == bitName) return NamedValue{static_cast<int32_t>(i + 1), static_cast<int>(b)};
    }
    for (size_t c = 0; c < channelNames.size(); ++c)
        if (channelNames[c] == name) return NamedValue{static_cast<int32_t>(params.size() + 1 + c), -1};
    return std::nullopt;
}

std::vector<std::string> ValueNames(const TParameterArray& params,
                                    const std::vector<std::string>& channelNames) {
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const TParameter& p : params) {
        const std::string entry = DisplayName(p);
        if (seen.insert(entry).second) names.push_back(entry);
        if (!p.Flags) continue;
        for (const std::string& bit : SplitBitNames(p)) {
            if (bit.empty()) continue;
            std::string joined = entry + "/" + bit;
            if (seen.insert(joined).second) names.push_back(std::move(joined));
        }
    }
    for (const std::string& channel : channelNames)
        if (seen.insert(channel).second) names.push_back(channel);
    return names;
}

std::string UnitOf(const TParameterArray& params, const std::vector<std::string>& channelUnits,
                   const NamedValue& value) {
    if (value.Column < 1 || value.Bit >= 0) return {};
    const auto column = static_cast<size_t>(value.Column);
    if (column <= params.size()) return params[column - 1].Units;
    const size_t channel = column - params.size() - 1;
    return channel < channelUnits.size() ? channelUnits[channel] : std::string();
}

double RowValue(const TALDLLog& log, const NamedValue& value, uint32_t row) {
    const auto v = static_cast<double>(log.ParameterValue(value.Column, row));
    return value.Bit >= 0 ? bitValue(v, value.Bit) : v;
}

double LiveValue(const TParameterArray& params, const std::vector<double>& channelValues,
                 const NamedValue& value) {
    if (value.Column < 1) return 0;
    const auto column = static_cast<size_t>(value.Column);
    if (column > params.size()) {
        const size_t channel = column - params.size() - 1;
        return channel < channelValues.size() ? channelValues[channel] : NAN;
    }
    const double v = params[column - 1].Value;
    return value.Bit >= 0 ? bitValue(v, value.Bit) : v;
}

} // namespace quillmar
