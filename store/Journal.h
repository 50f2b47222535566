#pragma once
// The journal of a recording: every row, as the dataset stores it, also goes
// to a file in the user's state folder, so that a crash, a kill or a power
// loss costs at most the last second of a recording.
//
// One journal per recording, named after the process and a random part
// ("recording-<pid>-<16 hex digits>.journal"), locked (flock) by the process
// that writes it, so that no other process offers a live journal for
// recovery. Rows are buffered and written with fdatasync at most a second
// apart (SyncIfDue, called from the tick); the journal is removed once its
// rows are saved, or knowingly thrown away.
//
// File layout (little-endian):
//   header   two copies, byte for byte the same, the second right after the
//            first. A copy: "QUILLMAR-JOURNAL", version u32 (2), size u32
//            (of one copy, its check included), start time f64 (days since
//            1899-12-30), row size u32 (71), data bytes u32 (63), process id
//            i32, entry count u32, then per parameter-table entry: Position
//            u8, Size u8, Signed u8, Flags u8, Icon i32, Offset f64, Factor
//            f64 and the texts Name, FormatAs, Units (u32 length + UTF-8
//            bytes); last a CRC-32 of the copy's bytes before it.
//   records  from twice the copy's size on, one per row: the row's 71 bytes
//            (63 data bytes, then the time stamp as an 8-byte double) and a
//            CRC-32 over the row's number (u32, counting from 1) and those
//            bytes.
// The first copy whose check holds is read. When the first fails, the
// second is looked for where the first's size field says it ends and where
// the first's own fields end (their lengths and counts): one bit flipped in
// the first copy, in whatever field, leaves one of the two right, and the
// second copy must state that same size. So one damaged bit in the header
// costs nothing, and one in a record costs that row only: records are of a
// fixed size from a fixed start, so no boundary moves. A record that fails
// its check, or a tail shorter than a record, is dropped and counted; the
// other rows are exactly the rows recorded.
//
// Version 1 (still read) had one copy of the header, version 1 in it, and
// the records right after it.
//
// The bookmarks set while recording live beside the journal, in the
// bookmarks file format (store/Bookmarks.h) under the journal's name with
// ".bookmarks" added, rewritten whole at each change; recovery reads them
// back, and the journal takes the file with it when it goes.

#include "acquisition/params/ParameterTypes.h"
#include "store/Bookmarks.h"
#include "store/base/FileError.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillmar {

inline constexpr const char* JournalSuffix = ".journal";
inline constexpr uint32_t JournalVersion = 2;
inline constexpr uint32_t JournalRowBytes = 71; // the bytes of a logged row
inline constexpr uint32_t JournalRecordBytes = JournalRowBytes + 4;

// $XDG_STATE_HOME/Quillmar, or ~/.local/state/Quillmar when the variable is
// unset or not an absolute path.
std::string DefaultJournalFolder();

// CRC-32 (the polynomial of zip and PNG) of bytes, continuing from crc.
uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc = 0);

// What a journal's header holds.
struct JournalHeader {
    double StartTime = 0;  // days since 1899-12-30
    int32_t ProcessId = 0; // of the recording process
    TParameterArray Table; // the table the rows were recorded with (no BitNames)
};

// The header's bytes, both copies.
std::vector<uint8_t> JournalHeaderBytes(const JournalHeader& header);

// Reads a journal's content in order: the header, then record after record.
// Never reads a byte outside what it was given.
class JournalParser {
public:
    // Parses the header at the start of bytes; throws FileError naming path
    // when it is not one ("... is not a journal", "... was written by a newer
    // version", "... has a damaged header"). The records start HeaderSize()
    // bytes in (no further than the end of bytes).
    JournalParser(std::span<const uint8_t> bytes, const std::string& path);

    const JournalHeader& Header() const { return header_; }
    uint32_t HeaderSize() const { return headerSize_; }

    // Checks the record for row number (counting from 1) at record; true when
    // it is whole and its check matches.
    static bool RecordOk(const uint8_t* record, uint32_t number);

private:
    JournalHeader header_;
    uint32_t headerSize_ = 0;
};

// What a journal file holds, read through its end.
struct JournalContents {
    JournalHeader Header;
    std::vector<uint8_t> Rows; // whole rows, JournalRowBytes each, in order
    uint32_t RowCount = 0;
    uint32_t Dropped = 0; // records cut off or failing their check
};

