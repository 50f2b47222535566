// Headers, saving and loading of stores.
#include "store/Store.h"

#include "store/base/AtomicFile.h"
#include "store/base/InputFile.h"

#include "store/StoreReals.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace quillmar {

namespace {

// Log files: 63 reply bytes and an 8-byte time stamp per row.
constexpr uint32_t LogColumns = 71;

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void write32(MemoryStream& s, uint32_t v) {
    uint8_t b[4];
    for (int i = 0; i < 4; ++i, v >>= 8)
        b[i] = static_cast<uint8_t>(v);
    s.write(b, 4);
}

uint32_t read32(MemoryStream& s) {
    uint8_t b[4] = {};
    s.read(b, 4);
    return le32(b);
}

uint8_t read8(MemoryStream& s) {
    uint8_t b = 0;
    s.read(&b, 1);
    return b;
}

// An extended value in a 16-byte slot (10 bytes and 6 of padding).
void writeExtendedSlot(MemoryStream& s, long double v) {
    uint8_t b[16] = {};
    encodeExtended(v, b);
    s.write(b, 16);
}

long double readExtendedSlot(MemoryStream& s) {
    uint8_t b[16] = {};
    s.read(b, 16);
    return decodeExtended(b);
}

} // namespace

// ---------------------------------------------------------------------------
// Header chain

std::unique_ptr<MemoryStream> TStore::CreateHeader() const {
    auto s = std::make_unique<MemoryStream>();
    write32(*s, RecordCount);
    write32(*s, RecordSize);
    uint8_t name[NameBlockSize] = {};
    std::size_t n = StoreName.size() < 255 ? StoreName.size() : 255;
    name[0] = static_cast<uint8_t>(n);
    std::memcpy(name + 1, StoreName.data(), n);
    s->write(name, sizeof name);
    return s;
}

bool TStore::headerHasName(const MemoryStream& stream) const {
    if (forcedLayout_ >= 0) return forcedLayout_ == 1;
    return uint64_t{stream.size()} == uint64_t{RecordCount} * RecordSize + HeaderSize;
}

void TStore::ReadHeader(MemoryStream& stream) {
    if (stream.size() == 0) {
        stream.seek(0);
        return;
    }
    stream.seek(0);
    RecordCount = read32(stream);
    RecordSize = read32(stream);
    if (headerHasName(stream)) {
        uint8_t name[NameBlockSize] = {};
        stream.read(name, sizeof name);
        StoreName.assign(reinterpret_cast<const char*>(name + 1), name[0]);
    }
}

std::unique_ptr<MemoryStream> TNumberStore::CreateHeader() const {
    auto s = TStore::CreateHeader();
    uint8_t b = Signed ? 1 : 0;
    s->write(&b, 1);
    return s;
}

void TNumberStore::ReadHeader(MemoryStream& stream) {
    if (stream.size() == 0) return TStore::ReadHeader(stream);
    TStore::ReadHeader(stream);
    Signed = read8(stream) != 0;
}

std::unique_ptr<MemoryStream> TNumber2DArrayStore::CreateHeader() const {
    auto s = TNumberStore::CreateHeader();
    write32(*s, Columns);
    write32(*s, Rows);
    return s;
}

void TNumber2DArrayStore::ReadHeader(MemoryStream& stream) {
    if (stream.size() == 0) return TNumberStore::ReadHeader(stream);
    TNumberStore::ReadHeader(stream);
    Columns = read32(stream);
    Rows = read32(stream);
}

std::unique_ptr<MemoryStream> TxyDataStruct::CreateHeader() const {
    auto s = TNumber2DArrayStore::CreateHeader();
    s->write(&Kind, 1);
    writeExtendedSlot(*s, XRange.X0);
    writeExtendedSlot(*s, XRange.DX);
    writeExtendedSlot(*s, XYScaling.XOffset);
    writeExtendedSlot(*s, XYScaling.YOffset);
    writeExtendedSlot(*s, XYScaling.XScale);
    writeExtendedSlot(*s, XYScaling.YScale);
    write32(*s, Points);
    return s;
}

