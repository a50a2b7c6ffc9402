#include "output/memory_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace {

// tell() and size() answer in 32 bits, so no position or length goes past this.
constexpr std::size_t kLargestPosition = static_cast<std::size_t>(std::numeric_limits<int32_t>::max());

std::unique_ptr<std::uint8_t[]> allocate(std::size_t size) {
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[size]);
}

}  // namespace

// The libraries read the descriptor by its 32-bit Windows layout.
static_assert(sizeof(void*) != 4 || sizeof(TI_STREAM) == 32);

CMemoryStream::CMemoryStream(std::size_t initialCapacity) {
    const std::size_t capacity = std::max(initialCapacity, kMinimumCapacity);
    buffer_ = allocate(capacity);
    if (buffer_) capacity_ = capacity;
    descriptor_.kind = TI_STREAM_CALLBACK;
    descriptor_.size = static_cast<int32_t>(sizeof(TI_STREAM));
    descriptor_.context = this;
    descriptor_.write = &CMemoryStream::writeCallback;
    descriptor_.read = &CMemoryStream::readCallback;
    descriptor_.seek = &CMemoryStream::seekCallback;
    descriptor_.tell = &CMemoryStream::tellCallback;
    descriptor_.getSize = &CMemoryStream::sizeCallback;
}

CMemoryStream* CMemoryStream::owner(TI_STREAM* stream) {
    return stream ? static_cast<CMemoryStream*>(stream->context) : nullptr;
}

bool CMemoryStream::reserve(std::size_t needed) {
    if (needed <= capacity_) return true;
    const std::size_t capacity = needed + kGrowthSlack;
    auto grown = allocate(capacity);
    if (!grown) return false;
    std::memcpy(grown.get(), buffer_.get(), length_);
    buffer_ = std::move(grown);
    capacity_ = capacity;
    return true;
}

int32_t CMemoryStream::write(const void* data, int32_t count) {
    if (!buffer_ || !data || count <= 0) return 0;
    const std::size_t n = static_cast<std::size_t>(count);
    if (position_ > kLargestPosition || n > kLargestPosition - position_) return 0;
    if (!reserve(position_ + n)) return 0;
    // A write after a seek past the end leaves no stale bytes in the gap.
    if (position_ > length_) std::memset(buffer_.get() + length_, 0, position_ - length_);
    std::memcpy(buffer_.get() + position_, data, n);
    position_ += n;
    length_ = std::max(length_, position_);
    return count;
}

int32_t CMemoryStream::read(void* buffer, int32_t count) {
    if (!buffer_ || !buffer || count <= 0 || position_ >= length_) return 0;
    const std::size_t n = std::min(static_cast<std::size_t>(count), length_ - position_);
    std::memcpy(buffer, buffer_.get() + position_, n);
    position_ += n;
    return static_cast<int32_t>(n);
}

bool CMemoryStream::seek(int32_t offset, int32_t origin) {
    if (!buffer_) return false;
    std::int64_t base = 0;
    switch (origin) {
        case 0: base = 0; break;
        case 1: base = static_cast<std::int64_t>(position_); break;
        case 2: base = static_cast<std::int64_t>(length_); break;
        default: return false;
    }
    const std::int64_t target = std::max<std::int64_t>(base + offset, 0);
    if (target > static_cast<std::int64_t>(kLargestPosition)) return false;
    position_ = static_cast<std::size_t>(target);
    return true;
}

int32_t TI_API CMemoryStream::writeCallback(TI_STREAM* stream, const void* data, int32_t count) {
    CMemoryStream* self = owner(stream);
    return self ? self->write(data, count) : 0;
}

int32_t TI_API CMemoryStream::readCallback(TI_STREAM* stream, void* buffer, int32_t count) {
    CMemoryStream* self = owner(stream);
    return self ? self->read(buffer, count) : 0;
}

int32_t TI_API CMemoryStream::seekCallback(TI_STREAM* stream, int32_t offset, int32_t origin) {
    CMemoryStream* self = owner(stream);
    return self && self->seek(offset, origin) ? 1 : 0;
}

int32_t TI_API CMemoryStream::tellCallback(TI_STREAM* stream) {
    CMemoryStream* self = owner(stream);
    return self && self->buffer_ ? static_cast<int32_t>(self->position_) : -1;
}

int32_t TI_API CMemoryStream::sizeCallback(TI_STREAM* stream) {
    CMemoryStream* self = owner(stream);
    return self && self->buffer_ ? static_cast<int32_t>(self->length_) : -1;
}
