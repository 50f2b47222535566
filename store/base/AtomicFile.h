#pragma once
// Replacing a file so that a crash or a full disk never costs the old one.

#include "store/base/FileError.h"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

namespace quillmar {

// The file a save to fileName replaces or creates: fileName itself, or, for a
// symbolic link, the file at the end of its chain of links (which need not
// exist yet: a dangling link gets its target created). Throws FileError when
// that is something other than a regular file or a name not yet taken (a
// device, FIFO, socket or folder), which a save must never replace:
// "Cannot write file <name>: it is a character device, not a regular file"
// ("... it points to <target>, a character device, ..." through a link).
std::string CheckSaveTarget(const std::string& fileName);

// Writes the parts, one after another, to a temporary file in the target's
// folder, flushes it to disk and renames it over the target (CheckSaveTarget),
// then flushes the folder. A symbolic link keeps pointing at the file it
// names, and a replaced file keeps its permissions. A file the user may not
// write is left alone. On failure the previous file is untouched and FileError
// is thrown: the refusal of CheckSaveTarget, "Cannot create file <name>" or
// "Cannot write file <name> (<reason>)".
void WriteFileAtomically(const std::string& fileName, std::initializer_list<std::span<const uint8_t>> parts);

inline void WriteFileAtomically(const std::string& fileName, std::span<const uint8_t> bytes) {
    WriteFileAtomically(fileName, {bytes});
}

inline void WriteFileAtomically(const std::string& fileName, const std::string& bytes) {
    WriteFileAtomically(fileName,
                        {std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())});
}

} // namespace quillmar