void TxyDataStruct::ReadHeader(MemoryStream& stream) {
    if (stream.size() == 0) return TNumber2DArrayStore::ReadHeader(stream);
    TNumber2DArrayStore::ReadHeader(stream);
    Kind = read8(stream);
    XRange.X0 = readExtendedSlot(stream);
    XRange.DX = readExtendedSlot(stream);
    XYScaling.XOffset = readExtendedSlot(stream);
    XYScaling.YOffset = readExtendedSlot(stream);
    XYScaling.XScale = readExtendedSlot(stream);
    XYScaling.YScale = readExtendedSlot(stream);
    Points = read32(stream);
    // A series never has more points than rows to read them from.
    if (forcedLayout_ >= 0 && Points > Rows) Points = Rows;
    // The columns are not saved: when the object's columns do not fit the
    // series just read, take the ones MakeXY or MakeRegular would have set.
    if (Kind == 1) {
        if (YColumn < 1 || static_cast<uint32_t>(YColumn) > Columns) {
            XColumn = 0;
            YColumn = 1;
        }
    } else if (XColumn < 1 || YColumn < 1 || static_cast<uint32_t>(XColumn) > Columns ||
               static_cast<uint32_t>(YColumn) > Columns) {
        XColumn = 1;
        YColumn = 2;
    }
}

// ---------------------------------------------------------------------------
// Loading

namespace {

Error noMemory(const std::string& name, uint64_t bytes) {
    return FileProblem(ErrorKind::OutOfMemory, "Cannot load file", name,
                       "not enough memory for " + std::to_string(bytes) + " bytes");
}

} // namespace

struct TStore::LoadPlan {
    bool named = true;       // the header has the name block
    uint64_t headerLen = 0;  // content starts here
    uint64_t contentLen = 0; // bytes of content to take
    bool cut = false;        // a log whose last rows are missing
    uint32_t rowsPresent = 0;
    uint32_t rowsPromised = 0;
};

TStore::LoadPlan TStore::planLoad(const uint8_t* head, std::size_t headLen, uint64_t fileSize,
                                  const std::string& name) const {
    // offset: the first byte the words name.
    auto refuse = [&](const std::string& why, std::optional<uint64_t> offset) {
        Error e = FileProblem(ErrorKind::BadContent, "Cannot load file", name, why);
        e.place.byteOffset = offset;
        throw FileError(std::move(e));
    };
    if (fileSize < 8 || headLen < 8)
        refuse("its " + std::to_string(fileSize) + " bytes are too few for a store header (at least 8 bytes)",
               std::nullopt);
    const uint32_t count = le32(head);
    const uint32_t recordSize = le32(head + 4);
    const uint64_t total = uint64_t{count} * recordSize;
    const uint64_t named = HeaderSize;
    const uint64_t older = HeaderSize - NameBlockSize;
    const bool is2D = HeaderSize >= 273;

    LoadPlan plan;
    if (fileSize == total + named || fileSize == total + older) {
        plan.named = fileSize == total + named;
        plan.headerLen = plan.named ? named : older;
        plan.contentLen = total;
        const std::size_t fields = plan.named ? 264 : 8; // first byte after the name block
        if (HeaderSize >= 265 && count > 0 && !TNumberStore::ValidElementSize(recordSize))
            refuse("byte 4 gives an element size of " + std::to_string(recordSize) +
                       " bytes; elements have 1, 2, 4, 6, 8 or 10 bytes",
                   4);
        if (is2D) {
            uint32_t columns = le32(head + fields + 1);
            uint32_t rows = le32(head + fields + 5);
            if (columns == 0 && rows > 0)
                refuse("bytes " + std::to_string(fields + 1) + " to " + std::to_string(fields + 4) +
                           " give 0 columns for " + std::to_string(rows) + " rows",
                       fields + 1);
            if (uint64_t{columns} * rows != count)
                refuse("bytes " + std::to_string(fields + 1) + " to " + std::to_string(fields + 8) +
                           " give " + std::to_string(columns) + " columns by " + std::to_string(rows) +
                           " rows, but byte 0 gives " + std::to_string(count) + " elements",
                       fields + 1);
        }
        return plan;
    }

    // A log (1-byte elements, 71 columns) whose tail is missing: take the whole
    // rows that are present.
    if (HeaderSize == 273 && recordSize == 1) {
        for (int layout = 1; layout >= 0; --layout) {
            const uint64_t header = layout ? named : older;
            if (fileSize < header) continue;
            const std::size_t fields = layout ? 264 : 8;
            uint32_t columns = le32(head + fields + 1);
            uint32_t rows = le32(head + fields + 5);
            if (columns != LogColumns || uint64_t{columns} * rows != count || fileSize >= total + header)
                continue;
            plan.named = layout == 1;
            plan.headerLen = header;
            plan.rowsPresent = static_cast<uint32_t>((fileSize - header) / LogColumns);
            plan.rowsPromised = rows;
            plan.contentLen = uint64_t{plan.rowsPresent} * LogColumns;
            plan.cut = true;
            return plan;
        }
    }
    refuse("it holds " + std::to_string(fileSize) + " bytes, but its header (byte 0: " +
               std::to_string(count) + " records, byte 4: " + std::to_string(recordSize) +
               " bytes each) needs " + std::to_string(total + named) + " bytes (" +
               std::to_string(total + older) + " in the older layout)",
           0);
    return plan; // not reached
}

