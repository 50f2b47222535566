#include "acquisition/params/IniFile.h"
#include "acquisition/params/ProtocolFile.h"
#include "store/base/Cp1252.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

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

namespace {

std::string readDataFile(const std::string& name) {
    std::ifstream in(std::string(QUILLMAR_PARAMS_DATA) + "/layout/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(IniFile, WrittenTablesKeepTheirLayoutByteForByte) {
    // Each .out is what writing a table into its .in produced before the
    // section index was kept across inserts: keys replaced in place, missing
    // keys after their section's last key, new sections at the end, the
    // first of duplicate sections written, comments and stray lines kept.
    const TParameterArray builtin = BuiltInParameters();
    TParameterArray more = builtin;
    more.push_back(builtin[3]);
    more.back().Name = "Extra";
    more[8].Factor = 50;
    for (const auto& [name, table] :
         std::vector<std::pair<std::string, const TParameterArray*>>{{"empty", &builtin},
                                                                     {"notes", &builtin},
                                                                     {"partial", &builtin},
                                                                     {"utf8bom", &builtin},
                                                                     {"edited", &more}}) {
        IniFile ini = IniFile::fromBytes(readDataFile(name + ".in"));
        WriteParameters(ini, *table);
        EXPECT_EQ(ini.toBytes(), readDataFile(name + ".out")) << name;
        // Written again, nothing moves.
        const std::string once = ini.toBytes();
        WriteParameters(ini, *table);
        EXPECT_EQ(ini.toBytes(), once) << name;
    }
}

TEST(IniFile, SeveralKeysAtOnceAsOneAtATime) {
    // Random files of the pieces INI files are made of, written one key at a
    // time and several at once: the same bytes and the same values.
    std::mt19937 rng(7);
    const std::vector<std::string> pieces = {
        "[A]", "[a]",    "[ B ]",  "[Parameter 1]", "[parameter 2", "[]",
        "k=v", "K = V ", "x=1",    "; c",           "# h",          "",
        "  ",  "junk",   "=nokey", "Name=\xB0",     "Key=a=b",      "[C]"};
    const std::vector<std::string> sections = {"A", "a", "B", "Parameter 1", "parameter 2", "", "C", "New"};
    const std::vector<std::string> keys = {"k", "K", "x", "Name", "new", "Key", "y"};
    const std::vector<std::string> values = {"1", "", "a\r\nb", "\xC2\xB0", "  spaced  "};
    for (int round = 0; round < 2000; ++round) {
        std::string bytes = rng() % 4 == 0 ? "\xEF\xBB\xBF" : "";
        const std::string eol = rng() % 2 ? "\n" : "\r\n";
        for (int i = 0, n = int(rng() % 12); i < n; ++i)
            bytes += pieces[rng() % pieces.size()] + (i + 1 < n || rng() % 2 ? eol : "");
        IniFile one = IniFile::fromBytes(bytes), many = IniFile::fromBytes(bytes);
        for (int op = 0, ops = int(rng() % 6); op < ops; ++op) {
            const std::string& section = sections[rng() % sections.size()];
            std::vector<std::pair<std::string_view, std::string>> written;
            for (int j = 0, m = 1 + int(rng() % 4); j < m; ++j)
                written.emplace_back(keys[rng() % keys.size()], values[rng() % values.size()]);
            for (const auto& [key, value] : written)
                one.setValue(section, std::string(key), value);
            many.setValues(section, written);
        }
        ASSERT_EQ(many.toBytes(), one.toBytes()) << bytes;
        const std::vector<std::string_view> asked(keys.begin(), keys.end());
        for (const std::string& section : sections) {
            const auto found = many.values(section, asked);
            ASSERT_EQ(found.empty(), !one.hasSection(section));
            for (size_t k = 0; k < found.size(); ++k)
                ASSERT_EQ(found[k], one.value(section, keys[k])) << bytes;
        }
    }
}

TEST(IniFile, TextOrNot) {
    EXPECT_FALSE(IniFile::fromBytes("[A]\r\nk=v\r\n; c\r\n# c\r\n\r\n \t\r\n").notText());
    EXPECT_TRUE(IniFile::fromBytes("[A]\r\nk=v\r\n; c\r\n# c\r\n\r\n \t\r\n").strayLines().empty());
    EXPECT_EQ(IniFile::fromBytes(std::string("a=b\0", 4)).notText(),
              "it holds NUL bytes, as binary data does, not text");
    EXPECT_EQ(IniFile::fromBytes("\xFE\xFF").notText(),
              "it is UTF-16 text; save it as UTF-8 or Windows-1252 text");
    const IniFile notes = IniFile::fromBytes("[A]\nk=v\nplain words\n\x01\x02=x\n\xE9t\xE9 words\n");
    EXPECT_EQ(notes.strayLines(), (std::vector<size_t>{3, 4, 5}));
    EXPECT_EQ(notes.strayLineText(3), "line 3 is not INI text: \"plain words\"");
    EXPECT_EQ(notes.strayLineText(4), "line 4 is not INI text (it holds control characters)");
    EXPECT_EQ(notes.strayLineText(5), "line 5 is not INI text: \"\xC3\xA9t\xC3\xA9 words\"");
    EXPECT_EQ(notes.lineOf("a", "K"), 2u);
    EXPECT_EQ(notes.lineOf("a", "none"), 0u);
}

// A table written over a file that held more entries reads back as written:
// the entries past its end go, with their later duplicates, and nothing else.
TEST(IniFile, ATableWrittenOverALongerOneLeavesNoEntriesBehindIt) {
    const TParameterArray table = BuiltInParameters();
    std::string bytes = "[Keep]\r\nA=1\r\n";
    for (size_t i = table.size() + 1; i <= table.size() + 2; ++i)
        bytes += "[Parameter " + std::to_string(i) + "]\r\nName=Stale\r\nPosition=1\r\nSize=1\r\n";
    bytes += "[parameter " + std::to_string(table.size() + 1) + "]\r\nName=Again\r\n[Tail]\r\nB=2\r\n";
    IniFile ini = IniFile::fromBytes(bytes);
    WriteParameters(ini, table);
    const IniFile again = IniFile::fromBytes(ini.toBytes());
    TParameterArray read;
    ASSERT_TRUE(ReadParameters(again, read, "test.ini").Ok);
    EXPECT_EQ(read.size(), table.size());
    EXPECT_FALSE(again.hasSection("Parameter " + std::to_string(table.size() + 1)));
    EXPECT_EQ(ini.toBytes().find("Stale"), std::string::npos);
    EXPECT_EQ(ini.toBytes().find("Again"), std::string::npos);
    EXPECT_EQ(again.value("Keep", "A"), "1");
    EXPECT_EQ(again.value("Tail", "B"), "2");
}
