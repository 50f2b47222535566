#include "store/Store.h"

#include "store/StoreReals.h"
#include "store/base/Messages.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace quillmar {

StoreRegistry* storeRegistryIfAlive(); // StoreRegistry.cpp

namespace {

constexpr uint64_t maxCount = std::numeric_limits<uint32_t>::max();

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t le64(const uint8_t* p) {
    return static_cast<uint64_t>(le32(p)) | static_cast<uint64_t>(le32(p + 4)) << 32;
}

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i, v >>= 8)
        p[i] = static_cast<uint8_t>(v);
}

void put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i, v >>= 8)
        p[i] = static_cast<uint8_t>(v);
}

} // namespace

// ---------------------------------------------------------------------------
// TStore

TStore::TStore() {
    RegistryItem = storeRegistry().enter(this, where_);
}

TStore::~TStore() {
    if (StoreRegistry* registry = storeRegistryIfAlive()) registry->leave(where_);
}

void TStore::error(const char* text) const {
    if (ShowErrors) showMessage("Error", text);
}

void TStore::Clear() {
    RecordCount = 0;
    RecordSize = 0;
    StoreName.clear();
    setSize(0);
}

bool TStore::resizeRecords(uint32_t count, uint32_t recordSize) {
    uint64_t bytes = uint64_t{count} * recordSize;
    if (bytes <= std::numeric_limits<std::size_t>::max() && setSize(static_cast<std::size_t>(bytes)) &&
        size() == bytes) {
        RecordCount = count;
        RecordSize = recordSize;
        return true;
    }
    error("Store make failed");
    return false;
}

bool TStore::Make(uint32_t count, uint32_t recordSize) {
    return resizeRecords(count, recordSize);
}

bool TStore::SetRecordCount(uint32_t count) {
    return resizeRecords(count, RecordSize);
}

bool TStore::CheckRecord(uint32_t index) const {
    if (index >= 1 && index <= RecordCount && uint64_t{index} * RecordSize <= size()) return true;
    error("Record out of range");
    return false;
}

bool TStore::SeekRecord(uint32_t index) {
    if (!CheckRecord(index)) return false;
    seek(static_cast<std::size_t>(uint64_t{index - 1} * RecordSize));
    return true;
}

uint8_t* TStore::RecordPointer(uint32_t index) {
    if (!CheckRecord(index) || size() == 0) return nullptr;
    return memory() + static_cast<std::size_t>(uint64_t{index - 1} * RecordSize);
}

const uint8_t* TStore::RecordPointer(uint32_t index) const {
    if (!CheckRecord(index) || size() == 0) return nullptr;
    return memory() + static_cast<std::size_t>(uint64_t{index - 1} * RecordSize);
}

uint32_t TStore::AppendFrom(MemoryStream& source, uint32_t first, uint32_t last) {
    if (RecordSize == 0) {
        if (auto* store = dynamic_cast<TStore*>(&source)) {
            RecordSize = store->RecordSize;
            if (store != this) StoreName = store->StoreName;
        } else {
            RecordSize = 1;
        }
    }
    if (RecordSize == 0) return 0; // a source of zero-size records has nothing to append
    if (first == 0) first = 1;
    const uint64_t start = uint64_t{first - 1} * RecordSize;
    const uint64_t available = source.size();
    uint64_t bytes;
    if (last == 0) {
        if (start > available) return 0;
        bytes = available - start;
    } else {
        if (last < first) return 0;
        bytes = uint64_t{last - first + 1} * RecordSize;
        if (start + bytes > available) return 0; // never read beyond the source's content
    }
    if (bytes == 0 || bytes % RecordSize != 0) return 0;
    const uint64_t n = bytes / RecordSize;
    if (RecordCount + n > maxCount) return 0;
    const uint64_t old = uint64_t{RecordCount} * RecordSize;
    if (!setSize(static_cast<std::size_t>(old + bytes))) {
        error("Store make failed");
        return 0;
    }
    // The source may be this very store, so take its address after resizing.
    std::memmove(memory() + old, source.memory() + start, static_cast<std::size_t>(bytes));
    source.seek(static_cast<std::size_t>(start + bytes));
    RecordCount += static_cast<uint32_t>(n);
    seek(static_cast<std::size_t>(old + bytes));
    return static_cast<uint32_t>(n);
}

