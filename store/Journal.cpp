#include "store/Journal.h"

#include "store/base/Paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace quillmar {

namespace {

constexpr char Magic[16] = {'Q', 'U', 'I', 'L', 'L', 'M', 'A', 'R', '-', 'J', 'O', 'U', 'R', 'N', 'A', 'L'};
// Where the fields of a header copy lie.
constexpr size_t VersionAt = 16;
constexpr size_t SizeAt = 20;
constexpr size_t FieldsAt = 24; // the start time, then the rest
// A copy without entries: up to the entry count, then the check.
constexpr uint32_t MinCopyBytes = 16 + 4 + 4 + 8 + 4 + 4 + 4 + 4 + 4;
constexpr uint32_t MaxHeaderBytes = 4u << 20;
constexpr uint32_t MaxEntries = 65535;
constexpr uint32_t DataBytes = 63;
// Buffered rows beyond this are written at once (without waiting for the
// disk), so the buffer stays small whatever the clock does.
constexpr size_t MaxBufferBytes = 64 * 1024;
// The most of a journal file that is read: far more than a dataset of rows
// of 71 bytes would hold in memory.
constexpr uint64_t MaxJournalFileBytes = uint64_t{1} << 31;

constexpr std::array<uint32_t, 256> makeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> CrcTable = makeCrcTable();

std::string errnoText(int code) {
    return std::strerror(code);
}

// ---- little-endian fields ----

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        out.push_back(uint8_t(v >> (8 * k)));
}
void putU64(std::vector<uint8_t>& out, uint64_t v) {
    for (int k = 0; k < 8; ++k)
        out.push_back(uint8_t(v >> (8 * k)));
}
void putF64(std::vector<uint8_t>& out, double v) {
    putU64(out, std::bit_cast<uint64_t>(v));
}
void putText(std::vector<uint8_t>& out, const std::string& text) {
    putU32(out, uint32_t(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

uint32_t getU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t getU64(const uint8_t* p) {
    return uint64_t(getU32(p)) | uint64_t(getU32(p + 4)) << 32;
}
double getF64(const uint8_t* p) {
    return std::bit_cast<double>(getU64(p));
}

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

uint32_t recordCrc(const uint8_t* row, uint32_t number) {
    uint8_t n[4] = {uint8_t(number), uint8_t(number >> 8), uint8_t(number >> 16), uint8_t(number >> 24)};
    return Crc32(std::span<const uint8_t>(row, JournalRowBytes), Crc32(n));
}

FileError newerVersion(const std::string& path, uint32_t version) {
    return FileError(path + " was written by a newer version of Quillmar (journal version " +
                         std::to_string(version) + ")",
                     path);
}

bool writeAll(int fd, const uint8_t* data, size_t size, int& error) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        error = n < 0 ? errno : EIO;
        return false;
    }
    return true;
}

// Creates folder and its missing parents (mode 0700, as a state folder).
void makeFolders(const std::string& folder) {
    std::string path;
    size_t at = 0;
    while (at != std::string::npos) {
        const size_t next = folder.find('/', at + 1);
        path = folder.substr(0, next);
        at = next;
        if (path.empty()) continue;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            throw FileError("Cannot create the folder " + path + " (" + errnoText(errno) + ")", path);
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw FileError("Cannot create the folder " + folder + ": a file of that name is in the way", folder);
}

std::string randomPart() {
    uint64_t r = 0;
    if (::getrandom(&r, sizeof r, GRND_NONBLOCK) != sizeof r) {
        // No entropy yet this early: the clock and the address space differ enough.
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        r = uint64_t(ts.tv_nsec) * 0x9E3779B97F4A7C15ull ^ uint64_t(ts.tv_sec) ^
            reinterpret_cast<uintptr_t>(&r);
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int k = 0; k < 16; ++k)
        text[size_t(k)] = digits[(r >> (4 * k)) & 15];
    return text;
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

std::string DefaultJournalFolder() {
    return xdgStateHome() + "/Quillmar";
}

uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc) {
    crc = ~crc;
    for (const uint8_t b : bytes)
        crc = CrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::vector<uint8_t> JournalHeaderBytes(const JournalHeader& header) {
    std::vector<uint8_t> out(Magic, Magic + sizeof Magic);
    putU32(out, JournalVersion);
    putU32(out, 0); // the copy's size, filled in below
    putF64(out, header.StartTime);
    putU32(out, JournalRowBytes);
    putU32(out, DataBytes);
    putU32(out, uint32_t(header.ProcessId));
    const size_t entries = std::min<size_t>(header.Table.size(), MaxEntries);
    putU32(out, uint32_t(entries));
    for (size_t i = 0; i < entries; ++i) {
        const TParameter& p = header.Table[i];
        out.push_back(p.Position);
        out.push_back(p.Size);
        out.push_back(p.Signed ? 1 : 0);
        out.push_back(p.Flags ? 1 : 0);
        putU32(out, uint32_t(p.Icon));
        putF64(out, p.Offset);
        putF64(out, p.Factor);
        putText(out, p.Name);
        putText(out, p.FormatAs);
        putText(out, p.Units);
    }
    const uint32_t size = uint32_t(out.size() + 4);
    for (int k = 0; k < 4; ++k)
        out[SizeAt + size_t(k)] = uint8_t(size >> (8 * k));
    putU32(out, Crc32(out));
    // The second copy, byte for byte the first.
    const std::vector<uint8_t> copy = out;
    out.insert(out.end(), copy.begin(), copy.end());
    return out;
}

namespace {

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
        if (!first.magic) throw FileError(path + " is not a journal", path);
        if (first.version > JournalVersion) throw newerVersion(path, first.version);
        throw FileError(path + " has a damaged header", path);
    }
    if (used.version > JournalVersion) throw newerVersion(path, used.version);
    uint32_t rowBytes = 0, dataBytes = 0;
    if (used.version == 0 || !readFields(bytes.data() + usedAt, used.size, header_, rowBytes, dataBytes))
        throw FileError(path + " has a damaged header", path);
    if (rowBytes != JournalRowBytes || dataBytes != DataBytes)
        throw FileError(path + " holds rows of another layout (" + std::to_string(rowBytes) + " bytes, " +
                            std::to_string(dataBytes) + " of them data bytes)",
                        path);
    // Version 1 has one copy; later ones two, the rows after both (a file
    // cut inside the second holds no rows).
    const uint64_t headerBytes = used.version == 1 ? used.size : 2 * uint64_t(used.size);
    headerSize_ = uint32_t(std::min<uint64_t>(headerBytes, bytes.size()));
}

bool JournalParser::RecordOk(const uint8_t* record, uint32_t number) {
    return getU32(record + JournalRowBytes) == recordCrc(record, number);
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

// ---- the file ----

TJournal::TJournal(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

std::unique_ptr<TJournal> TJournal::Create(const std::string& folder, const TParameterArray& table,
                                           double startTime) {
    makeFolders(folder);
    const std::string name = folder + "/recording-" + std::to_string(::getpid()) + "-" + randomPart();
    const std::string path = name + JournalSuffix;
    const std::string draft = path + ".new";
    int fd;
    do
        fd = ::open(draft.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) throw FileError("Cannot create the journal " + draft + " (" + errnoText(errno) + ")", draft);
    // Ours from the start: nobody else can have locked a file just made.
    ::flock(fd, LOCK_EX | LOCK_NB);
    JournalHeader header;
    header.StartTime = startTime;
    header.ProcessId = int32_t(::getpid());
    header.Table = table;
    for (TParameter& p : header.Table)
        p.BitNames.clear();
    const std::vector<uint8_t> bytes = JournalHeaderBytes(header);
    int error = 0;
    if (!writeAll(fd, bytes.data(), bytes.size(), error) || ::fdatasync(fd) != 0 ||
        ::rename(draft.c_str(), path.c_str()) != 0) {
        if (error == 0) error = errno;
        ::close(fd);
        ::unlink(draft.c_str());
        throw FileError("Cannot write the journal " + path + " (" + errnoText(error) + ")", path);
    }
    syncFolder(folder);
    std::unique_ptr<TJournal> journal(new TJournal(fd, path));
    journal->headerBytes_ = bytes.size();
    return journal;
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
    if (fd < 0) throw FileError("Cannot open the journal " + path + " (" + errnoText(errno) + ")", path);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw FileError(path + " is not a journal", path);
    }
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            held = true;
            return -1;
        }
        throw FileError("Cannot lock the journal " + path + " (" + errnoText(error) + ")", path);
    }
    return fd;
}

// The bytes of the open journal, bounded.
std::vector<uint8_t> readJournal(int fd, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw FileError("Cannot read the journal " + path + " (" + errnoText(errno) + ")", path);
    if (uint64_t(st.st_size) > MaxJournalFileBytes)
        throw FileError(path + " is larger than a dataset can hold", path);
    std::vector<uint8_t> bytes(size_t(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, bytes.size() - got, off_t(got));
        if (n > 0) {
            got += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw FileError("Cannot read the journal " + path + " (" + errnoText(errno) + ")", path);
        break; // shorter than it was: read what is there
    }
    bytes.resize(got);
    return bytes;
}

} // namespace

std::unique_ptr<TJournal> TJournal::Adopt(const std::string& path, JournalContents& contents) {
    bool held = false;
    const int fd = openJournal(path, true, held);
    if (held) throw FileError(path + " is in use by a running recording", path);
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
    syncFolder(folderOf(path));
    ::close(fd);
    return removed;
}

TJournal::~TJournal() {
    if (fd_ < 0) return;
    if (pending_) Sync();
    ::close(fd_);
}

void TJournal::fail(const std::string& why) {
    if (failure_.empty()) failure_ = why;
    buffer_.clear();
    buffer_.shrink_to_fit();
}

void TJournal::Append(const uint8_t* row) {
    if (fd_ < 0 || adopted_ || !failure_.empty()) return;
    pending_ = true;
    const uint32_t number = uint32_t(++rows_);
    buffer_.insert(buffer_.end(), row, row + JournalRowBytes);
    putU32(buffer_, recordCrc(row, number));
    if (buffer_.size() >= MaxBufferBytes) {
        int error = 0;
        if (!writeAll(fd_, buffer_.data(), buffer_.size(), error))
            fail("Cannot write the journal " + path_ + " (" + errnoText(error) + ")");
        buffer_.clear();
    }
}

bool TJournal::SyncIfDue(double now, double maxAge) {
    if (!pending_) return true;
    if (!haveOldest_) {
        haveOldest_ = true;
        oldestBuffered_ = now;
    }
    if (now - oldestBuffered_ < maxAge) return true;
    return Sync();
}

bool TJournal::Sync() {
    haveOldest_ = false;
    pending_ = false;
    if (fd_ < 0 || adopted_ || !failure_.empty()) return failure_.empty();
    int error = 0;
    if (!writeAll(fd_, buffer_.data(), buffer_.size(), error) || ::fdatasync(fd_) != 0) {
        if (error == 0) error = errno;
        fail("Cannot write the journal " + path_ + " (" + errnoText(error) + ")");
        return false;
    }
    buffer_.clear();
    ++syncs_;
    return true;
}

uint64_t TJournal::RowsInFile() const {
    if (fd_ < 0) return 0;
    if (adopted_) return rows_;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || uint64_t(st.st_size) < headerBytes_) return 0;
    return std::min<uint64_t>(rows_, (uint64_t(st.st_size) - headerBytes_) / JournalRecordBytes);
}

void TJournal::Remove() {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    syncFolder(folderOf(path_));
    ::close(fd_);
    fd_ = -1;
    buffer_.clear();
}

} // namespace quillmar
