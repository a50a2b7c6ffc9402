#include "libs/timage/win32/container.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "libs/timage/core/limits.h"

namespace timage::win32 {
namespace {

// ---- JPEG markers -----------------------------------------------------------

struct JpegHeader {
    int width = 0, height = 0, components = 0;
    int xDpi = 0, yDpi = 0;
    int h[2] = {0, 0}, v[2] = {0, 0};  // sampling factors of the first two components
};

int be16(const std::uint8_t* p) { return (p[0] << 8) | p[1]; }

bool isFrameMarker(int m) { return m >= 0xc0 && m <= 0xcf && m != 0xc4 && m != 0xc8 && m != 0xcc; }

int readJpegHeader(const Bytes& bytes, JpegHeader& out) {
    const std::uint8_t* d = bytes.data();
    const std::size_t n = bytes.size();
    if (n < 4 || d[0] != 0xff || d[1] != 0xd8) return TI_ERR_FORMAT;
    std::size_t at = 2;
    for (;;) {
        // Markers may be padded with any number of 0xff bytes.
        while (at < n && d[at] != 0xff) ++at;
        while (at < n && d[at] == 0xff) ++at;
        if (at >= n) return TI_ERR_FORMAT;
        const int marker = d[at++];
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8)) continue;  // no length
        if (marker == 0xd9 || marker == 0xda) return TI_ERR_FORMAT;          // no frame before the data
        if (at + 2 > n) return TI_ERR_FORMAT;
        const std::size_t length = static_cast<std::size_t>(be16(d + at));
        if (length < 2 || at + length > n) return TI_ERR_FORMAT;
        const std::uint8_t* body = d + at + 2;
        const std::size_t size = length - 2;
        if (marker == 0xe0 && size >= 12 && std::memcmp(body, "JFIF\0", 5) == 0) {
            const int unit = body[7], x = be16(body + 8), y = be16(body + 10);
            if (x > 0 && y > 0 && unit == 1) {
                out.xDpi = x;
                out.yDpi = y;
            } else if (x > 0 && y > 0 && unit == 2) {  // dots per centimetre
                out.xDpi = static_cast<int>(x * 2.54 + 0.5);
                out.yDpi = static_cast<int>(y * 2.54 + 0.5);
            }
        } else if (isFrameMarker(marker)) {
            if (size < 6) return TI_ERR_FORMAT;
            out.height = be16(body + 1);
            out.width = be16(body + 3);
            out.components = body[5];
            if (out.width == 0 || out.height == 0 || (out.components != 1 && out.components != 3 && out.components != 4) ||
                size < 6 + 3 * static_cast<std::size_t>(out.components))
                return TI_ERR_FORMAT;
            for (int c = 0; c < std::min(2, out.components); ++c) {
                out.h[c] = body[7 + 3 * c] >> 4;
                out.v[c] = body[7 + 3 * c] & 15;
            }
            return TI_OK;
        }
        at += length;
    }
}

// ---- TIFF directories -------------------------------------------------------

enum : std::uint16_t {
    kTagWidth = 256,
    kTagHeight = 257,
    kTagBitsPerSample = 258,
    kTagCompression = 259,
    kTagPhotometric = 262,
    kTagStripOffsets = 273,
    kTagOrientation = 274,
    kTagSamplesPerPixel = 277,
    kTagRowsPerStrip = 278,
    kTagStripByteCounts = 279,
    kTagXResolution = 282,
    kTagYResolution = 283,
    kTagPlanarConfig = 284,
    kTagFreeOffsets = 288,
    kTagResolutionUnit = 296,
    kTagColorMap = 320,
    kTagTileOffsets = 324,
    kTagSubIfds = 330,
    kTagExtraSamples = 338,
    kTagJpegInterchange = 513,
    kTagYCbCrSubsampling = 530,
    kTagExifIfd = 34665,
    kTagGpsIfd = 34853,
    kTagInteropIfd = 40965,
};

enum : std::uint16_t { kShort = 3, kLong = 4, kRational = 5, kIfd = 13 };

constexpr std::uint32_t kMaxPages = 65535;
constexpr std::uint32_t kMaxEntries = 4096;

