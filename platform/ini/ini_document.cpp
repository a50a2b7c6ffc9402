#include "platform/ini/ini_document.h"

#include <algorithm>

#include "platform/ini/profile_buffers.h"
#include "platform/text.h"

namespace platform::ini {

namespace {

struct Span {
    std::size_t begin = 0;
    std::size_t size = 0;
};

Span trimmedSpan(std::u16string_view s, std::size_t begin, std::size_t end) {
    while (begin < end && isBlank(s[begin])) ++begin;
    while (end > begin && isBlank(s[end - 1])) --end;
    return {begin, end - begin};
}

std::u16string folded(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) c = text::asciiLower(c);
    return out;
}

bool hasLineBreak(std::u16string_view s) {
    return s.find_first_of(u"\r\n") != std::u16string_view::npos;
}

bool isSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }

}  // namespace

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f'; }

std::u16string_view trimBlanks(std::u16string_view s) {
    const Span span = trimmedSpan(s, 0, s.size());
    return s.substr(span.begin, span.size);
}

// --- parsing ---------------------------------------------------------------

Encoding Document::detectEncoding(std::string_view bytes, std::size_t& markSize) {
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    markSize = 0;
    if (bytes.size() >= 2 && byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
        markSize = 2;
        return Encoding::Utf16LE;
    }
    if (bytes.size() >= 3 && byteAt(0) == 0xEF && byteAt(1) == 0xBB && byteAt(2) == 0xBF) {
        markSize = 3;
        return Encoding::Utf8WithBom;
    }
    if (bytes.size() < 2) return Encoding::Utf8;
    // No text file starts with a zero as its second byte but UTF-16LE
    // without its mark.
    if (byteAt(0) != 0 && byteAt(1) == 0) return Encoding::Utf16LE;
    if ((byteAt(0) == 0xFE && byteAt(1) == 0xFF) || (byteAt(0) == 0 && byteAt(1) != 0)) return Encoding::Foreign;
    return Encoding::Utf8;
}

Document Document::parse(std::string sourceBytes) {
    Document doc;
    if (sourceBytes.size() > kMaxDocumentBytes) {
        doc.encoding_ = Encoding::Foreign;
        return doc;
    }
    doc.source_ = std::move(sourceBytes);
    const std::string_view bytes = doc.source_;
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };

    std::size_t pos = 0;
    doc.encoding_ = detectEncoding(bytes, pos);
    doc.prefixSize_ = pos;

    const bool utf16 = doc.encoding_ == Encoding::Utf16LE;
    std::size_t bodyEnd = bytes.size();
    if (utf16) {
        const std::size_t units = (bytes.size() - pos) / 2;
        doc.strayByte_ = ((bytes.size() - pos) % 2) != 0;
        bodyEnd = pos + units * 2;
        doc.text_.resize(units);
        for (std::size_t i = 0; i < units; ++i)
            doc.text_[i] = static_cast<char16_t>(byteAt(pos + 2 * i) | (byteAt(pos + 2 * i + 1) << 8));
    } else {
        doc.text_ = text::fromUtf8(bytes.substr(pos));
    }
    doc.bodyBegin_ = pos;
    doc.bodyEnd_ = bodyEnd;
    const std::size_t firstBreak = doc.text_.find_first_of(u"\r\n");
    doc.crlf_ = firstBreak != std::u16string::npos && doc.text_[firstBreak] == u'\r' &&
                firstBreak + 1 < doc.text_.size() && doc.text_[firstBreak + 1] == u'\n';

    // Counted first, so the lines take exactly the memory they need.
    std::size_t count = 0;
    doc.splitLines([&](const Line&) { ++count; });
    doc.lines_.reserve(count);
    doc.splitLines([&](const Line& line) { doc.lines_.push_back(line); });
    doc.reindex();
    return doc;
}

