#pragma once
// Windows-1252 on disk, UTF-8 in memory.

#include <cstddef>
#include <string>
#include <string_view>

namespace quillmar {

// Every byte maps to a character; the five bytes Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same
// number, so any byte string survives a round trip.
std::string cp1252ToUtf8(std::string_view bytes);

// Characters without a Windows-1252 byte become '?'; replaced (when given)
// receives how many did. Malformed UTF-8 bytes are taken as Windows-1252
// bytes, so text that was never UTF-8 passes through.
std::string utf8ToCp1252(std::string_view text, std::size_t* replaced = nullptr);

// True when bytes are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF) and hold at least one byte above 0x7F. Text in
// Windows-1252 with any non-ASCII letter almost never passes.
bool IsNonAsciiUtf8(std::string_view bytes);

} // namespace quillmar
