// libFuzzer target for profile loading: any bytes become a profile file,
// which is loaded, applied to a fresh record and written back into another
// file, which is loaded again. Beyond the sanitizers it checks that every
// value comes out normalised, that loading writes nothing, that write-back
// succeeds, and that what write-back wrote reads back as it was applied.
//
// Loading creates the output folder it names. So that the fuzzer cannot
// create folders anywhere, the documents folder points into a scratch
// folder, the scratch folder is the working directory, and inputs whose
// SaveToPath could reach outside it are skipped.
#include "fuzz_check.h"
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/files.h"
#include "platform/private_profile.h"
#include "platform/text.h"
#include "settings/scan_profile.h"

namespace {

namespace fs = std::filesystem;

struct Scratch {
    fs::path base;
    fs::path work;
    std::u16string input;
    std::u16string output;

    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "dociva-profile-fuzz-XXXXXX").string();
        CHECK(::mkdtemp(pattern.data()) != nullptr);
        base = pattern;
        work = base / "work";
        fs::create_directories(base / "docs");
        fs::create_directories(work);
        fs::current_path(work);
        input = (base / "in.ini").u16string();
        output = (base / "out.ini").u16string();
    }
    ~Scratch() {
        std::error_code ec;
        fs::current_path(fs::temp_directory_path(), ec);
        fs::remove_all(base, ec);
    }
};

Scratch& scratch() {
    static Scratch s;
    return s;
}

std::u16string documents() { return (scratch().base / "docs").u16string(); }

bool writeFile(const std::u16string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

// A SaveToPath that is a single plain name stays inside the working folder;
// anything with a separator, a drive or a leading dot might not.
bool saveToPathStaysInside(const std::u16string& file) {
    char16_t value[300] = {};
    platform::getPrivateProfileString(u"ScanParams", u"SaveToPath", u"", value, 300, file.c_str());
    for (const char16_t* p = value; *p; ++p)
        if (*p == u'/' || *p == u'\\' || *p == u':') return false;
    return value[0] != u'.' && value[0] != u'~';
}

void checkNormalised(const ProfileSettings& s) {
    static const std::set<int> kModes = {0, 1, 2, 3, 8, 9, 24, 25, 27, 28, 29, 32, 33};
    CHECK(kModes.count(s.scanMode) == 1);
    CHECK(s.colorDropOut >= 0 && s.colorDropOut <= 3);
    CHECK(s.zoomX >= 50 && s.zoomX <= 200);
    CHECK(s.zoomY >= 50 && s.zoomY <= 200);
    CHECK(s.changeDpi >= 50 && s.changeDpi <= 200);
    CHECK(s.ejectPaperDirection == 0 || s.ejectPaperDirection == 1);
    const double b = s.bwCompress;
    CHECK(!std::isnan(b));
    CHECK(std::fabs(b) <= 1e-7 || b >= 1 || (b >= 0.4 && b < 1));
    forEachField(s, [](const char*, const auto& field) {
        using F = std::remove_cvref_t<decltype(field)>;
        if constexpr (std::is_array_v<F>) CHECK(text::length(field) < std::extent_v<F>);
    });
}

void clearWorkFolder() {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(scratch().work, ec)) fs::remove_all(entry.path(), ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Scratch& s = scratch();
    CHECK(writeFile(s.input, data, size));
    if (!saveToPathStaysInside(s.input)) return 0;
    std::string before;
    CHECK(platform::readFile(s.input, before, 1u << 24));

    const CScanProfile profile(s.input.c_str(), &documents);
    CHECK(profile.path() == s.input);
    const ProfileSettings settings = profile.getSettings();
    checkNormalised(settings);
    CHECK(profile.getDriverPath().size() <= kDriverPathUnits);

    std::string after;
    CHECK(platform::readFile(s.input, after, 1u << 24));
    CHECK(after == before);

    ScanSettings record;
    record.reset();
    std::uint8_t watermarkEnabled = 0;
    applyProfile(settings, record, watermarkEnabled);
    const double b = record.bwCompress;
    CHECK(b == 0 || b == 1 || b == 2 || (b > 0 && b < 1));
    CHECK(watermarkEnabled == (settings.watermarkType != 0 ? 1 : 0));

    std::set<std::int32_t> formats;
    for (std::size_t i = 0; i < size && i < 4; ++i) formats.insert(data[i] % 10);
    platform::deleteFile(s.output);
    CScanProfile target(s.output.c_str(), &documents);
    CHECK(writeBack(record, formats, u"C:\\drv", target));

    // What was written reads back as it was applied.
    const CScanProfile reread(s.output.c_str(), &documents);
    const ProfileSettings back = reread.getSettings();
    // A field at -1 is not set, so not written, and reads as its default.
    auto same = [](std::int32_t written, std::int32_t read, std::int32_t byDefault) {
        return read == (written == -1 ? byDefault : written);
    };
    CHECK(same(record.scanType, back.scanType, 0));
    CHECK(back.scanMode == record.scanMode);
    CHECK(same(record.scanDpi, back.scanDpi, 300));
    CHECK(same(record.gamma, back.gamma, 100));
    CHECK(same(record.rotate, back.rotate, 0));
    CHECK(back.colorDropOut == record.colorDropOut);
    CHECK(back.zoomX == record.zoomX && back.zoomY == record.zoomY && back.changeDpi == record.changeDpi);
    CHECK(back.autoSize == (record.autoSize != 0));
    ScanSettings again;
    again.reset();
    std::uint8_t unused = 0;
    applyProfile(back, again, unused);
    CHECK(std::fabs(again.bwCompress - record.bwCompress) < 1e-9);
    CHECK(reread.getDriverPath() == u"C:\\drv");

    clearWorkFolder();
    return 0;
}
