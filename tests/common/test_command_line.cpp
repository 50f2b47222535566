// The programs' one command-line parser.

#include "store/base/CommandLine.h"

#include <gtest/gtest.h>

using namespace quillmar;

namespace {

const std::vector<CommandLineOption> Options = {
    {"--help", false, {"-h"}}, {"--channel", true, {}}, {"--test-mode", false, {}}, {"--out", true, {}}};

using Words = std::vector<std::string>;

} // namespace

TEST(CommandLine, RepeatedOptionsAreKeptInOrder) {
    const ParsedCommandLine line = ParseCommandLine(
        {"--channel", "Speed", "a.ecu", "--channel=Boost", "--channel", "", "b.ecu"}, Options);
    ASSERT_TRUE(line.ok());
    EXPECT_EQ(line.values("--channel"), (Words{"Speed", "Boost", ""}));
    EXPECT_EQ(line.value("--channel"), ""); // the last one
    EXPECT_EQ(line.positionals(), (Words{"a.ecu", "b.ecu"}));
    EXPECT_FALSE(line.has("--out"));
    EXPECT_EQ(line.value("--out"), "");
    EXPECT_TRUE(line.values("--out").empty());
}

TEST(CommandLine, ValuesAliasesAndTheEndOfTheOptions) {
    const ParsedCommandLine line =
        ParseCommandLine({"-h", "--out", "--test-mode", "--", "--help", "-"}, Options);
    ASSERT_TRUE(line.ok());
    EXPECT_FALSE(line.has("--help"));
    EXPECT_EQ(line.value("--out"), "--test-mode"); // a value may look like an option
    EXPECT_FALSE(line.has("--test-mode"));
    EXPECT_EQ(line.positionals(), (Words{"-h", "--help", "-"}))
        << "without single-dash options '-h' is a word";
}

TEST(CommandLine, SingleDashOptions) {
    CommandLineSyntax syntax;
    syntax.SingleDashOptions = true;
    const ParsedCommandLine line = ParseCommandLine({"-h", "-", "x"}, Options, syntax);
    ASSERT_TRUE(line.ok());
    EXPECT_TRUE(line.has("--help"));
    EXPECT_EQ(line.positionals(), (Words{"-", "x"}));
    const ParsedCommandLine bad = ParseCommandLine({"-x"}, Options, syntax);
    EXPECT_EQ(bad.Problem, CommandLineProblem::UnknownOption);
    EXPECT_EQ(bad.ProblemWord, "-x");
}

TEST(CommandLine, TheFirstProblemStopsTheParse) {
    ParsedCommandLine line = ParseCommandLine({"a", "--bogus=1", "--help"}, Options);
    EXPECT_EQ(line.Problem, CommandLineProblem::UnknownOption);
    EXPECT_EQ(line.ProblemWord, "--bogus=1");
    EXPECT_EQ(line.ProblemName, "--bogus");
    EXPECT_EQ(line.positionals(), Words{"a"});
    EXPECT_FALSE(line.has("--help"));

    line = ParseCommandLine({"--channel", "x", "--out"}, Options);
    EXPECT_EQ(line.Problem, CommandLineProblem::NeedsValue);
    EXPECT_EQ(line.ProblemName, "--out");
    EXPECT_EQ(line.values("--channel"), Words{"x"});

    // The option is kept before the problem: a program may act on it first.
    line = ParseCommandLine({"--help=yes", "--out", "x"}, Options);
    EXPECT_EQ(line.Problem, CommandLineProblem::TakesNoValue);
    EXPECT_EQ(line.ProblemName, "--help");
    EXPECT_TRUE(line.has("--help"));
    EXPECT_FALSE(line.has("--out"));

    line = ParseCommandLine({"--=3"}, Options);
    EXPECT_EQ(line.Problem, CommandLineProblem::UnknownOption);
    EXPECT_EQ(line.ProblemName, "--");
}

TEST(CommandLine, EveryWordAnOptionWord) {
    CommandLineSyntax syntax;
    syntax.InlineValues = false;
    syntax.DoubleDashEnds = false;
    syntax.Positionals = false;
    for (const char* word : {"stray", "--", "--out=x", "-"}) {
        const ParsedCommandLine line = ParseCommandLine({word}, Options, syntax);
        EXPECT_EQ(line.Problem, CommandLineProblem::UnknownOption) << word;
        EXPECT_EQ(line.ProblemWord, word);
    }
    const ParsedCommandLine line = ParseCommandLine({"--out", "a=b"}, Options, syntax);
    ASSERT_TRUE(line.ok());
    EXPECT_EQ(line.value("--out"), "a=b");
}

TEST(CommandLine, Numbers) {
    EXPECT_EQ(ParseWholeNumber("-1", -1, 4), -1);
    EXPECT_EQ(ParseWholeNumber("4", -1, 4), 4);
    for (const char* bad : {"", "5", "-2", "+1", " 1", "1 ", "0x1", "1.0", "99999999999999999999"})
        EXPECT_FALSE(ParseWholeNumber(bad, -1, 4)) << bad;

    EXPECT_EQ(ParseDecimalNumber("0.25"), 0.25);
    EXPECT_EQ(ParseDecimalNumber(".5"), 0.5);
    EXPECT_EQ(ParseDecimalNumber("7."), 7.0);
    EXPECT_EQ(ParseDecimalNumber("4294967295", true), 4294967295.0);
    for (const char* bad : {"", ".", "1..2", "1.2.3", "-1", "+1", "1e3", "inf", "nan", " 1", "0x10"})
        EXPECT_FALSE(ParseDecimalNumber(bad)) << bad;
    EXPECT_FALSE(ParseDecimalNumber("1.5", true));
    EXPECT_FALSE(ParseDecimalNumber(std::string(400, '9'))) << "beyond a double";
}