std::uint32_t typeSize(std::uint16_t type) {
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;  // unknown: left as it is
    }
}

class TiffView {
public:
    explicit TiffView(const Bytes& bytes) : d_(bytes.data()), n_(bytes.size()) {}

    bool header(std::uint32_t& firstIfd) {
        if (n_ < 8) return false;
        if (std::memcmp(d_, "II*\0", 4) == 0) little_ = true;
        else if (std::memcmp(d_, "MM\0*", 4) == 0) little_ = false;
        else return false;
        return u32(4, firstIfd);
    }
    bool little() const { return little_; }

    bool u16(std::uint64_t at, std::uint32_t& v) const {
        if (at + 2 > n_) return false;
        const std::uint8_t* p = d_ + at;
        v = little_ ? (p[0] | (p[1] << 8)) : ((p[0] << 8) | p[1]);
        return true;
    }
    bool u32(std::uint64_t at, std::uint32_t& v) const {
        if (at + 4 > n_) return false;
        const std::uint8_t* p = d_ + at;
        v = little_ ? (std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24))
                    : ((std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]});
        return true;
    }

    struct Entry {
        std::uint16_t tag = 0, type = 0;
        std::uint32_t count = 0;
        std::uint64_t field = 0;   // where the value or its offset is stored
        std::uint64_t value = 0;   // where the value is
        bool outOfLine = false;
    };

    // The entries of the directory at offset, and the offset of its link
    // to the next directory.
    bool directory(std::uint32_t offset, std::vector<Entry>& entries, std::uint64_t& link) const {
        std::uint32_t count = 0;
        if (!u16(offset, count) || count > kMaxEntries) return false;
        entries.clear();
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t at = std::uint64_t{offset} + 2 + 12 * std::uint64_t{i};
            Entry e;
            std::uint32_t tag = 0, type = 0;
            if (!u16(at, tag) || !u16(at + 2, type) || !u32(at + 4, e.count)) return false;
            e.tag = static_cast<std::uint16_t>(tag);
            e.type = static_cast<std::uint16_t>(type);
            e.field = at + 8;
            e.value = e.field;
            const std::uint64_t size = std::uint64_t{typeSize(e.type)} * e.count;
            if (size > 4) {
                std::uint32_t where = 0;
                if (!u32(e.field, where) || where + size > n_) return false;
                e.value = where;
                e.outOfLine = true;
            }
            entries.push_back(e);
        }
        link = std::uint64_t{offset} + 2 + 12 * std::uint64_t{count};
        std::uint32_t ignored = 0;
        return u32(link, ignored);
    }

    // Value i of a BYTE, SHORT or LONG entry.
    bool integer(const Entry& e, std::uint32_t i, std::uint32_t& v) const {
        if (i >= e.count) return false;
        switch (e.type) {
        case 1:
            if (e.value + i >= n_) return false;
            v = d_[e.value + i];
            return true;
        case kShort: return u16(e.value + 2 * std::uint64_t{i}, v);
        case kLong:
        case kIfd: return u32(e.value + 4 * std::uint64_t{i}, v);
        default: return false;
        }
    }
    bool rational(const Entry& e, double& v) const {
        std::uint32_t num = 0, den = 0;
        if (e.type != kRational || e.count < 1 || !u32(e.value, num) || !u32(e.value + 4, den) || den == 0) return false;
        v = static_cast<double>(num) / den;
        return true;
    }

private:
    const std::uint8_t* d_;
    std::size_t n_;
    bool little_ = true;
};

const TiffView::Entry* find(const std::vector<TiffView::Entry>& entries, std::uint16_t tag) {
    for (const auto& e : entries)
        if (e.tag == tag) return &e;
    return nullptr;
}

int dpiOf(double value, std::uint32_t unit) {
    if (unit == 3) value *= 2.54;
    else if (unit != 2) return 0;
    if (!(value > 0)) return 0;
    return static_cast<int>(std::min(65535.0, std::floor(value + 0.5)));
}

// ---- Writing little-endian TIFF ------------------------------------------------

void put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct NewEntry {
    std::uint16_t tag, type;
    std::uint32_t count;
    Bytes value;  // little-endian
};

