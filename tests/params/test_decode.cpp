#include "acquisition/params/Parameters.h"

#include <gtest/gtest.h>

#include <array>

using namespace quillmar;

namespace {

const TParameter& entryNamed(const std::string& name) {
    for (const auto& p : BuiltInParameters())
        if (DisplayName(p) == name) return p;
    throw std::runtime_error("no entry " + name);
}

// Decodes p from a reply holding bytes from data byte p.Position on.
double decode(const TParameter& p, std::initializer_list<uint8_t> bytes) {
    std::array<uint8_t, ReplyLength> r{};
    std::copy(bytes.begin(), bytes.end(), r.begin() + (p.Position - 1));
    return static_cast<double>(DecodeValue(p, r.data(), r.size()));
}
double decode(const std::string& name, std::initializer_list<uint8_t> bytes) {
    return decode(entryNamed(name), bytes);
}

} // namespace

TEST(BuiltInTable, SizesAndBitNames) {
    const auto& t = BuiltInParameters();
    ASSERT_EQ(t.size(), 65u);
    int total = 0;
    for (const auto& p : t) {
        total += p.Size;
        EXPECT_TRUE(IsValidFormatAs(p.FormatAs)) << p.Name;
        const auto bits = SplitBitNames(p);
        ASSERT_EQ(bits.size(), p.Flags ? p.Size * 8u : 0u) << p.Name;
        for (const auto& b : bits)
            EXPECT_FALSE(b.empty()) << p.Name;
    }
    EXPECT_EQ(total, ReplyLength);
    EXPECT_TRUE(CheckParameterTable(t).Ok);

    EXPECT_EQ(SplitBitNames(entryNamed("Faults"))[23], "ESC failure");
    EXPECT_EQ(SplitBitNames(entryNamed("Flags 50"))[0], "Coolant over 50\xC2\xB0"
                                                        "C");

    // The last bit name runs to the end; missing names are empty.
    TParameter cut = entryNamed("Flags 12");
    cut.Name = "Short\xC2\xA6one\xC2\xA6two";
    const auto bits = SplitBitNames(cut);
    EXPECT_EQ(DisplayName(cut), "Short");
    EXPECT_EQ(bits[1], "two");
    EXPECT_EQ(bits[7], "");

    const auto defs = MakeFlagDefs(t);
    ASSERT_EQ(defs.size(), 24u + 25u * 8u);
    EXPECT_EQ(defs[23].ParamName, "Faults");
    EXPECT_EQ(defs[23].Mask, 1 << 23);
    EXPECT_EQ(defs[24].ParamName, "Flags 12");
    EXPECT_EQ(defs[24].Mask, 1);

    const auto names = MakeParameterNames(t);
    EXPECT_EQ(names[0], "blank");
    EXPECT_EQ(names[2], "Faults");
    EXPECT_EQ(FindParameterIndices(names).EngineSpeedIndex, 9);
    EXPECT_EQ(IndexOfName(names, "Oxygen sensor (integrator)?"), 24); // first of two
    EXPECT_EQ(FindParameterIndices({"blank", "Throttle"}).SpeedIndex, -1);
    // Every well-known parameter is in the built-in table, under the one name
    // every lookup uses.
    for (const KnownParameter k :
         {KnownParameter::Time, KnownParameter::Speed, KnownParameter::EngineSpeed,
          KnownParameter::ManifoldPressure, KnownParameter::Barometer, KnownParameter::InjectorPulseWidth}) {
        const int32_t at = FindKnownParameter(names, k);
        ASSERT_GT(at, 0) << KnownParameterName(k);
        EXPECT_EQ(names[size_t(at)], KnownParameterName(k));
    }
    EXPECT_EQ(FindKnownParameter(names, KnownParameter::EngineSpeed),
              FindParameterIndices(names).EngineSpeedIndex);
    EXPECT_EQ(FindKnownParameter({"blank", "Speed", "Speed"}, KnownParameter::Speed), 1);
}

