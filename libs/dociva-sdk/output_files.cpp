#include "output_files.h"

#include <optional>

#include "page_processing.h"
#include "pdf_document.h"
#include "platform/file_writer.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"

namespace dociva_sdk {

namespace {

const char16_t* extensionOf(int format) {
    switch (format) {
        case DOCIVA_FORMAT_BMP:
            return u".bmp";
        case DOCIVA_FORMAT_JPEG:
            return u".jpg";
        case DOCIVA_FORMAT_PDF:
        case DOCIVA_FORMAT_MULTI_PDF:
            return u".pdf";
        case DOCIVA_FORMAT_PNG:
            return u".png";
        case DOCIVA_FORMAT_GIF:
            return u".gif";
        default:
            return u".tif";
    }
}

bool isBilevel(const ScanOptions& o) { return o.colour == ColourMode::BlackWhite; }

// Every missing level of folder, outermost first.
bool createFolders(const std::u16string& folder) {
    if (folder.empty()) return false;
    if (platform::isDirectory(folder)) return true;
    std::u16string parent = platform::folderOf(folder);
    while (!parent.empty() && platform::isPathSeparator(parent.back())) parent.pop_back();
    if (!parent.empty() && parent != folder && !platform::isDirectory(parent) && !createFolders(parent)) return false;
    platform::createDirectory(folder);
    return platform::isDirectory(folder);
}

// A file of one byte can be made there: a temporary file of ours (never a
// name someone else holds, never through a link), removed at once.
bool canCreateFileIn(const std::u16string& folder) {
    platform::FileWriter probe;
    const bool ok = probe.begin(platform::joinPath(folder, u"dociva-write-test")) && probe.write("x", 1);
    probe.abandon();
    return ok;
}

}  // namespace

struct OutputFiles::MultiTiff {
    TI_MULTIPAGE writer = nullptr;
    std::u16string temporary;
    std::u16string final;
    ~MultiTiff() {
        if (writer) ti_MultiPageReleaseHandle(&writer);
    }
};

struct OutputFiles::MultiPdf {
    explicit MultiPdf(int quality) : doc(quality) {}
    PdfDocument doc;
    std::u16string final;
};

OutputFiles::OutputFiles(const ScanOptions& options)
    : options_(options), names_(options.fileNamePattern.empty() ? nullptr : options.fileNamePattern.c_str()) {}

OutputFiles::~OutputFiles() = default;

bool OutputFiles::fail(int code) {
    if (error_ == 0) error_ = code;
    return false;
}

std::u16string OutputFiles::safeName(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& c : out) {
        if (c < 0x20 || c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' ||
            c == u'>' || c == u'|')
            c = u'_';
    }
    return out;
}

namespace {

// A name of dots alone (or none) would name a folder.
std::u16string fileBase(std::u16string name) {
    if (name.find_first_not_of(u'.') == std::u16string::npos) name = u"scan" + name;
    return name;
}

}  // namespace

int OutputFiles::nextCounter(const std::vector<std::u16string>& names, std::u16string_view prefix,
                             std::u16string_view suffix) {
    long long highest = 0;
    for (const std::u16string& name : names) {
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        std::size_t i = prefix.size();
        long long value = 0;
        std::size_t digits = 0;
        while (i < name.size() && name[i] >= u'0' && name[i] <= u'9') {
            if (value < 100000000000LL) value = value * 10 + (name[i] - u'0');
            ++i;
            ++digits;
        }
        if (digits == 0 || name.compare(i, suffix.size(), suffix) != 0) continue;
        highest = std::max(highest, value);
    }
    return highest >= 999999999 ? 1 : static_cast<int>(highest + 1);
}

bool OutputFiles::prepare() {
    if (options_.formats.empty()) return fail(kErrorNoFormat);
    if (!createFolders(options_.outputFolder) || !canCreateFileIn(options_.outputFolder))
        return fail(kErrorOutputFolder);
    // What an earlier run killed while it wrote here left behind.
    platform::removeStaleTemporaries(options_.outputFolder);
    return true;
}

