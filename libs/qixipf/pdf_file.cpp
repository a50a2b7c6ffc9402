#include "libs/qixipf/pdf_file.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

#include "libs/qixipf/qixipf.h"

namespace qixipf {

namespace {

// A page that shows one image has a handful of operators; anything longer
// is some other page, and is not decoded further.
constexpr std::size_t kMaxOneImageContent = 4096;

// The filters of a stream, in order; nullopt when they are malformed.
std::optional<std::vector<std::string>> filters(QPDFObjectHandle dict) {
    QPDFObjectHandle f = dict.getKey("/Filter");
    if (f.isNull()) return std::vector<std::string>{};
    if (f.isName()) return std::vector<std::string>{f.getName()};
    if (!f.isArray()) return std::nullopt;
    std::vector<std::string> out;
    for (auto& item : f.getArrayAsVector()) {
        if (!item.isName()) return std::nullopt;
        out.push_back(item.getName());
    }
    return out;
}

// Collects a stream's data up to a limit and stops the decoding there, so
// a small stream that inflates without end costs no more than the limit.
class LimitedSink : public Pipeline {
public:
    explicit LimitedSink(std::size_t limit) : Pipeline("qixipf sink", nullptr), limit_(limit) {}

    void write(unsigned char const* data, size_t len) override {
        const std::size_t room = limit_ - data_.size();
        data_.append(reinterpret_cast<const char*>(data), std::min(len, room));
        if (len > room) {
            full_ = true;
            throw std::length_error("stream data beyond the limit");
        }
    }
    void finish() override {}

    bool full() const { return full_; }
    std::string& data() { return data_; }

private:
    std::size_t limit_;
    std::string data_;
    bool full_ = false;
};

// Hands what the writer makes straight to the caller's sink; remembers
// that the sink refused bytes, so that failure is told from a document qpdf
// cannot write. It never throws: qpdf's writer calls finish() again from
// destructors while it unwinds, where an exception ends the process. Once
// refused, the rest is dropped and the failure is reported after write().
class SinkPipeline : public Pipeline {
public:
    explicit SinkPipeline(const PdfFile::ByteSink& sink) : Pipeline("qixipf sink", nullptr), sink_(sink) {}

    void write(unsigned char const* data, size_t len) override {
        if (failed_ || len == 0) return;
        try {
            if (!sink_(data, len)) failed_ = true;
        } catch (...) {
            failed_ = true;
        }
    }
    void finish() override {}