TEST(Decode, BothByteOrdersSignsAndScaling) {
    EXPECT_EQ(decode("Engine speed", {34}), 850);
    EXPECT_EQ(decode("Coolant temp.", {0}), -40);
    EXPECT_EQ(decode("Coolant temp.", {255}), 151.25);
    EXPECT_EQ(decode("MAT", {0}), 130);
    EXPECT_NEAR(decode("MAT", {255}), -9.995, 1e-12);
    EXPECT_EQ(decode("Spark advance", {0xFF, 0x38}), -70.3125);
    EXPECT_EQ(decode("Injector pulse width", {0x01, 0x00}), 1.953125);
    EXPECT_EQ(decode("Prom id", {0x12, 0x34}), 4660);

    TParameter plain = entryNamed("Spark advance");
    plain.Signed = false;
    plain.Factor = 1;
    EXPECT_EQ(decode(plain, {0xFF, 0x38}), 65336);

    // Longer values are low byte first and take neither factor nor offset.
    const double faults = decode("Faults", {0x01, 0x00, 0x80});
    EXPECT_EQ(faults, 8388609);
    EXPECT_TRUE(BitIsOn(faults, 0));
    EXPECT_TRUE(BitIsOn(faults, 23));
    EXPECT_FALSE(BitIsOn(faults, 22));
    EXPECT_TRUE(BitIsOn(-1.0, 63));
    EXPECT_FALSE(BitIsOn(1.0, 64));
    EXPECT_FALSE(BitIsOn(1e30, 3));
    EXPECT_FALSE(BitIsOn(std::numeric_limits<double>::quiet_NaN(), 0));
    TParameter scaled = entryNamed("Faults");
    scaled.Factor = 10;
    scaled.Offset = 5;
    EXPECT_EQ(decode(scaled, {0x01, 0x00, 0x80}), 8388609);
    scaled.Position = 1;
    scaled.Size = 8;
    EXPECT_EQ(decode(scaled, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 18446744073709551615.0);
}

TEST(Decode, NeverReadsOutsideTheReply) {
    TParameter p = entryNamed("Faults");
    const uint8_t bytes[4] = {1, 2, 3, 4};
    p.Position = 2;
    EXPECT_EQ(DecodeValue(p, bytes, 4), 4 * 65536 + 3 * 256 + 2);
    for (int position : {3, 0, 255}) {
        p.Position = static_cast<uint8_t>(position);
        EXPECT_EQ(DecodeValue(p, bytes, 4), 0) << position;
    }
    EXPECT_EQ(DecodeValue(p, nullptr, 0), 0);

    // The live path leaves derived entries ("Time" is set by the cycle) alone.
    TParameterArray t = BuiltInParameters();
    std::array<uint8_t, ReplyLength> r{};
    r[10] = 34;
    t[2].Value = 12.5;
    for (int i = -1; i <= 65; ++i)
        DecodeParameter(t, i, r.data(), r.size());
    EXPECT_EQ(t[8].Value, 850);
    EXPECT_EQ(t[2].Value, 12.5);
}

TEST(TableCheck, SizesAndEntriesPastTheReply) {
    TParameterArray t = BuiltInParameters();
    for (uint8_t size : {2, 0}) { // 64 and 62 bytes in all
        t[8].Size = size;
        const auto c = CheckParameterTable(t, "p.ini");
        EXPECT_FALSE(c.Ok);
        EXPECT_EQ(c.Caption, "error");
        // The message as it always was, then which file and what sum.
        EXPECT_EQ(c.Message,
                  "Total parameters byte length incorrect\np.ini: the sizes of its 65 parameters add up to " +
                      std::to_string(62 + size) + " bytes; a reply holds 63 data bytes");
    }
    // The sum is right but an entry lies outside data bytes 1..63.
    t = BuiltInParameters();
    t[64].Position = 64;
    const auto c = CheckParameterTable(t, "p.ini");
    EXPECT_FALSE(c.Ok);
    EXPECT_EQ(c.Message.rfind("p.ini, section [Parameter 65], key Position: ", 0), 0u) << c.Message;
    EXPECT_EQ(c.Problem.kind, ErrorKind::TableEntry);
    EXPECT_EQ(c.Problem.place, (Place{"p.ini", "Parameter 65", "Position", std::nullopt, std::nullopt}));
    t = BuiltInParameters();
    t[0].Position = 0;
    EXPECT_EQ(CheckParameterTable(t).Where, "section [Parameter 1], key Position");
    t = BuiltInParameters();
    t[64].Size = 2;
    t[63].Size = 0;
    EXPECT_EQ(CheckParameterTable(t).Where, "section [Parameter 65], key Size");
}
