#pragma once
// Replacing a file so that a crash or a full disk never costs the old one.

#include "store/FileError.h"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

namespace quillmar {

// Writes the parts, one after another, to a temporary file in the target's
// folder, flushes it to disk and renames it over fileName, then flushes the
// folder. A symbolic link keeps pointing at the file it names, and a
// replaced file keeps its permissions. A file the user may not write is left
// alone. On failure the previous file is untouched and FileError is thrown:
// "Cannot create file <name>" or "Cannot write file <name> (<reason>)".
void WriteFileAtomically(const std::string& fileName, std::initializer_list<std::span<const uint8_t>> parts);

inline void WriteFileAtomically(const std::string& fileName, std::span<const uint8_t> bytes) {
    WriteFileAtomically(fileName, {bytes});
}

inline void WriteFileAtomically(const std::string& fileName, const std::string& bytes) {
    WriteFileAtomically(fileName,
                        {std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())});
}

} // namespace quillmar