NewEntry shorts(std::uint16_t tag, std::initializer_list<std::uint32_t> values) {
    NewEntry e{tag, kShort, static_cast<std::uint32_t>(values.size()), Bytes(values.size() * 2)};
    std::size_t i = 0;
    for (std::uint32_t v : values) put16(e.value, 2 * i++, v);
    return e;
}
NewEntry longValue(std::uint16_t tag, std::uint32_t v) {
    NewEntry e{tag, kLong, 1, Bytes(4)};
    put32(e.value, 0, v);
    return e;
}
NewEntry rationalValue(std::uint16_t tag, std::uint32_t numerator) {
    NewEntry e{tag, kRational, 1, Bytes(8)};
    put32(e.value, 0, numerator);
    put32(e.value, 4, 1);
    return e;
}

}  // namespace

int jpegFacts(const Bytes& bytes, TI_FILE_INFO& info) {
    JpegHeader h;
    if (const int rc = readJpegHeader(bytes, h); rc != TI_OK) return rc;
    info.format = TI_FORMAT_JPEG;
    info.width = h.width;
    info.height = h.height;
    info.pixelFormat = h.components == 1 ? TI_GRAY8 : TI_BGR24;
    info.pageCount = 1;
    info.xDpi = h.xDpi;
    info.yDpi = h.yDpi;
    info.compression = 0;
    return withinLimits(h.width, h.height, 3) ? TI_OK : TI_ERR_MEMORY;
}

namespace {

// The entries of page `page` and the number of pages.
int pageEntries(const TiffView& view, std::uint32_t first, int page, std::vector<TiffView::Entry>& chosen,
                std::uint32_t& pages) {
    // Walk the whole chain for the page count; a chain that loops back
    // ends where it would repeat.
    std::unordered_set<std::uint32_t> seen;
    std::vector<TiffView::Entry> entries;
    std::uint32_t offset = first;
    pages = 0;
    while (offset != 0 && pages < kMaxPages && seen.insert(offset).second) {
        std::uint64_t link = 0;
        if (!view.directory(offset, entries, link)) {
            if (pages == 0) return TI_ERR_FORMAT;
            break;  // a damaged tail: the pages before it still count
        }
        if (pages == static_cast<std::uint32_t>(page)) chosen = entries;
        ++pages;
        if (!view.u32(link, offset)) break;
    }
    return static_cast<std::uint32_t>(page) < pages ? TI_OK : TI_ERR_ARGUMENT;
}

}  // namespace

int tiffFacts(const Bytes& bytes, int page, TI_FILE_INFO& info) {
    if (page < 0) return TI_ERR_ARGUMENT;
    TiffView view(bytes);
    std::uint32_t first = 0;
    if (!view.header(first) || first < 8) return TI_ERR_FORMAT;
    std::vector<TiffView::Entry> chosen;
    std::uint32_t pages = 0;
    if (const int rc = pageEntries(view, first, page, chosen, pages); rc != TI_OK) return rc;

    auto integer = [&](std::uint16_t tag, std::uint32_t fallback, std::uint32_t index = 0) {
        std::uint32_t v = fallback;
        const TiffView::Entry* e = find(chosen, tag);
        if (e && !view.integer(*e, index, v)) v = fallback;
        return v;
    };
    const std::uint32_t width = integer(kTagWidth, 0), height = integer(kTagHeight, 0);
    if (width == 0 || height == 0) return TI_ERR_FORMAT;
    const std::uint32_t samples = integer(kTagSamplesPerPixel, 1);
    const std::uint32_t compression = integer(kTagCompression, 1);
    const std::uint32_t photometric = integer(kTagPhotometric, samples == 1 ? 1 : 2);
    const std::uint32_t extra = integer(kTagExtraSamples, 0);
    const bool alpha = find(chosen, kTagExtraSamples) && (extra == 1 || extra == 2) && compression != 7;
    int format = TI_BGR24;
    if (photometric <= 1) {
        format = alpha ? TI_BGRA32 : TI_GRAY8;
    } else if (photometric == 3) {
        // A palette of greys is a grey picture.
        const TiffView::Entry* map = find(chosen, kTagColorMap);
        bool grey = map && map->count % 3 == 0 && map->count > 0;
        for (std::uint32_t i = 0, third = map ? map->count / 3 : 0; grey && i < third; ++i) {
            std::uint32_t r = 0, g = 0, b = 0;
            grey = view.integer(*map, i, r) && view.integer(*map, i + third, g) && view.integer(*map, i + 2 * third, b) &&
                   r == g && g == b;
        }
        format = grey ? TI_GRAY8 : TI_BGR24;
    } else if (alpha) {
        format = TI_BGRA32;
    }
    const std::uint32_t unit = integer(kTagResolutionUnit, 2);
    double x = 0, y = 0;
    const TiffView::Entry* xe = find(chosen, kTagXResolution);
    const TiffView::Entry* ye = find(chosen, kTagYResolution);
    info.format = TI_FORMAT_TIFF;
    info.width = static_cast<int>(std::min<std::uint32_t>(width, 0x7fffffff));
    info.height = static_cast<int>(std::min<std::uint32_t>(height, 0x7fffffff));
    info.pixelFormat = format;
    info.pageCount = static_cast<int>(pages);
    info.xDpi = xe && view.rational(*xe, x) ? dpiOf(x, unit) : 0;
    info.yDpi = ye && view.rational(*ye, y) ? dpiOf(y, unit) : 0;
    info.compression = static_cast<int>(compression);
    return withinLimits(width, height, format) ? TI_OK : TI_ERR_MEMORY;
}

