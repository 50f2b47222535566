#pragma once
// The protocol definition file "M100 ALDL protocol.ini": one section
// "Parameter n" per table entry with the keys Name, Position, Size, Offset,
// Factor, FormatAs, Units, Signed, Flags and Icon.
//
// I/O failures are thrown as IniFileError, whose text names the file.

#include "acquisition/params/IniFile.h"
#include "acquisition/params/Parameters.h"

#include <optional>
#include <string>
#include <vector>

namespace quillmar {

// The bare file name.
inline constexpr const char* ProtocolFileName = "M100 ALDL protocol.ini";

// $XDG_CONFIG_HOME/Quillmar/M100 ALDL protocol.ini, or
// ~/.config/Quillmar/M100 ALDL protocol.ini when the variable is unset or not
// an absolute path.
std::string DefaultIniPath();

// What loading does when the file or its section "Parameter 1" is missing.
enum class MissingTable {
    WriteBuiltIn, // a first start: the built-in table is written to the file
    UseBuiltIn,   // a reader of log files: the built-in table, nothing created
};

struct LoadResult {
    // The file or its section "Parameter 1" was missing: the built-in table
    // is in force (and was written to the file, with WriteBuiltIn).
    bool UsedBuiltIn = false;
    // The file did not exist at all.
    bool FileMissing = false;
    // Why writing the built-in table failed (the table is in force anyway).
    std::string WriteError;
    // The same in parts (kind, place), when writing failed.
    std::optional<Error> WriteFailure;
    // Values that did not convert (the field kept its value) and lines that
    // are not INI text (read past), each naming the file and line: "<file>,
    // line 12, section [Parameter 6], key Factor: "0,0l9" is not a number;
    // Factor stays 0".
    std::vector<std::string> Warnings;
    // The same warnings in parts: the kind (NotANumber, OutOfRange,
    // NotIniText) and the place (file, line, section, key).
    std::vector<Error> WarningDetails;
    // A Position or Size outside 0..255 or not a number (the entry keeps its
    // previous value); Ok when the file had none. Message names the file,
    // section and key and quotes the value ("<file>, section [Parameter 3],
    // key Position: "abc" is not a number", ""300" is outside 0..255").
    TableCheck Range;
};

// Fills params from the file at path: consecutive sections "Parameter 1",
// "Parameter 2", ... each read over the entry's current values (a missing
// key or one that does not convert leaves the field as it was). Without the
// file or its first section, params becomes BuiltInParameters() and, with
// WriteBuiltIn, is written to path: a missing file is created, an empty one
// or one of INI text (sections, key=value lines, comments, blank lines) is
// written into.
//
// Throws IniFileError when an existing file cannot be read, and, leaving it
// untouched, when it is no protocol file: not text (NUL bytes, UTF-16), or
// without a table and with a line that is not INI text ("Cannot use "<file>"
// as the protocol file: line 3 is not INI text: "..."; it was left
// unchanged").
LoadResult LoadIniFile(const std::string& path, TParameterArray& params,
                       MissingTable missing = MissingTable::WriteBuiltIn);

// Writes the ten keys of every entry into its section, keeping whatever
// else the file holds; the file is replaced atomically. Throws IniFileError,
// also for a file LoadIniFile refuses (which is left untouched).
void SaveIniFile(const std::string& path, const TParameterArray& params);

// Applies the table to an IniFile in memory (what SaveIniFile writes).
void WriteParameters(IniFile& ini, const TParameterArray& params);

// Reads the table from an IniFile in memory; range failures as in
// LoadResult, values that do not convert added to warnings (when given).
TableCheck ReadParameters(const IniFile& ini, TParameterArray& params,
                          const std::string& fileName = ProtocolFileName,
                          std::vector<Error>* warnings = nullptr);

// The whole start-up: load the table from path, then run
// CheckParameterTable. Returns the first failure (a file that cannot be read
// or is refused becomes a failure too, with the error text as Message, and
// loaded is not filled); on failure params
// must not be used. writeError receives LoadResult::WriteError, loaded (when
// given) the whole LoadResult.
TableCheck LoadCheckedParameters(const std::string& path, TParameterArray& params,
                                 std::string* writeError = nullptr,
                                 MissingTable missing = MissingTable::WriteBuiltIn,
                                 LoadResult* loaded = nullptr);

} // namespace quillmar
