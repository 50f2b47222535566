#pragma once
// The parameter record and the arrays around it. Text is UTF-8 in memory:
// the bit-name separator of a flag entry is the broken bar U+00A6 ("¦"),
// which is the single byte 0xA6 in the Windows-1252 protocol file.

#include <cstdint>
#include <string>
#include <vector>

namespace quillmar {

// Separator between a flag entry's display name and its bit names.
inline constexpr const char* BitNameSeparator = "\xC2\xA6";

struct TParameter {
    std::string Name;                  // display name; a flag entry adds "¦" + bit name for every bit
    uint8_t Position = 0;              // first data byte, counted from 1
    uint8_t Size = 0;                  // 0 derived, 1, 2, or 3 and more
    double Offset = 0;                 // added after scaling
    double Factor = 0;                 // multiplies the raw number
    std::string FormatAs;              // printf-style pattern with one numeric placeholder
    std::string Units;                 // may be empty
    double Value = 0;                  // current decoded value during acquisition
    bool Signed = false;               // for Size 2: two's-complement 16-bit
    bool Flags = false;                // a bit field whose bits carry names
    std::vector<std::string> BitNames; // Size * 8 names once the tables are built
    int32_t Icon = -1;                 // image number, -1 none
};

using TParameterArray = std::vector<TParameter>;
using TDoubleArray = std::vector<double>;

struct TFlagDef {
    std::string ParamName; // display name of the flag entry
    int32_t Mask = 0;      // 2^bit within the entry's decoded number
};

} // namespace quillmar
