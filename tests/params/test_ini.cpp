#include "acquisition/params/IniFile.h"
#include "acquisition/params/ProtocolFile.h"
#include "store/base/Cp1252.h"

#include <gtest/gtest.h>

using namespace quillmar;

TEST(IniFile, PrivateProfileReading) {
    const IniFile ini = IniFile::fromBytes("top=outside any section\n"
                                           "[Alpha]\n"
                                           "; Key=comment\n"
                                           "just text\n"
                                           "  Key =  first value  \n"
                                           "KEY=second\n"
                                           "Empty=\n"
                                           "[ALPHA]\n"
                                           "Other=later section\n"
                                           "[Beta]\n"
                                           "k=a=b\n");
    EXPECT_EQ(ini.value("alpha", "key"), "first value");
    EXPECT_EQ(ini.value("Alpha", "Empty"), "");
    EXPECT_FALSE(ini.value("Alpha", "Other")); // only the first [alpha] counts
    EXPECT_FALSE(ini.value("Alpha", "just text"));
    EXPECT_FALSE(ini.value("Alpha", "; Key"));
    EXPECT_FALSE(ini.value("Alpha", "top"));
    EXPECT_EQ(ini.value("beta", "K"), "a=b");
    EXPECT_FALSE(ini.hasSection("Gamma"));
    EXPECT_EQ(ini.readString("Gamma", "x", "default"), "default");
}

TEST(IniFile, WritingKeepsEverythingElse) {
    IniFile ini = IniFile::fromBytes("; head\n[A]\nOne = 1\n; note\n\n[B]\nx=1");
    ini.setValue("a", "ONE", "uno"); // in place, the file's spelling kept
    ini.setValue("A", "Two", "2");   // after the last key of [A]
    ini.setValue("B", "y", "line\r\nbreak");
    ini.setValue("C", "z", "3"); // new section at the end
    EXPECT_EQ(ini.toBytes(), "; head\n[A]\nOne=uno\nTwo=2\n; note\n\n[B]\nx=1\ny=line  break\n[C]\nz=3\n");
    EXPECT_EQ(IniFile().toBytes(), "");
    IniFile fresh;
    fresh.setValue("S", "k", "v");
    EXPECT_EQ(fresh.toBytes(), "[S]\r\nk=v\r\n");
}

TEST(IniFile, NumbersAsWrittenByPeopleAndLocales) {
    EXPECT_EQ(ParseIniFloat("0.176470588235294"), 0.176470588235294);
    EXPECT_EQ(ParseIniFloat(" 0,25 "), 0.25);
    EXPECT_EQ(ParseIniFloat("1E-6"), 1e-6);
    EXPECT_EQ(ParseIniFloat("+2.5e+3"), 2500);
    for (const char* bad : {"", "abc", "1.000,5", "12x", "inf", "nan", "--1", "1e999"})
        EXPECT_FALSE(ParseIniFloat(bad)) << bad;

    EXPECT_EQ(ParseIniInteger(" 300 "), 300);
    EXPECT_EQ(ParseIniInteger("0x1F"), 31);
    EXPECT_EQ(ParseIniInteger("$ff"), 255);
    for (const char* bad : {"", "1.5", "abc", "+-1", "99999999999999999999", "0x"})
        EXPECT_FALSE(ParseIniInteger(bad)) << bad;
}

TEST(IniFile, Windows1252FileRoundTripsByteForByte) {
    // A protocol file as a user may have edited it: comments, an unknown key
    // and section, 0xB0 degree signs and 0xA6 separators, CRLF line ends.
    std::string bytes = "; edited by hand\r\n[Notes]\r\nWho=me\r\n";
    IniFile written;
    WriteParameters(written, BuiltInParameters());
    bytes += written.toBytes();
    bytes += "[Parameter 99]\r\nName=stray\r\n";
    const size_t at = bytes.find("Icon=29\r\n");
    ASSERT_NE(at, std::string::npos);
    bytes.insert(at, "Colour=red\r\n");
    ASSERT_NE(bytes.find("Units=\xB0"
                         "C\r\n"),
              std::string::npos);
    ASSERT_NE(bytes.find("Flags 30\xA6Throttle>0\xA6"), std::string::npos);
    ASSERT_EQ(bytes.find("\xC2"), std::string::npos); // no UTF-8 on disk

    IniFile ini = IniFile::fromBytes(bytes);
    TParameterArray t;
    EXPECT_TRUE(ReadParameters(ini, t).Ok);
    ASSERT_EQ(t.size(), 65u);
    EXPECT_EQ(t[21].Units, "\xC2\xB0"
                           "C");
    EXPECT_EQ(t[40].Name, BuiltInParameters()[40].Name);
    EXPECT_EQ(ini.toBytes(), bytes);
    WriteParameters(ini, t);
    EXPECT_EQ(ini.toBytes(), bytes);
}

TEST(IniFile, Utf8WithoutAByteOrderMarkIsReadAsUtf8) {
    // The same file as a Linux editor saves it: UTF-8, no byte order mark.
    IniFile cp1252;
    WriteParameters(cp1252, BuiltInParameters());
    const std::string utf8 = cp1252ToUtf8(cp1252.toBytes());
    ASSERT_NE(utf8.find("Units=\xC2\xB0"
                        "C\r\n"),
              std::string::npos);

    IniFile ini = IniFile::fromBytes(utf8);
    TParameterArray t;
    EXPECT_TRUE(ReadParameters(ini, t).Ok);
    ASSERT_EQ(t.size(), 65u);
    EXPECT_EQ(t[21].Units, "\xC2\xB0"
                           "C"); // not "Â°C"
    EXPECT_EQ(t[40].Name, BuiltInParameters()[40].Name);
    // Rewritten, it stays UTF-8 and gains no byte order mark.
    ini.setValue("Parameter 22", "Units",
                 "\xC2\xB0"
                 "F");
    const std::string rewritten = ini.toBytes();
    EXPECT_EQ(rewritten.rfind("\xEF\xBB\xBF", 0), std::string::npos);
    EXPECT_NE(rewritten.find("Units=\xC2\xB0"
                             "F\r\n"),
              std::string::npos);
    EXPECT_EQ(rewritten.find("\xB0"
                             "F"),
              rewritten.find("\xC2\xB0"
                             "F") +
                  1);

    // Windows-1252 bytes that do not form UTF-8 stay Windows-1252, and so
    // does a file of plain ASCII.
    IniFile latin = IniFile::fromBytes("[A]\r\nUnits=\xB0"
                                       "C\r\n");
    EXPECT_EQ(latin.value("A", "Units"), "\xC2\xB0"
                                         "C");
    IniFile ascii = IniFile::fromBytes("[A]\r\nUnits=C\r\n");
    ascii.setValue("A", "Units",
                   "\xC2\xB0"
                   "C");
    EXPECT_EQ(ascii.toBytes(), "[A]\r\nUnits=\xB0"
                               "C\r\n");
}
