// The settings fields, each described once.
//
// ScanSettings (the record handed to the SDK), LegacyScanSettings (its
// earlier 4912-byte form) and ProfileSettings (the values of one profile
// file) keep their own struct definitions: the two records are an ABI whose
// offsets their headers assert. Everything that goes over the fields one by
// one is derived from the table below: forEachField for the three structs,
// toLegacy and fromLegacy, the profile reader (CScanProfile::readKeys),
// applyProfile and writeBack. Adding a simple setting is the member in the
// structs that carry it plus one row here; the record headers check at
// compile time that the rows cover every byte of both records, and the
// profile header that no ProfileSettings member is left out.
//
// One row per field: X(member, record, legacy, profile, section, key, read,
// apply, write).
//   member   the member's name in every struct that carries it, and the
//            name forEachField reports.
//   record   in ScanSettings: yes, no, or pad (bytes the SDK ignores, never
//            visited but counted when the rows are checked against the
//            record's size).
//   legacy   the same for LegacyScanSettings.
//   profile  in ProfileSettings: yes or no.
//   section, key
//            where a profile file keeps the value; none, nullptr for
//            fields no file holds.
//   read     how readKeys fills the ProfileSettings member:
//              integer(d), integer(d, n)  the INI integer, default d
//              flag           the INI integer, true when not 0
//              intText(d)     a decimal text of at most 30 units
//              realText(d), realText(d, n)  the same, as a double
//              string(d)      a text cut to the member's size less one
//              own            explicit code in readKeys
//              none           not read (no profile member)
//            d is the value a missing key gives (as stored, for texts); n
//            normalises the value read.
//   apply    what applyProfile does to the ScanSettings member: copy (the
//            profile member of the same name; a flag as 1 or 0), own
//            (explicit code), no (left as it is).
//   write    what writeBack does with the ScanSettings member: ifSet (an
//            integer other than -1 is written), ifText (a text other than
//            ""), own (explicit code), no (never written).
//
// The rows are in the order writeBack writes them, which decides the order
// of the keys in a file it creates; forEachField visits each struct in its
// own member order whatever the row order.
//
// Rules that are not per field stay as explicit code beside the derived
// code (settings/scan_profile.cpp):
//   - DriverPath belongs to no struct: CScanProfile keeps it apart, and
//     writeBack writes the current scanner's folder there first.
//   - saveToPath is read by its own rule: an overlong value counts as none,
//     a relative folder is the module folder's, the default is the
//     documents folder's "dociva files", and the folder is created.
//   - The scan area: the record has one area, the profile one per source.
//     applyProfile takes the feeder-front area for every source but the
//     flatbed; writeBack writes the area (at scanAreaX's row, so right
//     after AutoSize) to the keys of the scan type the file holds, and only
//     when autoSize is 0.
//   - watermarkTextAngle is applied only when it lies in 0..360.
//   - bwCompress is applied reduced to 0, 1, 2 or a value in (0, 1), and
//     written by CScanProfile::writeBwCompress (an integer or one decimal).
//   - outImg is written from the chosen output formats, not from the
//     record (outputFormatList).
//   - The control's JSON payload of a selected profile
//     (control/json_payload.cpp) names its own keys in its own order: the
//     page reads it, so it is a contract of its own and is not derived.
//
// Thread safety: compile-time data only.
#pragma once

#include <array>
#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

