#include "acquisition/params/ProtocolFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <utility>
#include <vector>

using namespace quillmar;
namespace fs = std::filesystem;

namespace {

class ProtocolFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("quillmar-params-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "conf" / ProtocolFileName).string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string read() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void write(const std::string& bytes) const {
        fs::create_directories(fs::path(path_).parent_path());
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    // The file with one key's value replaced.
    void edit(const std::string& from, const std::string& to) const {
        std::string bytes = read();
        const size_t at = bytes.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        bytes.replace(at, from.size(), to);
        write(bytes);
    }

    // The number (from 1) of the first line of the file holding text.
    size_t lineHolding(const std::string& text) const {
        const std::string bytes = read();
        const size_t at = bytes.find(text);
        EXPECT_NE(at, std::string::npos) << text;
        return size_t(std::count(bytes.begin(), bytes.begin() + std::ptrdiff_t(at), '\n')) + 1;
    }

    fs::path dir_;
    std::string path_;
};

double engineSpeedFor34(const TParameterArray& t) {
    std::array<uint8_t, ReplyLength> r{};
    r[10] = 34;
    return static_cast<double>(DecodeValue(t[8], r.data(), r.size()));
}

} // namespace

TEST_F(ProtocolFileTest, FirstStartWritesTheBuiltInTable) {
    TParameterArray t;
    const LoadResult r = LoadIniFile(path_, t);
    EXPECT_TRUE(r.UsedBuiltIn);
    EXPECT_TRUE(r.WriteError.empty());
    ASSERT_EQ(t.size(), 65u);
    EXPECT_EQ(t[33].Factor, 0.17647058823529413);

    const std::string bytes = read();
    EXPECT_NE(bytes.find("[Parameter 9]\r\nName=Engine speed\r\nPosition=11\r\nSize=1\r\nOffset=0\r\n"
                         "Factor=25\r\nFormatAs=%5.1f\r\nUnits=RPM\r\nSigned=0\r\nFlags=0\r\nIcon=29\r\n"),
              std::string::npos);
    EXPECT_NE(bytes.find("[Parameter 65]"), std::string::npos);
    EXPECT_EQ(bytes.find("[Parameter 66]"), std::string::npos);

    // The next start reads the file back; a factor has gone through 15 digits.
    TParameterArray again;
    EXPECT_TRUE(LoadCheckedParameters(path_, again).Ok);
    ASSERT_EQ(again.size(), 65u);
    EXPECT_EQ(again[33].Factor, 0.176470588235294);
    EXPECT_EQ(again[36].Icon, -1);
    EXPECT_EQ(read(), bytes); // reading never writes
}

