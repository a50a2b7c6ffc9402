// What the WIC backend reads from and writes into encoded data itself: the
// facts ti_GetImageInfo reports for JPEG and TIFF (WIC hides the TIFF tags
// and invents 96 dpi where a file gives none), the JPEG-in-TIFF page WIC
// cannot write, and the relinking of single-page TIFF data into one
// multi-page file.
//
// Thread safety: pure functions. No Windows types: this is plain parsing.
#pragma once

#include <cstdint>
#include <vector>

#include "libs/timage/core/backend.h"

namespace timage::win32 {

// Width, height, pixel format and resolution of JPEG data; info.pageCount 1.
int jpegFacts(const Bytes& bytes, TI_FILE_INFO& info);

// The facts of page `page` of TIFF data, its page count in info.pageCount.
// TI_ERR_ARGUMENT for a page past the last.
int tiffFacts(const Bytes& bytes, int page, TI_FILE_INFO& info);

// The strips of page `page` of JPEG-compressed TIFF data, each made a
// complete JPEG stream (the page's shared tables put in front), and the
// rows each one holds (the last may hold fewer). For systems whose TIFF
// decoder lacks JPEG: the strips go to the JPEG decoder one by one.
int tiffJpegStrips(const Bytes& bytes, int page, std::vector<Bytes>& strips, std::uint32_t& rowsPerStrip);

// TIFF data whose only page is page `page` of bytes: the same bytes, the
// header pointing at that page and its link to the next cut. For decoders
// that give up on a whole file over one page they cannot read.
int extractTiffPage(const Bytes& bytes, int page, Bytes& out);

// A single-page little-endian TIFF holding one JPEG stream (grey, or the
// YCbCr the stream itself declares) as its only strip.
int wrapJpegInTiff(const Bytes& jpeg, int xDpi, int yDpi, Bytes& out);

// The first page of little-endian TIFF data, moved to start at file
// offset `at` (even, past the 8-byte header): every offset inside it is
// shifted and its chain of pages ends after it. ifdAt receives the file
// offset of the page's directory.
int relocateTiffPage(const Bytes& tiff, std::uint32_t at, Bytes& block, std::uint32_t& ifdAt);

}  // namespace timage::win32
