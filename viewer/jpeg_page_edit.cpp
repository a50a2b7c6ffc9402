#include "viewer/jpeg_page_edit.h"

#include <functional>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "viewer/document_writer.h"
#include "viewer/viewer_document.h"

namespace jpeg_edit {

namespace {

using jpeg_lossless::Turn;

// Far beyond any scanned page (a 600 dpi A4 colour page at quality 100 is
// about 40 MB); a larger file is left to the pixel path.
constexpr std::uint64_t kMaxJpegBytes = 512ull << 20;

using Bytes = std::shared_ptr<const std::string>;

Bytes readJpeg(const std::u16string& path) {
    std::string bytes;
    if (!platform::readFile(path, bytes, kMaxJpegBytes) || !jpeg_lossless::layoutOf(bytes)) return nullptr;
    return std::make_shared<const std::string>(std::move(bytes));
}

// The page shows what its file now holds: its full image is decoded from
// the file when next needed, and its display image is made from the file
// (one reduced decode) rather than turned in memory, whose rounding may
// differ from the decoder's on the turned data.
void showFile(CImageViewObj& page) {
    page.ReleaseFullImage();
    page.RebuildDisplay();
}

// Encodes image over the file at path through a temporary file of ours,
// as every other writer of the viewer does.
bool encodeOver(const std::u16string& path, TI_IMAGE image, int quality) {
    const std::u16string temporary = temporaryPathFor(path);
    if (temporary.empty()) return false;
    if (timage::ti_SaveImage2(temporary.c_str(), image, TI_COMPRESSION_JPEG, quality, 0) != TI_OK) {
        platform::deleteFile(temporary);
        return false;
    }
    if (platform::moveFile(temporary, path)) return true;
    platform::deleteFile(temporary);
    return false;
}

// The quality an encode of this file's picture is made at: its own, so an
// edit costs no more than one generation; a file whose tables cannot be
// read keeps the documents' quality.
int qualityFor(const std::string& jpeg) {
    const int quality = jpeg_lossless::estimateQuality(jpeg);
    return quality > 0 ? quality : kDocumentJpegQuality;
}

ScopedImage decode(const std::string& jpeg) {
    if (jpeg.size() > static_cast<std::size_t>(0x7FFFFFFF)) return {};
    return ScopedImage(timage::ti_LoadFromMem(jpeg.data(), static_cast<int>(jpeg.size())));
}

// The picture turned in memory: a quarter turn to the right, then a flip
// or mirror, gives the two diagonal turns.
ScopedImage turnedPicture(TI_IMAGE source, Turn turn) {
    int angle = 0;  // ti_Orientate's: counter-clockwise
    int flip = -1;  // ti_Flip's mode
    switch (turn) {
    case Turn::None: break;
    case Turn::Mirror: flip = 1; break;
    case Turn::Flip: flip = 0; break;
    case Turn::Half: angle = 180; break;
    case Turn::Right: angle = 270; break;
    case Turn::Left: angle = 90; break;
    case Turn::Transpose: angle = 270, flip = 1; break;
    case Turn::Transverse: angle = 270, flip = 0; break;
    }
    const TI_IMAGE_INFO info = imageLayout(source);
    if (info.width <= 0) return {};
    const bool quarter = angle == 90 || angle == 270;
    ScopedImage turned(timage::ti_CreateImage(quarter ? info.height : info.width, quarter ? info.width : info.height,
                                              info.pixelFormat));
    if (!turned) return {};
    const int done = angle != 0 ? timage::ti_Orientate(source, turned.get(), angle)
                                : timage::ti_CopyRect(source, turned.get(), 0, 0, -1);
    if (done != TI_OK) return {};
    if (flip >= 0 && timage::ti_Flip(turned.get(), turned.get(), flip) != TI_OK) return {};
    timage::ti_SetDpi(turned.get(), quarter ? info.yDpi : info.xDpi, quarter ? info.xDpi : info.yDpi);
    return turned;
}

// Writes the page as origin says it lies: the first file itself, or that
// file turned on its compressed data, or - where no lossless turn exists
// for its block grid - its picture turned and encoded once at its quality.
bool writeOrigin(const std::u16string& path, const JpegOrigin& origin) {
    const std::string& first = *origin.bytes;
    if (origin.turn == Turn::None) return platform::writeFile(path, first);
    const auto layout = jpeg_lossless::layoutOf(first);
    std::string turned;
    if (layout && jpeg_lossless::turnIsLossless(*layout, origin.turn) && jpeg_lossless::turn(first, origin.turn, turned))
        return platform::writeFile(path, turned);
    ScopedImage picture = decode(first);
    if (!picture) return false;
    ScopedImage result = turnedPicture(picture.get(), origin.turn);
    return result && encodeOver(path, result.get(), qualityFor(first));
}

bool encodeCropped(const std::u16string& path, const std::string& jpeg, int left, int top, int width, int height) {
    ScopedImage picture = decode(jpeg);
    const TI_IMAGE_INFO info = imageLayout(picture.get());
    if (info.width <= 0) return false;
    ScopedImage cropped(timage::ti_CreateImage(width, height, info.pixelFormat));
    if (!cropped || timage::ti_CopyRect(picture.get(), cropped.get(), left, top, -1) != TI_OK) return false;
    timage::ti_SetDpi(cropped.get(), info.xDpi, info.yDpi);
    return encodeOver(path, cropped.get(), qualityFor(jpeg));
}

std::size_t hashOf(const std::string& bytes) { return std::hash<std::string>{}(bytes); }

// How the page lies against the file it last wrote; the file as it is now
// when the page has written nothing yet or the file changed since.
JpegOrigin originFor(const CImageViewObj& page, const Bytes& current) {
    const std::size_t now = hashOf(*current);
    JpegOrigin origin = page.LosslessOrigin();
    if (!origin.bytes || origin.written != now) origin = {current, Turn::None, now};
    return origin;
}

// The hash of what the file holds after a write.
std::size_t writtenHash(const std::u16string& path) {
    std::string bytes;
    return platform::readFile(path, bytes, kMaxJpegBytes) ? hashOf(bytes) : 0;
}

}  // namespace

bool appliesTo(const ViewerDocument& document) {
    if (!jpeg_lossless::available() || document.pages.size() != 1) return false;
    const std::u16string extension = platform::extensionOf(document.pages.front()->Path());
    return text::equalsIgnoreAsciiCase(extension, u".jpg") || text::equalsIgnoreAsciiCase(extension, u".jpeg");
}

std::optional<jpeg_lossless::Layout> layoutOf(const CImageViewObj& page) {
    std::string bytes;
    if (!platform::readFile(page.Path(), bytes, kMaxJpegBytes)) return std::nullopt;
    return jpeg_lossless::layoutOf(bytes);
}

Outcome turnPage(CImageViewObj& page, Turn turn, Undo& undo) {
    const Bytes current = readJpeg(page.Path());
    if (!current) return Outcome::NotJpeg;
    const JpegOrigin before = originFor(page, current);
    JpegOrigin after{before.bytes, jpeg_lossless::compose(before.turn, turn)};
    if (!writeOrigin(page.Path(), after)) return Outcome::Failed;
    after.written = writtenHash(page.Path());
    undo = Undo{current, before};
    page.SetLosslessOrigin(after);
    showFile(page);
    return Outcome::Written;
}

Outcome cropPage(CImageViewObj& page, int left, int top, int width, int height, Undo& undo) {
    const Bytes current = readJpeg(page.Path());
    if (!current) return Outcome::NotJpeg;
    const auto layout = jpeg_lossless::layoutOf(*current);
    if (left < 0 || top < 0 || width <= 0 || height <= 0 || left + width > layout->width ||
        top + height > layout->height)
        return Outcome::Failed;
    std::string cut;
    const bool onGrid = left % layout->blockWidth == 0 && top % layout->blockHeight == 0;
    const bool written = onGrid && jpeg_lossless::crop(*current, left, top, width, height, cut)
                             ? platform::writeFile(page.Path(), cut)
                             : encodeCropped(page.Path(), *current, left, top, width, height);
    if (!written) return Outcome::Failed;
    undo = Undo{current, originFor(page, current)};
    // The cut file is where the page's next turns start from.
    page.SetLosslessOrigin({});
    showFile(page);
    return Outcome::Written;
}

bool restorePage(CImageViewObj& page, const Undo& undo) {
    if (!undo || !platform::writeFile(page.Path(), *undo.file)) return false;
    JpegOrigin origin = undo.origin;
    origin.written = hashOf(*undo.file);
    page.SetLosslessOrigin(std::move(origin));
    showFile(page);
    return true;
}

}  // namespace jpeg_edit