// The rows of journal bytes (see the layout above); without keepRows only
// counted. Throws FileError for a header that is not a journal's.
JournalContents ParseJournal(std::span<const uint8_t> bytes, const std::string& path, bool keepRows = true);

// A look at the journal at path without taking it over: its header and
// counts (Rows stays empty). held is set, and nothing read, when a live
// process holds it. Throws FileError as TJournal::Adopt does.
JournalContents InspectJournal(const std::string& path, bool& held);

// Deletes the journal at path unless a live process holds it, and its
// bookmarks with it. False (and nothing deleted) when it is held, gone or
// cannot be opened.
bool DeleteJournal(const std::string& path);

// The file of the bookmarks beside the journal at journalPath.
std::string JournalBookmarksFileName(const std::string& journalPath);

// The bookmarks kept beside the journal at journalPath (none when there is
// no such file); a line or a file that cannot be read is a warning, added
// to warnings, never a failure.
std::vector<Bookmark> ReadJournalBookmarks(const std::string& journalPath,
                                           std::vector<std::string>& warnings);

class TJournal {
public:
    // A new journal in folder (created when missing, mode 0700) for a
    // recording that started at startTime (days) with table. The file is
    // locked, its header is on disk and it shows under its final name only
    // once complete. Throws FileError naming the folder or the file.
    static std::unique_ptr<TJournal> Create(const std::string& folder, const TParameterArray& table,
                                            double startTime);

    // Takes over a journal that no live process holds (for recovery): locks
    // it and reads it through its end into contents. Throws FileError when
    // another process holds it ("... is in use by a running recording"),
    // when it cannot be read, or when it is not a journal.
    static std::unique_ptr<TJournal> Adopt(const std::string& path, JournalContents& contents);

    // Writes what is buffered (best effort) and closes the file, keeping it.
    ~TJournal();
    TJournal(const TJournal&) = delete;
    TJournal& operator=(const TJournal&) = delete;

    // Buffers one row of JournalRowBytes bytes. After a failure nothing more
    // is kept (the file holds what was synced).
    void Append(const uint8_t* row);
    // Syncs when the oldest buffered row was appended maxAge seconds before
    // now (or earlier). now is seconds on any steady clock, the same on
    // every call. False only when a sync was due and failed.
    bool SyncIfDue(double now, double maxAge);
    // Writes what is buffered and waits until it is on disk (fdatasync).
    // False on failure; Failure() then says why, once and for good.
    bool Sync();
    // Writes the recording's bookmarks beside the journal (all of them,
    // replacing the file safely). Throws FileError when they cannot be
    // written; the journal's rows go on regardless.
    void KeepBookmarks(const std::vector<Bookmark>& bookmarks);
    // Deletes the file, and the bookmarks beside it, and closes it.
    void Remove();

    const std::string& Path() const { return path_; }
    // Why writing failed ("Cannot write the journal <path> (No space left on
    // device)"); empty while all is well.
    const std::string& Failure() const { return failure_; }
    // The same in parts (kind CannotWrite, the journal, the system's error number).
    const std::optional<Error>& FailureDetail() const { return failureDetail_; }
    // Rows appended, or found when adopted (an adopted journal takes no rows).
    uint64_t Rows() const { return rows_; }
    // Rows appended but not yet on disk.
    size_t Buffered() const { return buffer_.size() / JournalRecordBytes; }
    // Whole rows the file holds now, which recovery finds: every row appended
    // once it is written, and after a failure those written before it. Found
    // from the file's size, so a write cut short by a full disk counts only
    // its whole rows. 0 once removed.
    uint64_t RowsInFile() const;
    // The fdatasync calls so far (for tests and benchmarks).
    uint64_t Syncs() const { return syncs_; }

private:
    TJournal(int fd, std::string path);
    void fail(int error);

    int fd_ = -1;
    std::string path_;
    std::string failure_;
    std::optional<Error> failureDetail_;
    std::vector<uint8_t> buffer_;
    uint64_t rows_ = 0;
    uint64_t syncs_ = 0;
    bool pending_ = false;      // rows appended since the last sync
    double oldestBuffered_ = 0; // when SyncIfDue first saw them pending (its clock)
    bool haveOldest_ = false;
    bool adopted_ = false;     // taken over for recovery: takes no rows
    uint64_t headerBytes_ = 0; // of a journal this process created
};

} // namespace quillmar
