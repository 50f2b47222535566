#include "StoreTestSupport.h"

#include "store/Store.h"
#include "store/StoreReals.h"

#include <gtest/gtest.h>

#include <optional>

#include <cmath>
#include <csignal>
#include <cstring>
#include <limits>
#include <random>
#include <sys/resource.h>

using namespace quillmar;
using namespace quillmar::test;

namespace {

std::vector<uint8_t> bytesOf(std::initializer_list<int> list) {
    std::vector<uint8_t> v;
    for (int b : list)
        v.push_back(static_cast<uint8_t>(b));
    return v;
}

std::vector<uint8_t> extended(long double x) {
    std::vector<uint8_t> b(10);
    encodeExtended(x, b.data());
    return b;
}

// A log-shaped store: 71 one-byte columns, each byte numbering its row and column.
void fillLog(TNumber2DArrayStore& log, uint32_t rows) {
    ASSERT_TRUE(log.Make2D(71, rows, 1));
    for (uint32_t r = 1; r <= rows; ++r)
        for (uint32_t c = 1; c <= 71; ++c)
            log.SetElement(c, r, (r * 7 + c) % 256);
}

} // namespace

TEST(StoreReals, ExtendedKnownPatternsAndRoundTrips) {
    EXPECT_EQ(extended(1.0L), bytesOf({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}));
    EXPECT_EQ(extended(-2.0L), bytesOf({0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0xC0}));
    EXPECT_EQ(extended(-0.0L), bytesOf({0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}));
    EXPECT_EQ(extended(std::numeric_limits<long double>::infinity()),
              bytesOf({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}));
    auto nan = extended(std::numeric_limits<long double>::quiet_NaN());
    EXPECT_TRUE(std::isnan(decodeExtended(nan.data())));
    // Smallest denormal: significand 1, exponent field 0.
    auto tiny = bytesOf({1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(decodeExtended(tiny.data()), std::numeric_limits<long double>::denorm_min());
    EXPECT_EQ(extended(std::numeric_limits<long double>::denorm_min()), tiny);

    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> mant(-1, 1);
    std::uniform_int_distribution<int> ex(-16000, 16000);
    for (int i = 0; i < 2000; ++i) {
        long double x = std::ldexp(static_cast<long double>(mant(rng)) + mant(rng) * 1e-17L, ex(rng));
        auto b = extended(x);
        EXPECT_EQ(decodeExtended(b.data()), x);
    }
    for (long double x :
         {std::numeric_limits<long double>::max(), -std::numeric_limits<long double>::denorm_min() * 12345})
        EXPECT_EQ(decodeExtended(extended(x).data()), x);
}

TEST(StoreReals, Real48KnownPatternsRoundingAndLimits) {
    uint8_t b[6];
    ASSERT_TRUE(encodeReal48(1.0L, b));
    EXPECT_EQ(std::vector<uint8_t>(b, b + 6), bytesOf({0x81, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(encodeReal48(-1.5L, b));
    EXPECT_EQ(std::vector<uint8_t>(b, b + 6), bytesOf({0x81, 0, 0, 0, 0, 0xC0}));
    ASSERT_TRUE(encodeReal48(0.1L, b));
    EXPECT_EQ(std::vector<uint8_t>(b, b + 6), bytesOf({0x7D, 0xCD, 0xCC, 0xCC, 0xCC, 0x4C}));
    EXPECT_EQ(decodeReal48(b), std::ldexp(static_cast<long double>(0x4CCCCCCCCDULL | (1ULL << 39)), -4 - 39));
    // A tie below the last fraction bit rounds to even: 1 + 2^-40 becomes 1.
    ASSERT_TRUE(encodeReal48(1.0L + std::ldexp(1.0L, -40), b));
    EXPECT_EQ(decodeReal48(b), 1.0L);
    ASSERT_TRUE(encodeReal48(1.0L + 3 * std::ldexp(1.0L, -40), b));
    EXPECT_EQ(decodeReal48(b), 1.0L + std::ldexp(1.0L, -38));
    // Rounding up across the whole fraction carries into the exponent.
    ASSERT_TRUE(encodeReal48(2.0L - std::ldexp(1.0L, -41), b));
    EXPECT_EQ(decodeReal48(b), 2.0L);
    // Range: about 2^-128 .. 2^127.
    EXPECT_FALSE(encodeReal48(std::ldexp(1.0L, 127), b));
    EXPECT_FALSE(encodeReal48(std::numeric_limits<long double>::quiet_NaN(), b));
    ASSERT_TRUE(encodeReal48(std::ldexp(1.0L, -140), b));
    EXPECT_EQ(decodeReal48(b), 0.0L);
    ASSERT_TRUE(encodeReal48(std::ldexp(1.0L, -128), b));
    EXPECT_EQ(b[0], 1);
    // Every byte pattern with a non-zero exponent survives decode and encode.
    std::mt19937 rng(3);
    for (int i = 0; i < 2000; ++i) {
        uint8_t in[6], out[6];
        for (auto& x : in)
            x = static_cast<uint8_t>(rng());
        if (in[0] == 0) in[0] = 1;
        ASSERT_TRUE(encodeReal48(decodeReal48(in), out));
        EXPECT_EQ(0, std::memcmp(in, out, 6));
    }
}

TEST(StoreFormat, HeaderOffsetsAndBothLayouts) {
    ScratchDir dir;
    TNumber2DArrayStore store;
    ASSERT_TRUE(store.Make2D(3, 2, 1));
    for (uint32_t i = 1; i <= 6; ++i)
        store.SetValueAt(i, 10 * i);
    store.StoreName = "run \xB0"
                      "1";
    store.SaveToFile(dir.file("a.ecu"));
    auto bytes = readFile(dir.file("a.ecu"));
    ASSERT_EQ(bytes.size(), 273u + 6u);
    EXPECT_EQ(get32(bytes, 0), 6u);
    EXPECT_EQ(get32(bytes, 4), 1u);
    EXPECT_EQ(bytes[8], 6);
    EXPECT_EQ(std::string(bytes.begin() + 9, bytes.begin() + 15), "run \xB0"
                                                                  "1");
    EXPECT_EQ(bytes[264], 0);
    EXPECT_EQ(get32(bytes, 265), 3u);
    EXPECT_EQ(get32(bytes, 269), 2u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 273, bytes.end()), bytesOf({10, 20, 30, 40, 50, 60}));

    TNumber2DArrayStore back;
    back.LoadFromFile(dir.file("a.ecu"));
    EXPECT_EQ(back.RecordCount, 6u);
    EXPECT_EQ(back.Columns, 3u);
    EXPECT_EQ(back.Rows, 2u);
    EXPECT_EQ(back.StoreName, store.StoreName);
    EXPECT_EQ(back.GetElement(3, 2), 60);
    EXPECT_TRUE(back.LoadWarning.empty());

    // The older layout: no name block, fields and content 256 bytes earlier.
    std::vector<uint8_t> old;
    put32(old, 0, 6);
    put32(old, 4, 1);
    old.push_back(0);
    put32(old, 9, 3);
    put32(old, 13, 2);
    for (int v : {1, 2, 3, 4, 5, 6})
        old.push_back(static_cast<uint8_t>(v));
    ASSERT_EQ(old.size(), 23u);
    TNumber2DArrayStore older;
    older.StoreName = "kept";
    older.LoadFromBytes(old.data(), old.size(), "old.ecu");
    EXPECT_EQ(older.RecordCount, 6u);
    EXPECT_EQ(older.Columns, 3u);
    EXPECT_EQ(older.Rows, 2u);
    EXPECT_EQ(older.GetElement(1, 2), 4);
    EXPECT_EQ(older.StoreName, "kept");

    // A number store uses 265 header bytes, Signed at 264.
    TNumberStore numbers;
    numbers.Signed = true;
    ASSERT_TRUE(numbers.Make(1, 2));
    numbers.SetValueAt(1, -5);
    auto nb = numbers.SaveToBytes();
    ASSERT_EQ(nb.size(), 265u + 2u);
    TNumberStore numbersBack;
    numbersBack.LoadFromBytes(nb.data(), nb.size(), "n");
    EXPECT_EQ(numbersBack.GetValueAt(1), -5);
}

TEST(StoreFormat, SeriesHeaderRoundTrip) {
    TxyDataStruct xy;
    ASSERT_TRUE(xy.MakeXY(3, 8));
    xy.XYScaling = {1.5L, -2.0L, 0.1L, 3.0L};
    xy.XRange = {7.0L, 0.25L};
    for (uint32_t i = 1; i <= 3; ++i) {
        xy.SetX(i, i * 1.25);
        xy.SetY(i, i * i);
    }
    auto bytes = xy.SaveToBytes();
    ASSERT_EQ(bytes.size(), 374u + 6u * 8u);
    EXPECT_EQ(bytes[273], 2);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 338, bytes.begin() + 348), extended(0.1L));
    EXPECT_EQ(get32(bytes, 370), 3u);
    TxyDataStruct back;
    back.LoadFromBytes(bytes.data(), bytes.size(), "xy");
    EXPECT_EQ(back.Points, 3u);
    for (uint32_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(back.GetX(i), xy.GetX(i));
        EXPECT_EQ(back.GetY(i), xy.GetY(i));
    }

    // A regular series read into a fresh object takes its own y column.
    TxyDataStruct regular;
    ASSERT_TRUE(regular.MakeRegular(4, 8, {10, 0.5}));
    ASSERT_TRUE(regular.SetPoints(4));
    for (uint32_t i = 1; i <= 4; ++i)
        regular.SetY(i, i * 100);
    auto rb = regular.SaveToBytes();
    TxyDataStruct fresh;
    fresh.LoadFromBytes(rb.data(), rb.size(), "regular");
    EXPECT_EQ(fresh.Kind, 1);
    EXPECT_EQ(fresh.GetX(3), 11);
    EXPECT_EQ(fresh.GetY(4), 400);
}

TEST(StoreFormat, EmptyHeaderOnlyAndMissingFiles) {
    ScratchDir dir;
    writeFile(dir.file("empty.ecu"), {});
    TNumber2DArrayStore store;
    ASSERT_TRUE(store.Make2D(2, 1, 1));
    store.SetElement(2, 1, 9);
    store.LoadFromFile(dir.file("empty.ecu"));
    EXPECT_EQ(store.RecordCount, 2u);
    EXPECT_EQ(store.GetElement(2, 1), 9);

    TNumber2DArrayStore header;
    ASSERT_TRUE(header.Make2D(71, 0, 1));
    header.SaveToFile(dir.file("header.ecu"));
    EXPECT_EQ(readFile(dir.file("header.ecu")).size(), 273u);
    TNumber2DArrayStore loaded;
    loaded.LoadFromFile(dir.file("header.ecu"));
    EXPECT_EQ(loaded.Columns, 71u);
    EXPECT_EQ(loaded.Rows, 0u);
    EXPECT_EQ(loaded.RecordSize, 1u);
    EXPECT_EQ(loaded.size(), 0u);

    const std::string missing = dir.file("missing.ecu");
    try {
        loaded.LoadFromFile(missing);
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
        EXPECT_EQ(e.fileName(), missing);
    }
    EXPECT_THROW(loaded.LoadFromFile(dir.path.string()), FileError); // a folder
}

TEST(StoreFormat, CutOffLogLoadsItsWholeRowsWithAWarning) {
    ScratchDir dir;
    TNumber2DArrayStore log;
    fillLog(log, 10);
    auto full = log.SaveToBytes();
    // Cut in the middle of row 8: rows 1..7 are whole.
    std::vector<uint8_t> cut(full.begin(), full.begin() + 273 + 7 * 71 + 30);
    writeFile(dir.file("cut.ecu"), cut);
    TNumber2DArrayStore back;
    back.LoadFromFile(dir.file("cut.ecu"));
    EXPECT_EQ(back.Rows, 7u);
    EXPECT_EQ(back.RecordCount, 7u * 71u);
    EXPECT_EQ(back.size(), 7u * 71u);
    EXPECT_EQ(back.GetElement(71, 7), log.GetElement(71, 7));
    EXPECT_NE(back.LoadWarning.find("7 of 10 rows loaded"), std::string::npos);
    EXPECT_NE(back.LoadWarning.find(dir.file("cut.ecu")), std::string::npos);
    // In parts: a warning, where the whole rows end.
    ASSERT_TRUE(back.LoadWarningDetail);
    EXPECT_EQ(back.LoadWarningDetail->kind, ErrorKind::EndsEarly);
    EXPECT_EQ(back.LoadWarningDetail->severity, Severity::Warning);
    EXPECT_EQ(back.LoadWarningDetail->place.byteOffset, 273u + 7 * 71);
    EXPECT_EQ(back.LoadWarning, "File " + dir.file("cut.ecu") + " ends early: 7 of 10 rows loaded");
    // The same from memory, and an older-layout log cut short.
    std::vector<uint8_t> old(full.begin(), full.begin() + 8);
    old.insert(old.end(), full.begin() + 264, full.begin() + 273 + 3 * 71 + 5);
    TNumber2DArrayStore olderBack;
    olderBack.LoadFromBytes(old.data(), old.size(), "old.ecu");
    EXPECT_EQ(olderBack.Rows, 3u);
    EXPECT_NE(olderBack.LoadWarning.find("3 of 10 rows loaded"), std::string::npos);
    // Only the header left: no rows.
    TNumber2DArrayStore none;
    none.LoadFromBytes(full.data(), 273, "bare.ecu");
    EXPECT_EQ(none.Rows, 0u);
    EXPECT_NE(none.LoadWarning.find("0 of 10 rows loaded"), std::string::npos);
    // A clean load clears an earlier warning.
    none.LoadFromBytes(full.data(), full.size(), "whole.ecu");
    EXPECT_TRUE(none.LoadWarning.empty());
    EXPECT_FALSE(none.LoadWarningDetail);
    EXPECT_EQ(none.Rows, 10u);
}

TEST(StoreFormat, HostileHeadersAreRefusedAndChangeNothing) {
    TNumber2DArrayStore target;
    fillLog(target, 2);
    target.StoreName = "mine";
    const auto before = target.SaveToBytes();
    // offset: the byte the refusal names (nullopt: none).
    auto refuse = [&](std::vector<uint8_t> bytes, const char* expected,
                      std::optional<uint64_t> offset = uint64_t{0}) {
        SCOPED_TRACE(expected);
        try {
            target.LoadFromBytes(bytes.data(), bytes.size(), "bad.ecu");
            ADD_FAILURE() << "loaded";
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find("bad.ecu"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
            EXPECT_EQ(e.error().kind, ErrorKind::BadContent);
            EXPECT_EQ(e.error().place.file, "bad.ecu");
            EXPECT_EQ(e.error().place.byteOffset, offset);
            EXPECT_EQ(FormatError(e.error()), e.what());
        }
        EXPECT_EQ(target.SaveToBytes(), before);
    };
    std::vector<uint8_t> h(273, 0);
    // Counts whose product overflows 32 bits and promises far more than the file.
    put32(h, 0, 0xFFFFFFFF);
    put32(h, 4, 0xFFFFFFFF);
    refuse(h, "needs");
    // Columns x Rows overflowing to match the record count.
    std::vector<uint8_t> m(273 + 4, 0);
    put32(m, 0, 4);
    put32(m, 4, 1);
    put32(m, 265, 0x80000002);
    put32(m, 269, 2); // 0x100000004 elements, 4 after a 32-bit wrap
    refuse(m, "columns", 265);
    // Element size that no number store has.
    std::vector<uint8_t> e(273 + 6, 0);
    put32(e, 0, 2);
    put32(e, 4, 3);
    put32(e, 265, 2);
    put32(e, 269, 1);
    refuse(e, "element size", 4);
    // Too short for any header, and one byte too many.
    refuse({1, 2, 3}, "too few", std::nullopt);
    auto longer = before;
    longer.push_back(0);
    refuse(longer, "needs");
    // A log header with rows cut off but a wrong column count is not a cut log.
    auto notLog = before;
    put32(notLog, 265, 70);
    put32(notLog, 0, 70 * 2);
    notLog.resize(notLog.size() - 20);
    refuse(notLog, "needs");
}

TEST(StoreFormat, SaveReplacesTheFileAtomically) {
    ScratchDir dir;
    const std::string name = dir.file("log.ecu");
    TNumber2DArrayStore small, large;
    fillLog(small, 2);
    fillLog(large, 100);
    small.SaveToFile(name);
    const auto old = readFile(name);
    large.SaveToFile(name);
    EXPECT_EQ(readFile(name), large.SaveToBytes());
    small.SaveToFile(name);
    EXPECT_EQ(readFile(name), old);

    // A save that cannot finish writing leaves the previous file as it was.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit low = saved;
    low.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &low), 0);
    bool threw = false;
    try {
        large.SaveToFile(name);
    } catch (const FileError& e) {
        threw = true;
        EXPECT_NE(std::string(e.what()).find("Cannot write file " + name), std::string::npos);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_TRUE(threw);
    EXPECT_EQ(readFile(name), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1) << "temporary file left";

    // A folder that does not exist.
    const std::string nowhere = dir.file("no/such/folder.ecu");
    try {
        small.SaveToFile(nowhere);
        FAIL() << "saved";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + nowhere + " (No such file or directory)");
    }
}
