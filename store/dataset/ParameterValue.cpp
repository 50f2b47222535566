// Decoding one logged row of a dataset.

#include "store/dataset/ParameterValue.h"

#include "store/Store.h"

#include <algorithm>
#include <cmath>

namespace quillmar {

long double ParameterValue(const TParameterArray& params, const TNumber2DArrayStore& log, int column,
                           uint32_t row, const std::array<TDoubleArray, DerivedChannelCount>* derived) {
    if (column < 1 || static_cast<size_t>(column - 1) >= params.size()) return 0;
    if (row == 0 || row > log.Rows) return 0;
    const TParameter& p = params[static_cast<size_t>(column - 1)];
    if (p.Size == 0) {
        const int slot = DerivedSlot(p.Name);
        if (slot < 0 || derived == nullptr) return 0;
        const TDoubleArray& values = (*derived)[static_cast<size_t>(slot)];
        return row < values.size() ? values[row] : 0;
    }
    const size_t length = std::min<size_t>(log.Columns, ReplyLength);
    if (log.RecordSize == 1) {
        // A logged row keeps one byte per data byte: decode straight from it.
        const uint8_t* bytes = log.RowData(row);
        return bytes ? DecodeValue(p, bytes, length) : 0;
    }
    // Wider elements: collect the entry's bytes one element at a time.
    uint8_t bytes[ReplyLength] = {};
    const size_t first = p.Position == 0 ? 1 : p.Position;
    const size_t last = std::min<size_t>(length, first + p.Size - 1);
    for (size_t k = first; k <= last; ++k) {
        const long double v = log.GetElement(static_cast<uint32_t>(k), row);
        bytes[k - 1] = (v >= 0 && v <= 255) ? static_cast<uint8_t>(std::nearbyint(v)) : 0;
    }
    return DecodeValue(p, bytes, length);
}

} // namespace quillmar
