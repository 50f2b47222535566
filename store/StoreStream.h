#pragma once
// A growable in-memory byte stream over one contiguous block: a size, a
// position, and random access to the block's address.
//
// Capacity grows geometrically (at least 1.5 times, in whole 8 KiB blocks),
// so appending a few rows at a time costs amortised constant time per byte.
// Bytes exposed by growing the size read as zero.

#include <cstddef>
#include <cstdint>

namespace quillmar {

class MemoryStream {
public:
    static constexpr std::size_t BlockSize = 8192;

    MemoryStream() = default;
    virtual ~MemoryStream();
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    std::size_t size() const { return size_; }
    std::size_t position() const { return position_; }
    std::size_t capacity() const { return capacity_; }
    uint8_t* memory() { return data_; }
    const uint8_t* memory() const { return data_; }

    // Sets the content size, keeping the bytes up to the new size. Returns
    // false (size unchanged) when the block cannot grow that far. The position
    // is clamped to the new size.
    virtual bool setSize(std::size_t newSize);
    // As setSize, but bytes beyond the old size are left as they are: for a
    // caller that overwrites all of them at once (a file read straight in).
    bool setSizeForOverwrite(std::size_t newSize);
    // Copies up to count bytes from the position on; returns the bytes copied.
    virtual std::size_t read(void* buffer, std::size_t count);
    // Writes count bytes at the position, growing the size when needed.
    // Returns the bytes written (0 when the block cannot grow).
    virtual std::size_t write(const void* buffer, std::size_t count);
    // Sets the position (may lie beyond the size; a later write fills the gap with zeros).
    virtual std::size_t seek(std::size_t offset);

    // Size 0 and the block released.
    void clearStream();
    // Exchanges blocks, sizes and positions with other, in constant time.
    void swapContent(MemoryStream& other) noexcept;

private:
    bool reserve(std::size_t needed);

    uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t position_ = 0;
};

} // namespace quillmar