// Calls emit for every line of the parsed text in order, runs of blank
// lines, of comments and of lines before the first section joined.
template <typename Emit>
void Document::splitLines(Emit&& emit) const {
    const std::string_view bytes = source_;
    const bool utf16 = encoding_ == Encoding::Utf16LE;
    const std::size_t pos = bodyBegin_;
    const std::size_t bodyEnd = bodyEnd_;
    // Lines are cut on the decoded text. CR and LF bytes decode to CR and LF
    // units one for one and nothing else does, so the n-th break in the text
    // is the n-th break in the bytes; a cursor finds its byte offset.
    const std::u16string& t = text_;
    const std::size_t units = t.size();
    std::size_t lineUnit = 0;
    std::size_t lineByte = pos;
    bool inSection = false;
    // The run being gathered, and the blank lines after a run of comments
    // or of lines before the first section: they join the run when another
    // line of its kind follows, and stay a run of their own otherwise, so
    // that an edit still goes before the blank lines that end a section.
    bool held = false, tailHeld = false;
    Line pending, tail;
    const auto start = [](std::size_t rawBegin, std::size_t rawEnd, bool terminated, std::size_t textBegin,
                          std::size_t textEnd, Kind kind) {
        Line line;
        line.rawBegin = static_cast<std::uint32_t>(rawBegin);
        line.rawSize = static_cast<std::uint32_t>(rawEnd - rawBegin);
        line.textBegin = static_cast<std::uint32_t>(textBegin);
        line.textSize = static_cast<std::uint32_t>(textEnd - textBegin);
        line.kind = kind;
        line.terminated = terminated;
        return line;
    };
    const auto extend = [](Line& line, std::size_t rawEnd, bool terminated, std::size_t textEnd) {
        line.rawSize = static_cast<std::uint32_t>(rawEnd - line.rawBegin);
        line.textSize = static_cast<std::uint32_t>(textEnd - line.textBegin);
        line.terminated = terminated;
    };
    const auto add = [&](std::size_t rawBegin, std::size_t rawEnd, bool terminated, std::size_t textBegin,
                         std::size_t textEnd) {
        const Kind kind = classify(std::u16string_view(t).substr(textBegin, textEnd - textBegin), inSection);
        const bool runs = held && pending.terminated && (pending.kind == Kind::Comment || pending.kind == Kind::Orphan);
        if (kind == Kind::Blank) {
            if (held && pending.kind == Kind::Blank && pending.terminated) {
                extend(pending, rawEnd, terminated, textEnd);
                return;
            }
            if (runs) {
                if (tailHeld)
                    extend(tail, rawEnd, terminated, textEnd);
                else
                    tail = start(rawBegin, rawEnd, terminated, textBegin, textEnd, kind);
                tailHeld = true;
                return;
            }
        } else if (runs && kind == pending.kind && (!tailHeld || tail.terminated)) {
            extend(pending, rawEnd, terminated, textEnd);
            tailHeld = false;
            return;
        }
        if (held) emit(pending);
        if (tailHeld) emit(tail);
        tailHeld = false;
        pending = start(rawBegin, rawEnd, terminated, textBegin, textEnd, kind);
        held = true;
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t c = t[i];
        if (c != u'\n' && c != u'\r') continue;
        const std::size_t breakUnits = (c == u'\r' && i + 1 < units && t[i + 1] == u'\n') ? 2 : 1;
        std::size_t breakByte;
        std::size_t breakBytes;
        if (utf16) {
            breakByte = pos + 2 * i;
            breakBytes = 2 * breakUnits;
        } else {
            breakByte = lineByte;
            while (breakByte < bodyEnd && bytes[breakByte] != '\n' && bytes[breakByte] != '\r') ++breakByte;
            breakBytes = std::min(breakUnits, bodyEnd - breakByte);
        }
        add(lineByte, breakByte + breakBytes, true, lineUnit, i);
        i += breakUnits - 1;
        lineUnit = i + 1;
        lineByte = breakByte + breakBytes;
    }
    if (lineUnit < units || lineByte < bodyEnd) add(lineByte, bodyEnd, false, lineUnit, units);
    if (held) emit(pending);
    if (tailHeld) emit(tail);
}

Document::Kind Document::classify(std::u16string_view t, bool& inSection) const {
    std::size_t p = 0;
    while (p < t.size() && isBlank(t[p])) ++p;
    if (p == t.size()) return Kind::Blank;
    if (t[p] == u';') return Kind::Comment;
    if (t[p] == u'[' && t.rfind(u']') != std::u16string_view::npos) {
        inSection = true;
        return Kind::Header;
    }
    if (!inSection) return Kind::Orphan;
    return t.find(u'=', p) == std::u16string_view::npos ? Kind::Bare : Kind::Entry;
}

Document::Parts Document::partsOf(const Line& line) const {
    const std::u16string_view t = textOf(line);
    std::size_t p = 0;
    while (p < t.size() && isBlank(t[p])) ++p;
    Parts parts;
    switch (line.kind) {
    case Kind::Header: {
        const Span name = trimmedSpan(t, p + 1, t.rfind(u']'));
        parts.nameBegin = name.begin;
        parts.nameSize = name.size;
        break;
    }
    case Kind::Bare: {
        const Span key = trimmedSpan(t, p, t.size());
        parts.nameBegin = key.begin;
        parts.nameSize = key.size;
        break;
    }
    case Kind::Entry: {
        const std::size_t eq = t.find(u'=', p);
        const Span key = trimmedSpan(t, p, eq);
        const Span value = trimmedSpan(t, eq + 1, t.size());
        parts = {key.begin, key.size, value.begin, value.size};
        break;
    }
    default: break;
    }
    return parts;
}

