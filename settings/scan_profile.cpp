#include "settings/scan_profile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/private_profile.h"
#include "platform/system.h"
#include "platform/text.h"
#include "settings/folders.h"
#include "settings/number_text.h"
#include "settings/setting_fields.h"

namespace {

// DriverPath and the messages have no rows in the table.
constexpr char16_t kScanParams[] = u"ScanParams";
constexpr char16_t kMessage[] = u"Message";

// Numbers stored as text are read into a buffer of 31 units.
constexpr std::uint32_t kNumberTextUnits = 30;
constexpr std::uint32_t kPathTextUnits = 259;

// The single-precision constants the SDK's own profile reader works with.
const double kBwCompressFloor = static_cast<double>(0.4f);

// --- Normalisations the table names --------------------------------------

// Modes the SDK knows; anything else scans in mode 2.
int knownScanMode(int mode) {
    constexpr int kModes[] = {0, 1, 2, 3, 8, 9, 24, 25, 27, 28, 29, 32, 33};
    return std::find(std::begin(kModes), std::end(kModes), mode) != std::end(kModes) ? mode : 2;
}

// Drop-out channels are 0..3; anything else drops none.
int dropOutChannel(int channel) { return channel < 0 || channel > 3 ? 0 : channel; }

// Output scales and the resolution change are percentages in 50..200.
int percentScale(int value) {
    value = std::min(value, 200);
    return value > 50 ? value : 50;
}

// A two-valued key: anything but 0 is 1.
int oneWhenSet(int value) { return value != 0 ? 1 : 0; }

// Values below the floor are raised to it and values below 1 keep their
// first decimal; 0 (no compression) and values from 1 up pass unchanged.
double normaliseBwCompress(double v) {
    if (std::fabs(v) > 1e-7) {
        if (v < kBwCompressFloor) v = kBwCompressFloor;
        if (v < 1) v = std::trunc(v * 10) / 10;
    }
    return v;
}

// The text of a fixed array up to its terminator, never past its end (a
// record may come from elsewhere with an array that fills its whole size).
template <std::size_t N>
std::u16string_view textOf(const char16_t (&array)[N]) {
    std::size_t n = 0;
    while (n < N && array[n]) ++n;
    return {array, n};
}

template <std::size_t N>
void setText(char16_t (&array)[N], std::u16string_view value) {
    text::copyBounded(array, N, value);
}

bool nearly(double a, double b) { return std::fabs(a - b) < 1e-6; }

// How applyProfile copies a profile member into the record member of the
// same name (Apply::copy).
void copyValue(std::int32_t& to, std::int32_t from) { to = from; }
void copyValue(std::int32_t& to, bool from) { to = from ? 1 : 0; }
void copyValue(double& to, double from) { to = from; }
template <std::size_t N, std::size_t M>
void copyValue(char16_t (&to)[N], const char16_t (&from)[M]) {
    setText(to, textOf(from));
}

// --- The table, as this file reads it (settings/setting_fields.h) ---------

namespace table {

namespace sections {
constexpr const char16_t* ScanParams = u"ScanParams";
constexpr const char16_t* Output = u"Output";
constexpr const char16_t* WaterMark = u"WaterMark";
constexpr const char16_t* Stroke = u"Stroke";
constexpr const char16_t* Barcode = u"Barcode";
constexpr const char16_t* none = nullptr;
}  // namespace sections

enum class ReadAs { none, own, integer, intText, realText, string };

struct Read {
    ReadAs as = ReadAs::none;
    int number = 0;                  // integer: the default
    const char16_t* text = nullptr;  // the others: the default as stored
    int (*normaliseInt)(int) = nullptr;
    double (*normaliseReal)(double) = nullptr;
};

// The read column's words.
namespace reads {
constexpr Read integer(int fallback, int (*normalise)(int) = nullptr) {
    return {ReadAs::integer, fallback, nullptr, normalise, nullptr};
}
constexpr Read flag{ReadAs::integer, 0};
constexpr Read intText(const char16_t* fallback) { return {ReadAs::intText, 0, fallback}; }
constexpr Read realText(const char16_t* fallback, double (*normalise)(double) = nullptr) {
    return {ReadAs::realText, 0, fallback, nullptr, normalise};
}
constexpr Read string(const char16_t* fallback) { return {ReadAs::string, 0, fallback}; }
constexpr Read own{ReadAs::own};
constexpr Read none{ReadAs::none};
}  // namespace reads

enum class Apply { copy, own, no };
enum class Write { ifSet, ifText, own, no };

#define DOCIVA_FIELD_ID(member, ...) member,
enum class Field : std::size_t { DOCIVA_SETTING_FIELDS(DOCIVA_FIELD_ID) };
#undef DOCIVA_FIELD_ID

template <typename RecordMember, typename ProfileMember>
struct Setting {
    Field id;
    RecordMember record;    // a ScanSettings member pointer, or setting_fields::Absent
    ProfileMember profile;  // a ProfileSettings member pointer, or Absent
    const char16_t* section;
    const char16_t* key;
    Read read;
    Apply apply;
    Write write;
};

template <typename RecordMember, typename ProfileMember>
constexpr Setting<RecordMember, ProfileMember> setting(Field id, RecordMember record, ProfileMember profile,
                                                       const char16_t* section, const char16_t* key, Read read,
                                                       Apply apply, Write write) {
    return {id, record, profile, section, key, read, apply, write};
}

#define DOCIVA_SETTING(member, record, legacy, profile, sec, key, rd, ap, wr)                                     \
    setting(Field::member, DOCIVA_FIELD_MEMBER(record, ScanSettings, member),                                    \
            DOCIVA_FIELD_MEMBER(profile, ProfileSettings, member), sections::sec, key, reads::rd, Apply::ap,     \
            Write::wr),
constexpr auto kSettings =
    setting_fields::rows(std::make_tuple(DOCIVA_SETTING_FIELDS(DOCIVA_SETTING) setting_fields::EndOfRows{}));
#undef DOCIVA_SETTING

// The type of the member a row names; void when the struct has none.
template <typename Member>
struct MemberOf {
    using Type = void;
    static constexpr bool present = false;
};
template <typename Struct, typename T>
struct MemberOf<T Struct::*> {
    using Type = T;
    static constexpr bool present = true;
};

template <typename T>
constexpr bool isInteger = std::is_same_v<T, std::int32_t>;
template <typename T>
constexpr bool isText = std::is_array_v<T> && std::is_same_v<std::remove_extent_t<T>, char16_t>;
// The member pairs copyValue takes, and no others (no silent narrowing).
template <typename To, typename From>
constexpr bool copyable = (isInteger<To> && (isInteger<From> || std::is_same_v<From, bool>)) ||
                          (std::is_same_v<To, double> && std::is_same_v<From, double>) || (isText<To> && isText<From>);

// Whether a row's rules fit its members, so a mistyped row fails to build
// instead of being passed over by the code that reads the table.
template <typename R, typename P>
constexpr bool fits(const Setting<R, P>& s) {
    using Rec = typename MemberOf<R>::Type;
    using Pro = typename MemberOf<P>::Type;
    constexpr bool hasRecord = MemberOf<R>::present;
    constexpr bool hasProfile = MemberOf<P>::present;
    // A profile member exactly when the file has a key for it.
    if (hasProfile != (s.key != nullptr) || (s.key != nullptr) != (s.section != nullptr)) return false;
    if (hasProfile == (s.read.as == ReadAs::none)) return false;
    switch (s.read.as) {
        case ReadAs::integer:
        case ReadAs::intText:
            if (!isInteger<Pro> && !std::is_same_v<Pro, bool>) return false;
            break;
        case ReadAs::realText:
            if (!std::is_same_v<Pro, double>) return false;
            break;
        case ReadAs::string:
            if (!isText<Pro>) return false;
            break;
        case ReadAs::none:
        case ReadAs::own: break;
    }
    if (s.apply == Apply::copy) {
        if constexpr (hasRecord && hasProfile) {
            if (!copyable<Rec, Pro>) return false;
        } else {
            return false;
        }
    }
    if (s.apply == Apply::own && !hasRecord) return false;
    switch (s.write) {
        case Write::ifSet: return isInteger<Rec> && s.key != nullptr;
        case Write::ifText: return isText<Rec> && s.key != nullptr;
        case Write::own: return hasRecord;
        case Write::no: return true;
    }
    return true;
}

struct IniKey {
    const char16_t* section;
    const char16_t* key;
};

constexpr auto kKeys =
    std::apply([](const auto&... row) { return std::array<IniKey, sizeof...(row)>{IniKey{row.section, row.key}...}; },
               kSettings);

constexpr IniKey keyOf(Field field) { return kKeys[static_cast<std::size_t>(field)]; }

constexpr bool sameKey(const char16_t* a, const char16_t* b) {
    return a && b && std::u16string_view(a) == std::u16string_view(b);
}

// Whether the row at index i fits its members and has a key no earlier row
// of the same section has.
template <std::size_t i>
constexpr bool rowIsSound() {
    if (!fits(std::get<i>(kSettings))) return false;
    for (std::size_t j = 0; j < i; ++j)
        if (sameKey(kKeys[i].key, kKeys[j].key) && sameKey(kKeys[i].section, kKeys[j].section)) return false;
    return true;
}

// Used as RowCheck<id, rowIsSound<i>()>::ok: a row that is not sound makes
// the compiler name the type, and so the row, in its error.
template <Field row, bool sound>
struct RowCheck {
    static constexpr bool ok = true;
};
template <Field row>
struct RowCheck<row, false>;

static_assert([]<std::size_t... i>(std::index_sequence<i...>) {
    return (RowCheck<std::get<i>(kSettings).id, rowIsSound<i>()>::ok && ...);
}(std::make_index_sequence<std::tuple_size_v<decltype(kSettings)>>{}));

// f(row) for every row, in the table's order.
template <typename F>
void forEachSetting(F&& f) {
    std::apply([&](const auto&... row) { (f(row), ...); }, kSettings);
}

}  // namespace table

using table::Field;
using table::keyOf;

bool writeIntKey(CScanProfile& p, Field field, int value) {
    const table::IniKey k = keyOf(field);
    return p.writeInt(k.section, k.key, value);
}

bool writeTextKey(CScanProfile& p, Field field, const char16_t* value) {
    const table::IniKey k = keyOf(field);
    return p.writeString(k.section, k.key, value);
}

}  // namespace

