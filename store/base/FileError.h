#pragma once

#include "store/base/Error.h"

#include <string>

namespace quillmar {

// A file that cannot be opened, read, created or written, or whose content is
// not what it should be. what() is the full message for the user and names
// the file; error() says the same in parts.
class FileError : public ErrorException {
public:
    // error.place.file names the file.
    explicit FileError(Error error)
        : ErrorException(std::move(error)), fileName_(this->error().place.file.value_or(std::string())) {}
    // A message that is already text, about fileName.
    FileError(const std::string& message, std::string fileName)
        : ErrorException(textOnly(message)), fileName_(std::move(fileName)) {}
    const std::string& fileName() const { return fileName_; }

private:
    static Error textOnly(const std::string& message) {
        Error e;
        e.detail = message;
        return e;
    }
    std::string fileName_;
};

} // namespace quillmar
