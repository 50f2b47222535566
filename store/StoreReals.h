#pragma once
// Exact, portable conversions of the two real formats of stored elements.
//
// 48-bit real: byte 0 the exponent biased by 129 (0 means zero), bytes 1..5 a
// 39-bit fraction (little-endian; bit 7 of byte 5 is the sign);
// value = +-(1 + fraction / 2^39) * 2^(exponent - 129).
// 80-bit extended: 64-bit significand with explicit integer bit (bytes 0..7),
// then sign and 15-bit exponent biased by 16383 (bytes 8..9), little-endian.

#include <cstdint>

namespace quillmar {

long double decodeReal48(const uint8_t* bytes);
// Rounds to the nearest 48-bit real (ties to even). Values too small become 0.
// Returns false, writing nothing, for NaN, infinities and values too large.
bool encodeReal48(long double x, uint8_t* bytes);

// Infinities and NaN decode as such; denormals and unnormals by value.
long double decodeExtended(const uint8_t* bytes);
// Exact for every long double on x86-64 (zero sign, denormals, infinities, NaN).
void encodeExtended(long double x, uint8_t* bytes);

} // namespace quillmar