CScanProfile::CScanProfile(const char16_t* path, DocumentsFolderSource documentsSource)
    : module(platform::currentModule()), documents(documentsSource ? documentsSource : &platform::documentsFolder) {
    load(path);
}

void CScanProfile::load(const char16_t* path) {
    driverPath.clear();
    settings = ProfileSettings{};
    iniFile = CConfigImpl(locateConfigFile(path, module, u"dociva.ini").c_str());
    readKeys();
}

void CScanProfile::readKeys() {
    using table::ReadAs;
    const std::u16string& file = iniFile.path();
    // Texts are read raw: a backslash + 'n' inside a folder name is no
    // line break.
    auto readText = [&](const char16_t* section, const char16_t* key, const char16_t* def, std::uint32_t units) {
        return file.empty() ? text::cut(def, units) : iniFile.getRawString(section, key, def, units);
    };
    ProfileSettings& s = settings;

    driverPath = readText(kScanParams, u"DriverPath", u"", kDriverPathUnits);

    table::forEachSetting([&](const auto& row) {
        using Profile = table::MemberOf<decltype(row.profile)>;
        if constexpr (Profile::present) {
            using T = typename Profile::Type;
            T& field = s.*row.profile;
            const table::Read& how = row.read;
            if constexpr (table::isText<T>) {
                if (how.as == ReadAs::string)
                    setText(field, readText(row.section, row.key, how.text, std::extent_v<T> - 1));
            } else if constexpr (std::is_same_v<T, double>) {
                if (how.as == ReadAs::realText) {
                    const double v = decimalTextToDouble(readText(row.section, row.key, how.text, kNumberTextUnits));
                    field = how.normaliseReal ? how.normaliseReal(v) : v;
                }
            } else {
                int v = 0;
                if (how.as == ReadAs::integer)
                    v = iniFile.getInt(row.section, row.key, how.number);
                else if (how.as == ReadAs::intText)
                    v = decimalTextToInt(readText(row.section, row.key, how.text, kNumberTextUnits));
                else
                    return;
                if (how.normaliseInt) v = how.normaliseInt(v);
                if constexpr (std::is_same_v<T, bool>)
                    field = v != 0;
                else
                    field = v;
            }
        }
    });

    // The row marked own: saveToPath. One unit more than a path may have: a
    // longer value, once cut, would name some other folder, and the folder
    // below is created. Such a value counts as no value.
    const table::IniKey saveToKey = keyOf(Field::saveToPath);
    std::u16string saveTo = readText(saveToKey.section, saveToKey.key, u"", kPathTextUnits + 1);
    if (saveTo.size() > kPathTextUnits) saveTo.clear();
    // A relative folder is the module folder's, as the profile's own path
    // is, never the host's current one.
    if (!saveTo.empty() && !platform::hasDrive(saveTo)) saveTo = resolveInModuleFolder(saveTo, module);
    if (saveTo.empty()) saveTo = defaultSaveFolder();
    setText(s.saveToPath, saveTo);
    // One level only; a failure shows later, when the SDK saves.
    if (!saveTo.empty() && !platform::isDirectory(saveTo)) platform::createDirectory(saveTo);
}

