#include "store/base/Cp1252.h"
#include "store/base/Messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillmar;

TEST(Cp1252, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    const std::string utf8 = cp1252ToUtf8(all);
    EXPECT_EQ(utf8ToCp1252(utf8), all);
}

TEST(Cp1252, ConvertsTheCharactersTheProtocolFileUses) {
    // Broken bar separates bit names; the degree sign is in the units.
    EXPECT_EQ(cp1252ToUtf8("Flags 30\xA6Throttle>0"), "Flags 30\xC2\xA6Throttle>0");
    EXPECT_EQ(cp1252ToUtf8("\xB0"
                           "C"),
              "\xC2\xB0"
              "C");
    EXPECT_EQ(cp1252ToUtf8("\x80"), "\xE2\x82\xAC"); // euro sign
    EXPECT_EQ(utf8ToCp1252("\xC2\xB0"
                           "C"),
              "\xB0"
              "C");
    EXPECT_EQ(utf8ToCp1252("\xE2\x82\xAC"), "\x80");
    EXPECT_EQ(utf8ToCp1252("\xE4\xB8\xAD"), "?"); // no Windows-1252 byte
    // Bytes that are not UTF-8 pass through as they are.
    EXPECT_EQ(utf8ToCp1252("a\xB0z"), "a\xB0z");
    EXPECT_EQ(utf8ToCp1252("\xC0\xB0"), "\xC0\xB0"); // overlong form refused
}

namespace {
struct Recorder : Messenger {
    std::vector<std::string> seen;
    Answer reply = Answer::Yes;
    Answer ask(const std::string& caption, const std::string& text, Buttons) override {
        seen.push_back(caption + "|" + text);
        return reply;
    }
};
} // namespace

TEST(Cp1252, CountsWhatItCannotHoldAndTellsUtf8Apart) {
    size_t replaced = 99;
    EXPECT_EQ(utf8ToCp1252("Warm-up 20\xC2\xB0"
                           "C",
                           &replaced),
              "Warm-up 20\xB0"
              "C");
    EXPECT_EQ(replaced, 0u);
    // A CJK character and an emoji have no Windows-1252 byte.
    EXPECT_EQ(utf8ToCp1252("\xE6\xB8\xA9 ok \xF0\x9F\x9A\x97", &replaced), "? ok ?");
    EXPECT_EQ(replaced, 2u);

    EXPECT_TRUE(IsNonAsciiUtf8("20\xC2\xB0"
                               "C"));
    EXPECT_TRUE(IsNonAsciiUtf8("\xE2\x82\xAC and \xF0\x9F\x9A\x97"));
    EXPECT_FALSE(IsNonAsciiUtf8("plain ASCII"));
    for (const char* notUtf8 : {"20\xB0"
                                "C",
                                "\xA6"
                                "bit",
                                "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\x80"})
        EXPECT_FALSE(IsNonAsciiUtf8(notUtf8)) << notUtf8;
}

TEST(Messages, InstalledMessengerAnswersAndDefaultIsSilent) {
    EXPECT_FALSE(askYesNo("Query", "Overlay data?")); // silent default says No
    Recorder r;
    Messenger* before = setMessenger(&r);
    EXPECT_TRUE(askYesNo("Query", "Overlay data?"));
    showMessage("Error", "Record out of range");
    ASSERT_EQ(r.seen.size(), 2u);
    EXPECT_EQ(r.seen[1], "Error|Record out of range");
    // A messenger that shows no default button is asked all the same.
    EXPECT_TRUE(askYesNo("Query", "Delete the journal?", Answer::No));
    ASSERT_EQ(r.seen.size(), 3u);
    EXPECT_EQ(r.seen[2], "Query|Delete the journal?");
    setMessenger(before);
    EXPECT_FALSE(askYesNo("Query", "again"));
    EXPECT_FALSE(askYesNo("Query", "again", Answer::No));
    EXPECT_EQ(r.seen.size(), 3u);
}