    bool failed() const { return failed_; }

private:
    const PdfFile::ByteSink& sink_;
    bool failed_ = false;
};

// The stream's data, decoded (generalized filters only) or raw. Empty
// optional when it cannot be had, or when decoding was asked for and qpdf
// cannot decode every filter (it would hand over the encoded bytes);
// `full` tells that the limit was reached.
std::optional<std::string> streamData(QPDFObjectHandle stream, bool decode, std::size_t limit, bool& full) {
    LimitedSink sink(limit);
    bool ok = false;
    bool decoded = false;
    try {
        ok = stream.pipeStreamData(&sink, &decoded, 0, decode ? qpdf_dl_generalized : qpdf_dl_none, true, false);
    } catch (const std::length_error&) {
        ok = sink.full();
    }
    full = sink.full();
    if (!ok && !full) return std::nullopt;
    if (decode && !decoded && !filters(stream.getDict()).value_or(std::vector<std::string>{"?"}).empty())
        return std::nullopt;
    return std::move(sink.data());
}

std::string number(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4);
    std::string s(buf, r.ptr);
    // "612.0000" -> "612"
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

// The few operators a one-image page uses.
struct ContentOp {
    std::string op;
    std::vector<double> numbers;
    std::string name;
};

// Splits a short content stream into operators; nullopt at anything but
// numbers, names, comments and the operators q, Q, cm and Do.
std::optional<std::vector<ContentOp>> simpleOperators(std::string_view text) {
    std::vector<ContentOp> ops;
    ContentOp pending;
    std::size_t i = 0;
    auto isSpace = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; };
    auto isDelimiter = [&](char c) {
        return isSpace(c) || c == '/' || c == '%' || c == '[' || c == ']' || c == '(' || c == ')' || c == '<' ||
               c == '>' || c == '{' || c == '}';
    };
    while (i < text.size()) {
        const char c = text[i];
        if (isSpace(c)) {
            ++i;
        } else if (c == '%') {
            while (i < text.size() && text[i] != '\n' && text[i] != '\r') ++i;
        } else if (c == '/') {
            const std::size_t start = ++i;
            while (i < text.size() && !isDelimiter(text[i])) ++i;
            pending.name = std::string(text.substr(start, i - start));
        } else if (c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9')) {
            const std::size_t start = i;
            while (i < text.size() && !isDelimiter(text[i])) ++i;
            std::string token(text.substr(start, i - start));
            if (token[0] == '+') token.erase(0, 1);
            double v = 0;
            const auto r = std::from_chars(token.data(), token.data() + token.size(), v);
            if (token.empty() || r.ec != std::errc() || r.ptr != token.data() + token.size()) return std::nullopt;
            pending.numbers.push_back(v);
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            const std::size_t start = i;
            while (i < text.size() && !isDelimiter(text[i])) ++i;
            pending.op = std::string(text.substr(start, i - start));
            if (pending.op != "q" && pending.op != "Q" && pending.op != "cm" && pending.op != "Do")
                return std::nullopt;
            ops.push_back(std::move(pending));
            pending = {};
        } else {
            return std::nullopt;
        }
    }
    return ops;
}

bool near(double a, double b, double tolerance) { return std::fabs(a - b) <= tolerance; }

// 1 or 3 for grey and RGB (device or ICC based), 0 for anything else.
int colourComponents(QPDFObjectHandle cs) {
    if (cs.isName()) {
        const std::string n = cs.getName();
        return n == "/DeviceGray" ? 1 : n == "/DeviceRGB" ? 3 : 0;
    }
    if (cs.isArray() && cs.getArrayNItems() == 2 && cs.getArrayItem(0).isName() &&
        cs.getArrayItem(0).getName() == "/ICCBased" && cs.getArrayItem(1).isStream()) {
        QPDFObjectHandle n = cs.getArrayItem(1).getDict().getKey("/N");
        if (n.isInteger() && (n.getIntValue() == 1 || n.getIntValue() == 3)) return n.getIntValueAsInt();
    }
    return 0;
}

bool generalizedFilter(const std::string& f) {
    return f == "/FlateDecode" || f == "/Fl" || f == "/LZWDecode" || f == "/LZW" || f == "/ASCIIHexDecode" ||
           f == "/AHx" || f == "/ASCII85Decode" || f == "/A85" || f == "/RunLengthDecode" || f == "/RL";
}

// True for a /Decode array of [0 1]s (or none); inverted for grey [1 0].
bool plainDecode(QPDFObjectHandle decode, int components, bool& inverted) {
    inverted = false;
    if (decode.isNull()) return true;
    if (!decode.isArray() || decode.getArrayNItems() != 2 * components) return false;
    std::vector<double> v;
    for (auto& item : decode.getArrayAsVector()) {
        if (!item.isNumber()) return false;
        v.push_back(item.getNumericValue());
    }
    bool identity = true;
    for (int c = 0; c < components; ++c) identity = identity && v[2 * c] == 0 && v[2 * c + 1] == 1;
    if (identity) return true;
    if (components == 1 && v[0] == 1 && v[1] == 0) {
        inverted = true;
        return true;
    }
    return false;
}

[[noreturn]] void rethrowAsPdfError(int fallback) {
    try {
        throw;
    } catch (const PdfError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw PdfError(QIX_ERR_MEMORY, "out of memory");
    } catch (const std::exception& e) {
        throw PdfError(fallback, e.what());
    }
}

}  // namespace

