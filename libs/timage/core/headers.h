// What an encoded file is, read from its first bytes, and for BMP, PNG and
// GIF the facts ti_GetImageInfo reports, read from the headers alone. The
// same walk bounds what a decoder will allocate before it runs.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "libs/timage/timage.h"

namespace timage {

// TI_FORMAT_* from the signature; TI_FORMAT_UNKNOWN when none matches.
int sniffFormat(const std::uint8_t* data, std::size_t size);

// Fills info for a BMP, PNG or GIF (format as sniffed). TI_ERR_FORMAT for
// damaged headers, TI_ERR_MEMORY when the picture (for a GIF: its frames
// together) is beyond the limits.
int readHeaderInfo(int format, const std::uint8_t* data, std::size_t size, TI_FILE_INFO& info);

// The format a file extension asks for (".jpg", case ignored), else
// TI_FORMAT_UNKNOWN.
int formatFromExtension(const char16_t* path);

}  // namespace timage
