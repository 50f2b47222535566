#include "store/StoreStream.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace quillmar {

namespace {

constexpr std::size_t maxBlock = std::numeric_limits<std::ptrdiff_t>::max() / 2;

std::size_t roundToBlocks(std::size_t n) {
    return (n + MemoryStream::BlockSize - 1) / MemoryStream::BlockSize * MemoryStream::BlockSize;
}

} // namespace

MemoryStream::~MemoryStream() {
    std::free(data_);
}

bool MemoryStream::reserve(std::size_t needed) {
    if (needed <= capacity_) return true;
    if (needed > maxBlock) return false;
    std::size_t grown = capacity_ + capacity_ / 2;
    std::size_t target = roundToBlocks(needed > grown ? needed : grown);
    if (target > maxBlock) target = roundToBlocks(needed);
    void* p = std::realloc(data_, target);
    if (!p) return false;
    data_ = static_cast<uint8_t*>(p);
    capacity_ = target;
    return true;
}

bool MemoryStream::setSize(std::size_t newSize) {
    if (newSize == 0) {
        clearStream();
        return true;
    }
    if (newSize > size_) {
        if (!reserve(newSize)) return false;
        std::memset(data_ + size_, 0, newSize - size_);
    } else if (newSize < capacity_ / 4 && capacity_ > 16 * BlockSize) {
        // Give back most of a block that shrank a lot; keep room to grow again.
        std::size_t target = roundToBlocks(newSize * 2);
        if (void* p = std::realloc(data_, target)) {
            data_ = static_cast<uint8_t*>(p);
            capacity_ = target;
        }
    }
    size_ = newSize;
    if (position_ > size_) position_ = size_;
    return true;
}

bool MemoryStream::setSizeForOverwrite(std::size_t newSize) {
    if (newSize <= size_) return setSize(newSize);
    if (!reserve(newSize)) return false;
    size_ = newSize;
    return true;
}

std::size_t MemoryStream::read(void* buffer, std::size_t count) {
    if (position_ >= size_ || count == 0) return 0;
    std::size_t n = size_ - position_;
    if (count < n) n = count;
    std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return n;
}

std::size_t MemoryStream::write(const void* buffer, std::size_t count) {
    if (count == 0) return 0;
    if (position_ > maxBlock || count > maxBlock - position_) return 0;
    std::size_t end = position_ + count;
    if (end > size_) {
        std::size_t keep = position_;
        if (!setSize(end)) return 0;
        position_ = keep;
    }
    std::memmove(data_ + position_, buffer, count);
    position_ = end;
    return count;
}

std::size_t MemoryStream::seek(std::size_t offset) {
    position_ = offset;
    return position_;
}

void MemoryStream::clearStream() {
    std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = position_ = 0;
}

void MemoryStream::swapContent(MemoryStream& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    std::swap(position_, other.position_);
}

} // namespace quillmar
