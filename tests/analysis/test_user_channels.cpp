// User channels: the line form, the expression language against values
// worked out here, the rows without a value, and what a bad channel says.

#include "store/analysis/UserChannels.h"

#include "acquisition/params/Parameters.h"
#include "app/sheet/ExportTables.h"
#include "tests/analysis/AnalysisTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quillmar {
namespace {

using testing::analysisTable;
using testing::makeLog;
using testing::RowBytes;

// The value of a channel NAME=text over one row of bytes.
double evaluate(const std::string& text, const RowBytes& row = {}) {
    const auto log = makeLog({row});
    UserChannelSet set(UserChannelList{{{"X", "", text, {}}}}, *analysisTable());
    set.Compute(*log);
    return log->UserChannels.at(0).Values.at(1);
}

std::optional<ExpressionProblem> problemOf(const std::string& text) {
    return ValidateExpression(text, *analysisTable());
}

TEST(UserChannelLine, ReadsNameUnitAndExpressionAndWritesThemBack) {
    const UserChannel plain = ParseUserChannelLine("Load=[Engine speed] * 2");
    EXPECT_EQ(plain.Name, "Load");
    EXPECT_EQ(plain.Unit, "");
    EXPECT_EQ(plain.Expression, "[Engine speed] * 2");
    EXPECT_EQ(FormatUserChannelLine(plain), "Load=[Engine speed] * 2");

    // Blanks around the parts do not count; the first '=' ends the name, so
    // the expression may compare.
    const UserChannel unit = ParseUserChannelLine("  Boost kPa [kPa] = ([A] == 1) * 100  ");
    EXPECT_EQ(unit.Name, "Boost kPa");
    EXPECT_EQ(unit.Unit, "kPa");
    EXPECT_EQ(unit.Expression, "([A] == 1) * 100");
    EXPECT_EQ(FormatUserChannelLine(unit), "Boost kPa [kPa]=([A] == 1) * 100");
    EXPECT_EQ(ParseUserChannelLine(FormatUserChannelLine(unit)), unit);

    const UserChannel emptyUnit = ParseUserChannelLine("Idle []=[Flags 30/At idle]");
    EXPECT_EQ(emptyUnit.Name, "Idle");
    EXPECT_EQ(emptyUnit.Unit, "");
    EXPECT_EQ(FormatUserChannelLine(emptyUnit), "Idle=[Flags 30/At idle]");

    const UserChannel degrees = ParseUserChannelLine("Temp F [\xC2\xB0"
                                                     "F]=[Temp \xC2\xB0"
                                                     "C] * 9 / 5 + 32");
    EXPECT_EQ(degrees.Unit, "\xC2\xB0"
                            "F");

    struct Bad {
        std::string line, says;
    };
    for (const Bad& bad : std::vector<Bad>{
             {"Load", "channel \"Load\": no '=' between the name and the expression"},
             {" = 1", "channel \"= 1\": no name before the '='"},
             {"Load =  ", "channel \"Load =\": no expression after the '='"},
             {"Lo]ad=1",
              "channel \"Lo]ad=1\": write the name, then the unit in brackets: NAME [UNIT]=EXPRESSION"},
             {"Load [kPa] x=1", "channel \"Load [kPa] x=1\": write the name, then the unit in brackets: "
                                "NAME [UNIT]=EXPRESSION"},
         }) {
        try {
            ParseUserChannelLine(bad.line);
            ADD_FAILURE() << bad.line << " was taken";
        } catch (const ErrorException& e) {
            EXPECT_EQ(std::string(e.what()), bad.says);
            EXPECT_EQ(e.error().kind, ErrorKind::BadChannel);
        }
    }
}

TEST(UserChannelLine, AListSkipsBlankAndCommentLinesAndNamesTheLineAtFault) {
    const UserChannelList list =
        UserChannelList::Parse("# tuning\r\nLoad [kPa]=[A] * 2\r\n\r\n   # off: X=1\nIdle=[B]\n", "ch.txt");
    ASSERT_EQ(list.Channels.size(), 2u);
    EXPECT_EQ(list.Channels[0].Name, "Load");
    EXPECT_EQ(list.Channels[0].Where.line, 2u);
    EXPECT_EQ(list.Channels[1].Expression, "[B]");
    EXPECT_EQ(list.Channels[1].Where.line, 5u);
    EXPECT_EQ(list.Format(), "Load [kPa]=[A] * 2\nIdle=[B]\n");
    EXPECT_EQ(UserChannelList::Parse(list.Format()), list);
    EXPECT_EQ(list.Names(), (std::vector<std::string>{"Load", "Idle"}));
    EXPECT_EQ(list.Units(), (std::vector<std::string>{"kPa", ""}));

    try {
        UserChannelList::Parse("A=1\n\nno equals here\n", "ch.txt");
        ADD_FAILURE();
    } catch (const ErrorException& e) {
        EXPECT_EQ(std::string(e.what()), "ch.txt, line 3: no '=' between the name and the expression");
        EXPECT_EQ(e.error().place.line, 3u);
    }
}

TEST(ChannelExpression, FollowsTheDocumentedPrecedence) {
    struct Case {
        std::string text;
        double value;
    };
    // The right-hand values are C++'s own reading of the grouping the
    // language documents.
    const std::vector<Case> cases = {
        {"-2^2", -std::pow(2.0, 2.0)},
        {"2^3^2", std::pow(2.0, std::pow(3.0, 2.0))},
        {"-2^-2", -std::pow(2.0, -2.0)},
        {"1 - -2^2", 1 - -std::pow(2.0, 2.0)},
        {"1 + 2 * 3", 1 + 2 * 3},
        {"(1 + 2) * 3", (1 + 2) * 3},
        {"7 / 2 / 2", 7.0 / 2 / 2},
        {"2 * -3", 2 * -3},
        {"1 < 2 == 1", double((1 < 2) == 1)},
        {"3 >= 3", 1},
        {"2 != 2", 0},
        {"2 > 1 + 2", 0},
        {"1 || 0 && 0", double(1 || (0 && 0))},
        {"0 && 1 || 1", double((0 && 1) || 1)},
        {"0.5 && 2", 1},
        {"0 ? 1 : 2 + 10", 0 ? 1 : 2 + 10},
        {"1 ? 2 : 3 ? 4 : 5", 2},
        {"0 ? 2 : 0 ? 4 : 5", 5},
        {"1 || 0 ? 7 : 8", 7},
        {"abs(-3)", 3},
        {"sqrt(16)", 4},
        {"exp(0)", 1},
        {"ln(exp(2))", 2},
        {"log10(1000)", 3},
        {"min(3, 1, 2)", 1},
        {"max(3, 1, 2)", 3},
        {"min(4)", 4},
        {"-abs(2)^2", -4},
        {"1e3 + .5", 1000.5},
        {"1.5e-3 * 2", 0.003},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(evaluate(c.text), c.value) << c.text;
}

TEST(ChannelExpression, ReadsParametersFlagBitsAndTheFirstOfTwoNames) {
    RowBytes row;
    row.engineSpeed = 40; // 1000 rpm
    row.map = 76;         // 0.86 bar
    row.spark = 64;       // 22.5 degrees
    row.flags = 0x81;     // bits 0 and 7
    row.dup5 = 5;
    row.dup6 = 6;
    row.temp = 130; // 90 °C
    const double rpm = 40 * 25.0, map = 76 * 0.01 + 0.1;
    EXPECT_DOUBLE_EQ(evaluate("[Engine speed] * [Manifold press (abs).] / 1000", row), rpm * map / 1000);
    EXPECT_DOUBLE_EQ(evaluate("[ Engine speed ]", row), rpm); // blanks inside the brackets do not count
    EXPECT_EQ(evaluate("[Spark advance]", row), 22.5);
    row.spark = -64;
    EXPECT_EQ(evaluate("[Spark advance]", row), -22.5);
    EXPECT_EQ(evaluate("[Flags 30]", row), 0x81);
    EXPECT_EQ(evaluate("[Flags 30/At idle]", row), 1);
    EXPECT_EQ(evaluate("[Flags 30/Throttle>0]", row), 1);
    EXPECT_EQ(evaluate("[Flags 30/Throttle=0]", row), 0);
    EXPECT_EQ(evaluate("[Flags 30/At idle] && [Flags 30/Throttle=0] == 0", row), 1);
    EXPECT_EQ(evaluate("[Flags 30/At idle] ? [Engine speed] : 0", row), rpm);
    EXPECT_EQ(evaluate("[Dup]", row), 5);
    EXPECT_EQ(evaluate("[Temp \xC2\xB0"
                       "C] * 9 / 5 + 32",
                       row),
              90 * 9 / 5.0 + 32);
}

TEST(ChannelExpression, ANonFiniteResultIsARowWithoutAValue) {
    RowBytes row;
    row.engineSpeed = 40;
    for (const char* text : {"1 / 0", "0 / 0", "sqrt(-1)", "ln(0)", "[Engine speed] / ([Dup] - [Dup])",
                             "min(0 / 0, 1)", "max(1, sqrt(-4))", "10^400"})
        EXPECT_TRUE(std::isnan(evaluate(text, row))) << text;
    // Only the result counts: a comparison with infinity is a number.
    EXPECT_EQ(evaluate("1 / 0 > 5", row), 1);
}

TEST(ChannelExpression, SaysWhatIsWrongAndWhere) {
    struct Case {
        std::string text;
        ErrorKind kind;
        std::string says;
        size_t offset;
    };
    const std::vector<Case> cases = {
        {"[Engine sped] + 1", ErrorKind::UnknownName,
         "no parameter, flag bit or channel is named [Engine sped]", 0},
        {"1 + [Flags 30/Nope]", ErrorKind::UnknownName,
         "Flags 30 has no bit named \"Nope\" ([Flags 30/Nope])", 4},
        {"", ErrorKind::BadExpression, "the expression is empty", 0},
        {"   ", ErrorKind::BadExpression, "the expression is empty", 0},
        {"1 +", ErrorKind::BadExpression, "the expression ends where a value should follow", 3},
        {"(1 + 2", ErrorKind::BadExpression, "a \"(\" is not closed", 6},
        {"1 + 2)", ErrorKind::BadExpression, "unexpected \")\" at character 6", 5},
        {"speed * 2", ErrorKind::BadExpression,
         "\"speed\" at character 1 is neither a number nor a function; a parameter is named in square "
         "brackets, "
         "as [speed]",
         0},
        {"2 * foo(1)", ErrorKind::BadExpression,
         "unknown function \"foo\" at character 5 (the functions are abs, sqrt, exp, ln, log10, min and max)",
         4},
        {"sin(1)", ErrorKind::BadExpression,
         "unknown function \"sin\" at character 1 (the functions are abs, sqrt, exp, ln, log10, min and max)",
         0},
        {"_pi", ErrorKind::BadExpression,
         "\"_pi\" at character 1 is neither a number nor a function; a parameter is named in square "
         "brackets, as "
         "[_pi]",
         0},
        {"abs 2", ErrorKind::BadExpression,
         "the function \"abs\" at character 1 needs its arguments in parentheses", 0},
        {"1, 2", ErrorKind::BadExpression,
         "unexpected \",\" at character 2 (commas only separate a function's arguments)", 1},
        {"min((1, 2))", ErrorKind::BadExpression,
         "unexpected \",\" at character 7 (commas only separate a function's arguments)", 6},
        {"[Engine speed] = 1", ErrorKind::BadExpression,
         "\"=\" at character 16 is no operator here; compare with \"==\"", 15},
        {"2 [Engine speed]", ErrorKind::BadExpression, "unexpected \"[Engine speed]\" at character 3", 2},
        {"[Engine speed", ErrorKind::BadExpression, "\"[\" at character 1 has no closing \"]\"", 0},
        {"1 + []", ErrorKind::BadExpression, "an empty name \"[]\" at character 5", 4},
        {"min()", ErrorKind::BadExpression, "too few arguments for min()", 5},
        {"abs(1, 2)", ErrorKind::BadExpression, "too many arguments for abs()", 8},
        {"1 ? 2", ErrorKind::BadExpression, "a \"?\" has no \":\"", 5},
        {"1 : 2", ErrorKind::BadExpression, "\":\" at character 3 has no \"?\" before it", 2},
        {"2 % 3", ErrorKind::BadExpression, "unexpected \"%\" at character 3", 2},
        {"\"a\"", ErrorKind::BadExpression, "unexpected \"\"\" at character 1", 0},
        // The character counts a UTF-8 sequence once: ')' is the 13th
        // character and the 14th byte.
        {"[Temp \xC2\xB0"
         "C] + )",
         ErrorKind::BadExpression, "unexpected \")\" at character 13", 13},
        {"2 \xC2\xB0", ErrorKind::BadExpression, "unexpected \"\xC2\xB0\" at character 3", 2},
    };
    for (const Case& c : cases) {
        const auto problem = problemOf(c.text);
        ASSERT_TRUE(problem) << c.text;
        EXPECT_EQ(problem->Text, c.says) << c.text;
        EXPECT_EQ(problem->Kind, c.kind) << c.text;
        EXPECT_EQ(problem->Offset, c.offset) << c.text;
    }
    EXPECT_FALSE(problemOf("[Engine speed] * 2"));
    EXPECT_EQ(CharacterAt("a\xC2\xB0z", 3), 3u);
}

TEST(UserChannelSet, AChannelMayUseTheChannelsBeforeItAndGapsCarryOn) {
    const auto log = makeLog({{40, 76}, {0, 76}, {80, 26}});
    const UserChannelList list =
        UserChannelList::Parse("Per rpm [bar]=[Manifold press (abs).] / [Engine speed]\n"
                               "Scaled=[Per rpm] * 1000\n");
    const UserChannelSet set(list, *analysisTable());
    set.Compute(*log);
    ASSERT_EQ(log->UserChannels.size(), 2u);
    EXPECT_EQ(log->UserChannels[0].Name, "Per rpm");
    EXPECT_EQ(log->UserChannels[0].Unit, "bar");
    const double first = (76 * 0.01 + 0.1) / 1000, third = (26 * 0.01 + 0.1) / 2000;
    EXPECT_DOUBLE_EQ(log->UserChannels[0].Values[1], first);
    EXPECT_TRUE(std::isnan(log->UserChannels[0].Values[2])); // 0.86 / 0
    EXPECT_DOUBLE_EQ(log->UserChannels[1].Values[1], first * 1000);
    EXPECT_TRUE(std::isnan(log->UserChannels[1].Values[2]));
    EXPECT_DOUBLE_EQ(log->UserChannels[1].Values[3], third * 1000);

    // The dataset reads them after the table's columns.
    const auto size = static_cast<int>(analysisTable()->size());
    EXPECT_DOUBLE_EQ(static_cast<double>(log->ParameterValue(size + 2, 3)), third * 1000);
    EXPECT_TRUE(std::isnan(static_cast<double>(log->ParameterValue(size + 1, 2))));
    EXPECT_EQ(log->ParameterValue(size + 3, 1), 0); // no such column

    // Computing again replaces them.
    set.Compute(*log);
    EXPECT_EQ(log->UserChannels.size(), 2u);

    const TParameterArray named = set.TableWithChannels(*analysisTable());
    ASSERT_EQ(named.size(), analysisTable()->size() + 2);
    EXPECT_EQ(named.back().Name, "Scaled");
    EXPECT_EQ(named[named.size() - 2].Units, "bar");
    EXPECT_EQ(named.back().Size, 0);
}

TEST(UserChannelSet, RefusesABadChannelNamingItAndWhereItCameFrom) {
    struct Case {
        std::string text;
        std::string says;
        ErrorKind kind;
    };
    const std::vector<Case> cases = {
        {"Engine speed=1", "channel \"Engine speed\": a parameter has that name", ErrorKind::BadChannel},
        {"Flags 30/At idle=1", "channel \"Flags 30/At idle\": a flag bit has that name",
         ErrorKind::BadChannel},
        {"Dup=1", "channel \"Dup\": a parameter has that name", ErrorKind::BadChannel},
        {"A=1\nA=2", "channel \"A\": another channel has that name", ErrorKind::BadChannel},
        {"A=[B]\nB=1", "channel \"A\": no parameter, flag bit or channel is named [B]",
         ErrorKind::UnknownName},
        {"A=[A]", "channel \"A\": no parameter, flag bit or channel is named [A]", ErrorKind::UnknownName},
        {"Load=[Engine speed] +", "channel \"Load\": the expression ends where a value should follow",
         ErrorKind::BadExpression},
    };
    for (const Case& c : cases) {
        try {
            UserChannelSet set(UserChannelList::Parse(c.text), *analysisTable());
            ADD_FAILURE() << c.text << " was taken";
        } catch (const ErrorException& e) {
            EXPECT_EQ(std::string(e.what()), c.says);
            EXPECT_EQ(e.error().kind, c.kind) << c.text;
        }
    }
    try {
        UserChannelSet set(UserChannelList::Parse("# ok\nA=1\nLoad=2 *\n", "/tmp/ch.txt"), *analysisTable());
        ADD_FAILURE();
    } catch (const ErrorException& e) {
        EXPECT_EQ(std::string(e.what()),
                  "/tmp/ch.txt, line 3, channel \"Load\": the expression ends where a value should follow");
    }

    // As a dialog checks one channel after the others.
    EXPECT_FALSE(ValidateUserChannel({"B", "", "[A] * 2", {}}, *analysisTable(), {"A"}));
    const auto clash = ValidateUserChannel({"A", "", "1", {}}, *analysisTable(), {"A"});
    ASSERT_TRUE(clash);
    EXPECT_EQ(FormatError(*clash), "channel \"A\": another channel has that name");
    EXPECT_TRUE(ValidateUserChannel({"B", "", "[A] * 2", {}}, *analysisTable()));
}

TEST(UserChannelSet, ComputesFromTheLiveValues) {
    TParameterArray live = *analysisTable();
    live[0].Value = 2000; // Engine speed
    live[1].Value = 0.5;  // Manifold press
    live[4].Value = 0x80; // Flags 30: at idle
    const UserChannelSet set(
        UserChannelList::Parse("Load [bar]=[Engine speed] * [Manifold press (abs).] / 1000\n"
                               "Twice=[Load] * 2\n"
                               "Idle=[Flags 30/At idle]\n"
                               "Nothing=0 / 0\n"),
        live);
    const std::vector<double> values = set.LiveValues(live);
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0], 1);
    EXPECT_EQ(values[1], 2);
    EXPECT_EQ(values[2], 1);
    EXPECT_TRUE(std::isnan(values[3]));
    EXPECT_EQ(UserChannelLiveText(set.List(), values), "Load: 1 bar\nTwice: 2\nIdle: 1\nNothing: no value\n");
    live[0].Value = 1234.5678;
    EXPECT_EQ(UserChannelLiveText(set.List(), set.LiveValues(live)),
              "Load: 0.617284 bar\nTwice: 1.23457\nIdle: 1\nNothing: no value\n");
}