void CScanProfile::getIniPath(char16_t* buffer, std::size_t size) const {
    text::copyBounded(buffer, size, text::cut(iniFile.path(), platform::kMaxPathUnits));
}

void CScanProfile::getSaveToPath(char16_t* buffer, std::size_t length) const {
    if (!buffer || length == 0) return;
    text::copyBounded(buffer, std::min(length, kProfilePathUnits), textOf(settings.saveToPath));
}

int CScanProfile::readScanType() const {
    const table::IniKey k = keyOf(Field::scanType);
    return iniFile.getInt(k.section, k.key, 0);
}

std::uint32_t CScanProfile::readMessage(const char16_t* key, const char16_t* defaultText, char16_t* buffer,
                                        std::uint32_t size) const {
    if (!buffer || size == 0) return 0;
    if (iniFile.path().empty()) return static_cast<std::uint32_t>(text::copyBounded(buffer, size, defaultText));
    return platform::getPrivateProfileString(kMessage, key, defaultText, buffer, size, iniFile.path().c_str());
}

std::uint32_t CScanProfile::readWarmingUpMessage(char16_t* buffer, std::uint32_t size) const {
    return readMessage(u"MSG_WarmingUp", u"Warming up. Remains %d seconds.", buffer, size);
}
std::uint32_t CScanProfile::readScanningMessage(char16_t* buffer, std::uint32_t size) const {
    return readMessage(u"MSG_Scanning", u"Scanning......", buffer, size);
}
std::uint32_t CScanProfile::readScanFinishMessage(char16_t* buffer, std::uint32_t size) const {
    return readMessage(u"MSG_ScanFinish", u"Scan Finish. Please Wait, Processing......", buffer, size);
}
std::uint32_t CScanProfile::readProcessFinishMessage(char16_t* buffer, std::uint32_t size) const {
    return readMessage(u"MSG_ProcessFinish", u"Processing Finish", buffer, size);
}