void TStore::applyLoad(const LoadPlan& plan, const uint8_t* head, std::size_t headLen,
                       MemoryStream& content) {
    MemoryStream header;
    header.write(head, plan.headerLen < headLen ? static_cast<std::size_t>(plan.headerLen) : headLen);
    header.seek(0);
    forcedLayout_ = plan.named ? 1 : 0;
    ReadHeader(header);
    forcedLayout_ = -1;
    if (plan.cut) {
        RecordCount = plan.rowsPresent * LogColumns;
        if (auto* table = dynamic_cast<TNumber2DArrayStore*>(this)) table->Rows = plan.rowsPresent;
    }
    swapContent(content);
    seek(size());
}

void TStore::setEndsEarly(const LoadPlan& plan, const std::string& name) {
    Error e = FileProblem(ErrorKind::EndsEarly, "File", name,
                          std::to_string(plan.rowsPresent) + " of " + std::to_string(plan.rowsPromised) +
                              " rows loaded");
    e.severity = Severity::Warning;
    e.tail = " ends early";
    e.place.byteOffset = plan.headerLen + plan.contentLen;
    LoadWarning = FormatError(e);
    LoadWarningDetail = std::move(e);
}

void TStore::LoadFromBytes(const uint8_t* data, std::size_t size, const std::string& name) {
    LoadWarning.clear();
    LoadWarningDetail.reset();
    if (size == 0) return;
    const std::size_t headLen = size < HeaderSize ? size : HeaderSize;
    LoadPlan plan = planLoad(data, headLen, size, name);
    MemoryStream content;
    if (!content.setSizeForOverwrite(static_cast<std::size_t>(plan.contentLen)))
        throw FileError(noMemory(name, plan.contentLen));
    if (plan.contentLen > 0)
        std::memcpy(content.memory(), data + plan.headerLen, static_cast<std::size_t>(plan.contentLen));
    applyLoad(plan, data, headLen, content);
    if (plan.cut) setEndsEarly(plan, name);
}

