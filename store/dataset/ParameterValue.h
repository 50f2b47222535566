#pragma once
// Decoding one logged row of a dataset with the parameter table.

#include "acquisition/params/Parameters.h"

#include <array>
#include <cstdint>

namespace quillmar {

class TNumber2DArrayStore;

// Dataset path. column is a position in ParameterNames (entry column - 1), row
// counts from 1. Returns 0 for an entry beyond the table, row 0, a row past
// log.Rows, or a missing derived value. Size 0 entries read
// (*derived)[DerivedSlot(Name)][row] (element r of a derived array belongs to
// row r); others decode the row's bytes, where data byte k is the store
// element (k, row) for k = 1 .. min(Columns, ReplyLength).
long double ParameterValue(const TParameterArray& params, const TNumber2DArrayStore& log, int column,
                           uint32_t row, const std::array<TDoubleArray, DerivedChannelCount>* derived);

} // namespace quillmar