int wrapJpegInTiff(const Bytes& jpeg, int xDpi, int yDpi, Bytes& out) {
    out.clear();
    JpegHeader h;
    if (const int rc = readJpegHeader(jpeg, h); rc != TI_OK) return rc;
    if (h.components == 4 || jpeg.size() > 0xffff0000u) return TI_ERR_FORMAT;
    const bool grey = h.components == 1;
    std::vector<NewEntry> entries;
    entries.push_back(longValue(kTagWidth, static_cast<std::uint32_t>(h.width)));
    entries.push_back(longValue(kTagHeight, static_cast<std::uint32_t>(h.height)));
    entries.push_back(grey ? shorts(kTagBitsPerSample, {8}) : shorts(kTagBitsPerSample, {8, 8, 8}));
    entries.push_back(shorts(kTagCompression, {TI_COMPRESSION_JPEG}));
    entries.push_back(shorts(kTagPhotometric, {grey ? 1u : 6u}));  // min-is-black or YCbCr
    entries.push_back(longValue(kTagStripOffsets, 0));            // set below
    entries.push_back(shorts(kTagOrientation, {1}));
    entries.push_back(shorts(kTagSamplesPerPixel, {grey ? 1u : 3u}));
    entries.push_back(longValue(kTagRowsPerStrip, static_cast<std::uint32_t>(h.height)));
    entries.push_back(longValue(kTagStripByteCounts, static_cast<std::uint32_t>(jpeg.size())));
    if (xDpi > 0 && yDpi > 0) {
        entries.push_back(rationalValue(kTagXResolution, static_cast<std::uint32_t>(xDpi)));
        entries.push_back(rationalValue(kTagYResolution, static_cast<std::uint32_t>(yDpi)));
    }
    entries.push_back(shorts(kTagPlanarConfig, {1}));
    if (xDpi > 0 && yDpi > 0) entries.push_back(shorts(kTagResolutionUnit, {2}));
    if (!grey) {
        // The tag must state the sampling the stream itself uses.
        if (h.h[1] == 0 || h.v[1] == 0 || h.h[0] % h.h[1] != 0 || h.v[0] % h.v[1] != 0) return TI_ERR_FORMAT;
        entries.push_back(shorts(kTagYCbCrSubsampling, {static_cast<std::uint32_t>(h.h[0] / h.h[1]),
                                                        static_cast<std::uint32_t>(h.v[0] / h.v[1])}));
    }

    const std::size_t ifdSize = 2 + 12 * entries.size() + 4;
    std::size_t extraAt = 8 + ifdSize;
    std::size_t extraSize = 0;
    for (const NewEntry& e : entries)
        if (e.value.size() > 4) extraSize += (e.value.size() + 1) & ~std::size_t{1};
    const std::size_t stripAt = extraAt + extraSize;
    out.assign(stripAt, 0);
    std::memcpy(out.data(), "II*\0", 4);
    put32(out, 4, 8);
    put16(out, 8, static_cast<std::uint32_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        NewEntry& e = entries[i];
        if (e.tag == kTagStripOffsets) put32(e.value, 0, static_cast<std::uint32_t>(stripAt));
        const std::size_t at = 10 + 12 * i;
        put16(out, at, e.tag);
        put16(out, at + 2, e.type);
        put32(out, at + 4, e.count);
        if (e.value.size() <= 4) {
            std::memcpy(out.data() + at + 8, e.value.data(), e.value.size());
        } else {
            put32(out, at + 8, static_cast<std::uint32_t>(extraAt));
            std::memcpy(out.data() + extraAt, e.value.data(), e.value.size());
            extraAt += (e.value.size() + 1) & ~std::size_t{1};
        }
    }
    out.insert(out.end(), jpeg.begin(), jpeg.end());
    return TI_OK;
}

