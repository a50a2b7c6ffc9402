// libFuzzer target for the INI model and the calls' buffer rules: any bytes
// are parsed, read back through every call with small buffers, edited, written
// and read again. Beyond the sanitizers it checks that untouched input is
// written back byte for byte, that buffers are never overrun and end as the
// calls promise, and that an edit changes only what it names.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/ini/ini_document.h"
#include "platform/ini/profile_buffers.h"
#include "platform/text.h"

namespace {

using namespace platform::ini;

constexpr std::uint32_t kSizes[] = {0, 1, 2, 3, 7, 64};
constexpr std::size_t kMaxNames = 12;

// Exactly size units, so AddressSanitizer sees any write past them.
template <typename Call>
void checkValueCall(std::uint32_t size, Call call) {
    auto buf = std::make_unique<char16_t[]>(size);
    const std::uint32_t n = call(buf.get(), size);
    if (size == 0) {
        CHECK(n == 0);
        return;
    }
    CHECK(n <= size - 1);
    CHECK(buf[n] == 0);
}

template <typename Call>
void checkListCall(std::uint32_t size, Call call) {
    auto buf = std::make_unique<char16_t[]>(size);
    const std::uint32_t n = call(buf.get(), size);
    if (size <= 1) {
        CHECK(n == 0);
        if (size == 1) CHECK(buf[0] == 0);
        return;
    }
    CHECK(n <= size - 2);
    CHECK(buf[n] == 0);
    if (n == size - 2 || n == 0) CHECK(buf[n + 1] == 0);
}

// The bytes drive the edits too, through a small generator seeded by them.
struct Chooser {
    std::uint64_t state;
    explicit Chooser(std::string_view bytes) : state(1469598103934665603ull) {
        for (const char c : bytes) state = (state ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    std::uint32_t next(std::uint32_t bound) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return bound ? static_cast<std::uint32_t>((state >> 33) % bound) : 0;
    }
};

std::u16string folded(std::u16string_view s) {
    std::u16string out(trimBlanks(s));
    for (char16_t& c : out) c = text::asciiLower(c);
    return out;
}

std::vector<std::u16string> rendered(const Document& doc, std::u16string_view section) {
    std::vector<std::u16string> out;
    for (const Entry& e : doc.entries(section)) {
        std::u16string line(e.key);
        line.append(e.hasValue ? u"=" : u"!").append(e.value);
        out.push_back(std::move(line));
    }
    return out;
}

void readEverything(const Document& doc, const std::vector<std::u16string>& sections) {
    for (const std::uint32_t size : kSizes) {
        checkListCall(size, [&](char16_t* b, std::uint32_t n) { return profileSectionNames(&doc, b, n); });
        checkListCall(size, [&](char16_t* b, std::uint32_t n) { return profileSectionNames(nullptr, b, n); });
        for (const std::u16string& s : sections) {
            checkListCall(size, [&](char16_t* b, std::uint32_t n) { return profileSection(&doc, s.c_str(), b, n); });
            checkListCall(size, [&](char16_t* b, std::uint32_t n) {
                return profileString(&doc, s.c_str(), nullptr, u"dflt", b, n);
            });
            const auto entries = doc.entries(s);
            for (std::size_t i = 0; i < entries.size() && i < kMaxNames; ++i) {
                const std::u16string key(entries[i].key);
                checkValueCall(size, [&](char16_t* b, std::uint32_t n) {
                    return profileString(&doc, s.c_str(), key.c_str(), u"dflt  ", b, n);
                });
            }
        }
    }
    for (const std::u16string& s : sections) {
        for (const Entry& e : doc.entries(s)) {
            const std::u16string key(e.key);
            (void)profileInt(&doc, s.c_str(), key.c_str(), 7);
            // A buffer just large enough gets the whole value, unquoted.
            const auto v = doc.value(s, key);
            if (!v || key.find(u'\0') != std::u16string::npos || s.find(u'\0') != std::u16string::npos) continue;
            const std::u16string_view expected = unquote(*v);
            std::vector<char16_t> buf(expected.size() + 1);
            const std::uint32_t n = profileString(&doc, s.c_str(), key.c_str(), nullptr, buf.data(),
                                                  static_cast<std::uint32_t>(buf.size()));
            CHECK(std::u16string_view(buf.data(), n) == expected);
        }
    }
}

// Text as a UTF-8 file would hold it, which is how the model stores it.
std::u16string asStored(const Document& doc, std::u16string_view s) {
    const std::u16string_view t = trimBlanks(s);
    return doc.encoding() == Encoding::Utf16LE ? std::u16string(t) : text::fromUtf8(text::toUtf8(t));
}

std::u16string pickText(Chooser& pick, const std::vector<std::u16string>& known, std::string_view bytes) {
    if (!known.empty() && pick.next(3) != 0) return known[pick.next(static_cast<std::uint32_t>(known.size()))];
    // A slice of the input itself, read as UTF-16 units, so odd texts appear.
    const std::size_t from = pick.next(static_cast<std::uint32_t>(bytes.size() + 1));
    const std::size_t len = pick.next(12);
    std::u16string s;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])); };
    for (std::size_t i = from; i + 1 < bytes.size() && s.size() < len; i += 2)
        s += static_cast<char16_t>(byte(i) | (byte(i + 1) << 8));
    return s;
}