// clang-format off
#define DOCIVA_SETTING_FIELDS(X) \
    /* member              record legacy profile section  key                  read                          apply write */ \
    X(scanType,              yes, yes, yes, ScanParams, u"ScanType",           integer(0),                   copy, ifSet)  \
    X(scanMode,              yes, yes, yes, ScanParams, u"ScanMode",           integer(2, knownScanMode),    copy, ifSet)  \
    X(scanDpi,               yes, yes, yes, ScanParams, u"ScanDpi",            integer(300),                 copy, ifSet)  \
    X(scanSize,              yes, yes, yes, ScanParams, u"ScanSize",           integer(0),                   no,   no)     \
    X(gamma,                 yes, yes, yes, ScanParams, u"Gamma",              intText(u"100"),              copy, ifSet)  \
    X(brightness,            yes, yes, yes, ScanParams, u"Brightness",         intText(u"100"),              copy, ifSet)  \
    X(contrast,              yes, yes, yes, ScanParams, u"Contrast",           intText(u"100"),              copy, ifSet)  \
    X(colorDropOut,          yes, yes, yes, ScanParams, u"ColorDropOut",       integer(0, dropOutChannel),   copy, ifSet)  \
    X(bwThreshold,           yes, yes, yes, ScanParams, u"bw_Threshold",       intText(u"128"),              copy, ifSet)  \
    X(autoSize,              yes, yes, yes, ScanParams, u"AutoSize",           intText(u"0"),                copy, ifSet)  \
    X(scanAreaX,             yes, yes, no,  none,       nullptr,               none,                         own,  own)    \
    X(scanAreaY,             yes, yes, no,  none,       nullptr,               none,                         own,  own)    \
    X(scanAreaW,             yes, yes, no,  none,       nullptr,               none,                         own,  own)    \
    X(scanAreaH,             yes, yes, no,  none,       nullptr,               none,                         own,  own)    \
    X(scanAreaUnit,          yes, yes, no,  none,       nullptr,               none,                         no,   no)     \
    X(flatbedRangeX,         no,  no,  yes, ScanParams, u"FlatbedScanRangeX",  realText(u"0"),               no,   no)     \
    X(flatbedRangeY,         no,  no,  yes, ScanParams, u"FlatbedScanRangeY",  realText(u"0"),               no,   no)     \
    X(flatbedRangeW,         no,  no,  yes, ScanParams, u"FlatbedScanRangeW",  realText(u"4.9"),             no,   no)     \
    X(flatbedRangeH,         no,  no,  yes, ScanParams, u"FlatbedScanRangeH",  realText(u"3.45"),            no,   no)     \
    X(adfFrontRangeX,        no,  no,  yes, ScanParams, u"ADFFrontScanRangeX", realText(u"0"),               no,   no)     \
    X(adfFrontRangeY,        no,  no,  yes, ScanParams, u"ADFFrontScanRangeY", realText(u"0"),               no,   no)     \
    X(adfFrontRangeW,        no,  no,  yes, ScanParams, u"ADFFrontScanRangeW", realText(u"4.9"),             no,   no)     \
    X(adfFrontRangeH,        no,  no,  yes, ScanParams, u"ADFFrontScanRangeH", realText(u"3.45"),            no,   no)     \
    X(adfRearRangeX,         no,  no,  yes, ScanParams, u"ADFRearScanRangeX",  realText(u"0"),               no,   no)     \
    X(adfRearRangeY,         no,  no,  yes, ScanParams, u"ADFRearScanRangeY",  realText(u"0"),               no,   no)     \
    X(adfRearRangeW,         no,  no,  yes, ScanParams, u"ADFRearScanRangeW",  realText(u"4.9"),             no,   no)     \
    X(adfRearRangeH,         no,  no,  yes, ScanParams, u"ADFRearScanRangeH",  realText(u"3.45"),            no,   no)     \
    X(cropXYWH,              no,  no,  yes, ScanParams, u"Crop_XYWH",          string(u""),                  no,   no)     \
    X(rotate,                yes, yes, yes, ScanParams, u"Rotate",             integer(0),                   copy, ifSet)  \
    X(orientation,           yes, yes, yes, ScanParams, u"Orientation",        integer(0),                   copy, ifSet)  \
    X(continuousScan,        yes, yes, yes, ScanParams, u"ContinuousScan",     integer(0),                   copy, ifSet)  \
    X(multiFeed,             no,  no,  yes, ScanParams, u"MultiFeed",          integer(1),                   no,   no)     \
    X(longPaperMode,         no,  no,  yes, ScanParams, u"LongPaperMode",      integer(0),                   no,   no)     \
    X(duplexApi,             no,  no,  yes, ScanParams, u"Duplex_API",         flag,                         no,   no)     \
    X(useDib,                no,  no,  yes, ScanParams, u"UseDIB",             flag,                         no,   no)     \
    X(testMode,              no,  no,  yes, ScanParams, u"Test_Mode",          flag,                         no,   no)     \
    X(blankPageDetect,       yes, yes, yes, ScanParams, u"BlankPageDetect",    flag,                         copy, ifSet)  \
    X(punchHoleErase,        yes, yes, yes, ScanParams, u"PunchHoleErase",     flag,                         copy, ifSet)  \
    X(splitMerge,            yes, yes, yes, ScanParams, u"SplitMerge",         integer(0),                   copy, ifSet)  \
    X(ejectPaperDirection,   yes, yes, yes, ScanParams, u"EjectPaperDirection", integer(0, oneWhenSet),      copy, ifSet)  \
    X(outImg,                yes, yes, yes, Output,     u"OUT_IMG",            string(u"0"),                 copy, own)    \
    X(outImgIr,              no,  no,  yes, Output,     u"OUT_IMG_IR",         string(u"4"),                 no,   no)     \
    X(outImgUv,              no,  no,  yes, Output,     u"OUT_IMG_UV",         string(u"4"),                 no,   no)     \
    X(appFormat,             yes, yes, yes, Output,     u"2AppFormat",         string(u""),                  copy, no)     \
    X(delImg,                yes, yes, yes, Output,     u"DEL_IMG",            flag,                         copy, ifSet)  \
    X(compress,              yes, yes, yes, Output,     u"COMPRESS",           integer(70),                  copy, ifSet)  \
    X(processMode,           no,  no,  yes, Output,     u"ProcessMode",        integer(0),                   no,   no)     \
    X(dialHide,              yes, yes, yes, Output,     u"DIAL_HIDE",          flag,                         copy, ifSet)  \
    X(zoomX,                 yes, yes, yes, Output,     u"ZOOM_X",             integer(100, percentScale),   copy, ifSet)  \
    X(zoomY,                 yes, yes, yes, Output,     u"ZOOM_Y",             integer(100, percentScale),   copy, ifSet)  \
    X(changeDpi,             yes, yes, yes, Output,     u"CHANGE_DPI",         integer(100, percentScale),   copy, ifSet)  \
    X(pageSplit,             yes, yes, yes, Output,     u"PageSplit",          integer(0),                   copy, ifSet)  \
    X(splitFixPages,         yes, yes, yes, Output,     u"SplitFixPages",      integer(0),                   no,   no)     \
    X(flatbedMultiCrop,      yes, yes, yes, Output,     u"FlatbedMultiCrop",   flag,                         copy, ifSet)  \
    X(bwCompress,            yes, yes, yes, Output,     u"BWCOMPRESS",         realText(u"1", normaliseBwCompress), own, own) \
    X(invert,                yes, yes, yes, Output,     u"INVERT",             integer(0),                   copy, ifSet)  \
    X(openSaveFolder,        yes, yes, yes, Output,     u"OpenSaveFolder",     flag,                         copy, no)     \
    X(watermarkType,         yes, yes, yes, WaterMark,  u"Type",               integer(0),                   copy, no)     \
    X(watermarkPosition,     yes, yes, yes, WaterMark,  u"Position",           integer(4),                   copy, no)     \
    X(watermarkTransparency, yes, yes, yes, WaterMark,  u"Transparency",       integer(120),                 copy, no)     \
    X(watermarkImage,        yes, yes, yes, WaterMark,  u"Image",              string(u""),                  copy, no)     \
    X(watermarkText,         yes, yes, yes, WaterMark,  u"Text",               string(u"WaterMark"),         copy, no)     \
    X(watermarkTextSize,     yes, yes, yes, WaterMark,  u"TextSize",           integer(100),                 copy, no)     \
    X(watermarkTextAngle,    yes, yes, yes, WaterMark,  u"TextAngle",          integer(10),                  own,  no)     \
    X(strokeFillSize,        yes, yes, yes, Stroke,     u"FillSize",           integer(0),                   copy, ifSet)  \
    X(strokeFillPosition,    yes, yes, yes, Stroke,     u"FillPosition",       integer(0),                   copy, ifSet)  \
    X(strokeFillColor,       yes, yes, yes, Stroke,     u"FillColor",          string(u"FFFFFF"),            copy, no)     \
    X(strokeFillGray,        yes, yes, yes, Stroke,     u"FillGray",           string(u"FF"),                copy, no)     \
    X(strokeFillBW,          yes, yes, yes, Stroke,     u"FillBW",             integer(1),                   copy, no)     \
    X(fileName,              yes, yes, yes, ScanParams, u"FileName",           string(u""),                  copy, ifText) \
    X(saveToPath,            yes, yes, yes, ScanParams, u"SaveToPath",         own,                          copy, ifText) \
    X(apPath,                yes, yes, yes, ScanParams, u"APPath",             string(u""),                  copy, ifText) \
    X(apParams,              yes, yes, yes, ScanParams, u"APParams",           string(u"%1"),                copy, ifText) \
    X(apBlankPageNotify,     no,  no,  yes, ScanParams, u"APBlankPageNotify",  flag,                         no,   no)     \
    X(barcodeType,           no,  no,  yes, Barcode,    u"CODE_TYP",           string(u""),                  no,   no)     \
    X(barcodeType2D,         no,  no,  yes, Barcode,    u"CODE_TYPE_2D",       string(u""),                  no,   no)     \
    X(barcodeAutoRotate,     no,  no,  yes, Barcode,    u"AutoRotate",         integer(0),                   no,   no)     \
    X(barcodePosition,       no,  no,  yes, Barcode,    u"CODE_POSI",          integer(0),                   no,   no)     \
    X(barcodeOutTfn,         no,  no,  yes, Barcode,    u"OUT_TFN",            integer(0),                   no,   no)     \
    X(reserved1,             yes, yes, no,  none,       nullptr,               none,                         no,   no)     \
    X(reserved2,             yes, no,  no,  none,       nullptr,               none,                         no,   no)     \
    X(reserved3,             yes, no,  no,  none,       nullptr,               none,                         no,   no)     \
    X(reserved4,             yes, no,  no,  none,       nullptr,               none,                         no,   no)     \
    X(reserved5,             yes, no,  no,  none,       nullptr,               none,                         no,   no)     \
    X(reserved6,             yes, yes, no,  none,       nullptr,               none,                         no,   no)     \
    X(reserved7,             yes, yes, no,  none,       nullptr,               none,                         no,   no)     \
    X(reserved8,             yes, yes, no,  none,       nullptr,               none,                         no,   no)     \
    X(reserved9,             yes, yes, no,  none,       nullptr,               none,                         no,   no)     \
    X(reserved10,            yes, yes, no,  none,       nullptr,               none,                         no,   no)     \
    X(reserved11,            yes, yes, no,  none,       nullptr,               none,                         no,   no)     \
    X(reserved12,            yes, yes, no,  none,       nullptr,               none,                         no,   no)     \
    X(reserved13,            yes, yes, no,  none,       nullptr,               none,                         no,   no)     \
    X(padding68,             pad, no,  no,  none,       nullptr,               none,                         no,   no)     \
    X(padding2745,           pad, no,  no,  none,       nullptr,               none,                         no,   no)     \
    X(gap5012,               pad, no,  no,  none,       nullptr,               none,                         no,   no)     \
    X(padding6476,           pad, no,  no,  none,       nullptr,               none,                         no,   no)     \
    X(padding1177,           no,  pad, no,  none,       nullptr,               none,                         no,   no)     \
    X(gap3444,               no,  pad, no,  none,       nullptr,               none,                         no,   no)     \
    X(padding4908,           no,  pad, no,  none,       nullptr,               none,                         no,   no)