bool readJpegFrame(std::string_view data, JpegFrame& frame) {
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(data[at]); };
    if (data.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8) return false;
    std::size_t i = 2;
    while (i + 4 <= data.size()) {
        if (byte(i) != 0xFF) return false;
        const unsigned marker = byte(i + 1);
        if (marker == 0xFF) {  // fill byte
            ++i;
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            i += 2;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) return false;  // scan or end before any frame
        const std::size_t length = (std::size_t{byte(i + 2)} << 8) | byte(i + 3);
        if (length < 2 || i + 2 + length > data.size()) return false;
        const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (length < 8) return false;
            frame.precision = byte(i + 4);
            frame.height = (byte(i + 5) << 8) | byte(i + 6);
            frame.width = (byte(i + 7) << 8) | byte(i + 8);
            frame.components = byte(i + 9);
            return true;
        }
        i += 2 + length;
    }
    return false;
}

PdfFile::PdfFile() = default;
PdfFile::~PdfFile() = default;

void PdfFile::openMemory(std::string bytes) {
    pdf_.reset();
    source_ = std::move(bytes);
    sourceCurrent_ = true;
    try {
        auto pdf = std::make_unique<QPDF>();
        pdf->setSuppressWarnings(true);
        pdf->processMemoryFile("document", source_.data(), source_.size());
        // A document without a page tree is no document.
        QPDFPageDocumentHelper(*pdf).getAllPages();
        pdf_ = std::move(pdf);
    } catch (...) {
        source_.clear();
        rethrowAsPdfError(QIX_ERR_FORMAT);
    }
}

void PdfFile::create() {
    pdf_.reset();
    source_.clear();
    sourceCurrent_ = false;
    try {
        auto pdf = std::make_unique<QPDF>();
        pdf->setSuppressWarnings(true);
        pdf->emptyPDF();
        pdf_ = std::move(pdf);
    } catch (...) {
        rethrowAsPdfError(QIX_ERR_MEMORY);
    }
}

void PdfFile::close() {
    pdf_.reset();
    source_.clear();
    sourceCurrent_ = false;
}

int PdfFile::pageCount() {
    if (!pdf_) throw PdfError(QIX_ERR_NO_DOCUMENT, "no document");
    try {
        return static_cast<int>(std::min<std::size_t>(QPDFPageDocumentHelper(*pdf_).getAllPages().size(), INT32_MAX));
    } catch (...) {
        rethrowAsPdfError(QIX_ERR_FORMAT);
    }
}

void PdfFile::addJpegPage(std::string jpeg, double widthPt, double heightPt) {
    if (!pdf_) throw PdfError(QIX_ERR_NO_DOCUMENT, "no document");
    JpegFrame frame;
    if (!readJpegFrame(jpeg, frame) || frame.width <= 0 || frame.height <= 0 || frame.precision != 8)
        throw PdfError(QIX_ERR_TOOLKIT, "the toolkit's JPEG data has no usable frame");
    const char* colourSpace = frame.components == 1 ? "/DeviceGray" : frame.components == 3 ? "/DeviceRGB" : nullptr;
    if (!colourSpace) throw PdfError(QIX_ERR_TOOLKIT, "JPEG data that is neither grey nor RGB");
    if (!(widthPt > 0) || !(heightPt > 0)) throw PdfError(QIX_ERR_ARGUMENT, "page without size");
    try {
        QPDF& pdf = *pdf_;
        QPDFObjectHandle image = pdf.newStream();
        QPDFObjectHandle dict = image.getDict();
        dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
        dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
        dict.replaceKey("/Width", QPDFObjectHandle::newInteger(frame.width));
        dict.replaceKey("/Height", QPDFObjectHandle::newInteger(frame.height));
        dict.replaceKey("/ColorSpace", QPDFObjectHandle::newName(colourSpace));
        dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
        // The JPEG file goes in as it is, whether just encoded or the
        // image's own: no second encode. Handed to the writer when it
        // gets there rather than copied into a qpdf buffer now.
        auto data = std::make_shared<const std::string>(std::move(jpeg));
        image.replaceStreamData(
            [data](Pipeline* out) {
                out->write(reinterpret_cast<const unsigned char*>(data->data()), data->size());
                out->finish();
            },
            QPDFObjectHandle::newName("/DCTDecode"), QPDFObjectHandle::newNull());

        const std::string w = number(widthPt), h = number(heightPt);
        QPDFObjectHandle contents = pdf.newStream("q\n" + w + " 0 0 " + h + " 0 0 cm\n/Im0 Do\nQ\n");

        QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
        xobjects.replaceKey("/Im0", image);
        QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
        resources.replaceKey("/XObject", xobjects);
        QPDFObjectHandle page = QPDFObjectHandle::newDictionary();
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        page.replaceKey("/MediaBox", QPDFObjectHandle::parse("[0 0 " + w + " " + h + "]"));
        page.replaceKey("/Resources", resources);
        page.replaceKey("/Contents", contents);
        QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(page)), false);
        sourceCurrent_ = false;
    } catch (...) {
        rethrowAsPdfError(QIX_ERR_FORMAT);
    }
}