std::u16string OutputFiles::nextBaseName(const std::u16string& barcode) {
    // The pattern's expansion gives "Not_Found" for the barcode; a side
    // that has one gets a pattern with its value in the token's place.
    std::optional<CFileNameGenerate> withBarcode;
    if (!barcode.empty()) {
        std::u16string pattern = options_.fileNamePattern;
        pattern.replace(pattern.find(kBarcodeToken), kBarcodeToken.size(), barcode);
        withBarcode.emplace(pattern.c_str());
    }
    CFileNameGenerate& names = withBarcode ? *withBarcode : names_;
    char16_t buffer[platform::kMaxPathUnits + 1] = {};
    bool hasCounter = false;
    const int n = names.Generate(buffer, static_cast<int>(platform::kMaxPathUnits + 1), &hasCounter);
    const std::u16string generated(buffer, static_cast<std::size_t>(n));
    if (!hasCounter) return fileBase(safeName(generated));

    // Where the counter stands: the first unit its example filling changes.
    const std::u16string example = names.Example(generated);
    std::size_t at = 0;
    while (at < generated.size() && at < example.size() && generated[at] == example[at]) ++at;
    const std::u16string place = text::format(u"%%0%dd", names.digits());
    const std::u16string prefix = safeName(generated.substr(0, at));
    const std::u16string suffix =
        at + place.size() <= generated.size() ? safeName(generated.substr(at + place.size())) : u"";
    if (!counterReady_) {
        counterReady_ = true;
        std::vector<std::u16string> existing;
        for (const platform::FileEntry& e : platform::findFiles(platform::joinPath(options_.outputFolder, u"*")))
            if (!e.isDirectory) existing.push_back(e.name);
        counter_ = nextCounter(existing, prefix, suffix);
    }
    const std::u16string number = text::format(place, counter_++);
    return fileBase(prefix + number + suffix);
}

std::u16string OutputFiles::claim(const std::u16string& base, std::u16string_view extension) {
    for (int n = 1;; ++n) {
        const std::u16string name = n == 1 ? base + std::u16string(extension)
                                           : base + text::format(u"_%d", n) + std::u16string(extension);
        const std::u16string path = platform::joinPath(options_.outputFolder, name);
        if (claimed_.count(path) == 0 && !platform::pathExists(path)) {
            claimed_.insert(path);
            return path;
        }
    }
}

bool OutputFiles::writeSingle(TI_IMAGE page, int format, const std::u16string& base, std::size_t side, bool back) {
    const std::u16string path = claim(base, extensionOf(format));
    bool ok = false;
    if (format == DOCIVA_FORMAT_PDF) {
        PdfDocument doc(options_.jpegQuality);
        if (!doc.valid()) return fail(kErrorPdfLibrary);
        // The PDF library saves beside the file and renames it into place
        // only when complete: a failed save leaves nothing.
        ok = doc.addPage(page) && doc.save(path);
    } else if (format == DOCIVA_FORMAT_TIFF_G4 || (format == DOCIVA_FORMAT_TIFF && isBilevel(options_))) {
        ImageOwner bw = bilevel(page, options_.threshold);
        int result = bw ? ti_SaveImage2(path.c_str(), bw.get(), TI_COMPRESSION_CCITT_G4, -1, 0) : TI_ERR_MEMORY;
        // Group 4 is what format 6 asks for, so without it that format
        // fails; a plain TIFF of a black-and-white page may go uncompressed.
        if (result == TI_ERR_NOT_SUPPORTED && format == DOCIVA_FORMAT_TIFF)
            result = ti_SaveImage2(path.c_str(), bw.get(), TI_COMPRESSION_NONE, -1, 0);
        ok = result == TI_OK;
    } else if (format == DOCIVA_FORMAT_TIFF) {
        // Some toolkits (Wine's imaging codecs among them) cannot write LZW;
        // an uncompressed TIFF is still a valid page. A refused save leaves
        // no file behind, so the same name is used again.
        int result = ti_SaveImage2(path.c_str(), page, TI_COMPRESSION_LZW, -1, 0);
        if (result == TI_ERR_NOT_SUPPORTED) result = ti_SaveImage2(path.c_str(), page, TI_COMPRESSION_NONE, -1, 0);
        ok = result == TI_OK;
    } else {
        ok = ti_SaveImage2(path.c_str(), page, TI_COMPRESSION_NONE, -1, 0) == TI_OK;
    }
    if (!ok) return fail(kErrorWriteFile);
    files_.push_back(WrittenFile{path, format, side, back});
    return true;
}

