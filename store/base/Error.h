#pragma once
// One failure or warning, as the core reports it: what kind of thing went
// wrong, how bad it is, where (file, section, key, line, byte), and the words
// that say it. FormatError turns it into the text the user reads, the same
// text whether a message box, stderr or an error log shows it.
//
// The text reads, each part only when present:
//
//   <title>\n<lead> <where><tail> (<reason>): <detail>
//
// where <where> is the place: the file (in double quotes when quoteFile),
// then ", line N", ", section [S]", ", key K". Some examples:
//
//   lead "Cannot write file", file, reason         Cannot write file a.ecu (Permission denied)
//   lead "Cannot load file", file, detail          Cannot load file a.ecu: its 3 bytes are ...
//   file, tail " is not a journal"                 x.journal is not a journal
//   file, line, section, key, detail               p.ini, line 12, section [Parameter 6], key Factor: ...
//   title, file, detail                            Total parameters byte length incorrect\np.ini: ...
//
// The byte offset is never shown by the place: texts that name a byte say
// so in their own words ("byte 4 gives an element size of 3 bytes"). It is
// there for programs and tests, as are the kind and the system's error code.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace quillmar {

enum class ErrorKind {
    Other,
    // Files
    CannotOpen,     // the file cannot be opened (missing, no permission, ...)
    CannotRead,     // reading failed, or ended before the bytes it promised
    CannotCreate,   // the file (or its folder, or the temporary file of a save) cannot be made
    CannotWrite,    // writing or flushing failed
    NotRegularFile, // a folder, device, FIFO or socket where a file should be
    TooLarge,       // more bytes than what reads them can hold
    OutOfMemory,    // no memory for what the file holds
    BadContent,     // the bytes are not what such a file holds (a damaged header, sizes that do not fit)
    EndsEarly,      // a file whose last rows are missing (a warning: the rest is loaded)
    NewerVersion,   // written by a newer version of the program
    InUse,          // another process or program holds it
    // The protocol file and the parameter table
    NotAProtocolFile, // refused, and left unchanged
    NotIniText,       // a line that is neither section, key, comment nor blank
    NotANumber,       // a value that does not convert
    OutOfRange,       // a number outside what its field holds
    TableLength,      // the entries' sizes do not add up to a reply
    TableEntry,       // an entry that lies outside the reply
    // The serial link
    UnknownPort,      // a port name that is neither COMn nor a device path
    PermissionDenied, // the system refused the device
    PortFailure,      // any other failure of the system on the port
    RateNotKept,      // the device does not keep the baud rate asked for
    LineLost,         // the device went away while in use
    Timeout,          // nothing, or too little, arrived in time
    BadFrame,         // bytes arrived, but not a frame that fits (echo, check byte, mode)
    // User channels and tables
    BadChannel,    // a channel line or name that will not do (no '=', an empty name, a name taken)
    BadExpression, // an expression that does not parse
    UnknownName,   // a name that no parameter, flag bit or channel has
};

enum class Severity { Info, Warning, Error, Fatal };

// Where the failure is. Every part is optional.
struct Place {
    std::optional<std::string> file; // a file name or device path, as the user gave it
    std::optional<std::string> section;
    std::optional<std::string> key;
    std::optional<uint64_t> line;       // counting from 1
    std::optional<uint64_t> byteOffset; // from the start of the file

    bool operator==(const Place&) const = default;
};

struct Error {
    ErrorKind kind = ErrorKind::Other;
    Severity severity = Severity::Error;
    Place place;
    bool quoteFile = false; // the file in double quotes
    std::string title;      // a first line of its own
    std::string lead;       // before the place: "Cannot write file"
    std::string tail;       // right after the place: " is not a journal"
    std::string reason;     // in parentheses: the system's reason
    std::string detail;     // after ": ": what is wrong
    int code = 0;           // the system's error number, or 0

    bool operator==(const Error&) const = default;
};

// The text the user reads (see above).
std::string FormatError(const Error& error);

// The caption of a message box for it: "Information", "Warning", "Error"
// (fatal failures too).
std::string SeverityCaption(Severity severity);

// The usual forms, for brevity where they are made.
// lead + file + (reason): "Cannot write file a.ecu (Disk full)".
Error FileFailure(ErrorKind kind, const std::string& lead, const std::string& file, const std::string& reason,
                  int code = 0);
// lead + file + ": " + detail: "Cannot load file a.ecu: its 3 bytes are too few ...".
Error FileProblem(ErrorKind kind, const std::string& lead, const std::string& file,
                  const std::string& detail);

// An exception carrying an Error; what() is its text.
class ErrorException : public std::runtime_error {
public:
    explicit ErrorException(Error error) : std::runtime_error(FormatError(error)), error_(std::move(error)) {}
    const Error& error() const { return error_; }

private:
    Error error_;
};

} // namespace quillmar
