// The JSON texts the control hands to the page with its events. Each is
// built by joining fixed fragments and values, character for character as
// pages have always parsed them; there is no general JSON writer.
//
// Every string value goes through jsonString(): backslash, double quote and
// control characters are escaped and nothing else, so a path comes out with
// its backslashes doubled (as pages expect) and a name holding a quote can
// neither break the page's parse nor add fields to it. Numbers that are not
// finite are written as 0: a bare "inf" would not parse.
//
// Fixed-size texts keep at most 259 units; list texts are never cut.
//
// Thread safety: pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scanner/dociva_sdk.h"
#include "scanner/dociva_wrap.h"
#include "settings/profile_settings.h"

namespace payload {

// What a fixed-size payload buffer of 260 units keeps.
inline constexpr std::size_t kFixedUnits = 259;

// The contents of a JSON string (without the quotes).
std::u16string jsonString(std::u16string_view value);
// "%f" / "%.02f" of a double, 0 in place of infinities and NaN.
std::u16string jsonDouble(double value, std::u16string_view format = u"%f");
// At most kFixedUnits units of text.
std::u16string fixed(std::u16string text);

// OnSourceReady. FLAG compares the product with scannerName ignoring case.
std::u16string sources(const std::vector<DriverEntry>& drivers, std::u16string_view scannerName);

struct ProfileItem {
    std::u16string title;     // file name without its extension
    std::u16string fileName;  // file name
    std::u16string path;      // folder + file name
    std::int32_t size = 0;    // low 32 bits of the size, signed
    bool isDefault = false;
};
// OnProfileReady; the empty list gives {"count":0, "profiles":[""]}.
std::u16string profiles(const std::vector<ProfileItem>& items);

// OnAfterScannerRegister: the capability part only with code 0 and a
// capability.
std::u16string registration(int code, std::u16string_view message, const SourceCapability* capability);
// OnAfterScannerRegister for an empty product name.
std::u16string registrationWithoutName();

// OnScanEnd.
std::u16string scanEnd(int code);

struct ScanSizeItem {
    std::u16string name;
    std::int32_t id = 0;
    double x = 0, y = 0, w = 0, h = 0;
};
// OnAfterScanSizesReady.
std::u16string scanSizes(const std::vector<ScanSizeItem>& items, int defaultSizeId);

// The profile's BWCOMPRESS as the page sees it and as the record stores it:
// within 0.000001 of 0, 1 or 2 the integer; else a value strictly between 0
// and 1 as it is; anything else 0.
struct BwCompressValue {
    std::u16string item;  // the payload's value text
    double stored = 0;    // what the record keeps
};
BwCompressValue bwCompressValue(double profileValue);

// OnAfterSelectProfile for a profile's values.
std::u16string selectedProfile(const ProfileSettings& profile);

// The inputs of the viewer's button states and the four reports.
struct ViewerState {
    int screenCount = 0;
    int currentScreen = 0;
    int viewMode = 1;  // 1, 4 or 9 items per screen
    int zoomLevel = 0; // 0, 1 or 2
    bool undoAvailable = false;
};
std::u16string navigationStatus(const ViewerState& state);
std::u16string zoomViewStatus(const ViewerState& state);
std::u16string undoStatus(const ViewerState& state);
std::u16string cutStatus(const ViewerState& state);

}  // namespace payload
