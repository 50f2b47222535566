#pragma once
// One ALDL message as it travels on the wire:
//   F4, length (0x55 + count of mode and data bytes), mode, data..., check byte
// The check byte makes the sum of all frame bytes 0 modulo 256.

#include <cstdint>
#include <string>
#include <vector>

namespace quillmar {

// A counted byte string; any byte value, 0 included.
using TBytes = std::vector<uint8_t>;

inline constexpr uint8_t FrameStartByte = 0xF4;
inline constexpr uint8_t FrameLengthBias = 0x54; // length byte minus this = bytes after the length byte

// Each byte as two upper-case hexadecimal digits followed by one space
// ("F4 56 01 B5 "); an empty string gives empty text.
std::string BytesToHex(const TBytes& bytes);

class TFrame {
public:
    uint8_t StartByte = FrameStartByte;
    uint8_t LengthByte = 0;
    uint8_t Mode = 0;
    TBytes Data;
    uint8_t CheckByte = 0;

    TFrame() = default;
    TFrame(uint8_t mode, TBytes data) : Mode(mode), Data(std::move(data)) {}

    // Two's complement of the sum of start, length, mode and data bytes.
    uint8_t ComputeCheckByte() const;
    bool CheckOK() const { return ComputeCheckByte() == CheckByte; }

    // Sets LengthByte from the data length (modulo 256) and returns the wire bytes.
    TBytes AsBytes();
    std::string AsHex() { return BytesToHex(AsBytes()); }

    // Takes a received frame apart. Safe on any input: a frame shorter than
    // three bytes has no mode byte, and nothing is read past its last byte.
    void Parse(const TBytes& bytes);
};

} // namespace quillmar
