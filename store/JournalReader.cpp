// Reading a journal: its header (either copy), its records, and taking it
// over, looking at it or deleting it once no live process holds it.

#include "store/JournalLayout.h"

#include "store/base/Paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>

namespace quillmar {

namespace {

// Reads fields from the header's bytes; any read past them marks it bad.
class FieldReader {
public:
    FieldReader(const uint8_t* data, size_t size) : p_(data), left_(size) {}
    bool bad() const { return bad_; }
    size_t left() const { return left_; }
    const uint8_t* take(size_t n) {
        if (bad_ || n > left_) {
            bad_ = true;
            return nullptr;
        }
        const uint8_t* at = p_;
        p_ += n;
        left_ -= n;
        return at;
    }
    uint8_t u8() {
        const uint8_t* p = take(1);
        return p ? *p : 0;
    }
    uint32_t u32() {
        const uint8_t* p = take(4);
        return p ? getU32(p) : 0;
    }
    double f64() {
        const uint8_t* p = take(8);
        return p ? getF64(p) : 0;
    }
    std::string text() {
        const uint32_t n = u32();
        const uint8_t* p = take(n);
        return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
    }

private:
    const uint8_t* p_;
    size_t left_;
    bool bad_ = false;
};

FileError newerVersion(const std::string& path, uint32_t version) {
    return FileError(JournalProblem(ErrorKind::NewerVersion, path,
                                    " was written by a newer version of Quillmar",
                                    "journal version " + std::to_string(version)));
}

FileError damagedHeader(const std::string& path) {
    Error e = JournalProblem(ErrorKind::BadContent, path, " has a damaged header");
    e.place.byteOffset = 0;
    return FileError(std::move(e));
}

// What the first bytes of a header copy at some offset of a journal say, and
// whether its check holds.
struct HeaderCopy {
    bool magic = false;   // it starts with Magic
    bool checked = false; // its size fits the bytes and its CRC matches
    uint32_t version = 0;
    uint32_t size = 0; // as the copy states it
};

HeaderCopy lookAtCopy(std::span<const uint8_t> bytes, size_t at) {
    HeaderCopy copy;
    if (at >= bytes.size()) return copy;
    const std::span<const uint8_t> rest = bytes.subspan(at);
    const uint8_t* p = rest.data();
    copy.magic = rest.size() >= sizeof Magic && std::memcmp(p, Magic, sizeof Magic) == 0;
    if (rest.size() < FieldsAt) return copy;
    copy.version = getU32(p + VersionAt);
    copy.size = getU32(p + SizeAt);
    copy.checked = copy.magic && copy.size >= MinCopyBytes && copy.size <= MaxHeaderBytes &&
                   copy.size <= rest.size() && Crc32(rest.first(copy.size - 4)) == getU32(p + copy.size - 4);
    return copy;
}

// Reads the fields after the first 24 bytes of a copy (size bytes at data,
// its check included) into header. False when they do not fill exactly the
// bytes before the check.
bool readFields(const uint8_t* data, uint32_t size, JournalHeader& header, uint32_t& rowBytes,
                uint32_t& dataBytes) {
    FieldReader in(data + FieldsAt, size - 4 - FieldsAt);
    header = {};
    header.StartTime = in.f64();
    rowBytes = in.u32();
    dataBytes = in.u32();
    header.ProcessId = int32_t(in.u32());
    const uint32_t entries = in.u32();
    if (entries > MaxEntries) return false;
    for (uint32_t i = 0; i < entries && !in.bad(); ++i) {
        TParameter p;
        p.Position = in.u8();
        p.Size = in.u8();
        p.Signed = in.u8() != 0;
        p.Flags = in.u8() != 0;
        p.Icon = int32_t(in.u32());
        p.Offset = in.f64();
        p.Factor = in.f64();
        p.Name = in.text();
        p.FormatAs = in.text();
        p.Units = in.text();
        header.Table.push_back(std::move(p));
    }
    return !in.bad() && in.left() == 0;
}

// The size a copy at the start of bytes has by its fields alone (their
// lengths and counts, not its size field), or 0 when they run past bytes.
uint32_t sizeByFields(std::span<const uint8_t> bytes) {
    if (bytes.size() < MinCopyBytes) return 0;
    const size_t limit = std::min<size_t>(bytes.size(), MaxHeaderBytes) - FieldsAt;
    FieldReader in(bytes.data() + FieldsAt, limit);
    in.take(8 + 4 + 4 + 4);
    const uint32_t entries = in.u32();
    if (entries > MaxEntries) return 0;
    for (uint32_t i = 0; i < entries && !in.bad(); ++i) {
        in.take(4 + 4 + 8 + 8);
        for (int t = 0; t < 3; ++t)
            in.take(in.u32());
    }
    if (in.bad()) return 0;
    return uint32_t(FieldsAt + limit - in.left() + 4);
}

} // namespace

JournalParser::JournalParser(std::span<const uint8_t> bytes, const std::string& path) {
    const HeaderCopy first = lookAtCopy(bytes, 0);
    HeaderCopy used = first;
    size_t usedAt = 0;
    if (!first.checked) {
        // The first copy is damaged: the second follows it, where the first
        // says it ends or where its fields end (one of them is intact when
        // a single bit is wrong). It must state that same size.
        used = {};
        const uint32_t candidates[2] = {first.size, sizeByFields(bytes)};
        for (const uint32_t size : candidates) {
            if (size < MinCopyBytes || size > MaxHeaderBytes) continue;
            const HeaderCopy second = lookAtCopy(bytes, size);
            if (second.checked && second.size == size && second.version >= 2) {
                used = second;
                usedAt = size;
                break;
            }
        }
    }
    if (!used.checked) {
        if (!first.magic) throw FileError(JournalProblem(ErrorKind::BadContent, path, " is not a journal"));
        if (first.version > JournalVersion) throw newerVersion(path, first.version);
        throw damagedHeader(path);
    }
    if (used.version > JournalVersion) throw newerVersion(path, used.version);
    uint32_t rowBytes = 0, dataBytes = 0;
    if (used.version == 0 || !readFields(bytes.data() + usedAt, used.size, header_, rowBytes, dataBytes))
        throw damagedHeader(path);
    if (rowBytes != JournalRowBytes || dataBytes != DataBytes)
        throw FileError(JournalProblem(ErrorKind::BadContent, path, " holds rows of another layout",
                                       std::to_string(rowBytes) + " bytes, " + std::to_string(dataBytes) +
                                           " of them data bytes"));
    // Version 1 has one copy; later ones two, the rows after both (a file
    // cut inside the second holds no rows).
    const uint64_t headerBytes = used.version == 1 ? used.size : 2 * uint64_t(used.size);
    headerSize_ = uint32_t(std::min<uint64_t>(headerBytes, bytes.size()));
}

bool JournalParser::RecordOk(const uint8_t* record, uint32_t number) {
    return getU32(record + JournalRowBytes) == JournalRecordCrc(record, number);
}

JournalContents ParseJournal(std::span<const uint8_t> bytes, const std::string& path, bool keepRows) {
    const JournalParser parser(bytes, path);
    JournalContents contents;
    contents.Header = parser.Header();
    const std::span<const uint8_t> records = bytes.subspan(parser.HeaderSize());
    const size_t whole = records.size() / JournalRecordBytes;
    if (keepRows) contents.Rows.reserve(std::min<size_t>(whole, UINT32_MAX) * JournalRowBytes);
    for (size_t k = 0; k < whole; ++k) {
        const uint8_t* record = records.data() + k * JournalRecordBytes;
        // Rows are numbered within 32 bits; a file past that is damaged anyway.
        if (k >= UINT32_MAX || !JournalParser::RecordOk(record, uint32_t(k + 1))) {
            ++contents.Dropped;
            continue;
        }
        if (keepRows) contents.Rows.insert(contents.Rows.end(), record, record + JournalRowBytes);
        ++contents.RowCount;
    }
    if (records.size() % JournalRecordBytes != 0) ++contents.Dropped;
    return contents;
}

namespace {

// Opens the journal at path and locks it (exclusively, or shared for a look
// only). -1 with held set when a live process holds it; throws FileError
// when it cannot be opened or is not a regular file.
int openJournal(const std::string& path, bool exclusive, bool& held) {
    held = false;
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw FileError(JournalFailure(ErrorKind::CannotOpen, "Cannot open the journal", path, errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw FileError(JournalProblem(ErrorKind::NotRegularFile, path, " is not a journal"));
    }
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            held = true;
            return -1;
        }
        throw FileError(JournalFailure(ErrorKind::CannotOpen, "Cannot lock the journal", path, error));
    }
    return fd;
}

// The bytes of the open journal, bounded.
std::vector<uint8_t> readJournal(int fd, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw FileError(JournalFailure(ErrorKind::CannotRead, "Cannot read the journal", path, errno));
    if (uint64_t(st.st_size) > MaxJournalFileBytes)
        throw FileError(JournalProblem(ErrorKind::TooLarge, path, " is larger than a dataset can hold"));
    std::vector<uint8_t> bytes(size_t(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, bytes.size() - got, off_t(got));
        if (n > 0) {
            got += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Error e = JournalFailure(ErrorKind::CannotRead, "Cannot read the journal", path, errno);
            e.place.byteOffset = got;
            throw FileError(std::move(e));
        }
        break; // shorter than it was: read what is there
    }
    bytes.resize(got);
    return bytes;
}

} // namespace