void PdfFile::writeWith(QPDFWriter& writer) {
    // The same document gives the same bytes.
    writer.setDeterministicID(true);
    writer.write();
}

std::string PdfFile::write() {
    if (!pdf_) throw PdfError(QIX_ERR_NO_DOCUMENT, "no document");
    try {
        QPDFWriter writer(*pdf_);
        writer.setOutputMemory();
        writeWith(writer);
        const std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
        return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
    } catch (...) {
        rethrowAsPdfError(QIX_ERR_FORMAT);
    }
}

void PdfFile::writeTo(const ByteSink& sink) {
    if (!pdf_) throw PdfError(QIX_ERR_NO_DOCUMENT, "no document");
    SinkPipeline pipeline(sink);
    try {
        QPDFWriter writer(*pdf_);
        writer.setOutputPipeline(&pipeline);
        writeWith(writer);
    } catch (...) {
        rethrowAsPdfError(pipeline.failed() ? QIX_ERR_IO : QIX_ERR_FORMAT);
    }
    if (pipeline.failed()) throw PdfError(QIX_ERR_IO, "the file took no more bytes");
}

std::string_view PdfFile::sourceBytes() {
    if (!sourceCurrent_) {
        source_ = write();
        sourceCurrent_ = true;
    }
    return source_;
}