bool CScanProfile::writeString(const char16_t* section, const char16_t* key, const char16_t* value) {
    if (!section || !key || !value) return false;
    return iniFile.setString(section, key, value);
}

bool CScanProfile::writeInt(const char16_t* section, const char16_t* key, int value) {
    if (!section || !key) return false;
    return iniFile.setInt(section, key, value);
}

bool CScanProfile::writeDriverPath(const char16_t* v) { return writeString(kScanParams, u"DriverPath", v); }
bool CScanProfile::writeScanType(int v) { return writeIntKey(*this, Field::scanType, v); }
bool CScanProfile::writeScanMode(int v) { return writeIntKey(*this, Field::scanMode, v); }
bool CScanProfile::writeScanDpi(int v) { return writeIntKey(*this, Field::scanDpi, v); }
bool CScanProfile::writeGamma(int v) { return writeIntKey(*this, Field::gamma, v); }
bool CScanProfile::writeBrightness(int v) { return writeIntKey(*this, Field::brightness, v); }
bool CScanProfile::writeContrast(int v) { return writeIntKey(*this, Field::contrast, v); }
bool CScanProfile::writeColorDropOut(int v) { return writeIntKey(*this, Field::colorDropOut, v); }
bool CScanProfile::writeBwThreshold(int v) { return writeIntKey(*this, Field::bwThreshold, v); }
bool CScanProfile::writeAutoSize(int v) { return writeIntKey(*this, Field::autoSize, v); }
bool CScanProfile::writeRotate(int v) { return writeIntKey(*this, Field::rotate, v); }
bool CScanProfile::writeOrientation(int v) { return writeIntKey(*this, Field::orientation, v); }
bool CScanProfile::writeContinuousScan(int v) { return writeIntKey(*this, Field::continuousScan, v); }
bool CScanProfile::writeLongPaperMode(int v) { return writeIntKey(*this, Field::longPaperMode, v); }
bool CScanProfile::writeBlankPageDetect(int v) { return writeIntKey(*this, Field::blankPageDetect, v); }
bool CScanProfile::writePunchHoleErase(int v) { return writeIntKey(*this, Field::punchHoleErase, v); }
bool CScanProfile::writeSplitMerge(int v) { return writeIntKey(*this, Field::splitMerge, v); }
bool CScanProfile::writeEjectPaperDirection(int v) { return writeIntKey(*this, Field::ejectPaperDirection, v); }
bool CScanProfile::writeFileName(const char16_t* v) { return writeTextKey(*this, Field::fileName, v); }
bool CScanProfile::writeSaveToPath(const char16_t* v) { return writeTextKey(*this, Field::saveToPath, v); }
bool CScanProfile::writeApPath(const char16_t* v) { return writeTextKey(*this, Field::apPath, v); }
bool CScanProfile::writeApParams(const char16_t* v) { return writeTextKey(*this, Field::apParams, v); }