void TStore::LoadFromFile(const std::string& fileName) {
    LoadWarning.clear();
    LoadWarningDetail.reset();
    InputFile in(fileName);
    std::vector<uint8_t> headBytes(HeaderSize);
    const std::size_t headLen = in.read(headBytes.data(), HeaderSize);
    if (headLen == 0) return; // an empty file changes nothing
    const uint8_t* head = headBytes.data();
    MemoryStream content;
    LoadPlan plan;

    // (Files of /proc and the like say 0 bytes and are read as streams.)
    if (in.isRegular() && in.regularSize() >= headLen) {
        // The size is known: plan from it, then read the content straight in.
        const uint64_t fileSize = in.regularSize();
        plan = planLoad(head, headLen, fileSize, fileName);
        if (!content.setSizeForOverwrite(static_cast<std::size_t>(plan.contentLen)))
            throw FileError(noMemory(fileName, plan.contentLen));
        // The head may already hold the first content bytes (older layout).
        std::size_t have = 0;
        if (headLen > plan.headerLen) {
            have = static_cast<std::size_t>(std::min<uint64_t>(headLen - plan.headerLen, plan.contentLen));
            std::memcpy(content.memory(), head + plan.headerLen, have);
        }
        const std::size_t rest = static_cast<std::size_t>(plan.contentLen) - have;
        const std::size_t got = rest > 0 ? in.read(content.memory() + have, rest) : 0;
        if (got != rest) {
            Error e = FileFailure(ErrorKind::CannotRead, "Cannot read file", fileName, "it ended early");
            e.place.byteOffset = plan.headerLen + have + got;
            throw FileError(std::move(e));
        }
    } else {
        // A pipe or a device: its size shows only at its end. The header
        // says how much a store of it can hold; read no further than that.
        if (headLen < 8) plan = planLoad(head, headLen, headLen, fileName); // refuses
        const uint64_t promised = uint64_t{le32(head)} * le32(head + 4) + HeaderSize;
        if (promised > MaxStreamedStoreBytes) {
            Error e =
                FileProblem(ErrorKind::TooLarge, "Cannot load file", fileName,
                            "its header (byte 0: " + std::to_string(le32(head)) + " records, byte 4: " +
                                std::to_string(le32(head + 4)) + " bytes each) gives more than the " +
                                std::to_string(MaxStreamedStoreBytes) + " bytes read from a pipe or device");
            e.place.byteOffset = 0;
            throw FileError(std::move(e));
        }
        // The block grows as the bytes come (a header may promise far more
        // than follows), up to one byte past the promise.
        MemoryStream whole;
        std::size_t got = 0;
        std::size_t chunk = 64 * 1024;
        auto grow = [&](std::size_t size) {
            if (!whole.setSizeForOverwrite(size)) throw FileError(noMemory(fileName, size));
        };
        grow(headLen);
        std::memcpy(whole.memory(), head, headLen);
        got = headLen;
        while (!in.atEnd() && got <= promised) {
            const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(chunk, promised + 1 - got));
            grow(got + want);
            got += in.read(whole.memory() + got, want);
            if (chunk < (std::size_t{1} << 24)) chunk *= 2;
        }
        whole.setSize(got);
        if (got > promised) {
            Error e =
                FileProblem(ErrorKind::TooLarge, "Cannot load file", fileName,
                            "it goes on past the " + std::to_string(promised) +
                                " bytes its header (byte 0: " + std::to_string(le32(head)) +
                                " records, byte 4: " + std::to_string(le32(head + 4)) + " bytes each) gives");
            e.place.byteOffset = promised;
            throw FileError(std::move(e));
        }
        plan = planLoad(head, headLen, got, fileName);
        // The content moves to the front of the block, which becomes the store's.
        if (plan.contentLen > 0)
            std::memmove(whole.memory(), whole.memory() + plan.headerLen,
                         static_cast<std::size_t>(plan.contentLen));
        whole.setSize(static_cast<std::size_t>(plan.contentLen));
        content.swapContent(whole);
    }
    applyLoad(plan, head, headLen, content);
    if (plan.cut) setEndsEarly(plan, fileName);
}

// ---------------------------------------------------------------------------
// Saving

std::vector<uint8_t> TStore::SaveToBytes() const {
    auto header = CreateHeader();
    const std::size_t content = static_cast<std::size_t>(uint64_t{RecordCount} * RecordSize);
    std::vector<uint8_t> out(header->size() + content, 0);
    std::memcpy(out.data(), header->memory(), header->size());
    std::size_t have = content < size() ? content : size();
    if (have > 0) std::memcpy(out.data() + header->size(), memory(), have);
    return out;
}

void TStore::SaveToFile(const std::string& fileName) const {
    auto header = CreateHeader();
    // The counted records are saved, so the file always reads back in the layout it was written in.
    const uint64_t content = uint64_t{RecordCount} * RecordSize;
    const std::size_t have = static_cast<std::size_t>(content < size() ? content : size());
    // Records counted but not held (never the case for stores sized by their own operations).
    const std::vector<uint8_t> zeros(static_cast<std::size_t>(content - have), 0);
    WriteFileAtomically(fileName, {std::span<const uint8_t>(header->memory(), header->size()),
                                   std::span<const uint8_t>(memory(), have), zeros});
}

} // namespace quillmar
