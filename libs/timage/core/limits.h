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

// What a JPEG decode may cost, measured in the samples it puts out, for the
// bytes it was given. JPEG codes every 8 x 8 block of every component in
// at least about one bit, so a header that declares far more blocks than
// its data could hold belongs to a truncated or forged file: decoding it
// would spend seconds filling a huge picture with nothing. A decode is
// allowed kFreeDecodeSamples (a reduced decode of the largest picture
// stays near it) plus kDecodeSamplesPerByte for every encoded byte, which
// is 64 blocks a byte: eight times what the leanest Huffman coding of a
// blank page needs, so no real file comes near the bound.
inline constexpr std::uint64_t kFreeDecodeSamples = std::uint64_t{1} << 24;
inline constexpr std::uint64_t kDecodeSamplesPerByte = 64 * 64;

inline std::uint64_t decodeSampleBudget(std::uint64_t encodedBytes) {
    return kFreeDecodeSamples + encodedBytes * kDecodeSamplesPerByte;
}

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
