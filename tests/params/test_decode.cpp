#include "acquisition/Parameters.h"

#include <gtest/gtest.h>

#include <array>

using namespace quillmar;

namespace {

const TParameter& entryNamed(const std::string& name) {
    for (const auto& p : BuiltInParameters())
        if (DisplayName(p) == name) return p;
    throw std::runtime_error("no entry " + name);
}

// A reply with the given bytes placed from data byte `position` on.
std::array<uint8_t, ReplyLength> reply(int position, std::initializer_list<uint8_t> bytes) {
    std::array<uint8_t, ReplyLength> r{};
    size_t i = static_cast<size_t>(position - 1);
    for (uint8_t b : bytes) r[i++] = b;
    return r;
}

double decode(const std::string& name, std::initializer_list<uint8_t> bytes) {
    const TParameter& p = entryNamed(name);
    const auto r = reply(p.Position, bytes);
    return static_cast<double>(DecodeValue(p, r.data(), r.size()));
}

} // namespace

TEST(BuiltInTable, SizesNamesAndBits) {
    const auto& t = BuiltInParameters();
    ASSERT_EQ(t.size(), 65u);
    int total = 0, flagEntries = 0;
    for (const auto& p : t) {
        total += p.Size;
        EXPECT_EQ(p.Value, 0);
        EXPECT_TRUE(p.BitNames.empty());
        EXPECT_TRUE(IsValidFormatAs(p.FormatAs)) << p.Name;
        const auto bits = SplitBitNames(p);
        if (p.Flags) {
            ++flagEntries;
            ASSERT_EQ(bits.size(), p.Size * 8u) << DisplayName(p);
            for (const auto& b : bits) EXPECT_FALSE(b.empty()) << DisplayName(p);
        } else {
            EXPECT_TRUE(bits.empty());
            EXPECT_EQ(p.Name.find(BitNameSeparator), std::string::npos);
        }
    }
    EXPECT_EQ(total, ReplyLength);
    EXPECT_EQ(flagEntries, 26);
    EXPECT_TRUE(CheckParameterTable(t).Ok);

    const auto faults = SplitBitNames(entryNamed("Faults"));
    EXPECT_EQ(faults[0], "VSS");
    EXPECT_EQ(faults[13], "EGR");
    EXPECT_EQ(faults[23], "ESC failure");
    EXPECT_EQ(entryNamed("Flags 30").Name,
              "Flags 30\xC2\xA6Throttle>0\xC2\xA6" "bit 1\xC2\xA6" "bit 2\xC2\xA6" "bit 3\xC2\xA6Throttle=0"
              "\xC2\xA6" "bit 5\xC2\xA6" "bit 6\xC2\xA6" "At idle");
    EXPECT_EQ(SplitBitNames(entryNamed("Flags 50"))[0], "Coolant over 50\xC2\xB0" "C");
    EXPECT_EQ(SplitBitNames(entryNamed("Flags 62"))[7], "flag 7");
    EXPECT_EQ(entryNamed("MAT").Units, "\xC2\xB0" "C");

    const auto defs = MakeFlagDefs(t);
    EXPECT_EQ(defs.size(), 24u + 25u * 8u);
    EXPECT_EQ(defs[23].ParamName, "Faults");
    EXPECT_EQ(defs[23].Mask, 1 << 23);
    EXPECT_EQ(defs[24].ParamName, "Flags 12");
    EXPECT_EQ(defs[24].Mask, 1);
}

TEST(BuiltInTable, ParameterNamesAndIndices) {
    const auto names = MakeParameterNames(BuiltInParameters());
    ASSERT_EQ(names.size(), 66u);
    EXPECT_EQ(names[0], "blank");
    EXPECT_EQ(names[2], "Faults");
    const auto ix = FindParameterIndices(names);
    EXPECT_EQ(ix.TimeIndex, 3);
    EXPECT_EQ(ix.EngineSpeedIndex, 9);
    EXPECT_EQ(ix.SpeedIndex, 10);
    EXPECT_EQ(ix.BarometerIndex, 15);
    EXPECT_EQ(ix.MapIndex, 17);
    EXPECT_EQ(ix.InjectorIndex, 18);
    EXPECT_EQ(IndexOfName(names, "Oxygen sensor (integrator)?"), 24);  // first of two
    EXPECT_EQ(FindParameterIndices({"blank", "Throttle"}).SpeedIndex, -1);
}

