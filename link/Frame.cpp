#include "link/Frame.h"

namespace quillmar {

std::string BytesToHex(const TBytes& bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 0x0F];
        text += ' ';
    }
    return text;
}

uint8_t TFrame::ComputeCheckByte() const {
    unsigned sum = StartByte + LengthByte + Mode;
    for (uint8_t b : Data)
        sum += b;
    return static_cast<uint8_t>(256 - (sum % 256));
}

TBytes TFrame::AsBytes() {
    LengthByte = static_cast<uint8_t>(Data.size() + 0x56);
    TBytes bytes;
    bytes.reserve(Data.size() + 4);
    bytes.push_back(StartByte);
    bytes.push_back(LengthByte);
    bytes.push_back(Mode);
    bytes.insert(bytes.end(), Data.begin(), Data.end());
    bytes.push_back(ComputeCheckByte());
    return bytes;
}

void TFrame::Parse(const TBytes& bytes) {
    const size_t n = bytes.size();
    StartByte = n >= 1 ? bytes[0] : 0;
    LengthByte = n >= 2 ? bytes[1] : 0;
    Mode = 0;
    Data.clear();
    CheckByte = n >= 1 ? bytes[n - 1] : 0;
    if (n < 3 || LengthByte == 0x55) return;
    Mode = bytes[2];
    if (LengthByte != 0x56 && n > 4) Data.assign(bytes.begin() + 3, bytes.end() - 1);
}

} // namespace quillmar