bool TStore::Transfer(MemoryStream& source, uint32_t recordSize) {
    auto* store = dynamic_cast<TStore*>(&source);
    if (!store) {
        error("Transfer failed");
        return false;
    }
    if (recordSize == 0 || source.size() == 0 || source.size() % recordSize != 0) return false;
    // Transferring a store into itself reinterprets its own bytes: keep a copy.
    MemoryStream copy;
    MemoryStream* from = &source;
    if (store == this) {
        if (!copy.setSize(size())) {
            error("Transfer failed");
            return false;
        }
        std::memcpy(copy.memory(), memory(), size());
        from = &copy;
    }
    RecordCount = 0;
    RecordSize = 0;
    setSize(0);
    RecordSize = recordSize;
    if (AppendFrom(*from, 0, 0) > 0) return true;
    error("Transfer failed");
    return false;
}

// ---------------------------------------------------------------------------
// TNumberStore

TNumberStore::TNumberStore() {
    HeaderSize += 1;
}

bool TNumberStore::Make(uint32_t count, uint32_t elementSize) {
    if (!ValidElementSize(elementSize)) return false;
    return TStore::Make(count, elementSize);
}

long double TNumberStore::decodeAt(const uint8_t* p) const {
    if (RecordSize == 8) // curves and fits: the common case first
        return std::bit_cast<double>(le64(p));
    switch (RecordSize) {
    case 1:
        return Signed ? static_cast<long double>(static_cast<int8_t>(p[0])) : p[0];
    case 2:
        return Signed ? static_cast<long double>(static_cast<int16_t>(le16(p))) : le16(p);
    case 4:
        return Signed ? static_cast<long double>(static_cast<int32_t>(le32(p))) : le32(p);
    case 6:
        return decodeReal48(p);
    case 8:
        return std::bit_cast<double>(le64(p));
    case 10:
        return decodeExtended(p);
    default:
        return 0;
    }
}

void TNumberStore::encodeAt(uint8_t* p, long double x) const {
    // Range tests are written so that NaN fails them.
    switch (RecordSize) {
    case 1:
        if (Signed ? (x >= -128 && x <= 127) : (x >= 0 && x <= 255))
            p[0] = static_cast<uint8_t>(static_cast<int>(std::nearbyint(x)));
        break;
    case 2:
        if (Signed ? (x >= -32767 && x <= 32767) : (x >= 0 && x <= 65535))
            put16(p, static_cast<uint16_t>(static_cast<int32_t>(std::nearbyint(x))));
        break;
    case 4:
        if (Signed ? (x >= -2147483647.0L && x < 2147483647.0L) : (x >= 0 && x <= 4294967295.0L))
            put32(p, static_cast<uint32_t>(static_cast<int64_t>(std::nearbyint(x))));
        break;
    case 6:
        encodeReal48(x, p);
        break;
    case 8:
        put64(p, std::bit_cast<uint64_t>(static_cast<double>(x)));
        break;
    case 10:
        encodeExtended(x, p);
        break;
    default:
        break;
    }
}

long double TNumberStore::GetValueAt(uint32_t index) const {
    if (index == 0 || index > RecordCount) return 0;
    uint64_t end = uint64_t{index} * RecordSize;
    if (end > size()) return 0;
    return decodeAt(memory() + (end - RecordSize));
}

void TNumberStore::SetValueAt(uint32_t index, long double x) {
    if (index == 0 || index > RecordCount) return;
    uint64_t end = uint64_t{index} * RecordSize;
    if (end > size()) return;
    encodeAt(memory() + (end - RecordSize), x);
}

// ---------------------------------------------------------------------------
// TNumber2DArrayStore