void Document::reindex() {
    sections_.clear();
    firstSection_.clear();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != Kind::Header) continue;
        if (!sections_.empty()) sections_.back().end = static_cast<std::uint32_t>(i);
        sections_.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(lines_.size())});
    }
    for (std::size_t s = 0; s < sections_.size(); ++s) {
        const std::u16string_view name = nameOf(lines_[sections_[s].header]);
        if (!name.empty()) firstSection_.try_emplace(folded(name), s);
    }
}

// --- lookups ---------------------------------------------------------------

std::u16string_view Document::textOf(const Line& line) const {
    return std::u16string_view(text_).substr(line.textBegin, line.textSize);
}

std::u16string_view Document::nameOf(const Line& line) const {
    const Parts parts = partsOf(line);
    return textOf(line).substr(parts.nameBegin, parts.nameSize);
}

std::u16string_view Document::valueOf(const Line& line) const {
    const Parts parts = partsOf(line);
    return textOf(line).substr(parts.valueBegin, parts.valueSize);
}

const Document::Section* Document::findSection(std::u16string_view trimmedName) const {
    if (trimmedName.empty()) return nullptr;
    const auto it = firstSection_.find(folded(trimmedName));
    return it == firstSection_.end() ? nullptr : &sections_[it->second];
}

std::optional<std::size_t> Document::findEntry(const Section& section,
                                               std::u16string_view trimmedKey) const {
    for (std::size_t i = section.header + 1; i < section.end; ++i) {
        const Line& line = lines_[i];
        if ((line.kind == Kind::Entry || line.kind == Kind::Bare) &&
            text::equalsIgnoreAsciiCase(nameOf(line), trimmedKey))
            return i;
    }
    return std::nullopt;
}

bool Document::hasSection(std::u16string_view section) const {
    return findSection(trimBlanks(section)) != nullptr;
}

std::optional<std::u16string_view> Document::value(std::u16string_view section,
                                                   std::u16string_view key) const {
    const Section* s = findSection(trimBlanks(section));
    if (!s) return std::nullopt;
    const auto i = findEntry(*s, trimBlanks(key));
    if (!i || lines_[*i].kind != Kind::Entry) return std::nullopt;
    return valueOf(lines_[*i]);
}

std::vector<std::u16string_view> Document::sectionNames() const {
    std::vector<std::u16string_view> names;
    names.reserve(sections_.size());
    for (const Section& s : sections_) {
        const std::u16string_view name = nameOf(lines_[s.header]);
        if (!name.empty()) names.push_back(name);
    }
    return names;
}

std::vector<Entry> Document::entries(std::u16string_view section) const {
    std::vector<Entry> out;
    const Section* s = findSection(trimBlanks(section));
    if (!s) return out;
    for (std::size_t i = s->header + 1; i < s->end; ++i) {
        const Line& line = lines_[i];
        if (line.kind == Kind::Entry)
            out.push_back({nameOf(line), valueOf(line), true});
        else if (line.kind == Kind::Bare)
            out.push_back({nameOf(line), {}, false});
    }
    return out;
}

// --- edits -----------------------------------------------------------------

// A UTF-8 file cannot hold a lone surrogate: the text is taken as it will
// read back, so the model never holds what the file does not.
std::u16string Document::storable(std::u16string_view s) const {
    if (encoding_ != Encoding::Utf16LE && std::any_of(s.begin(), s.end(), isSurrogate))
        return text::fromUtf8(text::toUtf8(s));
    return std::u16string(s);
}

Document::Line Document::makeFreshLine(std::u16string_view text) {
    Line line;
    line.textBegin = static_cast<std::uint32_t>(text_.size());
    line.textSize = static_cast<std::uint32_t>(text.size());
    line.fresh = true;
    text_.append(text);
    bool inSection = true;
    line.kind = classify(text, inSection);
    return line;
}

