#include "acquisition/params/ProtocolFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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
    ASSERT_TRUE(LoadCheckedParameters(path_, edited).Ok);
    EXPECT_EQ(engineSpeedFor34(edited), 1700);
    EXPECT_TRUE(edited[19].Signed);
    EXPECT_EQ(edited[5].Factor, 0.5);
    EXPECT_EQ(edited[5].Offset, 0); // did not convert: the default stays

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
    EXPECT_EQ(c.Message, "Total parameters byte length incorrect");
}

TEST_F(ProtocolFileTest, OutOfRangeEntriesAreRefusedByName) {
    TParameterArray t;
    LoadIniFile(path_, t);
    edit("Name=DRP interval\r\nPosition=13", "Name=DRP interval\r\nPosition=300");
    TParameterArray loaded;
    TableCheck c = LoadCheckedParameters(path_, loaded);
    EXPECT_FALSE(c.Ok);
    EXPECT_EQ(c.Message, path_ + ", section [Parameter 30], key Position: \"300\" is outside 0..255");

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