bool CScanProfile::writeOutImg(const char16_t* v) { return writeTextKey(*this, Field::outImg, v); }
bool CScanProfile::writeAppFormat(const char16_t* v) { return writeTextKey(*this, Field::appFormat, v); }
bool CScanProfile::writeDelImg(int v) { return writeIntKey(*this, Field::delImg, v); }
bool CScanProfile::writeCompress(int v) { return writeIntKey(*this, Field::compress, v); }
bool CScanProfile::writeDialHide(int v) { return writeIntKey(*this, Field::dialHide, v); }
bool CScanProfile::writeZoomX(int v) { return writeIntKey(*this, Field::zoomX, v); }
bool CScanProfile::writeZoomY(int v) { return writeIntKey(*this, Field::zoomY, v); }
bool CScanProfile::writeChangeDpi(int v) { return writeIntKey(*this, Field::changeDpi, v); }
bool CScanProfile::writePageSplit(int v) { return writeIntKey(*this, Field::pageSplit, v); }
bool CScanProfile::writeSplitFixPages(int v) { return writeIntKey(*this, Field::splitFixPages, v); }
bool CScanProfile::writeFlatbedMultiCrop(int v) { return writeIntKey(*this, Field::flatbedMultiCrop, v); }
bool CScanProfile::writeInvert(int v) { return writeIntKey(*this, Field::invert, v); }

bool CScanProfile::writeStrokeFillSize(int v) { return writeIntKey(*this, Field::strokeFillSize, v); }
bool CScanProfile::writeStrokeFillPosition(int v) { return writeIntKey(*this, Field::strokeFillPosition, v); }

namespace {

// The four keys of one scan area, each "%.2f".
bool writeRange(CScanProfile& p, const Field (&fields)[4], const double (&values)[4]) {
    bool ok = true;
    for (int i = 0; i < 4; ++i) ok = writeTextKey(p, fields[i], text::format(u"%.2f", values[i]).c_str()) && ok;
    return ok;
}

}  // namespace

bool CScanProfile::writeFlatbedRange(double x, double y, double w, double h) {
    return writeRange(*this, {Field::flatbedRangeX, Field::flatbedRangeY, Field::flatbedRangeW, Field::flatbedRangeH},
                      {x, y, w, h});
}

bool CScanProfile::writeAdfFrontRange(double x, double y, double w, double h) {
    return writeRange(*this,
                      {Field::adfFrontRangeX, Field::adfFrontRangeY, Field::adfFrontRangeW, Field::adfFrontRangeH},
                      {x, y, w, h});
}

bool CScanProfile::writeAdfRearRange(double x, double y, double w, double h) {
    return writeRange(*this, {Field::adfRearRangeX, Field::adfRearRangeY, Field::adfRearRangeW, Field::adfRearRangeH},
                      {x, y, w, h});
}

bool CScanProfile::writeBwCompress(double value) {
    if (nearly(value, 1) || nearly(value, 2)) return writeIntKey(*this, Field::bwCompress, nearly(value, 1) ? 1 : 2);
    if (value > 1e-6 && value < 1.000001)
        return writeTextKey(*this, Field::bwCompress, text::format(u"%.1f", value).c_str());
    return writeIntKey(*this, Field::bwCompress, 0);
}

std::u16string CScanProfile::defaultSaveFolder() const {
    // Without a documents folder the name alone would land at the root of
    // the current drive; a cut name would be some other folder.
    const std::u16string base = documents();
    if (base.empty()) return {};
    std::u16string folder = platform::joinPath(base, u"dociva files");
    if (folder.size() > platform::kMaxPathUnits) return {};
    return folder;
}

void CScanProfile::defaultSaveFolder(char16_t* buffer, std::size_t length) const {
    text::copyBounded(buffer, length, defaultSaveFolder());
}

