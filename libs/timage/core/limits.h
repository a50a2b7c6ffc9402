// Bounds on what the toolkit accepts, checked before anything is allocated,
// so damaged or hostile files cannot make it reserve unbounded memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace timage {

// Longest side of any image, in pixels.
inline constexpr int kMaxSide = 30000;
// Largest pixel buffer, and largest working buffer of a decoder.
inline constexpr std::uint64_t kMaxImageBytes = std::uint64_t{1} << 30;
// Largest encoded input (a file, a stream, a memory block).
inline constexpr std::uint64_t kMaxEncodedBytes = std::uint64_t{1} << 30;

// Working bytes a pixel for decoders that keep their own full copy of the
// picture beside ours (Leptonica's, and giflib's frames).
inline constexpr int kDecoderBytesPerPixel = 8;
// Largest single working allocation of a codec library (a TIFF strip,
// JPEG coefficient buffers).
inline constexpr std::uint64_t kMaxCodecAllocation = std::uint64_t{1} << 29;

// Bytes from one row to the next for images this toolkit makes.
inline std::uint64_t alignedStride(int width, int bytesPerPixel) {
    return (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bytesPerPixel) + 3) & ~std::uint64_t{3};
}

// True when a width x height image of bytesPerPixel (the decoder's own
// working depth, which may exceed the result's) stays within the bounds.
inline bool withinLimits(std::int64_t width, std::int64_t height, int bytesPerPixel) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return false;
    return alignedStride(static_cast<int>(width), bytesPerPixel) * static_cast<std::uint64_t>(height) <= kMaxImageBytes;
}

}  // namespace timage
