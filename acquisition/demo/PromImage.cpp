#include "acquisition/demo/PromImage.h"

#include <algorithm>

#include "store/base/InputFile.h"

namespace quillmar {

PromImage PromImage::Generated(uint32_t seed) {
    PromImage image;
    uint32_t x = seed * 2654435761u + 0x6D2B79F5u;
    for (size_t a = 0; a < AddressSpace; ++a) {
        // 32-bit xorshift; low RAM (below 0x0100) reads as zero.
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        image.bytes_[a] = a < 0x100 ? 0 : uint8_t(x >> 24);
    }
    // The reset vector points at the start of the program memory.
    image.bytes_[0xFFFE] = 0x80;
    image.bytes_[0xFFFF] = 0x00;
    return image;
}

bool PromImage::Load(const std::string& path, PromImage& image, std::string& error) {
    std::vector<uint8_t> data;
    try {
        data = ReadInputFile(path, AddressSpace, "a PROM image");
    } catch (const FileError& e) {
        error = e.what();
        return false;
    }
    if (data.empty()) {
        error = "The PROM image \"" + path +
                "\" holds no bytes; expected 1 to 65536 (32768 for the program memory)";
        return false;
    }
    image = Generated(1);
    std::copy(data.begin(), data.end(), image.bytes_.end() - std::ptrdiff_t(data.size()));
    return true;
}

TBytes PromImage::Read(uint16_t address, size_t count) const {
    const size_t end = std::min(AddressSpace, size_t(address) + count);
    return TBytes(bytes_.begin() + address, bytes_.begin() + std::ptrdiff_t(end));
}

} // namespace quillmar
