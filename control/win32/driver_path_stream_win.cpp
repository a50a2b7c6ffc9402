#include "control/win32/driver_path_stream_win.h"

#include <algorithm>
#include <array>

namespace docivaocx::stream {

namespace {

void put16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
void put32(std::string& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}
std::uint16_t get16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t get32(const unsigned char* p) {
    return get16(p) | (static_cast<std::uint32_t>(get16(p + 2)) << 16);
}

// IStream::Read may hand back less than asked and still succeed; only no
// progress at all means the stream has ended.
HRESULT readExactly(IStream& stream, void* into, ULONG size) {
    auto* at = static_cast<unsigned char*>(into);
    while (size > 0) {
        ULONG got = 0;
        const HRESULT hr = stream.Read(at, size, &got);
        if (FAILED(hr)) return hr;
        if (got == 0) return kTruncated;
        at += got;
        size -= got;
    }
    return S_OK;
}

}  // namespace

std::uint64_t sizeFor(std::size_t units) { return kHeaderBytes + 4 + 2ull * units; }

HRESULT write(IStream& stream, std::u16string_view driverPath) {
    if (driverPath.size() > kMaxUnits) return kDamaged;
    std::string bytes;
    try {
        const auto units = static_cast<std::uint32_t>(driverPath.size());
        bytes.reserve(static_cast<std::size_t>(sizeFor(units)));
        put16(bytes, kMajorVersion);
        put16(bytes, kMinorVersion);
        put32(bytes, 4 + 2 * units);
        put32(bytes, units);
        for (const char16_t c : driverPath) put16(bytes, static_cast<std::uint16_t>(c));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    const char* at = bytes.data();
    auto left = static_cast<ULONG>(bytes.size());
    while (left > 0) {
        ULONG written = 0;
        const HRESULT hr = stream.Write(at, left, &written);
        if (FAILED(hr)) return hr;
        if (written == 0) return STG_E_WRITEFAULT;
        at += written;
        left -= written;
    }
    return S_OK;
}

HRESULT read(IStream& stream, std::u16string& driverPath) {
    unsigned char header[kHeaderBytes + 4];
    HRESULT hr = readExactly(stream, header, kHeaderBytes);
    if (FAILED(hr)) return hr;
    const std::uint16_t major = get16(header);
    if (major > kMajorVersion) return kNewerVersion;
    if (major < kMajorVersion) return kDamaged;
    const std::uint32_t body = get32(header + 4);
    if (body < 4) return kDamaged;
    hr = readExactly(stream, header + kHeaderBytes, 4);
    if (FAILED(hr)) return hr;
    const std::uint32_t units = get32(header + kHeaderBytes);
    if (units > kMaxUnits || 2ull * units > body - 4ull) return kDamaged;

    std::u16string text;
    try {
        text.resize(units);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    std::array<unsigned char, 512> chunk;
    for (std::uint32_t done = 0; done < units;) {
        const std::uint32_t take = std::min<std::uint32_t>(units - done, chunk.size() / 2);
        hr = readExactly(stream, chunk.data(), 2 * take);
        if (FAILED(hr)) return hr;
        for (std::uint32_t i = 0; i < take; ++i) text[done + i] = static_cast<char16_t>(get16(chunk.data() + 2 * i));
        done += take;
    }
    // What a later minor version appended: read through it, not seeked
    // over, so that a body cut short is seen as such.
    for (std::uint32_t rest = body - 4 - 2 * units; rest > 0;) {
        const std::uint32_t take = std::min<std::uint32_t>(rest, chunk.size());
        hr = readExactly(stream, chunk.data(), take);
        if (FAILED(hr)) return hr;
        rest -= take;
    }
    driverPath.swap(text);
    return S_OK;
}

}  // namespace docivaocx::stream