EditResult Document::setValue(std::u16string_view section, std::u16string_view key,
                              std::u16string_view value) {
    // Copies first: the views may point into this document's own text.
    const std::u16string s = storable(trimBlanks(section));
    const std::u16string k = storable(trimBlanks(key));
    const std::u16string v = storable(trimBlanks(value));
    // A zero cannot come through the calls (their texts end at one), and
    // written into a UTF-8 file it could make it read as UTF-16.
    const auto hasZero = [](const std::u16string& t) { return t.find(u'\0') != std::u16string::npos; };
    if (encoding_ == Encoding::Foreign || hasZero(s) || hasZero(k) || hasZero(v) || s.empty() || hasLineBreak(s) || hasLineBreak(k) || hasLineBreak(v) ||
        k.find(u'=') != std::u16string::npos || (!k.empty() && (k[0] == u';' || k[0] == u'[')))
        return EditResult::Refused;

    const Section* sec = findSection(s);
    if (!sec) {
        if (!lines_.empty() && lines_.back().kind != Kind::Blank) lines_.push_back(makeFreshLine(u""));
        lines_.push_back(makeFreshLine(u"[" + s + u"]"));
        lines_.push_back(makeFreshLine(k + u"=" + v));
        reindex();
        return EditResult::Changed;
    }

    if (const auto i = findEntry(*sec, k)) {
        const Line& old = lines_[*i];
        if (old.kind == Kind::Entry && valueOf(old) == v) return EditResult::Unchanged;
        const std::u16string spelled(nameOf(old));
        lines_[*i] = makeFreshLine(spelled + u"=" + v);
        return EditResult::Changed;  // the kind stays an entry: no reindex needed
    }

    std::size_t at = sec->end;
    while (at > sec->header + 1 && lines_[at - 1].kind == Kind::Blank) --at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), makeFreshLine(k + u"=" + v));
    reindex();
    return EditResult::Changed;
}

EditResult Document::removeKey(std::u16string_view section, std::u16string_view key) {
    if (encoding_ == Encoding::Foreign) return EditResult::Refused;
    const Section* sec = findSection(trimBlanks(section));
    if (!sec) return EditResult::Unchanged;
    const auto i = findEntry(*sec, trimBlanks(key));
    if (!i) return EditResult::Unchanged;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*i));
    reindex();
    return EditResult::Changed;
}

EditResult Document::removeSection(std::u16string_view section) {
    if (encoding_ == Encoding::Foreign) return EditResult::Refused;
    const Section* sec = findSection(trimBlanks(section));
    if (!sec) return EditResult::Unchanged;
    // Whatever comes first after the removal must not make the file read
    // in another encoding (a UTF-8 line that starts with a character and a
    // zero would read as UTF-16).
    const std::string lead = leadingBytes(sec->header, sec->end, 3);
    std::size_t markSize = 0;
    if (!lead.empty() && detectEncoding(lead, markSize) != encoding_) return EditResult::Refused;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(sec->header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(sec->end));
    reindex();
    return EditResult::Changed;
}

// --- writing ---------------------------------------------------------------

void Document::appendEncoded(std::string& out, std::u16string_view text) const {
    if (encoding_ == Encoding::Utf16LE) {
        for (const char16_t c : text) {
            out.push_back(static_cast<char>(c & 0xFF));
            out.push_back(static_cast<char>(c >> 8));
        }
    } else {
        out += text::toUtf8(text);
    }
}

void Document::appendLineBreak(std::string& out) const {
    appendEncoded(out, crlf_ ? std::u16string_view(u"\r\n") : std::u16string_view(u"\n"));
}

std::string Document::leadingBytes(std::size_t skipFrom, std::size_t skipTo, std::size_t n) const {
    std::string out(source_, 0, prefixSize_);
    for (std::size_t i = 0; i < lines_.size() && out.size() < n; ++i) {
        if (i >= skipFrom && i < skipTo) continue;
        const Line& line = lines_[i];
        if (line.fresh) {
            appendEncoded(out, textOf(line));
            appendLineBreak(out);
        } else {
            out.append(source_, line.rawBegin, line.rawSize);
            if (!line.terminated) appendLineBreak(out);
        }
    }
    if (out.size() > n) out.resize(n);
    return out;
}

std::string Document::serialize() const {
    std::string out;
    out.reserve(source_.size() + 256);
    out.append(source_, 0, prefixSize_);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.fresh) {
            appendEncoded(out, textOf(line));
            appendLineBreak(out);
        } else {
            out.append(source_, line.rawBegin, line.rawSize);
            // Only the original last line lacks a break; lines now follow it.
            if (!line.terminated && i + 1 < lines_.size()) appendLineBreak(out);
        }
    }
    if (strayByte_) out.push_back(source_.back());
    return out;
}

// --- the calls' rules --------------------------------------------------------

