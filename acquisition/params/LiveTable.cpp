#include "acquisition/params/LiveTable.h"

#include "acquisition/params/Parameters.h"

namespace quillmar {

namespace {

const std::string& bitName(const TParameter& p, size_t bit) {
    static const std::string none;
    return bit < p.BitNames.size() ? p.BitNames[bit] : none;
}

} // namespace

LiveTableLines LiveLinesOf(const TParameter& p, double value) {
    LiveTableLines lines;
    lines.Line = ParameterLine(p, value);
    if (!p.Flags) return lines;
    const size_t bits = size_t(p.Size) * 8;
    for (size_t b = 0; b < bits; ++b)
        lines.BitLines.push_back(BitLine(bitName(p, b), BitIsOn(value, static_cast<int>(b))));
    return lines;
}

std::string LiveTableText(const TParameterArray& params, bool bitsInline) {
    std::string text;
    for (const TParameter& p : params) {
        const LiveTableLines lines = LiveLinesOf(p, p.Value);
        text += lines.Line;
        if (p.Flags && bitsInline) {
            std::string on;
            for (size_t b = 0; b < lines.BitLines.size(); ++b)
                if (BitIsOn(p.Value, static_cast<int>(b))) on += (on.empty() ? "" : ", ") + bitName(p, b);
            text += on.empty() ? " [none on]" : " [" + on + "]";
        }
        text += '\n';
        if (!bitsInline) {
            for (const std::string& line : lines.BitLines)
                text += "  " + line + '\n';
        }
    }
    text += '\n';
    return text;
}

} // namespace quillmar
