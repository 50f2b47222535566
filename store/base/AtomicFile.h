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

// The name every temporary file of a save starts with, in the folder of the
// file it replaces: ".quillmar-save-" and six letters or digits. Short, so that
// a file name of up to the longest a folder allows can still be saved, and our
// own, so that leftovers can be told from anybody else's files.
inline constexpr const char* SaveTemporaryPrefix = ".quillmar-save-";

// Removes the temporary files that saves into folder left behind (a kill or a
// power loss during a save) once they are older than minAgeSeconds: regular
// files of this user named SaveTemporaryPrefix and six letters or digits,
// which no save in progress holds. Nothing else is ever touched. Returns how
// many were removed; a folder that cannot be read removes nothing.
size_t SweepSaveLeftovers(const std::string& folder, double minAgeSeconds = 60);

// Writes the parts, one after another, to a temporary file in the target's
// folder (SaveTemporaryPrefix), flushes it to disk and renames it over the
// target (CheckSaveTarget), then flushes the folder. Leftovers of earlier
// saves in that folder are swept first (SweepSaveLeftovers). A symbolic link
// keeps pointing at the file it names, and a replaced file keeps its
// permissions. A file the user may not write is left alone. On failure the
// previous file is untouched and FileError is thrown: the refusal of
// CheckSaveTarget, "Cannot create file <name> (<reason>)" or "Cannot write
// file <name> (<reason>)", the reason being the system's (through a link,
// "<target>: <reason>").
void WriteFileAtomically(const std::string& fileName, std::initializer_list<std::span<const uint8_t>> parts);

inline void WriteFileAtomically(const std::string& fileName, std::span<const uint8_t> bytes) {
    WriteFileAtomically(fileName, {bytes});
}

inline void WriteFileAtomically(const std::string& fileName, const std::string& bytes) {
    WriteFileAtomically(
        fileName, {std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())});
}

} // namespace quillmar