std::uint32_t copyValue(std::u16string_view value, char16_t* buffer, std::uint32_t size) {
    if (!buffer || size == 0) return 0;
    const std::size_t n = std::min<std::size_t>(value.size(), size - 1);
    std::copy_n(value.data(), n, buffer);
    buffer[n] = 0;
    return static_cast<std::uint32_t>(n);
}

ListWriter::ListWriter(char16_t* buffer, std::uint32_t size)
    : buffer_(buffer), size_(buffer ? size : 0) {}

void ListWriter::append(std::u16string_view part) {
    // Units only ever land below size - 2: the two last units are the
    // zeros of a cut list, and a list that fits ends before them.
    const std::uint64_t limit = size_ >= 2 ? size_ - 2 : 0;
    if (total_ < limit) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(part.size(), limit - total_));
        std::copy_n(part.data(), n, buffer_ + total_);
    }
    total_ += part.size();
}

void ListWriter::endEntry() { append(std::u16string_view(u"\0", 1)); }

std::uint32_t ListWriter::finish() {
    if (size_ == 0) return 0;
    if (size_ == 1) {
        buffer_[0] = 0;
        return 0;
    }
    if (total_ + 2 <= size_) {
        buffer_[total_] = 0;
        if (total_ == 0) buffer_[1] = 0;
        return static_cast<std::uint32_t>(total_);
    }
    buffer_[size_ - 2] = 0;
    buffer_[size_ - 1] = 0;
    return size_ - 2;
}

std::u16string_view unquote(std::u16string_view value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::int32_t parseProfileInt(std::u16string_view t) {
    std::size_t i = 0;
    while (i < t.size() && t[i] <= u' ') ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
        negative = t[i] == u'-';
        ++i;
    }
    unsigned base = 10;
    if (i + 1 < t.size() && t[i] == u'0') {
        switch (t[i + 1]) {
            case u'x': base = 16; break;
            case u'o': base = 8; break;
            case u'b': base = 2; break;
            default: break;
        }
        if (base != 10) i += 2;
    }
    std::uint32_t result = 0;
    for (; i < t.size(); ++i) {
        const char16_t c = t[i];
        unsigned digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'z')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'Z')
            digit = c - u'A' + 10;
        else
            break;
        if (digit >= base) break;
        result = result * base + digit;
    }
    if (negative) result = 0u - result;
    return static_cast<std::int32_t>(result);
}

std::uint32_t profileString(const Document* doc, const char16_t* section, const char16_t* key,
                            const char16_t* defaultValue, char16_t* buffer, std::uint32_t size) {
    if (!section) return profileSectionNames(doc, buffer, size);
    if (!key) {
        ListWriter list(buffer, size);
        if (doc) {
            for (const Entry& e : doc->entries(text::view(section))) {
                if (!e.hasValue) continue;
                list.append(e.key);
                list.endEntry();
            }
        }
        return list.finish();
    }
    if (doc) {
        if (const auto v = doc->value(text::view(section), text::view(key)))
            return copyValue(unquote(*v), buffer, size);
    }
    std::u16string_view fallback = text::view(defaultValue);
    while (!fallback.empty() && fallback.back() == u' ') fallback.remove_suffix(1);
    return copyValue(fallback, buffer, size);
}

std::int32_t profileInt(const Document* doc, const char16_t* section, const char16_t* key,
                        std::int32_t defaultValue) {
    char16_t value[kIntValueUnits];
    const std::uint32_t n = profileString(doc, section, key, u"", value, kIntValueUnits);
    if (n == 0) return defaultValue;
    return parseProfileInt(std::u16string_view(value, n));
}

std::uint32_t profileSectionNames(const Document* doc, char16_t* buffer, std::uint32_t size) {
    ListWriter list(buffer, size);
    if (doc) {
        for (const std::u16string_view name : doc->sectionNames()) {
            list.append(name);
            list.endEntry();
        }
    }
    return list.finish();
}

std::uint32_t profileSection(const Document* doc, const char16_t* section, char16_t* buffer,
                             std::uint32_t size) {
    ListWriter list(buffer, size);
    if (doc && section) {
        for (const Entry& e : doc->entries(text::view(section))) {
            list.append(e.key);
            if (e.hasValue) {
                list.append(u"=");
                list.append(e.value);
            }
            list.endEntry();
        }
    }
    return list.finish();
}

EditResult profileWrite(Document& doc, const char16_t* section, const char16_t* key,
                        const char16_t* value) {
    if (!section) return EditResult::Refused;
    if (!key) return doc.removeSection(text::view(section));
    if (!value) return doc.removeKey(text::view(section), text::view(key));
    return doc.setValue(text::view(section), text::view(key), text::view(value));
}

}  // namespace platform::ini
