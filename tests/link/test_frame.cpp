#include <gtest/gtest.h>

#include "link/Frame.h"

using namespace quillmar;

TEST(Frame, WorkedExamplesAndHex) {
    TFrame plain(1, {});
    EXPECT_EQ(plain.AsBytes(), (TBytes{0xF4, 0x56, 0x01, 0xB5}));
    EXPECT_EQ(plain.AsHex(), "F4 56 01 B5 ");
    EXPECT_EQ(plain.AsHex().size(), 12u);

    TFrame numbered(1, {0x00});
    EXPECT_EQ(numbered.AsBytes(), (TBytes{0xF4, 0x57, 0x01, 0x00, 0xB4}));

    EXPECT_EQ(BytesToHex({}), "");
    EXPECT_EQ(BytesToHex({0x00, 0x0A, 0xFF}), "00 0A FF ");
}

TEST(Frame, CheckByteMakesTheSumZero) {
    TFrame f(2, {0x80, 0x00});
    const TBytes bytes = f.AsBytes();
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    EXPECT_EQ(sum % 256, 0u);

    // A sum that is already 0 modulo 256 needs a check byte of 0, not 256.
    TFrame zero(0xB6, {}); // F4 + 56 + B6 = 0x200
    EXPECT_EQ(zero.AsBytes().back(), 0x00);

    // The length byte wraps: 170 data bytes give 0x56 + 170 = 0x100 -> 0x00.
    TFrame huge(1, TBytes(170, 0));
    EXPECT_EQ(huge.AsBytes()[1], 0x00);
}

TEST(Frame, ParseWellFormedFrames) {
    TFrame f;
    f.Parse({0xF4, 0x55, 0xB7});
    EXPECT_EQ(f.Mode, 0);
    EXPECT_TRUE(f.Data.empty());
    EXPECT_EQ(f.CheckByte, 0xB7);
    EXPECT_TRUE(f.CheckOK());

    f.Parse({0xF4, 0x56, 0x01, 0xB5});
    EXPECT_EQ(f.Mode, 1);
    EXPECT_TRUE(f.Data.empty());
    EXPECT_TRUE(f.CheckOK());

    TFrame sent(1, {1, 2, 3});
    const TBytes wire = sent.AsBytes();
    f.Parse(wire);
    EXPECT_EQ(f.Mode, 1);
    EXPECT_EQ(f.Data, (TBytes{1, 2, 3}));
    EXPECT_TRUE(f.CheckOK());

    TBytes altered = wire;
    altered.back() ^= 1;
    f.Parse(altered);
    EXPECT_FALSE(f.CheckOK());
}

TEST(Frame, ParseIsSafeOnShortAndLyingInput) {
    TFrame f;
    f.Parse({});
    EXPECT_EQ(f.StartByte, 0);
    EXPECT_EQ(f.Mode, 0);
    EXPECT_TRUE(f.Data.empty());

    f.Parse({0xF4});
    EXPECT_EQ(f.StartByte, 0xF4);
    EXPECT_EQ(f.LengthByte, 0);
    EXPECT_EQ(f.CheckByte, 0xF4);

    f.Parse({0xF4, 0x20});
    EXPECT_EQ(f.LengthByte, 0x20);
    EXPECT_EQ(f.Mode, 0);
    EXPECT_EQ(f.CheckByte, 0x20);
    EXPECT_TRUE(f.Data.empty());

    // The length byte claims 10 data bytes; only what arrived is taken.
    f.Parse({0xF4, 0x60, 0x01, 0x07, 0x55});
    EXPECT_EQ(f.Mode, 1);
    EXPECT_EQ(f.Data, (TBytes{0x07}));
    EXPECT_EQ(f.CheckByte, 0x55);

    f.Parse({0xF4, 0x60, 0x01});
    EXPECT_EQ(f.Mode, 1);
    EXPECT_TRUE(f.Data.empty());
}
