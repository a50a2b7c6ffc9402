#include "viewer/image_view_obj.h"

#include <cmath>

#include "output/memory_stream.h"
#include "platform/path.h"
#include "platform/text.h"

void CImageViewObj::ReleaseImages() {
    display_.reset();
    middle_.reset();
    full_.reset();
}

ScopedImage CImageViewObj::LoadPdfPage(std::u16string_view path, int index) const {
    if (!pdf_) return {};
    CMultiPDF::Document doc = pdf_->CreateIF();
    if (!doc) return {};
    const std::u16string zpath(path);
    if (doc.open(zpath.c_str()) != 0) return {};
    const int count = doc.pageCount();
    if (index < 0) index = 0;
    if (index >= count) return {};
    CMemoryStream stream;
    if (doc.writePage(index, stream.descriptor()) <= 0) return {};
    const auto bytes = stream.bytes();
    return ScopedImage(timage::ti_LoadFromMem(bytes.data(), static_cast<int>(bytes.size())));
}

ScopedImage CImageViewObj::LoadFromFile(std::u16string_view path, int index) const {
    if (platform::isPdfPath(path)) return LoadPdfPage(path, index);
    const std::u16string zpath(path);
    return ScopedImage(timage::ti_LoadImageEx(zpath.c_str(), index));
}

bool CImageViewObj::Fit(ScopedImage image, bool keepSource, int boxWidth, int boxHeight) {
    // When the source must stay (it is the full image) it is only borrowed
    // here, and a display image that equals it is an independent copy.
    const TI_IMAGE source = keepSource ? image.release() : image.get();
    display_.reset();
    middle_.reset();
    if (!source) return false;
    const TI_IMAGE_INFO info = imageLayout(source);
    if (info.width <= 0 || info.height <= 0) return false;
    double scale = 1.0;
    if (boxWidth > 0 || boxHeight > 0) {
        const double sx = boxWidth == 0 ? 1.0 : static_cast<double>(boxWidth) / info.width;
        const double sy = boxHeight == 0 ? 1.0 : static_cast<double>(boxHeight) / info.height;
        scale = sy > sx ? sx : sy;
    }
    if (scale >= 1.0) {
        display_ = keepSource ? ScopedImage(timage::ti_CloneImage(source)) : std::move(image);
        scale_ = 1.0;
    } else {
        const int w = static_cast<int>(scale * info.width + 0.5);
        const int h = static_cast<int>(scale * info.height + 0.5);
        ScopedImage fitted(timage::ti_CreateImage(w, h, info.pixelFormat));
        if (!fitted || timage::ti_Resize(source, fitted.get(), TI_INTER_LINEAR) != TI_OK) return false;
        display_ = std::move(fitted);
        scale_ = scale;
    }
    if (!display_) return false;
    info_ = imageInfo(display_.get());
    return true;
}

bool CImageViewObj::Open(std::u16string_view path, int boxWidth, int boxHeight, int index) {
    ReleaseImages();
    // A cut path would name another file.
    if (path.size() > platform::kMaxPathUnits) return false;
    if (!Fit(LoadFromFile(path, index), false, boxWidth, boxHeight)) return false;
    index_ = index;
    path_ = std::u16string(path);
    return true;
}

TI_IMAGE CImageViewObj::FullImage() {
    if (full_) return full_.get();
    if (path_.empty()) return nullptr;
    if (platform::isPdfPath(path_)) {
        if (!pdf_) return nullptr;
        CMultiPDF::Document doc = pdf_->CreateIF();
        if (!doc || doc.open(path_.c_str()) != 0) return nullptr;
        if (index_ < 0 || index_ >= doc.pageCount()) return nullptr;
        full_.reset(doc.pageImage(index_));
    } else {
        TI_FILE_INFO fileInfo{};
        fileInfo.size = static_cast<int32_t>(sizeof(fileInfo));
        if (timage::ti_GetImageInfo(path_.c_str(), &fileInfo) != TI_OK) return nullptr;
        if (index_ < 0 || index_ >= fileInfo.pageCount) return nullptr;
        full_.reset(timage::ti_LoadImageEx(path_.c_str(), index_));
    }
    return full_.get();
}

TI_IMAGE CImageViewObj::ImageAt(int level) {
    if (level < kZoomFit || level > kZoomActual) return nullptr;
    if (std::fabs(scale_ - 1.0) < 1e-6 || level == kZoomFit) return display_.get();
    if (level == kZoomActual) return FullImage();
    if (middle_) return middle_.get();
    TI_IMAGE full = FullImage();
    if (!full) return nullptr;
    const TI_IMAGE_INFO info = imageInfo(full);
    const double m = scale_ + (1.0 - scale_) / 2.0;
    const int w = static_cast<int>(m * info.width);
    const int h = static_cast<int>(m * info.height);
    ScopedImage middle(timage::ti_CreateImage(w, h, info.pixelFormat));
    if (!middle || timage::ti_Resize(full, middle.get(), TI_INTER_LINEAR) != TI_OK) return nullptr;
    middle_ = std::move(middle);
    return middle_.get();
}

ScopedImage CImageViewObj::ReplaceFullImage(ScopedImage image) {
    FullImage();
    ScopedImage old = std::move(full_);
    full_ = std::move(image);
    return old;
}

bool CImageViewObj::RebuildDisplay() {
    if (!full_) {
        const std::u16string path = path_;
        return Open(path, kDisplayBoxWidth, kDisplayBoxHeight, index_);
    }
    ScopedImage source(full_.get());
    return Fit(std::move(source), true, kDisplayBoxWidth, kDisplayBoxHeight);
}