int relocateTiffPage(const Bytes& tiff, std::uint32_t at, Bytes& block, std::uint32_t& ifdAt) {
    block.clear();
    TiffView view(tiff);
    std::uint32_t first = 0;
    if (at < 8 || at % 2 != 0 || !view.header(first) || !view.little() || first < 8) return TI_ERR_FORMAT;
    if (std::uint64_t{at} + tiff.size() > 0xffffffffu) return TI_ERR_MEMORY;
    const std::uint32_t delta = at - 8;
    block.assign(tiff.begin() + 8, tiff.end());
    // Block index of a file offset of the page data.
    auto place = [](std::uint64_t offset) { return static_cast<std::size_t>(offset - 8); };
    auto shift = [&](std::uint64_t where) {
        std::uint32_t v = 0;
        if (!view.u32(where, v) || v < 8) return false;
        put32(block, place(where), v + delta);
        return true;
    };

    std::unordered_set<std::uint32_t> seen;
    auto relocate = [&](auto& self, std::uint32_t offset, int depth, bool page) -> bool {
        if (depth > 4 || !seen.insert(offset).second) return false;
        std::vector<TiffView::Entry> entries;
        std::uint64_t link = 0;
        if (!view.directory(offset, entries, link)) return false;
        for (const TiffView::Entry& e : entries) {
            if (e.outOfLine && !shift(e.field)) return false;
            const bool data = e.tag == kTagStripOffsets || e.tag == kTagTileOffsets || e.tag == kTagFreeOffsets ||
                              e.tag == kTagJpegInterchange;
            const bool directories = e.tag == kTagSubIfds || e.tag == kTagExifIfd || e.tag == kTagGpsIfd ||
                                     e.tag == kTagInteropIfd;
            if (!data && !directories) continue;
            for (std::uint32_t i = 0; i < e.count; ++i) {
                std::uint32_t v = 0;
                if (!view.integer(e, i, v)) return false;
                if (e.type == kShort) {
                    if (std::uint64_t{v} + delta > 0xffff || directories) return false;
                    put16(block, place(e.value + 2 * std::uint64_t{i}), v + delta);
                } else if (e.type == kLong || e.type == kIfd) {
                    put32(block, place(e.value + 4 * std::uint64_t{i}), v + delta);
                    if (directories && !self(self, v, depth + 1, false)) return false;
                } else {
                    return false;
                }
            }
        }
        if (page) {
            put32(block, place(link), 0);  // this page ends the chain
        } else {
            std::uint32_t next = 0;
            view.u32(link, next);
            if (next != 0) {
                if (!shift(link) || !self(self, next, depth, false)) return false;
            }
        }
        return true;
    };
    if (!relocate(relocate, first, 0, true)) {
        block.clear();
        return TI_ERR_FORMAT;
    }
    ifdAt = first + delta;
    return TI_OK;
}


