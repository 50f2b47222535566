#include "acquisition/params/LiveTable.h"
#include "acquisition/params/Parameters.h"

#include <gtest/gtest.h>

using namespace quillmar;

namespace {
const TParameter& entry(size_t i) {
    return BuiltInParameters()[i];
}
} // namespace

TEST(LiveLines, ValueUnitsAndBits) {
    EXPECT_EQ(ParameterLine(entry(8), 850), "Engine speed: 850.0 RPM");
    EXPECT_EQ(ParameterLine(entry(20), 0.5), "Coolant temp.:   0.5 \xC2\xB0"
                                             "C");
    EXPECT_EQ(ParameterLine(entry(0), 4660), "Prom id: 4660 ");
    EXPECT_EQ(ParameterLine(entry(0), 4659.6), "Prom id: 4660 ");
    EXPECT_EQ(ParameterLine(entry(1), 8388609), "Faults: 800001 ");
    EXPECT_EQ(ParameterLine(entry(20), -40), "Coolant temp.: -40.0 \xC2\xB0"
                                             "C");
    EXPECT_EQ(BitLine("At idle", BitIsOn(0x81, 7)), "At idle: On");
    EXPECT_EQ(BitLine("bit 1", BitIsOn(0x81, 1)), "bit 1: Off");
}

// The window's tree and quillmar-cli watch show the same lines.
TEST(LiveLines, TheTableAsLinesAndAsText) {
    TParameterArray table = {entry(8), TParameter{}};
    TParameter& flags = table[1];
    flags.Name = "Flags 30" + std::string(BitNameSeparator) + "Throttle>0" + BitNameSeparator + "" +
                 BitNameSeparator + "Closed loop";
    flags.Flags = true;
    flags.Size = 1;
    FillBitNames(table);
    table[0].Value = 850;
    flags.Value = 0x05;

    const LiveTableLines lines = LiveLinesOf(flags, flags.Value);
    ASSERT_EQ(lines.BitLines.size(), 8u); // every bit, named or not
    EXPECT_EQ(lines.BitLines[0], "Throttle>0: On");
    EXPECT_EQ(lines.BitLines[1], ": Off");
    EXPECT_EQ(lines.BitLines[2], "Closed loop: On");
    EXPECT_TRUE(LiveLinesOf(table[0], 850).BitLines.empty());

    const std::string text = LiveTableText(table, false);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), "Engine speed: 850.0 RPM\n");
    EXPECT_NE(text.find(lines.Line + "\n  Throttle>0: On\n  : Off\n  Closed loop: On\n  : Off\n"),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
    EXPECT_EQ(LiveTableText(table, true),
              "Engine speed: 850.0 RPM\n" + lines.Line + " [Throttle>0, Closed loop]\n\n");
    table[1].Value = 0;
    EXPECT_NE(LiveTableText(table, true).find(" [none on]\n"), std::string::npos);
}

TEST(LiveLines, PatternsFromTheFileAreChecked) {
    for (const char* bad : {"%s", "%n", "%d%d", "%5.1f %x", "%*d", "%ld", "%lf", "%p", "%c", "no value", "%",
                            "50%", "%1234d", "%.5000f", "%#d", ""})
        EXPECT_FALSE(IsValidFormatAs(bad)) << bad;
    for (const char* good : {"%5.1f", "%x", "%u", "%04X", "%-8.3e", "%+g", "%#o", "%%%d%%", "v=%i!"})
        EXPECT_TRUE(IsValidFormatAs(good)) << good;

    TParameter p = entry(8);
    p.FormatAs = "%s"; // would read a string from a number
    EXPECT_EQ(FormatParameterValue(p, 850), "850 RPM");
    // Integer conversions get an integer, rounded, however they are spelled.
    p.FormatAs = "%05d%%";
    EXPECT_EQ(FormatParameterValue(p, -12.6), "-0013% RPM");
    p.FormatAs = "%X";
    EXPECT_EQ(FormatParameterValue(p, 255), "FF RPM");
    // No integer holds these: shown as numbers, never undefined behaviour.
    p.FormatAs = "%u";
    EXPECT_EQ(FormatParameterValue(p, 1e300), "1e+300 RPM");
    EXPECT_EQ(FormatParameterValue(p, std::numeric_limits<double>::quiet_NaN()), "nan RPM");
}

TEST(FormatGeneral, FifteenDigitsNoTrailingZeros) {
    EXPECT_EQ(FormatGeneral(0), "0");
    EXPECT_EQ(FormatGeneral(25), "25");
    EXPECT_EQ(FormatGeneral(0.25), "0.25");
    EXPECT_EQ(FormatGeneral(45.0 / 255.0), "0.176470588235294");
    EXPECT_EQ(FormatGeneral(0.3921568627451), "0.3921568627451");
    EXPECT_EQ(FormatGeneral(0.00762939453125), "0.00762939453125");
    EXPECT_EQ(FormatGeneral(0.00001), "0.00001");
    EXPECT_EQ(FormatGeneral(1e-6), "1E-6");
    EXPECT_EQ(FormatGeneral(-2.5e-7), "-2.5E-7");
    EXPECT_EQ(FormatGeneral(123456789012345.0), "123456789012345");
    EXPECT_EQ(FormatGeneral(1e15), "1E+15");
    EXPECT_EQ(FormatGeneral(999999999999999.9), "1E+15"); // rounds up past 15 digits
    EXPECT_EQ(FormatGeneral(1.0 / 3.0), "0.333333333333333");
}
