// DriverPath in a container's stream (IPersistStreamInit): the control's
// one persistent property, exchange version 1.0.
//
// Layout, every number little-endian:
//
//   offset  size  field
//   0       2     major version, 1
//   2       2     minor version, 0
//   4       4     body size in bytes: everything after these 8 bytes
//   8       4     n, the length of DriverPath in UTF-16 units
//   12      2n    DriverPath in UTF-16, no terminator
//
// The body size lets a later minor version append fields: this reader
// takes what it knows and steps over the rest of the body, so the stream
// is left just after the control's data in every case (a container may
// keep other objects' data behind it). A later major version is a format
// this reader does not know and is refused.
//
// Thread safety: the control's window thread, like every COM call on it.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace docivaocx::stream {

inline constexpr std::uint16_t kMajorVersion = 1;
inline constexpr std::uint16_t kMinorVersion = 0;
inline constexpr std::uint32_t kHeaderBytes = 8;
// No file path is longer; a longer length can only be damage.
inline constexpr std::uint32_t kMaxUnits = 32767;

// What Load answers for a stream it cannot take. The stream ended before
// the data did:
inline const HRESULT kTruncated = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
// Written by a later major version ("produced with a newer version"):
inline constexpr HRESULT kNewerVersion = STG_E_OLDDLL;
// A length that cannot be (major version 0, a body too small for its
// string, a string longer than kMaxUnits):
inline const HRESULT kDamaged = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

// The number of bytes write() puts into a stream for a path of units.
std::uint64_t sizeFor(std::size_t units);

// S_OK with the stream just after the data, or the stream's own error.
HRESULT write(IStream& stream, std::u16string_view driverPath);

// S_OK and driverPath set; otherwise one of the results above or the
// stream's error, and driverPath untouched. Never reads beyond the body.
HRESULT read(IStream& stream, std::u16string& driverPath);

}  // namespace docivaocx::stream