// clang-format on

// Helpers for expanding the table, chosen by a row's yes / no / pad.

// The code when the column says yes, nothing otherwise.
#define DOCIVA_FIELD_IF(column, ...) DOCIVA_FIELD_IF_##column(__VA_ARGS__)
#define DOCIVA_FIELD_IF_yes(...) __VA_ARGS__
#define DOCIVA_FIELD_IF_no(...)
#define DOCIVA_FIELD_IF_pad(...)

// The member pointer when the column says yes, setting_fields::Absent{}
// otherwise.
#define DOCIVA_FIELD_MEMBER(column, Struct, member) DOCIVA_FIELD_MEMBER_##column(Struct, member)
#define DOCIVA_FIELD_MEMBER_yes(Struct, member) &Struct::member
#define DOCIVA_FIELD_MEMBER_no(Struct, member) ::setting_fields::Absent{}
#define DOCIVA_FIELD_MEMBER_pad(Struct, member) ::setting_fields::Absent{}

// The member's place in Struct followed by a comma (a field for yes,
// padding for pad), nothing for no.
#define DOCIVA_FIELD_PLACE(column, Struct, member) DOCIVA_FIELD_PLACE_##column(Struct, member)
#define DOCIVA_FIELD_PLACE_yes(Struct, member) ::setting_fields::field(#member, &Struct::member, offsetof(Struct, member)),
#define DOCIVA_FIELD_PLACE_pad(Struct, member) ::setting_fields::padding(#member, &Struct::member, offsetof(Struct, member)),
#define DOCIVA_FIELD_PLACE_no(Struct, member)

