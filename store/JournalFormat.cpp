// The journal's bytes: the header's two copies, the record check, and the
// failures the writer and the reader report.

#include "store/JournalLayout.h"

#include "store/base/Paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace quillmar {

namespace {

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

uint32_t JournalRecordCrc(const uint8_t* row, uint32_t number) {
    uint8_t n[4] = {uint8_t(number), uint8_t(number >> 8), uint8_t(number >> 16), uint8_t(number >> 24)};
    return Crc32(std::span<const uint8_t>(row, JournalRowBytes), Crc32(n));
}

void SyncJournalFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

Error JournalProblem(ErrorKind kind, const std::string& path, const std::string& tail,
                     const std::string& reason) {
    Error e;
    e.kind = kind;
    e.place.file = path;
    e.tail = tail;
    e.reason = reason;
    return e;
}

Error JournalFailure(ErrorKind kind, const std::string& lead, const std::string& path, int code) {
    return FileFailure(kind, lead, path, std::strerror(code), code);
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

} // namespace quillmar
