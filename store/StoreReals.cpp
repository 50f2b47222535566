#include "store/StoreReals.h"

#include <cmath>
#include <limits>

namespace quillmar {

namespace {

constexpr long double two39 = 549755813888.0L; // 2^39
constexpr long double two40 = 1099511627776.0L;
constexpr long double two63 = 9223372036854775808.0L;
constexpr long double two64 = 18446744073709551616.0L;

uint64_t le64(const uint8_t* b) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | b[i];
    return v;
}

void putLe64(uint8_t* b, uint64_t v) {
    for (int i = 0; i < 8; ++i, v >>= 8)
        b[i] = static_cast<uint8_t>(v);
}

} // namespace

long double decodeReal48(const uint8_t* b) {
    if (b[0] == 0) return 0.0L;
    uint64_t fraction = static_cast<uint64_t>(b[1]) | static_cast<uint64_t>(b[2]) << 8 |
                        static_cast<uint64_t>(b[3]) << 16 | static_cast<uint64_t>(b[4]) << 24 |
                        static_cast<uint64_t>(b[5] & 0x7F) << 32;
    uint64_t significand = (uint64_t{1} << 39) | fraction;
    long double v = std::ldexp(static_cast<long double>(significand), int{b[0]} - 129 - 39);
    return (b[5] & 0x80) ? -v : v;
}

bool encodeReal48(long double x, uint8_t* b) {
    if (std::isnan(x) || std::isinf(x)) return false;
    if (x == 0) {
        for (int i = 0; i < 6; ++i)
            b[i] = 0;
        return true;
    }
    bool negative = std::signbit(x);
    int exponent = 0;
    long double m = std::frexp(std::fabs(x), &exponent);         // |x| = m * 2^exponent, m in [0.5, 1)
    long double significand = std::nearbyint(std::ldexp(m, 40)); // 2^39 .. 2^40, ties to even
    int biased = exponent + 128;                                 // (exponent - 1) + 129
    if (significand >= two40) {
        significand /= 2;
        ++biased;
    }
    if (biased > 255) return false;
    if (biased < 1) {
        for (int i = 0; i < 6; ++i)
            b[i] = 0;
        return true;
    }
    uint64_t fraction = static_cast<uint64_t>(significand - two39);
    b[0] = static_cast<uint8_t>(biased);
    b[1] = static_cast<uint8_t>(fraction);
    b[2] = static_cast<uint8_t>(fraction >> 8);
    b[3] = static_cast<uint8_t>(fraction >> 16);
    b[4] = static_cast<uint8_t>(fraction >> 24);
    b[5] = static_cast<uint8_t>(((fraction >> 32) & 0x7F) | (negative ? 0x80 : 0));
    return true;
}

long double decodeExtended(const uint8_t* b) {
    uint64_t m = le64(b);
    unsigned se = b[8] | (unsigned{b[9]} << 8);
    bool negative = (se & 0x8000) != 0;
    int e = static_cast<int>(se & 0x7FFF);
    long double v;
    if (e == 0x7FFF) {
        if (m == (uint64_t{1} << 63))
            v = std::numeric_limits<long double>::infinity();
        else
            v = std::numeric_limits<long double>::quiet_NaN();
    } else if (e == 0) {
        v = std::ldexp(static_cast<long double>(m), 1 - 16383 - 63);
    } else {
        v = std::ldexp(static_cast<long double>(m), e - 16383 - 63);
    }
    return negative ? -v : v;
}

void encodeExtended(long double x, uint8_t* b) {
    bool negative = std::signbit(x);
    uint64_t m = 0;
    int e = 0;
    if (std::isnan(x)) {
        e = 0x7FFF;
        m = uint64_t{3} << 62;
    } else if (std::isinf(x)) {
        e = 0x7FFF;
        m = uint64_t{1} << 63;
    } else if (x != 0) {
        long double a = std::fabs(x);
        int exponent = 0;
        long double f = std::frexp(a, &exponent); // a = f * 2^exponent, f in [0.5, 1)
        e = exponent - 1 + 16383;
        if (e >= 1) {
            long double s = std::nearbyint(std::ldexp(f, 64));
            if (s >= two64) {
                s /= 2;
                ++e;
            }
            if (e >= 0x7FFF) {
                e = 0x7FFF;
                m = uint64_t{1} << 63;
            } else {
                m = static_cast<uint64_t>(s);
            }
        } else {
            // Denormal: value = m * 2^(-16382 - 63).
            long double s = std::nearbyint(std::ldexp(a, 16382 + 63));
            m = static_cast<uint64_t>(s);
            e = (s >= two63) ? 1 : 0;
        }
    }
    putLe64(b, m);
    unsigned se = static_cast<unsigned>(e) | (negative ? 0x8000u : 0u);
    b[8] = static_cast<uint8_t>(se);
    b[9] = static_cast<uint8_t>(se >> 8);
}

} // namespace quillmar
