#pragma once
// The engine computer's 64 KiB address space as mode 2 reads it; the program
// memory fills 0x8000 to 0xFFFF.

#include <cstdint>
#include <string>
#include <vector>

#include "link/Frame.h"

namespace quillmar {

class PromImage {
public:
    static constexpr size_t AddressSpace = 0x10000;

    // A deterministic made-up image for a seed.
    static PromImage Generated(uint32_t seed);
    // A raw image file: 32768 bytes go to 0x8000, 65536 bytes fill the whole
    // space, any other size up to 65536 ends at 0xFFFF over a generated rest.
    // False with the reason in error.
    static bool Load(const std::string& path, PromImage& image, std::string& error);

    // count bytes from address on; fewer where the space ends at 0xFFFF.
    TBytes Read(uint16_t address, size_t count) const;

    uint8_t At(uint16_t address) const { return bytes_[address]; }

private:
    std::vector<uint8_t> bytes_ = std::vector<uint8_t>(AddressSpace, 0);
};

} // namespace quillmar