PagePicture PdfFile::picture(int index) {
    if (!pdf_) throw PdfError(QIX_ERR_NO_DOCUMENT, "no document");
    PagePicture none;
    try {
        std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(*pdf_).getAllPages();
        if (index < 0 || static_cast<std::size_t>(index) >= pages.size())
            throw PdfError(QIX_ERR_ARGUMENT, "page index out of range");
        QPDFPageObjectHelper& page = pages[static_cast<std::size_t>(index)];

        const QPDFObjectHandle::Rectangle box = page.getCropBox().getArrayAsRectangle();
        const double x0 = std::min(box.llx, box.urx), y0 = std::min(box.lly, box.ury);
        const double boxW = std::fabs(box.urx - box.llx), boxH = std::fabs(box.ury - box.lly);
        none.pageWidthPt = boxW;
        none.pageHeightPt = boxH;
        if (!(boxW > 0) || !(boxH > 0)) return none;

        QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
        if (rotate.isInteger() && rotate.getIntValue() % 360 != 0) return none;

        // The content: short, and only q/Q, one cm that fills the page and
        // one Do.
        QPDFObjectHandle contents = page.getObjectHandle().getKey("/Contents");
        std::vector<QPDFObjectHandle> parts;
        if (contents.isStream()) {
            parts.push_back(contents);
        } else if (contents.isArray()) {
            parts = contents.getArrayAsVector();
        }
        std::string text;
        for (auto& part : parts) {
            if (!part.isStream()) return none;
            bool full = false;
            auto data = streamData(part, true, kMaxOneImageContent - text.size(), full);
            if (!data || full) return none;
            text += *data;
            text += '\n';
        }
        const auto ops = simpleOperators(text);
        if (!ops) return none;
        const ContentOp* cm = nullptr;
        const ContentOp* draw = nullptr;
        for (const ContentOp& op : *ops) {
            if (op.op == "cm") {
                if (cm || draw || op.numbers.size() != 6) return none;
                cm = &op;
            } else if (op.op == "Do") {
                if (draw || op.name.empty()) return none;
                draw = &op;
            }
        }
        if (!cm || !draw) return none;
        const auto& m = cm->numbers;
        const double tolW = boxW * 0.01 + 0.5, tolH = boxH * 0.01 + 0.5;
        if (!near(m[0], boxW, tolW) || !near(m[3], boxH, tolH) || !near(m[1], 0, 1e-6) || !near(m[2], 0, 1e-6) ||
            !near(m[4], x0, tolW) || !near(m[5], y0, tolH))
            return none;

        QPDFObjectHandle resources = page.getAttribute("/Resources", false);
        if (!resources.isDictionary()) return none;
        QPDFObjectHandle xobjects = resources.getKey("/XObject");
        if (!xobjects.isDictionary()) return none;
        QPDFObjectHandle image = xobjects.getKey("/" + draw->name);
        if (!image.isStream()) return none;
        QPDFObjectHandle dict = image.getDict();
        QPDFObjectHandle subtype = dict.getKey("/Subtype");
        if (!subtype.isName() || subtype.getName() != "/Image") return none;
        if (dict.hasKey("/SMask") || dict.hasKey("/Mask")) return none;
        QPDFObjectHandle imageMask = dict.getKey("/ImageMask");
        if (imageMask.isBool() && imageMask.getBoolValue()) return none;
        QPDFObjectHandle wObj = dict.getKey("/Width"), hObj = dict.getKey("/Height"),
                         bpcObj = dict.getKey("/BitsPerComponent");
        if (!wObj.isInteger() || !hObj.isInteger() || !bpcObj.isInteger()) return none;
        const long long width = wObj.getIntValue(), height = hObj.getIntValue(), bpc = bpcObj.getIntValue();
        if (width <= 0 || height <= 0 || width > 1'000'000 || height > 1'000'000 || width * height > kMaxPagePixels)
            return none;
        const int components = colourComponents(dict.getKey("/ColorSpace"));
        if (components == 0) return none;
        bool inverted = false;
        if (!plainDecode(dict.getKey("/Decode"), components, inverted)) return none;
        const auto chain = filters(dict);
        if (!chain) return none;

        PagePicture picture = none;
        picture.width = static_cast<int>(width);
        picture.height = static_cast<int>(height);
        picture.components = components;

        if (chain->size() == 1 && ((*chain)[0] == "/DCTDecode" || (*chain)[0] == "/DCT")) {
            if (bpc != 8 || inverted) return none;
            bool full = false;
            auto data = streamData(image, false, kMaxFileBytes, full);
            JpegFrame frame;
            if (!data || full || !readJpegFrame(*data, frame) || frame.width != width || frame.height != height ||
                frame.components != components || frame.precision != 8)
                return none;
            picture.kind = PagePicture::Kind::Jpeg;
            picture.bitsPerComponent = 8;
            picture.data = std::move(*data);
            return picture;
        }

        if (!std::all_of(chain->begin(), chain->end(), generalizedFilter)) return none;
        if (!(bpc == 8 || (bpc == 1 && components == 1))) return none;
        const long long rowBytes = (width * components * bpc + 7) / 8;
        const std::size_t expected = static_cast<std::size_t>(rowBytes * height);
        bool full = false;
        auto data = streamData(image, true, expected, full);
        if (!data || data->size() < expected) return none;
        picture.kind = PagePicture::Kind::Pixels;
        picture.bitsPerComponent = static_cast<int>(bpc);
        picture.inverted = inverted;
        picture.data = std::move(*data);
        return picture;
    } catch (...) {
        rethrowAsPdfError(QIX_ERR_FORMAT);
    }
}

}  // namespace qixipf
