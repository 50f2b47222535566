#pragma once
// Puts engineering values into a mode 1 reply the way the parameter table
// reads them back: two-byte values high byte first, longer ones low byte
// first, raw = (value - Offset) / Factor rounded to the nearest step.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "acquisition/params/ParameterTypes.h"
#include "link/Frame.h"

namespace quillmar {

// Writes value into data (data byte k is data[k - 1]) as entry p carries it
// and returns the value clamped to the range the entry can carry. Entries of
// Size 0, or whose bytes lie outside data, write nothing.
double EncodeParameter(const TParameter& p, double value, uint8_t* data, size_t length);

// A reply of length data bytes from values keyed by display name (the part of
// a flag entry's name before its bit names); absent names encode as 0. When
// sent is given it receives every encoded entry's clamped value by name.
TBytes EncodeReply(const TParameterArray& table, const std::map<std::string, double>& values, size_t length,
                   std::map<std::string, double>* sent = nullptr);

} // namespace quillmar