namespace setting_fields {

// A struct that does not carry the row's field.
struct Absent {};

// Closes an expansion whose every row ends in a comma; rows() drops it.
struct EndOfRows {};

template <typename... T>
constexpr auto rows(const std::tuple<T...>& withEnd) {
    static_assert(std::is_same_v<std::tuple_element_t<sizeof...(T) - 1, std::tuple<T...>>, EndOfRows>);
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return std::make_tuple(std::get<I>(withEnd)...);
    }(std::make_index_sequence<sizeof...(T) - 1>{});
}

// Where one struct keeps one row's member. Padding is placed, so the rows
// can be checked against the struct's size, but never visited.
template <typename Struct, typename T, bool Visited>
struct Place {
    using Type = T;
    static constexpr bool visited = Visited;
    const char* name;
    T Struct::*member;
    std::size_t offset;
};

template <typename Struct, typename T>
constexpr Place<Struct, T, true> field(const char* name, T Struct::*member, std::size_t offset) {
    return {name, member, offset};
}

template <typename Struct, typename T>
constexpr Place<Struct, T, false> padding(const char* name, T Struct::*member, std::size_t offset) {
    return {name, member, offset};
}

// The places of one struct in member order (by offset), with their sizes.
template <std::size_t N>
struct Layout {
    std::array<std::size_t, N> order{};  // indices into the places
    std::array<std::size_t, N> offset{};
    std::array<std::size_t, N> size{};
    std::array<std::size_t, N> align{};
    std::array<const char*, N> name{};
};