std::u16string outputFormatList(const std::set<std::int32_t>& formats) {
    std::u16string list;
    for (const std::int32_t id : formats) {
        std::u16string next = list.empty() ? text::format(u"%d", id) : text::format(u"%s, %d", list, id);
        // Whole ids only: a cut number would name another format.
        if (next.size() > platform::kMaxPathUnits) break;
        list = std::move(next);
    }
    return list;
}

void applyProfile(const ProfileSettings& p, ScanSettings& r, std::uint8_t& watermarkEnabled) {
    table::forEachSetting([&](const auto& row) {
        using Record = table::MemberOf<decltype(row.record)>;
        using Profile = table::MemberOf<decltype(row.profile)>;
        if constexpr (Record::present && Profile::present &&
                      table::copyable<typename Record::Type, typename Profile::Type>) {
            if (row.apply == table::Apply::copy) copyValue(r.*row.record, p.*row.profile);
        }
    });

    // The rows marked own.

    // A feeder scans with the front area; the flatbed with its own.
    if (p.scanType != 0) {
        r.scanAreaX = p.adfFrontRangeX;
        r.scanAreaY = p.adfFrontRangeY;
        r.scanAreaW = p.adfFrontRangeW;
        r.scanAreaH = p.adfFrontRangeH;
    } else {
        r.scanAreaX = p.flatbedRangeX;
        r.scanAreaY = p.flatbedRangeY;
        r.scanAreaW = p.flatbedRangeW;
        r.scanAreaH = p.flatbedRangeH;
    }

    if (p.watermarkTextAngle >= 0 && p.watermarkTextAngle <= 360) r.watermarkTextAngle = p.watermarkTextAngle;

    const double v = p.bwCompress;
    if (nearly(v, 0))
        r.bwCompress = 0;
    else if (nearly(v, 1))
        r.bwCompress = 1;
    else if (nearly(v, 2))
        r.bwCompress = 2;
    else if (v > 0 && v < 1)
        r.bwCompress = v;
    else
        r.bwCompress = 0;

    watermarkEnabled = p.watermarkType != 0 ? 1 : 0;
}

bool writeBack(const ScanSettings& r, const std::set<std::int32_t>& selectedFormats, std::u16string_view scannerDirectory,
               CScanProfile& target) {
    using table::Write;
    bool ok = true;
    auto step = [&ok](bool written) { ok = written && ok; };

    if (!scannerDirectory.empty()) step(target.writeDriverPath(std::u16string(scannerDirectory).c_str()));

    // The rows marked own, each written at its row's place.
    auto writeOwn = [&](Field field) {
        switch (field) {
            case Field::scanAreaX: {
                // The whole area, right after AutoSize. It belongs to the
                // source the file names, not the record's.
                if (r.autoSize != 0) break;
                const double x = r.scanAreaX, y = r.scanAreaY, w = r.scanAreaW, h = r.scanAreaH;
                switch (target.readScanType()) {
                    case 0: step(target.writeFlatbedRange(x, y, w, h)); break;
                    case 1:
                    case 4: step(target.writeAdfFrontRange(x, y, w, h)); break;
                    case 2: step(target.writeAdfRearRange(x, y, w, h)); break;
                    case 3:
                        step(target.writeAdfFrontRange(x, y, w, h));
                        step(target.writeAdfRearRange(x, y, w, h));
                        break;
                    default: break;
                }
                break;
            }
            case Field::outImg:
                if (!selectedFormats.empty()) step(target.writeOutImg(outputFormatList(selectedFormats).c_str()));
                break;
            case Field::bwCompress:
                if (r.bwCompress != -1.0) step(target.writeBwCompress(r.bwCompress));
                break;
            default: break;  // scanAreaY, W and H go with scanAreaX
        }
    };

    table::forEachSetting([&](const auto& row) {
        using Record = table::MemberOf<decltype(row.record)>;
        if constexpr (Record::present) {
            using T = typename Record::Type;
            const T& value = r.*row.record;
            switch (row.write) {
                case Write::ifSet:
                    if constexpr (table::isInteger<T>) {
                        if (value != -1) step(target.writeInt(row.section, row.key, value));
                    }
                    break;
                case Write::ifText:
                    if constexpr (table::isText<T>) {
                        const std::u16string_view t = textOf(value);
                        if (!t.empty()) step(target.writeString(row.section, row.key, std::u16string(t).c_str()));
                    }
                    break;
                case Write::own: writeOwn(row.id); break;
                case Write::no: break;
            }
        }
    });
    return ok;
}
