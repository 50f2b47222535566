#include "acquisition/IniFile.h"
#include "acquisition/ProtocolFile.h"

#include <gtest/gtest.h>

using namespace quillmar;

TEST(IniFile, PrivateProfileReading) {
    const IniFile ini = IniFile::fromBytes(
        "top=outside any section\n"
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
    EXPECT_FALSE(ini.value("Alpha", "Other"));  // only the first [alpha] counts
    EXPECT_FALSE(ini.value("Alpha", "just text"));
    EXPECT_FALSE(ini.value("Alpha", "; Key"));
    EXPECT_FALSE(ini.value("Alpha", "top"));
    EXPECT_EQ(ini.value("beta", "K"), "a=b");
    EXPECT_FALSE(ini.hasSection("Gamma"));
    EXPECT_EQ(ini.readString("Gamma", "x", "default"), "default");
}

TEST(IniFile, WritingKeepsEverythingElse) {
    IniFile ini = IniFile::fromBytes("; head\n[A]\nOne = 1\n; note\n\n[B]\nx=1");
    ini.setValue("a", "ONE", "uno");      // in place, the file's spelling kept
    ini.setValue("A", "Two", "2");        // after the last key of [A]
    ini.setValue("B", "y", "line\r\nbreak");
    ini.setValue("C", "z", "3");          // new section at the end
    EXPECT_EQ(ini.toBytes(),
              "; head\n[A]\nOne=uno\nTwo=2\n; note\n\n[B]\nx=1\ny=line  break\n[C]\nz=3\n");
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
    ASSERT_NE(bytes.find("Units=\xB0" "C\r\n"), std::string::npos);
    ASSERT_NE(bytes.find("Flags 30\xA6Throttle>0\xA6"), std::string::npos);
    ASSERT_EQ(bytes.find("\xC2"), std::string::npos);  // no UTF-8 on disk

    IniFile ini = IniFile::fromBytes(bytes);
    TParameterArray t;
    EXPECT_TRUE(ReadParameters(ini, t).Ok);
    ASSERT_EQ(t.size(), 65u);
    EXPECT_EQ(t[21].Units, "\xC2\xB0" "C");
    EXPECT_EQ(t[40].Name, BuiltInParameters()[40].Name);
    EXPECT_EQ(ini.toBytes(), bytes);
    WriteParameters(ini, t);
    EXPECT_EQ(ini.toBytes(), bytes);
}
