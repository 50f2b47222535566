// The desktop program's start with the protocol file it is given: a file that
// is no protocol file ends the start with its message and is left as it was;
// values that do not convert are warned about in the error log.

#include "tests/app/AppTestSupport.h"

#include "acquisition/params/ProtocolFile.h"

#include <QPlainTextEdit>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace quillmar {
namespace {

using namespace testing;

class ProtocolStartTest : public ::testing::Test, public FrameFixture {
protected:
    std::string readIni() const {
        std::ifstream in(options.App.IniPath, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void writeIni(const std::string& bytes) const {
        std::ofstream(options.App.IniPath, std::ios::binary) << bytes;
    }
};

TEST_F(ProtocolStartTest, AFileThatIsNoProtocolFileEndsTheStartAndIsLeftAsItIs) {
    writeSettings();
    // A log file, and notes, named as the protocol file.
    const std::string log = config.file("drive.ecu");
    WriteTestLog(log, 5);
    std::ifstream in(log, std::ios::binary);
    const std::string logBytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string path = options.App.IniPath;
    for (const auto& [bytes, why] : std::vector<std::pair<std::string, std::string>>{
             {logBytes, "it holds NUL bytes, as binary data does, not text"},
             {"; protocol\r\nremember to change the factor\r\n",
              "line 2 is not INI text: \"remember to change the factor\""}}) {
        writeIni(bytes);
        messenger.shown.clear();
        open();
        EXPECT_EQ(frame->startStatus(), 2);
        EXPECT_EQ(frame->CommsForm(), nullptr);
        ASSERT_EQ(messenger.shown.size(), 1u);
        EXPECT_EQ(messenger.shown[0].first, "error"); // as for a table of the wrong length
        EXPECT_EQ(messenger.shown[0].second,
                  "Cannot use \"" + path + "\" as the protocol file: " + why + "; it was left unchanged");
        frame.reset();
        EXPECT_EQ(readIni(), bytes); // byte for byte
    }
}

TEST_F(ProtocolStartTest, ValuesThatDoNotConvertAreWarnedAboutInTheErrorLog) {
    writeSettings();
    SaveIniFile(options.App.IniPath, BuiltInParameters());
    std::string text = readIni();
    const size_t at = text.find("Factor=25\r\n");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 11, "Factor=0,0l9\r\n");
    writeIni(text);
    const size_t line = size_t(std::count(text.begin(), text.begin() + std::ptrdiff_t(at), '\n')) + 1;
    open();
    ASSERT_NE(frame->CommsForm(), nullptr);
    EXPECT_EQ(frame->startStatus(), 0);
    EXPECT_TRUE(messenger.shown.empty());
    const QString log = frame->CommsForm()->dlgErrorLog->toPlainText();
    EXPECT_TRUE(log.contains(QString::fromStdString("Warning: " + options.App.IniPath + ", line " +
                                                    std::to_string(line) +
                                                    ", section [Parameter 9], key Factor: \"0,0l9\" is not a "
                                                    "number; Factor stays 0")))
        << log.toStdString();
    EXPECT_EQ(acq().parameters()[8].Factor, 0);
    EXPECT_EQ(readIni(), text); // a start that reads a table writes nothing
}

TEST_F(ProtocolStartTest, CreateIniFileRefusesAFileThatBecameNoProtocolFile) {
    writeSettings();
    open();
    ASSERT_NE(frame->CommsForm(), nullptr);
    const std::string notes = "Shopping list\r\n";
    writeIni(notes);
    frame->CreateIniFileActionExecute();
    ASSERT_EQ(messenger.texts("Error").size(), 1u);
    EXPECT_NE(messenger.texts("Error")[0].find("line 1 is not INI text"), std::string::npos);
    EXPECT_EQ(readIni(), notes);
}

} // namespace
} // namespace quillmar