std::unique_ptr<TJournal> TJournal::Adopt(const std::string& path, JournalContents& contents) {
    bool held = false;
    const int fd = openJournal(path, true, held);
    if (held) throw FileError(JournalProblem(ErrorKind::InUse, path, " is in use by a running recording"));
    std::unique_ptr<TJournal> journal(new TJournal(fd, path));
    contents = ParseJournal(readJournal(fd, path), path);
    journal->rows_ = contents.RowCount;
    journal->adopted_ = true;
    return journal;
}

JournalContents InspectJournal(const std::string& path, bool& held) {
    const int fd = openJournal(path, false, held);
    if (held) return {};
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    return ParseJournal(readJournal(fd, path), path, false);
}

std::string JournalBookmarksFileName(const std::string& journalPath) {
    return journalPath + ".bookmarks";
}

std::vector<Bookmark> ReadJournalBookmarks(const std::string& journalPath,
                                           std::vector<std::string>& warnings) {
    try {
        std::optional<BookmarkRead> read = ReadBookmarks(JournalBookmarksFileName(journalPath));
        if (!read) return {};
        warnings.insert(warnings.end(), read->Warnings.begin(), read->Warnings.end());
        return std::move(read->Bookmarks);
    } catch (const FileError& e) {
        warnings.emplace_back(e.what());
        return {};
    }
}

bool DeleteJournal(const std::string& path) {
    bool held = false;
    int fd = -1;
    try {
        fd = openJournal(path, true, held);
    } catch (const FileError&) {
        return false;
    }
    if (held) return false;
    const bool removed = ::unlink(path.c_str()) == 0;
    if (removed) ::unlink(JournalBookmarksFileName(path).c_str());
    SyncJournalFolder(folderOf(path));
    ::close(fd);
    return removed;
}

} // namespace quillmar
