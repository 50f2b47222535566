#pragma once
// Windows-1252 on disk, UTF-8 in memory.

#include <string>
#include <string_view>

namespace quillmar {

// Every byte maps to a character; the five bytes Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same
// number, so any byte string survives a round trip.
std::string cp1252ToUtf8(std::string_view bytes);

// Characters without a Windows-1252 byte become '?'. Malformed UTF-8 bytes
// are taken as Windows-1252 bytes, so text that was never UTF-8 passes through.
std::string utf8ToCp1252(std::string_view text);

} // namespace quillmar
