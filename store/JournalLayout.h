#pragma once
// The journal's layout as its writer and its reader share it: where the
// fields of a header copy lie, its bounds, the little-endian fields, the
// record check and the failures both report. For Journal*.cpp only.

#include "store/Journal.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace quillmar {

inline constexpr char Magic[16] = {'Q', 'U', 'I', 'L', 'L', 'M', 'A', 'R',
                                   '-', 'J', 'O', 'U', 'R', 'N', 'A', 'L'};
// Where the fields of a header copy lie.
inline constexpr size_t VersionAt = 16;
inline constexpr size_t SizeAt = 20;
inline constexpr size_t FieldsAt = 24; // the start time, then the rest
// A copy without entries: up to the entry count, then the check.
inline constexpr uint32_t MinCopyBytes = 16 + 4 + 4 + 8 + 4 + 4 + 4 + 4 + 4;
inline constexpr uint32_t MaxHeaderBytes = 4u << 20;
inline constexpr uint32_t MaxEntries = 65535;
inline constexpr uint32_t DataBytes = 63;
// Buffered rows beyond this are written at once (without waiting for the
// disk), so the buffer stays small whatever the clock does.
inline constexpr size_t MaxBufferBytes = 64 * 1024;
// The most of a journal file that is read: far more than a dataset of rows
// of 71 bytes would hold in memory.
inline constexpr uint64_t MaxJournalFileBytes = uint64_t{1} << 31;

inline void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        out.push_back(uint8_t(v >> (8 * k)));
}
inline void putU64(std::vector<uint8_t>& out, uint64_t v) {
    for (int k = 0; k < 8; ++k)
        out.push_back(uint8_t(v >> (8 * k)));
}
inline void putF64(std::vector<uint8_t>& out, double v) {
    putU64(out, std::bit_cast<uint64_t>(v));
}
inline void putText(std::vector<uint8_t>& out, const std::string& text) {
    putU32(out, uint32_t(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

inline uint32_t getU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t getU64(const uint8_t* p) {
    return uint64_t(getU32(p)) | uint64_t(getU32(p + 4)) << 32;
}
inline double getF64(const uint8_t* p) {
    return std::bit_cast<double>(getU64(p));
}

// The check of record number (counting from 1) holding row.
uint32_t JournalRecordCrc(const uint8_t* row, uint32_t number);

// Flushes the folder's entries (a created, renamed or removed journal) to disk.
void SyncJournalFolder(const std::string& folder);

// "<path><tail> (<reason>)": "x.journal is not a journal".
Error JournalProblem(ErrorKind kind, const std::string& path, const std::string& tail,
                     const std::string& reason = "");
// "<lead> <path> (<the system's text>)": "Cannot read the journal x.journal (Permission denied)".
Error JournalFailure(ErrorKind kind, const std::string& lead, const std::string& path, int code);

} // namespace quillmar