TEST(UserChannelExports, FollowTheTableAsTheLastColumnsWithEmptyCellsForGaps) {
    const auto log = makeLog({{40, 76}, {0, 76}});
    log->Derived[TimeSlot][1] = 0;
    log->Derived[TimeSlot][2] = 0.1;
    const std::string before = DatasetTableText(*analysisTable(), *log, ".");
    const std::string csvBefore = DatasetCsvText(*analysisTable(), *log);
    const UserChannelSet set(UserChannelList::Parse("Per rpm [1/min]=1 / [Engine speed]\nA, b=2"),
                             *analysisTable());
    set.Compute(*log);
    const std::string after = DatasetTableText(*analysisTable(), *log, ".");
    // Every line is the line without the channels, then the channels' cells.
    EXPECT_EQ(after, "Time\tEngine speed\tManifold press (abs).\tSpark advance\tDup\t"
                     "Flags 30\xC2\xA6Throttle>0\xC2\xA6"
                     "bit 1\xC2\xA6"
                     "bit 2\xC2\xA6"
                     "bit 3\xC2\xA6Throttle=0"
                     "\xC2\xA6"
                     "bit 5\xC2\xA6"
                     "bit 6\xC2\xA6"
                     "At idle\tDup\tPer rpm\tA, b\t\r\n"
                     "s\tRPM\tbar\t\xC2\xB0\t\t\t\t1/min\t\t\r\n"
                     "0\t1000\t0.86\t0\t0\t0\t0\t0.001\t2\t\r\n"
                     "0.1\t0\t0.86\t0\t0\t0\t0\t\t2\t\r\n");
    EXPECT_EQ(DatasetTableValueCount(*analysisTable(), *log), 2u * (6 + 2));
    // The table without channels is what it was.
    log->UserChannels.clear();
    EXPECT_EQ(DatasetTableText(*analysisTable(), *log, "."), before);
    EXPECT_EQ(DatasetCsvText(*analysisTable(), *log), csvBefore);

    set.Compute(*log);
    const std::string csv = DatasetCsvText(*analysisTable(), *log);
    EXPECT_EQ(csv, csvBefore.substr(0, csvBefore.find("\r\n")) + ",Per rpm (1/min),\"A, b\"\r\n" +
                       "0,1000,0.86,0,0,0,0,-40,0.001,2\r\n0.1,0,0.86,0,0,0,0,-40,,2\r\n")
        << csv;
}

} // namespace
} // namespace quillmar
