#include "acquisition/demo/SimEncoding.h"

#include <algorithm>
#include <cmath>

#include "acquisition/params/Parameters.h"

namespace quillmar {

double EncodeParameter(const TParameter& p, double value, uint8_t* data, size_t length) {
    const size_t size = p.Size;
    if (size == 0 || p.Position == 0 || size_t(p.Position) - 1 + size > length) return value;
    uint8_t* at = data + (p.Position - 1);

    if (size >= 3) {
        // The raw number itself, low byte first.
        const long double top = size >= 8 ? 18446744073709551615.0L : std::ldexp(1.0L, int(8 * size)) - 1;
        long double raw = std::clamp(std::round((long double)value), 0.0L, top);
        const unsigned long long bits = (unsigned long long)raw;
        for (size_t k = 0; k < size; ++k)
            at[k] = k < 8 ? uint8_t(bits >> (8 * k)) : 0;
        return double(raw);
    }

    long double lo = 0, hi = size == 1 ? 255 : 65535;
    if (size == 2 && p.Signed) {
        lo = -32768;
        hi = 32767;
    }
    long double raw = 0;
    if (p.Factor != 0) raw = std::round(((long double)value - p.Offset) / p.Factor);
    if (!std::isfinite(raw)) raw = 0;
    raw = std::clamp(raw, lo, hi);
    const long long r = (long long)raw;
    if (size == 1) {
        at[0] = uint8_t(r);
    } else {
        const uint16_t u = uint16_t(r & 0xFFFF);
        at[0] = uint8_t(u >> 8);
        at[1] = uint8_t(u & 0xFF);
    }
    // What the entry can carry: the value itself, pulled into the range.
    const long double a = lo * (long double)p.Factor + p.Offset;
    const long double b = hi * (long double)p.Factor + p.Offset;
    return double(std::clamp((long double)value, std::min(a, b), std::max(a, b)));
}

TBytes EncodeReply(const TParameterArray& table, const std::map<std::string, double>& values, size_t length,
                   std::map<std::string, double>* sent) {
    TBytes data(length, 0);
    for (const TParameter& p : table) {
        if (p.Size == 0) continue;
        const std::string name = DisplayName(p);
        const auto found = values.find(name);
        const double value = found == values.end() ? 0.0 : found->second;
        const double carried = EncodeParameter(p, value, data.data(), data.size());
        if (sent) (*sent)[name] = carried;
    }
    return data;
}

} // namespace quillmar