TEST_F(ProtocolFileTest, EditsTakeEffect) {
    TParameterArray t;
    LoadIniFile(path_, t);
    edit("[Parameter 9]\r\nName=Engine speed\r\nPosition=11\r\nSize=1\r\nOffset=0\r\nFactor=25",
         "[parameter 9]\r\nName=Engine speed\r\nPosition=11\r\nSize=1\r\nOffset=0\r\nfactor = 50");
    edit("Signed=1", "Signed=2");
    edit("[Parameter 6]\r\nName=TPS voltage\r\nPosition=9\r\nSize=1\r\nOffset=0\r\nFactor=0.02",
         "[Parameter 6]\r\nName=TPS voltage\r\nPosition=9\r\nSize=1\r\nOffset=oops\r\nFactor=0,5");

    TParameterArray edited;
    LoadResult loaded;
    ASSERT_TRUE(LoadCheckedParameters(path_, edited, nullptr, MissingTable::WriteBuiltIn, &loaded).Ok);
    EXPECT_EQ(engineSpeedFor34(edited), 1700);
    EXPECT_TRUE(edited[19].Signed);
    EXPECT_EQ(edited[5].Factor, 0.5); // the decimal comma, without a word
    EXPECT_EQ(edited[5].Offset, 0);   // did not convert: the default stays, and is said
    ASSERT_EQ(loaded.Warnings.size(), 1u);
    EXPECT_EQ(loaded.Warnings[0],
              path_ + ", line " + std::to_string(lineHolding("Offset=oops")) +
                  ", section [Parameter 6], key Offset: \"oops\" is not a number; Offset stays 0");

    // "Create ini file" writes the table in force: Signed back as 1, the
    // unconvertible Offset replaced, the file's own key spelling kept.
    SaveIniFile(path_, edited);
    const std::string bytes = read();
    EXPECT_EQ(bytes.find("Signed=2"), std::string::npos);
    EXPECT_NE(bytes.find("FormatAs=%5.1f\r\nUnits=\xB0\r\nSigned=1\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("factor=50\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("Offset=0\r\nFactor=0.5\r\n"), std::string::npos);
}

TEST_F(ProtocolFileTest, GapEndsTheTableAndFailsTheCheck) {
    TParameterArray t;
    LoadIniFile(path_, t);
    edit("[Parameter 3]", "[Parameter three]");
    TParameterArray loaded;
    const TableCheck c = LoadCheckedParameters(path_, loaded);
    EXPECT_EQ(loaded.size(), 2u);
    EXPECT_FALSE(c.Ok);
    EXPECT_EQ(c.Message,
              "Total parameters byte length incorrect\n" + path_ +
                  ": the sizes of its 2 parameters add up to 5 bytes; a reply holds 63 data bytes");
    EXPECT_EQ(c.Problem.kind, ErrorKind::TableLength);
    EXPECT_EQ(c.Problem.severity, Severity::Fatal);
    EXPECT_EQ(c.Problem.place.file, path_);
    EXPECT_TRUE(c.Where.empty());
}

TEST_F(ProtocolFileTest, OutOfRangeEntriesAreRefusedByName) {
    TParameterArray t;
    LoadIniFile(path_, t);
    edit("Name=DRP interval\r\nPosition=13", "Name=DRP interval\r\nPosition=300");
    TParameterArray loaded;
    TableCheck c = LoadCheckedParameters(path_, loaded);
    EXPECT_FALSE(c.Ok);
    EXPECT_EQ(c.Message, path_ + ", section [Parameter 30], key Position: \"300\" is outside 0..255");
    EXPECT_EQ(c.Problem.kind, ErrorKind::OutOfRange);
    EXPECT_EQ(c.Problem.place.section, "Parameter 30");
    EXPECT_EQ(c.Problem.place.key, "Position");
    EXPECT_EQ(c.Where, "section [Parameter 30], key Position");

    // Not a number, or too long for any number: said so, quoted.
    for (const auto& [value, says] : std::vector<std::pair<std::string, std::string>>{
             {"abc", "\"abc\" is not a number"},
             {"99999999999999999999999", "\"99999999999999999999999\" is outside 0..255"},
             {"-0x1FF", "\"-0x1FF\" is outside 0..255"},
             {"1.5", "\"1.5\" is not a number"}}) {
        edit("Position=300", "Position=" + value);
        loaded.clear();
        c = LoadCheckedParameters(path_, loaded);
        EXPECT_EQ(c.Message, path_ + ", section [Parameter 30], key Position: " + says);
        edit("Position=" + value, "Position=300");
    }
    EXPECT_EQ(c.Message.find("is not a data byte"), std::string::npos);

    edit("Position=300", "Position=13");
    edit("Position=63\r\nSize=1", "Position=63\r\nSize=-1");
    loaded.clear();
    c = LoadCheckedParameters(path_, loaded);
    EXPECT_EQ(c.Where, "section [Parameter 65], key Size");
    EXPECT_EQ(c.Message, path_ + ", section [Parameter 65], key Size: \"-1\" is outside 0..255");
}

TEST_F(ProtocolFileTest, FileErrorsNameTheFile) {
    fs::create_directories(path_); // a folder where the file should be
    TParameterArray t;
    const TableCheck c = LoadCheckedParameters(path_, t);
    EXPECT_FALSE(c.Ok);
    EXPECT_NE(c.Message.find(path_), std::string::npos);

    const std::string blocked = (dir_ / "plain" / ProtocolFileName).string();
    std::ofstream((dir_ / "plain").string()) << "a file, not a folder";
    // The first start still runs on the built-in table and reports the failure.
    const LoadResult r = LoadIniFile(blocked, t);
    EXPECT_TRUE(r.UsedBuiltIn);
    EXPECT_EQ(t.size(), 65u);
    EXPECT_NE(r.WriteError.find(blocked), std::string::npos);
}

TEST_F(ProtocolFileTest, ReadersOfLogFilesCreateNothing) {
    const std::string missing = (dir_ / "no" / "such" / "x.ini").string();
    TParameterArray t;
    LoadResult loaded;
    EXPECT_TRUE(LoadCheckedParameters(missing, t, nullptr, MissingTable::UseBuiltIn, &loaded).Ok);
    EXPECT_TRUE(loaded.UsedBuiltIn);
    EXPECT_TRUE(loaded.FileMissing);
    EXPECT_EQ(t.size(), 65u);
    EXPECT_FALSE(fs::exists(dir_ / "no"));
    // A file without a table is used as built-in and left alone too.
    write("; nothing here\r\n");
    loaded = LoadIniFile(path_, t, MissingTable::UseBuiltIn);
    EXPECT_TRUE(loaded.UsedBuiltIn);
    EXPECT_FALSE(loaded.FileMissing);
    EXPECT_EQ(read(), "; nothing here\r\n");
}

TEST_F(ProtocolFileTest, EndlessOrBlockingInputsAreRefusedOrEmpty) {
    TParameterArray t;
    const TableCheck zero = LoadCheckedParameters("/dev/zero", t, nullptr, MissingTable::UseBuiltIn);
    EXPECT_FALSE(zero.Ok);
    EXPECT_NE(zero.Message.find("/dev/zero"), std::string::npos);
    EXPECT_NE(zero.Message.find("more than a protocol file can hold"), std::string::npos) << zero.Message;
    // A FIFO nobody writes to reads as a file without a table, at once.
    const std::string fifo = (dir_ / "fifo.ini").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    LoadResult loaded;
    EXPECT_TRUE(LoadCheckedParameters(fifo, t, nullptr, MissingTable::UseBuiltIn, &loaded).Ok);
    EXPECT_TRUE(loaded.UsedBuiltIn);
}

TEST_F(ProtocolFileTest, ValuesThatDoNotConvertAreSaidWithFileLineSectionAndKey) {
    TParameterArray t;
    LoadIniFile(path_, t);
    edit("Factor=25\r\n", "Factor=0,0l9\r\n");
    edit("Name=Throttle\r\nPosition=10\r\nSize=1\r\nOffset=0\r\n",
         "Name=Throttle\r\nPosition=10\r\nSize=1\r\nOffset=\r\n");
    edit("Signed=1", "Signed=yes");
    edit("Icon=29", "Icon=99999999999");
    edit("Flags=1\r\nIcon=24", "Flags=on\r\nIcon=24");

    TParameterArray loaded;
    LoadResult result;
    const TableCheck c = LoadCheckedParameters(path_, loaded, nullptr, MissingTable::UseBuiltIn, &result);
    ASSERT_TRUE(c.Ok) << c.Message;
    // A fresh entry keeps 0 (or false); the whole parameter is not lost.
    EXPECT_EQ(loaded[8].Factor, 0);
    EXPECT_EQ(loaded[8].Position, 11);
    EXPECT_EQ(loaded[8].Icon, -1); // no picture
    EXPECT_FALSE(loaded[19].Signed);
    EXPECT_FALSE(loaded[1].Flags);
    const auto said = [&](const std::string& line, int section, const std::string& key,
                          const std::string& value, const std::string& why, const std::string& stays) {
        return path_ + ", line " + std::to_string(lineHolding(line)) + ", section [Parameter " +
               std::to_string(section) + "], key " + key + ": \"" + value + "\" " + why + "; " + key +
               " stays " + stays;
    };
    const std::vector<std::string> expected = {
        said("Flags=on", 2, "Flags", "on", "is not a number", "0"),
        said("Offset=\r\nFactor=0.3921568627451", 7, "Offset", "", "is not a number", "0"),
        said("Factor=0,0l9", 9, "Factor", "0,0l9", "is not a number", "0"),
        said("Icon=99999999999", 9, "Icon", "99999999999", "is outside -2147483648..2147483647", "-1"),
        said("Signed=yes", 20, "Signed", "yes", "is not a number", "0"),
    };
    EXPECT_EQ(result.Warnings, expected);
    // The same warnings in parts, each text the formatting of its parts.
    ASSERT_EQ(result.WarningDetails.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(FormatError(result.WarningDetails[i]), expected[i]);
        EXPECT_EQ(result.WarningDetails[i].severity, Severity::Warning);
        EXPECT_EQ(result.WarningDetails[i].place.file, path_);
    }
    const Error& icon = result.WarningDetails[3];
    EXPECT_EQ(icon.kind, ErrorKind::OutOfRange);
    EXPECT_EQ(icon.place.section, "Parameter 9");
    EXPECT_EQ(icon.place.key, "Icon");
    EXPECT_EQ(icon.place.line, lineHolding("Icon=99999999999"));
    EXPECT_EQ(result.WarningDetails[0].kind, ErrorKind::NotANumber);
}

TEST_F(ProtocolFileTest, FilesThatAreNoProtocolFileAreRefusedAndLeftAsTheyAre) {
    // What may be named as the protocol file by mistake: a log, text in
    // UTF-16 with and without a byte order mark, binary data, notes.
    std::string log("\x06\x00\x00\x00TALDLLog\x01\x00\x00\x00\x3F\x00", 18);
    for (int i = 0; i < 600; ++i)
        log += char(i * 7);
    std::string utf16Bom = "\xFF\xFE", utf16;
    for (const char c : std::string("; notes\r\n[Parameter 1]\r\nName=x\r\n")) {
        utf16Bom += {c, '\0'};
        utf16 += {c, '\0'};
    }
    const std::string binary("\x7F"
                             "ELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x03\x00>\x00",
                             20);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {log, "it holds NUL bytes, as binary data does, not text"},
        {utf16Bom, "it is UTF-16 text; save it as UTF-8 or Windows-1252 text"},
        {utf16, "it is UTF-16 text; save it as UTF-8 or Windows-1252 text"},
        {binary, "it holds NUL bytes, as binary data does, not text"},
        {"; shopping\r\n\r\neggs = 6\r\nmilk, bread\r\n", "line 4 is not INI text: \"milk, bread\""},
        {"[Notes]\n" + std::string(50, 'x') + "\n",
         "line 2 is not INI text: \"" + std::string(40, 'x') + "...\""},
        {"[Notes]\nk=v\x1B[0m\n", "line 2 is not INI text (it holds control characters)"},
    };
    for (const auto& [bytes, why] : cases) {
        write(bytes);
        const std::string says =
            "Cannot use \"" + path_ + "\" as the protocol file: " + why + "; it was left unchanged";
        for (const MissingTable missing : {MissingTable::WriteBuiltIn, MissingTable::UseBuiltIn}) {
            TParameterArray t;
            const TableCheck c = LoadCheckedParameters(path_, t, nullptr, missing);
            EXPECT_FALSE(c.Ok) << why;
            EXPECT_EQ(c.Caption, "error");
            EXPECT_EQ(c.Message, says);
            EXPECT_EQ(c.Problem.kind, ErrorKind::NotAProtocolFile);
            EXPECT_EQ(c.Problem.place.file, path_);
        }
        try {
            SaveIniFile(path_, BuiltInParameters()); // "Create ini file"
            ADD_FAILURE() << "written: " << why;
        } catch (const IniFileError& e) {
            EXPECT_EQ(std::string(e.what()), says);
            EXPECT_EQ(e.error().kind, ErrorKind::NotAProtocolFile);
        }
        EXPECT_EQ(read(), bytes) << why; // byte for byte
        EXPECT_EQ(
            std::distance(fs::directory_iterator(fs::path(path_).parent_path()), fs::directory_iterator()), 1)
            << "a temporary file was left";
    }
}

