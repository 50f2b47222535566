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