int tiffJpegStrips(const Bytes& bytes, int page, std::vector<Bytes>& strips, std::uint32_t& rowsPerStrip) {
    strips.clear();
    TiffView view(bytes);
    std::uint32_t first = 0;
    if (page < 0 || !view.header(first) || first < 8) return TI_ERR_FORMAT;
    std::vector<TiffView::Entry> chosen;
    std::uint32_t pages = 0;
    if (const int rc = pageEntries(view, first, page, chosen, pages); rc != TI_OK) return rc;
    const TiffView::Entry* offsets = find(chosen, kTagStripOffsets);
    const TiffView::Entry* counts = find(chosen, kTagStripByteCounts);
    const TiffView::Entry* rows = find(chosen, kTagRowsPerStrip);
    const TiffView::Entry* height = find(chosen, kTagHeight);
    std::uint32_t h = 0, compression = 0, photometric = 1;
    if (!offsets || !counts || offsets->count != counts->count || offsets->count == 0 || !height ||
        !view.integer(*height, 0, h) || h == 0)
        return TI_ERR_FORMAT;
    if (const TiffView::Entry* c = find(chosen, kTagCompression); !c || !view.integer(*c, 0, compression) || compression != 7)
        return TI_ERR_FORMAT;
    // JPEG data of RGB pages carries no mark a JPEG decoder would honour.
    if (const TiffView::Entry* p = find(chosen, kTagPhotometric); p && view.integer(*p, 0, photometric) && photometric == 2)
        return TI_ERR_NOT_SUPPORTED;
    rowsPerStrip = h;
    if (rows && (!view.integer(*rows, 0, rowsPerStrip) || rowsPerStrip == 0)) return TI_ERR_FORMAT;
    rowsPerStrip = std::min(rowsPerStrip, h);
    if ((std::uint64_t{h} + rowsPerStrip - 1) / rowsPerStrip != offsets->count) return TI_ERR_FORMAT;

    // Tables shared by the strips: SOI, tables, EOI; spliced in front of
    // each strip's own markers.
    Bytes tables;
    if (const TiffView::Entry* t = find(chosen, 347); t && t->count > 4) {
        if (t->value + t->count > bytes.size()) return TI_ERR_FORMAT;
        tables.assign(bytes.begin() + static_cast<std::ptrdiff_t>(t->value),
                      bytes.begin() + static_cast<std::ptrdiff_t>(t->value + t->count - 2));  // without EOI
    }
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < offsets->count; ++i) {
        std::uint32_t at = 0, size = 0;
        if (!view.integer(*offsets, i, at) || !view.integer(*counts, i, size) || size < 4 ||
            std::uint64_t{at} + size > bytes.size())
            return TI_ERR_FORMAT;
        total += tables.size() + size;
        if (total > kMaxEncodedBytes) return TI_ERR_MEMORY;
        const auto begin = bytes.begin() + at;
        Bytes strip;
        if (tables.empty()) {
            strip.assign(begin, begin + size);
        } else {
            strip = tables;
            strip.insert(strip.end(), begin + 2, begin + size);  // the strip's SOI dropped
        }
        strips.push_back(std::move(strip));
    }
    return TI_OK;
}

int extractTiffPage(const Bytes& bytes, int page, Bytes& out) {
    out.clear();
    TiffView view(bytes);
    std::uint32_t first = 0;
    if (page < 0 || !view.header(first) || first < 8) return TI_ERR_FORMAT;
    std::vector<TiffView::Entry> chosen;
    std::uint32_t pages = 0;
    if (const int rc = pageEntries(view, first, page, chosen, pages); rc != TI_OK) return rc;
    // The page's directory offset: walk again to it (pageEntries keeps
    // only its entries).
    std::uint32_t offset = first;
    std::uint64_t link = 0;
    std::vector<TiffView::Entry> entries;
    for (int i = 0;; ++i) {
        if (!view.directory(offset, entries, link)) return TI_ERR_FORMAT;
        if (i == page) break;
        if (!view.u32(link, offset)) return TI_ERR_FORMAT;
    }
    out = bytes;
    auto put = [&](std::uint64_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            const int shift = view.little() ? 8 * i : 24 - 8 * i;
            out[static_cast<std::size_t>(at) + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> shift);
        }
    };
    put(4, offset);
    put(link, 0);
    return TI_OK;
}

}  // namespace timage::win32
