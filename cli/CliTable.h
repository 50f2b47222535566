#pragma once
// The dataset table as text: a line of names, a line of units, then one line
// per row. Every cell, the last of a line too, is followed by a tab; lines end
// in CR LF; numbers in the general format (FormatGeneral).

#include "acquisition/ParameterTypes.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quillmar {

class TALDLLog;

// Hands the text out in pieces of about chunkBytes (so a million rows never
// sit in memory as one string). The columns are "Time" and every table entry
// but the last one, as the dataset export has them.
void WriteDatasetTable(const TParameterArray& params, const TALDLLog& log,
                       const std::function<void(const std::string&)>& sink,
                       size_t chunkBytes = 1 << 16);

// The whole text at once (small datasets, tests).
std::string DatasetTableText(const TParameterArray& params, const TALDLLog& log);

} // namespace quillmar