TNumber2DArrayStore::TNumber2DArrayStore() {
    HeaderSize += 8;
}

bool TNumber2DArrayStore::Make2D(uint32_t columns, uint32_t rows, uint32_t elementSize) {
    Columns = columns;
    Rows = rows;
    uint64_t count = uint64_t{columns} * rows;
    if (count > maxCount) {
        error("Store make failed");
        return false;
    }
    return MakeElements(static_cast<uint32_t>(count), elementSize);
}

bool TNumber2DArrayStore::MakeElements(uint32_t count, uint32_t elementSize) {
    return TNumberStore::Make(count, elementSize);
}

bool TNumber2DArrayStore::SetRows(uint32_t rows) {
    uint64_t count = uint64_t{rows} * Columns;
    if (count > maxCount) {
        error("Store make failed");
        return false;
    }
    uint32_t previous = Rows;
    Rows = rows;
    if (TStore::SetRecordCount(static_cast<uint32_t>(count))) return true;
    Rows = previous; // the content did not change, so neither does the row count
    return false;
}

std::size_t TNumber2DArrayStore::elementIndex(uint32_t column, uint32_t row) const {
    int64_t index = int64_t{column} + (int64_t{row} - 1) * int64_t{Columns};
    if (index < 1 || index > int64_t{RecordCount}) return 0;
    return static_cast<std::size_t>(index);
}

long double TNumber2DArrayStore::GetElement(uint32_t column, uint32_t row) const {
    std::size_t index = elementIndex(column, row);
    if (index == 0) return 0;
    std::size_t end = index * RecordSize;
    if (end > size()) return 0;
    return decodeAt(memory() + (end - RecordSize));
}

void TNumber2DArrayStore::SetElement(uint32_t column, uint32_t row, long double x) {
    std::size_t index = elementIndex(column, row);
    if (index == 0) return;
    std::size_t end = index * RecordSize;
    if (end > size()) return;
    encodeAt(memory() + (end - RecordSize), x);
}

bool TNumber2DArrayStore::SeekElement(uint32_t column, uint32_t row) {
    return SeekRecord(static_cast<uint32_t>(elementIndex(column, row)));
}

uint8_t* TNumber2DArrayStore::ElementPointer(uint32_t column, uint32_t row) {
    return RecordPointer(static_cast<uint32_t>(elementIndex(column, row)));
}

const uint8_t* TNumber2DArrayStore::ElementPointer(uint32_t column, uint32_t row) const {
    return RecordPointer(static_cast<uint32_t>(elementIndex(column, row)));
}

uint8_t* TNumber2DArrayStore::RowData(uint32_t row) {
    return const_cast<uint8_t*>(std::as_const(*this).RowData(row));
}

const uint8_t* TNumber2DArrayStore::RowData(uint32_t row) const {
    if (row == 0 || row > Rows || Columns == 0 || RecordSize == 0) return nullptr;
    uint64_t rowBytes = uint64_t{Columns} * RecordSize;
    uint64_t end = uint64_t{row} * rowBytes;
    if (end > size() || uint64_t{row} * Columns > RecordCount) return nullptr;
    return memory() + (end - rowBytes);
}

bool TNumber2DArrayStore::DeleteRow(uint32_t row) {
    if (row == 0 || row > Rows) return false;
    const uint64_t rowBytes = uint64_t{Columns} * RecordSize;
    if (row < Rows && rowBytes > 0) {
        uint64_t to = uint64_t{row - 1} * rowBytes;
        uint64_t from = uint64_t{row} * rowBytes;
        uint64_t end = std::min<uint64_t>(uint64_t{Rows} * rowBytes, size());
        if (from < end) std::memmove(memory() + to, memory() + from, static_cast<std::size_t>(end - from));
    }
    SetRecordCount(Rows - 1);
    return true;
}

