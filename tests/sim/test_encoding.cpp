#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "acquisition/demo/PromImage.h"
#include "acquisition/demo/SimEncoding.h"
#include "acquisition/params/Parameters.h"

using namespace quillmar;

namespace {

TParameter entry(uint8_t position, uint8_t size, double offset, double factor, bool isSigned = false) {
    TParameter p;
    p.Name = "x";
    p.Position = position;
    p.Size = size;
    p.Offset = offset;
    p.Factor = factor;
    p.Signed = isSigned;
    return p;
}

} // namespace

TEST(SimEncoding, ByteOrderScalingAndRounding) {
    TBytes d(8, 0);
    // One byte with offset: 90 degC on -40 + 0.75 x raw is raw 173 (89.75).
    EXPECT_DOUBLE_EQ(EncodeParameter(entry(1, 1, -40, 0.75), 90, d.data(), d.size()), 90);
    EXPECT_EQ(d[0], 173);
    // Negative factor: 130 - 0.549 x raw.
    EncodeParameter(entry(2, 1, 130, -0.549), 30, d.data(), d.size());
    EXPECT_EQ(d[1], 182);
    // Two bytes, high byte first; signed two's complement.
    EncodeParameter(entry(3, 2, 0, 1), 4660, d.data(), d.size());
    EXPECT_EQ(d[2], 0x12);
    EXPECT_EQ(d[3], 0x34);
    EncodeParameter(entry(3, 2, 0, 0.3515625, true), -70.3125, d.data(), d.size());
    EXPECT_EQ(d[2], 0xFF);
    EXPECT_EQ(d[3], 0x38);
    // Three bytes, low byte first, no factor or offset.
    EncodeParameter(entry(5, 3, 7, 3), 8388609, d.data(), d.size());
    EXPECT_EQ(d[4], 0x01);
    EXPECT_EQ(d[5], 0x00);
    EXPECT_EQ(d[6], 0x80);
}

TEST(SimEncoding, ClampsAndSkipsWhatDoesNotFit) {
    TBytes d(4, 0xEE);
    EXPECT_DOUBLE_EQ(EncodeParameter(entry(1, 1, 0, 25), 9000, d.data(), d.size()), 6375);
    EXPECT_EQ(d[0], 255);
    EXPECT_DOUBLE_EQ(EncodeParameter(entry(1, 1, -40, 0.75), -80, d.data(), d.size()), -40);
    EXPECT_EQ(d[0], 0);
    EXPECT_DOUBLE_EQ(EncodeParameter(entry(1, 2, 0, 1, true), -40000, d.data(), d.size()), -32768);
    EXPECT_EQ(d[0], 0x80);
    EXPECT_EQ(d[1], 0x00);
    // Bytes past the data, position 0 and derived entries write nothing.
    EncodeParameter(entry(4, 2, 0, 1), 1, d.data(), d.size());
    EncodeParameter(entry(0, 1, 0, 1), 1, d.data(), d.size());
    EncodeParameter(entry(3, 0, 0, 1), 1, d.data(), d.size());
    EXPECT_EQ(d[2], 0xEE);
    EXPECT_EQ(d[3], 0xEE);
}

TEST(SimEncoding, ReplyFromTheBuiltInTableDecodesBack) {
    const TParameterArray& table = BuiltInParameters();
    std::map<std::string, double> values{{"Engine speed", 850},       {"Coolant temp.", 151.25},
                                         {"Spark advance", -70.3125}, {"Faults", 8388609},
                                         {"Flags 30", 0x91},          {"MAT", -9.995}};
    std::map<std::string, double> sent;
    const TBytes reply = EncodeReply(table, values, 63, &sent);
    ASSERT_EQ(reply.size(), 63u);
    EXPECT_EQ(reply[10], 34);   // data byte 11
    EXPECT_EQ(reply[29], 0x91); // data byte 30, a flag entry keyed by its display name
    for (const TParameter& p : table) {
        if (p.Size == 0) continue;
        const std::string name = DisplayName(p);
        const double decoded = double(DecodeValue(p, reply.data(), reply.size()));
        EXPECT_NEAR(decoded, sent.at(name), 1e-9) << name;
        if (values.count(name)) {
            EXPECT_NEAR(sent.at(name), values[name], 1e-9) << name;
        }
    }
    // Absent values encode as 0, pulled into the range: 0.08 bar at raw 0.
    EXPECT_NEAR(sent.at("Barometer"), 0.08, 1e-12);
}

TEST(PromImage, GeneratedAndLoadedImages) {
    const PromImage a = PromImage::Generated(3);
    EXPECT_EQ(a.Read(0x8000, 64), PromImage::Generated(3).Read(0x8000, 64));
    EXPECT_NE(a.Read(0x8000, 64), PromImage::Generated(4).Read(0x8000, 64));
    EXPECT_EQ(a.Read(0xFFFE, 64), (TBytes{0x80, 0x00}));

    const std::string path = ::testing::TempDir() + "quillmar_prom.bin";
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 32768; ++i)
            out.put(char(i * 7));
    }
    PromImage image;
    std::string error;
    ASSERT_TRUE(PromImage::Load(path, image, error)) << error;
    EXPECT_EQ(image.At(0x8000), 0);
    EXPECT_EQ(image.At(0x8001), 7);
    EXPECT_EQ(image.At(0xFFFF), uint8_t(32767 * 7));

    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << std::string(70000, 'x');
    }
    EXPECT_FALSE(PromImage::Load(path, image, error));
    EXPECT_NE(error.find("goes on past 65536 bytes"), std::string::npos) << error;
    std::remove(path.c_str());
    EXPECT_FALSE(PromImage::Load(path, image, error));
    EXPECT_NE(error.find(path), std::string::npos);
    // A folder, an empty file and a device without end are refused by name.
    EXPECT_FALSE(PromImage::Load(::testing::TempDir(), image, error));
    EXPECT_NE(error.find("it is a folder"), std::string::npos) << error;
    std::ofstream(path).close();
    EXPECT_FALSE(PromImage::Load(path, image, error));
    EXPECT_NE(error.find("holds no bytes"), std::string::npos) << error;
    std::remove(path.c_str());
    EXPECT_FALSE(PromImage::Load("/dev/zero", image, error));
    EXPECT_NE(error.find("/dev/zero"), std::string::npos) << error;
}
