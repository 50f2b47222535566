#pragma once

#include <stdexcept>
#include <string>

namespace quillmar {

// A file that cannot be opened, read, created or written, or whose content is
// not what it should be. what() is the full message for the user and names the file.
class FileError : public std::runtime_error {
public:
    FileError(const std::string& message, std::string fileName)
        : std::runtime_error(message), fileName_(std::move(fileName)) {}
    const std::string& fileName() const { return fileName_; }

private:
    std::string fileName_;
};

} // namespace quillmar