bool TNumber2DArrayStore::DeleteRows(std::span<const uint32_t> rows) {
    if (rows.empty()) return true;
    std::vector<uint32_t> sorted;
    std::span<const uint32_t> list = rows;
    if (!std::is_sorted(rows.begin(), rows.end())) {
        sorted.assign(rows.begin(), rows.end());
        std::sort(sorted.begin(), sorted.end());
        list = sorted;
    }
    if (list.front() == 0 || list.back() > Rows) return false;
    const uint64_t rowBytes = uint64_t{Columns} * RecordSize;
    const uint64_t end = std::min<uint64_t>(uint64_t{Rows} * rowBytes, size());
    uint8_t* base = memory();
    uint64_t write = uint64_t{list.front() - 1} * rowBytes;
    uint32_t removed = 0;
    uint32_t previous = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        uint32_t r = list[i];
        if (r == previous) continue; // a repeated number counts once
        previous = r;
        ++removed;
        // Keep the rows between r and the next row to delete.
        uint32_t next = Rows + 1;
        for (std::size_t j = i + 1; j < list.size(); ++j)
            if (list[j] != r) {
                next = list[j];
                break;
            }
        uint64_t from = uint64_t{r} * rowBytes;
        uint64_t to = std::min<uint64_t>(uint64_t{next - 1} * rowBytes, end);
        if (from < to && rowBytes > 0) {
            if (write != from) std::memmove(base + write, base + from, static_cast<std::size_t>(to - from));
            write += to - from;
        }
    }
    SetRecordCount(Rows - removed);
    return true;
}

uint32_t TNumber2DArrayStore::FindNearest(uint32_t column, long double x) const {
    if (Rows == 0) return 0;
    if (std::isnan(x)) return 1;
    auto value = [&](uint32_t r) { return GetElement(column, r); };
    if (x >= value(Rows)) return Rows;
    if (x <= value(1)) return 1;
    uint32_t lo = 1, hi = Rows;
    while (lo != hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        long double v = static_cast<double>(value(mid));
        if (x > v) {
            if (mid + 1 == hi)
                --hi;
            else
                lo = mid;
        } else if (x == v) {
            lo = hi = mid;
        } else {
            hi = mid; // also when v is NaN, so the search always ends
        }
    }
    uint32_t r = lo;
    while (r < Rows && std::fabs(value(r + 1) - x) < std::fabs(value(r) - x))
        ++r;
    while (r > 1 && std::fabs(value(r - 1) - x) < std::fabs(value(r) - x))
        --r;
    return r;
}

void TNumber2DArrayStore::SortRows(uint32_t column) {
    if (Rows < 2) return;
    const std::size_t rowBytes = std::size_t{Columns} * RecordSize;
    if (rowBytes == 0 || uint64_t{Rows} * rowBytes > size()) return;
    const std::size_t n = Rows;
    std::vector<long double> key(n);
    bool sorted = true, hasNaN = false;
    for (std::size_t r = 0; r < n; ++r) {
        key[r] = GetElement(column, static_cast<uint32_t>(r + 1));
        if (std::isnan(key[r])) hasNaN = true;
        if (r > 0 && key[r] < key[r - 1]) sorted = false;
    }
    if (sorted) return; // the insertion sort would exchange nothing
    // perm[d] = the row (0-based, original order) that ends up at position d.
    std::vector<uint32_t> perm(n);
    for (std::size_t r = 0; r < n; ++r)
        perm[r] = static_cast<uint32_t>(r);
    if (hasNaN) {
        // NaN breaks the ordering a merge sort relies on: do the insertion
        // sort itself on the keys, exchanging neighbours while strictly less.
        for (std::size_t r = 1; r < n; ++r)
            for (std::size_t j = r; j > 0 && key[j] < key[j - 1]; --j) {
                std::swap(key[j], key[j - 1]);
                std::swap(perm[j], perm[j - 1]);
            }
    } else {
        std::stable_sort(perm.begin(), perm.end(), [&](uint32_t a, uint32_t b) { return key[a] < key[b]; });
    }
    // Move whole rows along the permutation's cycles, one spare row.
    uint8_t* base = memory();
    std::vector<uint8_t> spare(rowBytes);
    for (std::size_t i = 0; i < n; ++i) {
        if (perm[i] == i) continue;
        std::memcpy(spare.data(), base + i * rowBytes, rowBytes);
        std::size_t j = i;
        for (;;) {
            std::size_t k = perm[j];
            perm[j] = static_cast<uint32_t>(j);
            if (k == i) {
                std::memcpy(base + j * rowBytes, spare.data(), rowBytes);
                break;
            }
            std::memcpy(base + j * rowBytes, base + k * rowBytes, rowBytes);
            j = k;
        }
    }
}

