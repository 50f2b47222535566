#pragma once
// Reading a file the user names, whatever it turns out to be. Every file the
// program reads (logs, the protocol file, PROM images, replayed logs) comes
// in through here, so none of them can hang the program or exhaust memory:
//
// - the open never waits: a FIFO without a writer opens at once (and then
//   reads as empty), where a plain open would wait for a writer forever;
// - a folder is refused by name;
// - the bytes are read as a stream up to the end, so a pipe (/dev/stdin,
//   a shell's <(...)) is read in full although its size says 0;
// - what is read is bounded: a device that never ends (/dev/zero) is
//   refused once it goes past the limit the caller gives.
//
// Failures throw FileError naming the file.

#include "store/base/FileError.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillmar {

// What a file that is not a regular one is: "a folder, not a regular file",
// "a character device, not a regular file", ...
std::string NotARegularFileText(mode_t mode);

class InputFile {
public:
    // Opens fileName for reading. Throws FileError: "Cannot open file <name>"
    // when it does not exist, "Cannot open file <name> (<reason>)", or "Cannot open file <name>: it is a
    // folder, not a regular file".
    explicit InputFile(const std::string& fileName);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& name() const { return name_; }
    // A regular file, whose size is known before reading.
    bool isRegular() const { return regular_; }
    // The size of a regular file when opened; 0 for anything else.
    uint64_t regularSize() const { return size_; }

    // Reads up to count bytes into data; fewer only at the end. Throws
    // FileError ("Cannot read file <name> (<reason>)").
    std::size_t read(uint8_t* data, std::size_t count);
    // True when a read found the end.
    bool atEnd() const { return end_; }

    // Everything from here to the end. Throws FileError when there is more
    // than limit bytes: "Cannot read file <name>: it goes on past <limit>
    // bytes, more than <what> can hold".
    std::vector<uint8_t> readToEnd(uint64_t limit, const std::string& what);

private:
    std::string name_;
    int fd_ = -1;
    bool regular_ = false;
    bool end_ = false;
    uint64_t size_ = 0;
};

// The whole of fileName, at most limit bytes (see InputFile::readToEnd).
std::vector<uint8_t> ReadInputFile(const std::string& fileName, uint64_t limit, const std::string& what);

} // namespace quillmar
