#include "libs/timage/core/codec.h"

#include <algorithm>
#include <limits>

#include "libs/timage/core/headers.h"
#include "libs/timage/core/limits.h"

namespace timage {

int describeData(const SharedBytes& bytes, TI_FILE_INFO& info) {
    const int format = sniffFormat(bytes->data(), bytes->size());
    switch (format) {
    case TI_FORMAT_BMP:
    case TI_FORMAT_PNG:
    case TI_FORMAT_GIF: return readHeaderInfo(format, bytes->data(), bytes->size(), info);
    case TI_FORMAT_JPEG:
    case TI_FORMAT_TIFF:
        info.format = format;
        return backend::probe(format, bytes, info);
    default: return TI_ERR_FORMAT;
    }
}

int loadData(const SharedBytes& bytes, int page, ImagePtr& out) {
    out.reset();
    if (page < 0) return TI_ERR_ARGUMENT;
    const int format = sniffFormat(bytes->data(), bytes->size());
    switch (format) {
    case TI_FORMAT_BMP:
    case TI_FORMAT_PNG:
    case TI_FORMAT_GIF: {
        // The header walk bounds what the decoder will allocate.
        TI_FILE_INFO info{};
        if (const int rc = readHeaderInfo(format, bytes->data(), bytes->size(), info); rc != TI_OK) return rc;
        if (page != 0) return TI_ERR_ARGUMENT;
        // Their decoder holds a 32-bit copy of the picture beside ours.
        if (!withinLimits(info.width, info.height, kDecoderBytesPerPixel)) return TI_ERR_MEMORY;
        return backend::decode(format, bytes, 0, out);
    }
    case TI_FORMAT_JPEG:
        if (page != 0) return TI_ERR_ARGUMENT;
        return backend::decode(format, bytes, 0, out);
    case TI_FORMAT_TIFF: return backend::decode(format, bytes, page, out);
    default: return TI_ERR_FORMAT;
    }
}

int readFileShared(const char16_t* path, SharedBytes& out) {
    auto bytes = std::make_shared<Bytes>();
    if (const int rc = backend::readFile(path, *bytes); rc != TI_OK) return rc;
    out = std::move(bytes);
    return TI_OK;
}

int loadFile(const char16_t* path, int page, ImagePtr& out) {
    SharedBytes bytes;
    if (const int rc = readFileShared(path, bytes); rc != TI_OK) return rc;
    return loadData(bytes, page, out);
}

int readStream(TI_STREAM* stream, Bytes& out) {
    out.clear();
    if (!stream || stream->kind != TI_STREAM_CALLBACK || stream->size != static_cast<int32_t>(sizeof(TI_STREAM)) ||
        !stream->read)
        return TI_ERR_ARGUMENT;
    constexpr int32_t kChunk = 1 << 16;
    for (;;) {
        if (out.size() > kMaxEncodedBytes) return TI_ERR_MEMORY;
        const std::size_t at = out.size();
        out.resize(at + kChunk);
        const int32_t n = stream->read(stream, out.data() + at, kChunk);
        if (n < 0 || n > kChunk) {
            out.clear();
            return TI_ERR_IO;
        }
        out.resize(at + static_cast<std::size_t>(n));
        if (n == 0) break;
    }
    return out.empty() ? TI_ERR_FORMAT : TI_OK;
}

int writeStream(TI_STREAM* stream, const Bytes& bytes) {
    if (!stream || stream->kind != TI_STREAM_CALLBACK || stream->size != static_cast<int32_t>(sizeof(TI_STREAM)) ||
        !stream->write)
        return TI_ERR_ARGUMENT;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto n = static_cast<int32_t>(std::min<std::size_t>(bytes.size() - at, 1u << 30));
        if (stream->write(stream, bytes.data() + at, n) != n) return TI_ERR_IO;
        at += static_cast<std::size_t>(n);
    }
    return TI_OK;
}

bool isCompression(int value) {
    return value == TI_COMPRESSION_NONE || value == TI_COMPRESSION_CCITT_G4 || value == TI_COMPRESSION_LZW ||
           value == TI_COMPRESSION_JPEG || value == TI_COMPRESSION_DEFLATE;
}

int applyParams(const TI_PARAM* params, int count, SaveOptions& options) {
    if (count < 0 || (count > 0 && !params)) return TI_ERR_ARGUMENT;
    for (int i = 0; i < count; ++i) {
        const int value = params[i].value.intValue;
        switch (params[i].id) {
        case TI_PARAM_COMPRESSION:
            if (!isCompression(value)) return TI_ERR_ARGUMENT;
            options.compression = value;
            break;
        case TI_PARAM_JPEG_QUALITY:
            if (value < 1 || value > 100) return TI_ERR_ARGUMENT;
            options.quality = value;
            break;
        default: return TI_ERR_ARGUMENT;
        }
    }
    return TI_OK;
}

}  // namespace timage