TEST(Decode, BuiltInEntries) {
    EXPECT_EQ(decode("Engine speed", {34}), 850);
    EXPECT_EQ(decode("Coolant temp.", {0}), -40);
    EXPECT_EQ(decode("Coolant temp.", {255}), 151.25);
    EXPECT_EQ(decode("MAT", {0}), 130);
    EXPECT_NEAR(decode("MAT", {255}), -9.995, 1e-12);
    EXPECT_EQ(decode("Spark advance", {0xFF, 0x38}), -70.3125);
    EXPECT_EQ(decode("Injector pulse width", {0x01, 0x00}), 1.953125);
    EXPECT_EQ(decode("Prom id", {0x12, 0x34}), 4660);

    TParameter unsignedTwo = entryNamed("Spark advance");
    unsignedTwo.Signed = false;
    unsignedTwo.Factor = 1;
    const auto r = reply(unsignedTwo.Position, {0xFF, 0x38});
    EXPECT_EQ(DecodeValue(unsignedTwo, r.data(), r.size()), 65336);

    // Longer values are low byte first and take neither factor nor offset.
    const double faults = decode("Faults", {0x01, 0x00, 0x80});
    EXPECT_EQ(faults, 8388609);
    EXPECT_TRUE(BitIsOn(faults, 0));
    EXPECT_TRUE(BitIsOn(faults, 23));
    EXPECT_FALSE(BitIsOn(faults, 1));
    EXPECT_FALSE(BitIsOn(faults, 22));
    TParameter scaled = entryNamed("Faults");
    scaled.Factor = 10;
    scaled.Offset = 5;
    const auto rf = reply(scaled.Position, {0x01, 0x00, 0x80});
    EXPECT_EQ(DecodeValue(scaled, rf.data(), rf.size()), 8388609);
}

TEST(Decode, NeverReadsOutsideTheReply) {
    TParameter p = entryNamed("Faults");
    const uint8_t bytes[4] = {1, 2, 3, 4};
    p.Position = 2;
    EXPECT_EQ(DecodeValue(p, bytes, 4), 4 * 65536 + 3 * 256 + 2);
    p.Position = 3;  // would need byte 5
    EXPECT_EQ(DecodeValue(p, bytes, 4), 0);
    p.Position = 0;
    EXPECT_EQ(DecodeValue(p, bytes, 4), 0);
    p.Position = 255;
    p.Size = 255;
    EXPECT_EQ(DecodeValue(p, bytes, 4), 0);
    EXPECT_EQ(DecodeValue(p, nullptr, 0), 0);

    // Eight bytes all 0xFF: 2^64 - 1 in extended precision.
    std::array<uint8_t, ReplyLength> full;
    full.fill(0xFF);
    p.Position = 1;
    p.Size = 8;
    EXPECT_EQ(DecodeValue(p, full.data(), full.size()), 18446744073709551615.0L);
}

TEST(Decode, LivePathSetsValueOfDecodedEntriesOnly) {
    TParameterArray t = BuiltInParameters();
    auto r = reply(11, {34});
    t[2].Value = 12.5;  // "Time" is set by the acquisition cycle, not decoded
    for (int i = -1; i <= 65; ++i) DecodeParameter(t, i, r.data(), r.size());
    EXPECT_EQ(t[8].Value, 850);
    EXPECT_EQ(t[2].Value, 12.5);
    EXPECT_EQ(t[20].Value, -40);
}

TEST(BitIsOn, RoundsAndRejectsImpossibleBits) {
    EXPECT_TRUE(BitIsOn(0.6, 0));     // rounds to 1
    EXPECT_FALSE(BitIsOn(0.4, 0));
    EXPECT_TRUE(BitIsOn(-1.0, 63));   // two's complement
    EXPECT_FALSE(BitIsOn(1.0, 64));
    EXPECT_FALSE(BitIsOn(1.0, -1));
    EXPECT_FALSE(BitIsOn(1e30, 3));
    EXPECT_FALSE(BitIsOn(std::numeric_limits<double>::quiet_NaN(), 0));
}

TEST(TableCheck, SizesAndEntriesPastTheReply) {
    TParameterArray t = BuiltInParameters();
    t[8].Size = 2;  // 64 in all
    auto c = CheckParameterTable(t);
    EXPECT_FALSE(c.Ok);
    EXPECT_EQ(c.Caption, "error");
    EXPECT_EQ(c.Message, "Total parameters byte length incorrect");
    t[8].Size = 0;  // 62
    EXPECT_EQ(CheckParameterTable(t).Message, "Total parameters byte length incorrect");

    // Sum right, but "Flags 63" moved to start at byte 64 and "Prom id" to 0.
    t = BuiltInParameters();
    t[64].Position = 64;
    c = CheckParameterTable(t, "p.ini");
    EXPECT_FALSE(c.Ok);
    EXPECT_EQ(c.Where, "section [Parameter 65], key Position");
    EXPECT_EQ(c.Message.rfind("p.ini, section [Parameter 65], key Position: ", 0), 0u) << c.Message;
    t = BuiltInParameters();
    t[0].Position = 0;
    EXPECT_EQ(CheckParameterTable(t).Where, "section [Parameter 1], key Position");
    t = BuiltInParameters();
    t[64].Size = 2;
    t[63].Size = 0;
    EXPECT_EQ(CheckParameterTable(t).Where, "section [Parameter 65], key Size");
}
