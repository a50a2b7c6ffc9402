// libFuzzer target for the private-profile calls on large files. An input
// is a size and a pattern: the file is the pattern repeated to that size,
// from one byte up to 9 MiB (past the 8 MiB of kMaxProfileBytes, so refusal
// is reached too; sizes spread evenly over their powers of two). The file
// is read the way a profile load reads it, a hundred calls, then written
// once and read again.
//
// Limits: each input must finish within 60 s in this build (-timeout=60 in
// scripts/fuzz-targets.sh; the worst, 8 MiB of line breaks parsed three
// times, takes about 20 s with the sanitizers and coverage, well under a
// second natively) and stay under 2 GB (-rss_limit_mb): memory is bounded
// by a small multiple of the file's size and a load parses the file once,
// so a slow or huge input is a finding. Beyond the sanitizers it checks that a
// file within the limit is parsed at most once for all its loads, that a file over
// it reads as missing and is never written, and that a write changes only
// what it names.
#include "fuzz_check.h"
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/private_profile.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxFileBytes = std::size_t{9} << 20;

struct Scratch {
    fs::path folder;
    std::u16string file;
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "dociva-large-profile-XXXXXX").string();
        CHECK(::mkdtemp(pattern.data()) != nullptr);
        folder = pattern;
        file = (folder / "profile.ini").u16string();
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

Scratch& scratch() {
    static Scratch s;
    return s;
}

// The sections and keys a profile load asks for, and the listing calls.
const char16_t* const kSections[] = {u"ScanParams", u"Output", u"WaterMark", u"Stroke", u"Barcode", u"Message"};
const char16_t* const kKeys[] = {u"ScanType", u"ScanMode", u"ScanDpi", u"FileName", u"SaveToPath", u"Type",
                                 u"Text", u"FillSize", u"OUT_IMG", u"AutoSize", u"Gamma", u"Brightness",
                                 u"Contrast", u"Rotate", u"DEL_IMG", u"COMPRESS"};

// Everything the load saw, to compare after a write.
std::vector<std::u16string> load(const std::u16string& file) {
    std::vector<std::u16string> seen;
    std::u16string buffer(300, u'\0');
    for (const char16_t* section : kSections) {
        for (const char16_t* key : kKeys) {
            const std::uint32_t n =
                platform::getPrivateProfileString(section, key, u"-", buffer.data(), 300, file.c_str());
            seen.emplace_back(buffer.data(), n);
        }
        (void)platform::getPrivateProfileInt(section, u"ScanDpi", 300, file.c_str());
    }
    std::u16string list(4096, u'\0');
    const std::uint32_t n = platform::getPrivateProfileSectionNames(list.data(), 4096, file.c_str());
    seen.emplace_back(list.data(), n);
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const unsigned power = data[0] % 24;
    std::size_t fileSize = (std::size_t{1} << power) + ((static_cast<std::size_t>(data[1]) << power) >> 8);
    fileSize = std::min(fileSize, kMaxFileBytes);
    std::string pattern(reinterpret_cast<const char*>(data + 2), size - 2);
    if (pattern.empty()) pattern = "\n";
    std::string bytes;
    bytes.reserve(fileSize);
    while (bytes.size() < fileSize) bytes.append(pattern, 0, std::min(pattern.size(), fileSize - bytes.size()));

    Scratch& s = scratch();
    {
        std::ofstream out(fs::path(s.file), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        CHECK(static_cast<bool>(out));
    }
    const bool profile = bytes.size() <= platform::kMaxProfileBytes;

    // At most once (the file may have kept the identity and the bytes of a
    // file this process read before, and then it is not parsed at all).
    const std::uint64_t parsesBefore = platform::profileParseCount();
    const std::vector<std::u16string> before = load(s.file);
    CHECK(platform::profileParseCount() - parsesBefore <= (profile ? 1u : 0u));

    const bool written = platform::writePrivateProfileString(u"FuzzWritten", u"Key", u"value", s.file.c_str());
    std::string after;
    CHECK(platform::readFile(s.file, after, kMaxFileBytes + (1u << 20)));
    if (!profile) {
        CHECK(!written);
        CHECK(after == bytes);
        return 0;
    }
    if (!written) {
        // Only a file in an encoding the model does not write is refused.
        CHECK(after == bytes);
        return 0;
    }
    CHECK(after.size() > bytes.size() || after.size() > platform::kMaxProfileBytes);
    if (after.size() > platform::kMaxProfileBytes) return 0;  // the write made it too large to read
    std::u16string value(16, u'\0');
    const std::uint32_t n =
        platform::getPrivateProfileString(u"FuzzWritten", u"Key", u"", value.data(), 16, s.file.c_str());
    CHECK(std::u16string(value.data(), n) == u"value");
    std::vector<std::u16string> again = load(s.file);
    // The section list gained the new section at most.
    again.pop_back();
    std::vector<std::u16string> expected = before;
    expected.pop_back();
    CHECK(again == expected);
    return 0;
}