void editAndCheck(Document& doc, Chooser& pick, std::string_view bytes, const std::vector<std::u16string>& sections) {
    const std::u16string section = pickText(pick, sections, bytes);
    std::vector<std::u16string> keys;
    for (const Entry& e : doc.entries(section)) keys.emplace_back(e.key);
    const std::u16string key = pickText(pick, keys, bytes);
    const std::u16string value = pickText(pick, {}, bytes);

    // Every other section as it reads now.
    const std::u16string edited = folded(asStored(doc, section));
    std::vector<std::pair<std::u16string, std::vector<std::u16string>>> others;
    for (const std::u16string& s : sections)
        if (folded(s) != edited) others.emplace_back(s, rendered(doc, s));
    const std::string before = doc.serialize();
    const std::size_t namesBefore = doc.sectionNames().size();
    const std::size_t entriesBefore = doc.entries(section).size();

    const std::uint32_t op = pick.next(3);
    const EditResult result = op == 0   ? doc.setValue(section, key, value)
                              : op == 1 ? doc.removeKey(section, key)
                                        : doc.removeSection(section);
    const std::string written = doc.serialize();
    const Document reread = Document::parse(written);
    CHECK(reread.serialize() == written);

    if (result == EditResult::Refused) {
        // Texts that would not read back, a file in an encoding the model
        // does not write, or a removal after which the file would start
        // like another encoding (only possible without a byte-order mark).
        const bool marked = doc.encoding() == Encoding::Utf8WithBom ||
                            (before.size() >= 2 && static_cast<unsigned char>(before[0]) == 0xFF &&
                             static_cast<unsigned char>(before[1]) == 0xFE);
        CHECK(op == 0 || doc.encoding() == Encoding::Foreign || (op == 2 && !marked));
    } else if (op == 0) {
        CHECK(reread.value(asStored(doc, section), asStored(doc, key)) ==
              std::optional<std::u16string_view>(asStored(doc, value)));
    } else if (op == 1 && result == EditResult::Changed) {
        CHECK(reread.entries(section).size() + 1 == entriesBefore);
    } else if (op == 2 && result == EditResult::Changed) {
        CHECK(reread.sectionNames().size() + 1 == namesBefore);
    }
    if (result != EditResult::Changed) CHECK(written == before);
    for (const auto& [name, entries] : others) CHECK(rendered(reread, name) == entries);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Document doc = Document::parse(std::string(bytes));
    CHECK(doc.serialize() == bytes);

    std::vector<std::u16string> sections;
    for (const std::u16string_view name : doc.sectionNames()) {
        if (sections.size() == kMaxNames) break;
        sections.emplace_back(name);
    }
    std::vector<std::u16string> probes = sections;
    probes.push_back(u"\x01missing");
    readEverything(doc, probes);

    Chooser pick(bytes);
    for (int round = 0; round < 4; ++round) {
        editAndCheck(doc, pick, bytes, sections);
        sections.clear();
        for (const std::u16string_view name : doc.sectionNames()) {
            if (sections.size() == kMaxNames) break;
            sections.emplace_back(name);
        }
    }
    readEverything(doc, sections);
    (void)profileWrite(doc, nullptr, u"k", u"v");
    (void)profileWrite(doc, u"s", nullptr, nullptr);
    return 0;
}
