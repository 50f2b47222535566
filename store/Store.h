#pragma once
// Record stores: fixed-size records in one contiguous growable block, with a
// self-describing header when saved to a file.
//
//   TStore              raw records of RecordSize bytes
//   TNumberStore        numeric elements of 1, 2, 4, 6, 8 or 10 bytes
//   TNumber2DArrayStore elements addressed by (column, row), rows stored one after another
//   TxyDataStruct       an x/y series, one point per row, with a linear scaling
//
// Records, elements, columns, rows and points count from 1. Element values are
// read and written as long double (x87 extended on x86-64).
//
// Saved layout (little-endian): RecordCount u32 at 0, RecordSize u32 at 4, the
// 256-byte name block at 8 (length byte, then up to 255 Windows-1252 bytes),
// Signed at 264, Columns at 265, Rows at 269, then for a series Kind at 273,
// X0 and DX at 274 and 290, XOffset/YOffset/XScale/YScale at 306/322/338/354
// (each a 10-byte extended in a 16-byte slot) and Points at 370. The content
// follows at 264, 265, 273 or 374 bytes. Files of the older layout lack the
// name block: every later field and the content sit 256 bytes earlier.

#include "store/StoreStream.h"
#include "store/base/FileError.h"

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillmar {

class TStore;

// One entry of the store registry.
struct TStoreItem {
    TStore* Store = nullptr;
    bool Owned = false; // handed to the registry with StoreRegistry::adopt
};

// Knows every live store. A store enters in its constructor and leaves in its
// destructor. Stores normally have one owner of their own (a unique_ptr or a
// value member); the registry frees only the stores explicitly handed to it with
// adopt(), so nothing is ever freed twice. shutdown() frees the adopted stores
// (first entry first) and reports how many other stores are still alive.
class StoreRegistry {
public:
    StoreRegistry() = default;
    ~StoreRegistry();
    StoreRegistry(const StoreRegistry&) = delete;
    StoreRegistry& operator=(const StoreRegistry&) = delete;

    std::size_t count() const;
    bool contains(const TStore* store) const;
    std::vector<TStore*> stores() const; // in order of construction

    // The registry takes ownership; returns the raw pointer for convenience.
    TStore* adopt(std::unique_ptr<TStore> store);
    // Frees the adopted stores still alive; returns the number of stores that
    // remain registered afterwards (owned elsewhere).
    std::size_t shutdown();

private:
    friend class TStore;
    TStoreItem* enter(TStore* store, std::list<TStoreItem>::iterator& where);
    void leave(std::list<TStoreItem>::iterator where);

    mutable std::mutex mutex_;
    std::list<TStoreItem> items_;
    std::vector<std::unique_ptr<TStore>> adopted_;
};

// The process-wide registry, created on first use (before any store exists).
StoreRegistry& storeRegistry();

// ---------------------------------------------------------------------------

class TStore : public MemoryStream {
public:
    static constexpr uint32_t NameBlockSize = 256;

    TStore();
    ~TStore() override;

    TStoreItem* RegistryItem = nullptr;
    uint32_t RecordCount = 0;
    uint32_t RecordSize = 0;
    bool Ready = true;
    uint32_t HeaderSize = 264;
    std::string StoreName;  // raw 8-bit (Windows-1252) bytes, at most 255 are saved
    bool ShowErrors = true; // "Error" boxes for make, range and transfer failures
    // Set by LoadFromFile when a cut-off log was loaded in part ("N of M rows
    // loaded"), naming the file; empty otherwise. Callers show it.
    std::string LoadWarning;
    // The same in parts (kind EndsEarly, the file, the byte where the whole rows end).
    std::optional<Error> LoadWarningDetail;

    virtual void Clear();
    virtual bool Make(uint32_t count, uint32_t recordSize);
    virtual bool SetRecordCount(uint32_t count);
    // Appends records first..last of source (0, 0: all); returns the count appended.
    virtual uint32_t AppendFrom(MemoryStream& source, uint32_t first, uint32_t last);
    virtual bool Transfer(MemoryStream& source, uint32_t recordSize);
    // Address of record index, or null (with "Record out of range" for a bad index).
    virtual uint8_t* RecordPointer(uint32_t index);
    const uint8_t* RecordPointer(uint32_t index) const;
    virtual std::unique_ptr<MemoryStream> CreateHeader() const;
    virtual bool SeekRecord(uint32_t index);
    // Reads the header fields from the start of stream and leaves it at the
    // first content byte. The layout (with or without the name block) follows
    // from the stream's size.
    virtual void ReadHeader(MemoryStream& stream);

    bool CheckRecord(uint32_t index) const;

    // Writes the header and the RecordCount * RecordSize content bytes,
    // replacing the file atomically (temporary file in the same folder, fsync,
    // rename, fsync of the folder). A failed save leaves the old file as it
    // was; so does a read-only one. Throws FileError ("Cannot create file %s",
    // "Cannot write file %s (reason)").
    void SaveToFile(const std::string& fileName) const;
    // Replaces this store's header fields and content with the file's. Throws
    // FileError naming the file when it cannot be opened or read ("Cannot open
    // file %s (reason)", "Cannot read file %s (reason)"; folders are refused,
    // and a FIFO without a writer reads as empty instead of waiting) or its
    // size fits neither layout ("Cannot load file %s: ..." with the offending
    // bytes, whose offset is the error's byte offset); the store is then unchanged. A pipe or device is read
    // as a stream to its end, but never past the size its header gives (nor past MaxStreamedStoreBytes). An
    // empty file changes nothing. A log (1-byte elements, 71 columns) whose tail is missing loads its whole
    // rows and sets LoadWarning.
    void LoadFromFile(const std::string& fileName);
    // The most a store read from a pipe or device may hold (a log of about
    // 15 million rows).
    static constexpr uint64_t MaxStreamedStoreBytes = uint64_t{1} << 30;
    // The same from bytes in memory; name is used in messages.
    void LoadFromBytes(const uint8_t* data, std::size_t size, const std::string& name);
    // The bytes SaveToFile writes.
    std::vector<uint8_t> SaveToBytes() const;

protected:
    void error(const char* text) const;
    bool resizeRecords(uint32_t count, uint32_t recordSize); // the body of Make

    // Layout chosen by the loader for ReadHeader: -1 from the stream size,
    // 0 older layout, 1 with the name block.
    int forcedLayout_ = -1;
    bool headerHasName(const MemoryStream& stream) const;

private:
    struct LoadPlan;
    LoadPlan planLoad(const uint8_t* head, std::size_t headLen, uint64_t fileSize,
                      const std::string& name) const;
    void setEndsEarly(const LoadPlan& plan, const std::string& name);
    void applyLoad(const LoadPlan& plan, const uint8_t* head, std::size_t headLen, MemoryStream& content);

    std::list<TStoreItem>::iterator where_;
};

class TNumberStore : public TStore {
public:
    TNumberStore();

    bool Signed = false;

    static bool ValidElementSize(uint32_t size) {
        return size == 1 || size == 2 || size == 4 || size == 6 || size == 8 || size == 10;
    }

    bool Make(uint32_t count, uint32_t elementSize) override;
    std::unique_ptr<MemoryStream> CreateHeader() const override;
    void ReadHeader(MemoryStream& stream) override;

    // 0 for an index outside 1..RecordCount (no message). Element reads and
    // writes leave the stream position alone.
    virtual long double GetValueAt(uint32_t index) const;
    // Integer elements: out-of-range values are not stored; in range they round
    // to nearest, halves to even. Ranges: 1 byte 0..255 (signed -128..127),
    // 2 bytes 0..65535 (signed -32767..32767), 4 bytes 0..4294967295 (signed
    // -2147483647 <= x < 2147483647). Real elements store the converted value;
    // a 6-byte real out of its range (or NaN) is not stored.
    virtual void SetValueAt(uint32_t index, long double x);

protected:
    // Element at p (RecordSize bytes) as a value / store x at p; no index checks.
    long double decodeAt(const uint8_t* p) const;
    void encodeAt(uint8_t* p, long double x) const;
};

class TNumber2DArrayStore : public TNumberStore {
public:
    TNumber2DArrayStore();

    uint32_t Columns = 0;
    uint32_t Rows = 0;

    bool SetRecordCount(uint32_t count) override { return SetRows(count); }
    std::unique_ptr<MemoryStream> CreateHeader() const override;
    void ReadHeader(MemoryStream& stream) override;

    virtual bool Make2D(uint32_t columns, uint32_t rows, uint32_t elementSize);
    virtual bool TransferFrom(MemoryStream& source, uint32_t columns, uint32_t elementSize);
    // Stable ascending sort of whole rows by column. Linear on data already in
    // order; the same result as exchanging neighbouring rows one step at a time.
    virtual void SortRows(uint32_t column);
    virtual bool MakeElements(uint32_t count, uint32_t elementSize);
    virtual long double GetElement(uint32_t column, uint32_t row) const;
    virtual void SetElement(uint32_t column, uint32_t row, long double x);
    // Sets Rows and resizes to Rows * Columns records; earlier rows are kept.
    virtual bool SetRows(uint32_t rows);

    bool SeekElement(uint32_t column, uint32_t row);
    uint8_t* ElementPointer(uint32_t column, uint32_t row);
    const uint8_t* ElementPointer(uint32_t column, uint32_t row) const;
    // Address of the first byte of row, or null for a row outside 1..Rows or
    // beyond the content. Never shows a message.
    uint8_t* RowData(uint32_t row);
    const uint8_t* RowData(uint32_t row) const;
    uint32_t RowBytes() const { return Columns * RecordSize; }

    // Removes row; later rows move up. Shrinks through SetRecordCount.
    bool DeleteRow(uint32_t row);
    // Removes every listed row in one pass (row numbers as they are now, in
    // any order; repeats count once) and shrinks once through SetRecordCount.
    // The result equals deleting them one by one. False, and nothing changed,
    // when a number is 0 or above Rows.
    bool DeleteRows(std::span<const uint32_t> rows);
    // Row whose value in column is nearest x (values ascending); ties keep the
    // lower row. 0 for an empty store.
    uint32_t FindNearest(uint32_t column, long double x) const;

protected:
    std::size_t elementIndex(uint32_t column, uint32_t row) const; // 0 when invalid
};

struct TXRange {
    long double X0 = 0;
    long double DX = 0;
};

struct TXYScaling {
    long double XOffset = 0;
    long double YOffset = 0;
    long double XScale = 1;
    long double YScale = 1;
};

class TxyDataStruct : public TNumber2DArrayStore {
public:
    TxyDataStruct();

    uint8_t Kind = 2; // 2: x and y stored; 1: regular x from XRange
    int32_t XColumn = 1;
    int32_t YColumn = 2;
    TXRange XRange;
    TXYScaling XYScaling;
    uint32_t Points = 0;

    // Resizing a series always goes through SetPoints, so Points follows.
    bool SetRows(uint32_t rows) override { return SetPoints(rows); }
    std::unique_ptr<MemoryStream> CreateHeader() const override;
    void ReadHeader(MemoryStream& stream) override;

    virtual long double GetX(uint32_t i) const;
    virtual long double GetY(uint32_t i) const;
    virtual void SetX(uint32_t i, long double x);
    virtual void SetY(uint32_t i, long double y);
    virtual bool MakeXY(uint32_t n, uint32_t elementSize);
    virtual bool MakeRegular(uint32_t n, uint32_t elementSize, const TXRange& range);
    virtual bool SetPoints(uint32_t n);

    uint32_t FindX(long double x) const;
    void SortByX();
};

} // namespace quillmar
