#pragma once
// The lines of the live parameter table, as the acquisition window's tree
// and quillmar-cli watch show them: one line per parameter ("Engine speed:
// 850.0 RPM") and, under a flag entry, one per bit ("At idle: On").

#include "acquisition/params/ParameterTypes.h"

#include <string>
#include <vector>

namespace quillmar {

struct LiveTableLines {
    std::string Line;                  // the parameter's own line
    std::vector<std::string> BitLines; // a flag entry's Size * 8 bits, in bit order; none otherwise
};

// The lines of one entry at value (its live value, or a logged row's).
LiveTableLines LiveLinesOf(const TParameter& p, double value);

// The whole table at the entries' live values as text, every line ending in
// '\n' and one empty line after the table. The bit lines follow their entry,
// indented by two blanks; with bitsInline (a screen that the table must fit)
// the entry's line instead ends in the names of the bits that are on,
// " [Throttle>0, At idle]", or " [none on]".
std::string LiveTableText(const TParameterArray& params, bool bitsInline);

} // namespace quillmar