bool OutputFiles::writeSide(TI_IMAGE page, std::size_t sideNumber, bool back) {
    std::u16string barcode;
    if (options_.barcode.wanted) {
        if (const std::optional<std::u16string> value = readBarcode(page, options_.barcode))
            barcode = barcodeNamePart(*value);
    }
    const std::u16string base = nextBaseName(barcode);
    if (firstBase_.empty()) firstBase_ = base;
    for (int format : options_.formats) {
        if (format == DOCIVA_FORMAT_MULTI_TIFF) {
            if (!multiTiff_) {
                multiTiff_ = std::make_unique<MultiTiff>();
                multiTiff_->final = claim(firstBase_, u".tif");
                // Built under a temporary name of ours and moved into place
                // once complete.
                multiTiff_->temporary = platform::reserveTemporaryFor(multiTiff_->final);
                if (multiTiff_->temporary.empty()) return fail(kErrorWriteFile);
                temporaries_.push_back(multiTiff_->temporary);
                multiTiff_->writer = ti_MultiPageCreateHandle(multiTiff_->temporary.c_str());
                if (!multiTiff_->writer) return fail(kErrorWriteFile);
            }
            TI_PARAM param{};
            param.id = TI_PARAM_COMPRESSION;
            param.value.intValue = isBilevel(options_) ? TI_COMPRESSION_CCITT_G4 : TI_COMPRESSION_JPEG;
            if (ti_MultiPageAddImage(multiTiff_->writer, page, &param, 1) != TI_OK) return fail(kErrorWriteFile);
        } else if (format == DOCIVA_FORMAT_MULTI_PDF) {
            if (!multiPdf_) {
                multiPdf_ = std::make_unique<MultiPdf>(options_.jpegQuality);
                if (!multiPdf_->doc.valid()) return fail(kErrorPdfLibrary);
                multiPdf_->final = claim(firstBase_, u".pdf");
            }
            if (!multiPdf_->doc.addPage(page)) return fail(kErrorPdfLibrary);
        } else if (!writeSingle(page, format, base, sideNumber, back)) {
            return false;
        }
    }
    return true;
}

bool OutputFiles::finish() {
    // Multi-page files in the order their formats are listed.
    for (int format : options_.formats) {
        if (format == DOCIVA_FORMAT_MULTI_TIFF && multiTiff_) {
            ti_MultiPageReleaseHandle(&multiTiff_->writer);
            if (ti_Error() != TI_OK || !platform::moveFile(multiTiff_->temporary, multiTiff_->final))
                return fail(kErrorWriteFile);
            files_.push_back(WrittenFile{multiTiff_->final, DOCIVA_FORMAT_MULTI_TIFF, 0, false});
        } else if (format == DOCIVA_FORMAT_MULTI_PDF && multiPdf_) {
            // Saved beside the file and renamed into place when complete.
            if (!multiPdf_->doc.save(multiPdf_->final)) return fail(kErrorWriteFile);
            files_.push_back(WrittenFile{multiPdf_->final, DOCIVA_FORMAT_MULTI_PDF, 0, false});
        }
    }
    return true;
}

void OutputFiles::discard() {
    multiTiff_.reset();
    multiPdf_.reset();
    for (const WrittenFile& f : files_) platform::deleteFile(f.path);
    for (const std::u16string& t : temporaries_)
        if (platform::pathExists(t)) platform::deleteFile(t);
    files_.clear();
}

}  // namespace dociva_sdk