bool TNumber2DArrayStore::TransferFrom(MemoryStream& source, uint32_t columns, uint32_t elementSize) {
    if (source.size() == 0 || elementSize == 0) return false;
    if (auto* table = dynamic_cast<TNumber2DArrayStore*>(&source)) {
        Rows = table->Rows;
    } else {
        if (columns == 0 || source.size() % elementSize != 0 || (source.size() / elementSize) % columns != 0)
            return false;
        uint64_t rows = source.size() / elementSize / columns;
        if (rows > maxCount) return false;
        Rows = static_cast<uint32_t>(rows);
    }
    return Transfer(source, elementSize);
}

// ---------------------------------------------------------------------------
// TxyDataStruct

TxyDataStruct::TxyDataStruct() {
    RecordSize = 0;
    HeaderSize += 101;
}

bool TxyDataStruct::MakeXY(uint32_t n, uint32_t elementSize) {
    if (elementSize > 10) return false;
    XColumn = 1;
    YColumn = 2;
    Kind = 2;
    if (!Make2D(2, n, elementSize)) return false;
    Points = n;
    return true;
}

bool TxyDataStruct::MakeRegular(uint32_t n, uint32_t elementSize, const TXRange& range) {
    Kind = 1;
    XRange = range;
    XColumn = 0;
    YColumn = 1;
    return Make2D(1, n, elementSize);
}

bool TxyDataStruct::SetPoints(uint32_t n) {
    Points = n;
    return TNumber2DArrayStore::SetRows(n);
}

long double TxyDataStruct::GetX(uint32_t i) const {
    long double raw = Kind == 1 ? (static_cast<long double>(i) - 1) * XRange.DX + XRange.X0
                                : TNumber2DArrayStore::GetElement(static_cast<uint32_t>(XColumn), i);
    return raw * XYScaling.XScale + XYScaling.XOffset;
}

long double TxyDataStruct::GetY(uint32_t i) const {
    return TNumber2DArrayStore::GetElement(static_cast<uint32_t>(YColumn), i) * XYScaling.YScale +
           XYScaling.YOffset;
}

void TxyDataStruct::SetX(uint32_t i, long double x) {
    if (Kind == 1) return;
    SetElement(static_cast<uint32_t>(XColumn), i, (x - XYScaling.XOffset) / XYScaling.XScale);
}

void TxyDataStruct::SetY(uint32_t i, long double y) {
    SetElement(static_cast<uint32_t>(YColumn), i, (y - XYScaling.YOffset) / XYScaling.YScale);
}

uint32_t TxyDataStruct::FindX(long double x) const {
    long double raw = (x - XYScaling.XOffset) / XYScaling.XScale;
    if (Kind != 1) return FindNearest(static_cast<uint32_t>(XColumn), raw);
    // A regular series: the nearest point by its step, within 1..Points.
    if (Points == 0) return 0;
    if (XRange.DX == 0 || std::isnan(raw)) return 1;
    long double i = std::nearbyint((raw - XRange.X0) / XRange.DX) + 1;
    if (!(i >= 1)) return 1;
    if (i >= Points) return Points;
    return static_cast<uint32_t>(i);
}

void TxyDataStruct::SortByX() {
    if (Points != 0 && Kind != 1) SortRows(static_cast<uint32_t>(XColumn));
}

} // namespace quillmar
