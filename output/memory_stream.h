// CMemoryStream: a growing memory buffer behind a toolkit stream descriptor
// (TI_STREAM, kind 3), so a library can write a page into memory and the
// component can decode it from there.
//
// The buffer starts at 1 MiB (never under 128 bytes); a write past its
// capacity grows it to the length needed plus 128 bytes. Positions follow
// a file's rules: a seek may go past the end, and a write there fills the
// gap with zeros; a seek to a negative position lands on 0. Without a buffer
// (its allocation failed) tell and size report -1 and nothing is read or
// written.
//
// The descriptor points back at its owner, so the stream is neither copied
// nor moved; it must outlive every use of descriptor().
//
// Thread safety: one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "libs/timage/timage.h"

class CMemoryStream {
public:
    static constexpr std::size_t kDefaultCapacity = std::size_t{1} << 20;
    static constexpr std::size_t kMinimumCapacity = 128;
    static constexpr std::size_t kGrowthSlack = 128;

    explicit CMemoryStream(std::size_t initialCapacity = kDefaultCapacity);
    CMemoryStream(const CMemoryStream&) = delete;
    CMemoryStream& operator=(const CMemoryStream&) = delete;

    // The descriptor to hand to a library.
    TI_STREAM* descriptor() { return &descriptor_; }

    bool hasBuffer() const { return buffer_ != nullptr; }
    // The bytes written so far (up to the furthest position written).
    std::span<const std::uint8_t> bytes() const { return {buffer_.get(), length_}; }
    std::size_t capacity() const { return capacity_; }
    std::size_t position() const { return position_; }

private:
    static int32_t TI_API writeCallback(TI_STREAM* stream, const void* data, int32_t count);
    static int32_t TI_API readCallback(TI_STREAM* stream, void* buffer, int32_t count);
    static int32_t TI_API seekCallback(TI_STREAM* stream, int32_t offset, int32_t origin);
    static int32_t TI_API tellCallback(TI_STREAM* stream);
    static int32_t TI_API sizeCallback(TI_STREAM* stream);
    static CMemoryStream* owner(TI_STREAM* stream);

    int32_t write(const void* data, int32_t count);
    int32_t read(void* buffer, int32_t count);
    bool seek(int32_t offset, int32_t origin);
    bool reserve(std::size_t needed);

    TI_STREAM descriptor_{};
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t length_ = 0;
    std::size_t position_ = 0;
};
