#include "store/base/AtomicFile.h"
#include "store/base/Error.h"
#include "store/base/InputFile.h"
#include "store/base/Messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace quillmar;

namespace {

Error at(Place place, std::string detail) {
    Error e;
    e.place = std::move(place);
    e.detail = std::move(detail);
    return e;
}

// Each way the place shows, against the text the program has always given.
TEST(Error, EveryPlaceCombinationReadsAsBefore) {
    // File, line, section and key: a value that does not convert.
    EXPECT_EQ(FormatError(at({"p.ini", "Parameter 6", "Factor", 12, std::nullopt},
                             "\"0,0l9\" is not a number; Factor stays 0")),
              "p.ini, line 12, section [Parameter 6], key Factor: \"0,0l9\" is not a number; Factor stays 0");
    // File, section and key: an entry outside the reply.
    EXPECT_EQ(FormatError(at({"p.ini", "Parameter 3", "Position", std::nullopt, std::nullopt},
                             "\"abc\" is not a number")),
              "p.ini, section [Parameter 3], key Position: \"abc\" is not a number");
    // File and line, the rest of the sentence straight after it.
    Error stray;
    stray.place = {"p.ini", std::nullopt, std::nullopt, 3, std::nullopt};
    stray.tail = " is not INI text: \"milk\"; it is ignored";
    EXPECT_EQ(FormatError(stray), "p.ini, line 3 is not INI text: \"milk\"; it is ignored");
    // The file alone.
    EXPECT_EQ(FormatError(at({"p.ini", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
                             "2 more lines are not INI text; they are ignored")),
              "p.ini: 2 more lines are not INI text; they are ignored");
    // A section and key without a file, a line without anything else.
    EXPECT_EQ(FormatError(at({std::nullopt, "A", "k", std::nullopt, std::nullopt}, "bad")),
              "section [A], key k: bad");
    EXPECT_EQ(FormatError(at({std::nullopt, std::nullopt, std::nullopt, 7, std::nullopt}, "bad")),
              "line 7: bad");
    // No place at all: the words alone.
    EXPECT_EQ(FormatError(at({}, "No reply")), "No reply");
    // A byte offset is never shown by the place: the words say which byte.
    EXPECT_EQ(FormatError(at({"a.ecu", std::nullopt, std::nullopt, std::nullopt, 4}, "byte 4 gives ...")),
              "a.ecu: byte 4 gives ...");
}

TEST(Error, LeadsTailsReasonsAndTitlesReadAsBefore) {
    EXPECT_EQ(FormatError(FileFailure(ErrorKind::CannotOpen, "Cannot open file", "a.ecu", "")),
              "Cannot open file a.ecu");
    EXPECT_EQ(FormatError(FileFailure(ErrorKind::CannotWrite, "Cannot write file", "a.ecu",
                                      "No space left on device")),
              "Cannot write file a.ecu (No space left on device)");
    EXPECT_EQ(FormatError(
                  FileProblem(ErrorKind::BadContent, "Cannot load file", "a.ecu", "its 3 bytes are too few")),
              "Cannot load file a.ecu: its 3 bytes are too few");
    Error noName;
    noName.lead = "Cannot create file";
    noName.detail = "no file name given";
    EXPECT_EQ(FormatError(noName), "Cannot create file: no file name given");

    Error journal;
    journal.place.file = "x.journal";
    journal.tail = " was written by a newer version of Quillmar";
    journal.reason = "journal version 9";
    EXPECT_EQ(FormatError(journal),
              "x.journal was written by a newer version of Quillmar (journal version 9)");

    Error refused =
        FileProblem(ErrorKind::NotAProtocolFile, "Cannot use", "p.ini", "why; it was left unchanged");
    refused.quoteFile = true;
    refused.tail = " as the protocol file";
    EXPECT_EQ(FormatError(refused), "Cannot use \"p.ini\" as the protocol file: why; it was left unchanged");

    Error sum;
    sum.title = "Total parameters byte length incorrect";
    sum.place.file = "p.ini";
    sum.detail = "the sizes of its 2 parameters add up to 5 bytes; a reply holds 63 data bytes";
    EXPECT_EQ(FormatError(sum),
              "Total parameters byte length incorrect\np.ini: the sizes of its 2 parameters add "
              "up to 5 bytes; a reply holds 63 data bytes");

    Error port;
    port.lead = "Device or resource busy:";
    port.place.file = "/dev/ttyS0";
    port.tail = " is in use by another program.";
    EXPECT_EQ(FormatError(port), "Device or resource busy: /dev/ttyS0 is in use by another program.");

    Error echo;
    echo.lead = "Bad echo";
    echo.reason = "sent: F4 56 01 B5  received: ";
    EXPECT_EQ(FormatError(echo), "Bad echo (sent: F4 56 01 B5  received: )");
}

namespace {
struct Recorder : Messenger {
    std::vector<std::string> seen;
    Answer ask(const std::string& caption, const std::string& text, Buttons buttons) override {
        seen.push_back(caption + "|" + text + (buttons == Buttons::Ok ? "|ok" : "|yesno"));
        return Answer::Ok;
    }
};
} // namespace

TEST(Error, IsReportedAsTheBoxOfItsSeverity) {
    Recorder r;
    Messenger* before = setMessenger(&r);
    Error e = FileFailure(ErrorKind::CannotWrite, "Cannot write file", "a.ecu", "Disk quota exceeded");
    report(e);
    e.severity = Severity::Warning;
    report(e);
    e.severity = Severity::Fatal;
    report(e);
    e.severity = Severity::Info;
    report(e);
    setMessenger(before);
    const std::string text = "Cannot write file a.ecu (Disk quota exceeded)";
    EXPECT_EQ(r.seen, (std::vector<std::string>{"Error|" + text + "|ok", "Warning|" + text + "|ok",
                                                "Error|" + text + "|ok", "Information|" + text + "|ok"}));
    // The exception's text is the same.
    EXPECT_EQ(std::string(FileError(e).what()), text);
    EXPECT_EQ(FileError(e).fileName(), "a.ecu");
}

// The kinds and places the file input and the saves give.
TEST(Error, FileFailuresSayWhatKindAndWhere) {
    const std::string missing = "/nonexistent-quillmar-dir/x.ecu";
    try {
        InputFile in(missing);
        ADD_FAILURE();
    } catch (const FileError& e) {
        EXPECT_EQ(e.error().kind, ErrorKind::CannotOpen);
        EXPECT_EQ(e.error().place.file, missing);
        EXPECT_EQ(e.error().code, ENOENT);
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
    }
    try {
        InputFile in("/");
        ADD_FAILURE();
    } catch (const FileError& e) {
        EXPECT_EQ(e.error().kind, ErrorKind::NotRegularFile);
        EXPECT_EQ(std::string(e.what()), "Cannot open file /: it is a folder, not a regular file");
    }
    try {
        ReadInputFile("/dev/zero", 1000, "a test");
        ADD_FAILURE();
    } catch (const FileError& e) {
        EXPECT_EQ(e.error().kind, ErrorKind::TooLarge);
        EXPECT_EQ(e.error().place.byteOffset, 1000u);
        EXPECT_EQ(std::string(e.what()),
                  "Cannot read file /dev/zero: it goes on past 1000 bytes, more than a test can hold");
    }
    try {
        WriteFileAtomically("/dev/null", std::string("x"));
        ADD_FAILURE();
    } catch (const FileError& e) {
        EXPECT_EQ(e.error().kind, ErrorKind::NotRegularFile);
        EXPECT_EQ(std::string(e.what()),
                  "Cannot write file /dev/null: it is a character device, not a regular file");
    }
    try {
        WriteFileAtomically(missing, std::string("x"));
        ADD_FAILURE();
    } catch (const FileError& e) {
        EXPECT_EQ(e.error().kind, ErrorKind::CannotCreate);
        EXPECT_EQ(e.error().code, ENOENT);
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + missing + " (No such file or directory)");
    }
    try {
        WriteFileAtomically("", std::string("x"));
        ADD_FAILURE();
    } catch (const FileError& e) {
        EXPECT_EQ(e.error().kind, ErrorKind::CannotCreate);
        EXPECT_FALSE(e.error().place.file);
        EXPECT_EQ(std::string(e.what()), "Cannot create file: no file name given");
    }
}

} // namespace