template <const auto& places>
constexpr auto layoutOf() {
    using Places = std::remove_cvref_t<decltype(places)>;
    constexpr std::size_t n = std::tuple_size_v<Places>;
    Layout<n> l;
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        ((l.offset[I] = std::get<I>(places).offset, l.size[I] = sizeof(typename std::tuple_element_t<I, Places>::Type),
          l.align[I] = alignof(typename std::tuple_element_t<I, Places>::Type), l.name[I] = std::get<I>(places).name),
         ...);
    }(std::make_index_sequence<n>{});
    for (std::size_t i = 0; i < n; ++i) l.order[i] = i;
    for (std::size_t i = 1; i < n; ++i)
        for (std::size_t j = i; j > 0 && l.offset[l.order[j - 1]] > l.offset[l.order[j]]; --j)
            std::swap(l.order[j - 1], l.order[j]);
    return l;
}

inline constexpr std::size_t kUnbroken = static_cast<std::size_t>(-1);

// The offset where the places stop covering Struct (a hole or an overlap
// starts there, or the struct goes on past the last place); kUnbroken when
// they cover every byte exactly once.
template <typename Struct, const auto& places>
constexpr std::size_t firstBreakInRecord() {
    constexpr auto l = layoutOf<places>();
    std::size_t next = 0;
    for (const std::size_t k : l.order) {
        if (l.offset[k] != next) return next;
        next += l.size[k];
    }
    return next == sizeof(Struct) ? kUnbroken : next;
}

// The same for a struct with the compiler's padding: every member must
// start at the first suitably aligned offset after the one before it, so a
// member the rows leave out shows unless it fits into alignment padding.
template <typename Struct, const auto& places>
constexpr std::size_t firstBreakInStruct() {
    constexpr auto l = layoutOf<places>();
    auto alignUp = [](std::size_t at, std::size_t alignment) { return (at + alignment - 1) / alignment * alignment; };
    std::size_t next = 0;
    for (const std::size_t k : l.order) {
        if (l.offset[k] != alignUp(next, l.align[k])) return next;
        next = l.offset[k] + l.size[k];
    }
    return alignUp(next, alignof(Struct)) == sizeof(Struct) ? kUnbroken : next;
}

// Used as RowsBreakAtOffset<firstBreak...()>::ok in a static_assert: a
// break makes the compiler name the type, and so the offset, in its error.
template <std::size_t offset>
struct RowsBreakAtOffset;
template <>
struct RowsBreakAtOffset<kUnbroken> {
    static constexpr bool ok = true;
};

template <typename P, typename Object, typename Visit>
void visitPlace(const P& place, Object& object, Visit& visit) {
    if constexpr (P::visited) visit(place.name, object.*place.member);
}

// visit(name, member) for every visited place, in member order.
template <const auto& places, typename Object, typename Visit>
void visitInMemberOrder(Object& object, Visit& visit) {
    static constexpr auto layout = layoutOf<places>();
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (visitPlace(std::get<layout.order[I]>(places), object, visit), ...);
    }(std::make_index_sequence<layout.order.size()>{});
}

}  // namespace setting_fields
