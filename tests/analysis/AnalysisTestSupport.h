#pragma once
// A small parameter table and datasets of hand-picked bytes, so that every
// value a test expects can be worked out on paper.

#include "acquisition/params/ParameterTypes.h"
#include "store/dataset/ALDLLog.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillmar::testing {

// Entries, in this order:
//   "Engine speed"            data byte 11, x 25, "RPM"
//   "Manifold press (abs)."   data byte 24, x 0.01 + 0.1, "bar"
//   "Spark advance"           data bytes 15-16, signed, x 0.3515625 (45/128), "°"
//   "Dup"                     data byte 5
//   "Flags 30"                data byte 30, bits "Throttle>0" (0), "Throttle=0" (4), "At idle" (7)
//   "Dup"                     data byte 6 (a name the table holds twice)
//   "Temp °C"                 data byte 7, x 1 - 40
std::shared_ptr<const TParameterArray> analysisTable();

// The bytes of one row of that table.
struct RowBytes {
    uint8_t engineSpeed = 0; // x 25 rpm
    uint8_t map = 0;         // x 0.01 + 0.1 bar
    int16_t spark = 0;       // x 45/128 degrees
    uint8_t dup5 = 0, dup6 = 0;
    uint8_t flags = 0;
    uint8_t temp = 0;
};

std::unique_ptr<TALDLLog> makeLog(const std::vector<RowBytes>& rows,
                                  std::shared_ptr<const TParameterArray> table = analysisTable());

} // namespace quillmar::testing