TEST_F(ProtocolFileTest, EmptyFilesAndIniTextWithoutATableAreWritten) {
    for (const std::string& before :
         {std::string(), std::string("; my settings\r\n# more\r\n\r\n[Window]\r\nWidth = 800\r\n  \r\n")}) {
        write(before);
        TParameterArray t;
        const LoadResult r = LoadIniFile(path_, t);
        EXPECT_TRUE(r.UsedBuiltIn);
        EXPECT_FALSE(r.FileMissing);
        EXPECT_TRUE(r.WriteError.empty()) << r.WriteError;
        const std::string bytes = read();
        EXPECT_EQ(bytes.rfind(before + "[Parameter 1]\r\nName=Prom id\r\n", 0), 0u) << bytes.substr(0, 200);
        EXPECT_NE(bytes.find("[Parameter 65]"), std::string::npos);
    }
}

TEST_F(ProtocolFileTest, LinesThatAreNotIniTextInATableAreReadPastAndSaid) {
    TParameterArray t;
    LoadIniFile(path_, t);
    edit("[Parameter 9]\r\n", "[Parameter 9]\r\nThe engine speed is fine\r\n");
    for (int i = 0; i < 4; ++i)
        edit("[Parameter 20]\r\n", "[Parameter 20]\r\nnote\r\n");
    const std::string before = read();
    TParameterArray loaded;
    LoadResult r;
    ASSERT_TRUE(LoadCheckedParameters(path_, loaded, nullptr, MissingTable::WriteBuiltIn, &r).Ok);
    EXPECT_EQ(loaded.size(), 65u);
    EXPECT_EQ(engineSpeedFor34(loaded), 850);
    const size_t first = lineHolding("The engine speed is fine");
    const size_t notes = lineHolding("note\r\n");
    EXPECT_EQ(r.Warnings,
              (std::vector<std::string>{
                  path_ + ", line " + std::to_string(first) +
                      " is not INI text: \"The engine speed is fine\"; it is ignored",
                  path_ + ", line " + std::to_string(notes) + " is not INI text: \"note\"; it is ignored",
                  path_ + ", line " + std::to_string(notes + 1) + " is not INI text: \"note\"; it is ignored",
                  path_ + ": 2 more lines are not INI text; they are ignored",
              }));
    ASSERT_EQ(r.WarningDetails.size(), 4u);
    EXPECT_EQ(r.WarningDetails[0].kind, ErrorKind::NotIniText);
    EXPECT_EQ(r.WarningDetails[0].place.line, first);
    EXPECT_EQ(r.WarningDetails[3].place.line, std::nullopt);
    EXPECT_EQ(read(), before);
    // "Create ini file" keeps them.
    SaveIniFile(path_, loaded);
    EXPECT_NE(read().find("[Parameter 9]\r\nThe engine speed is fine\r\nName=Engine speed\r\n"),
              std::string::npos);
}
