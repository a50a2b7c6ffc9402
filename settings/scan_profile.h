// CScanProfile: one profile file (dociva.ini or a file of the profiles
// folder) and the values read from it. The object keeps no file open:
// every read and write goes to the file as it is at the time of the call.
//
// applyProfile copies a profile into the control's ScanSettings; writeBack
// writes a ScanSettings record into a profile file. The keys, defaults and
// per-field rules of all three come from the field table
// (settings/setting_fields.h).
//
// Thread safety: an object may be used from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "platform/module.h"
#include "settings/config_impl.h"
#include "settings/profile_settings.h"
#include "settings/scan_settings.h"

inline constexpr std::size_t kDriverPathUnits = 4095;

class CScanProfile {
public:
    // Gives the user's documents folder, the base of the default output
    // folder; tests point it at a folder of their own.
    using DocumentsFolderSource = std::u16string (*)();

    // path null or empty: dociva.ini in the module folder. documents null:
    // the platform's documents folder. Runs load().
    explicit CScanProfile(const char16_t* path = nullptr, DocumentsFolderSource documents = nullptr);

    // Locates the file (quotes dropped, a folder gets dociva.ini, a path
    // without a drive is relative to the module folder) and reads every key
    // with its default and normalisation. Nothing of an earlier profile
    // survives. A missing or unreadable file yields every default. As a side
    // effect the output folder is created when it does not exist.
    void load(const char16_t* path);

    ProfileSettings getSettings() const { return settings; }
    const ProfileSettings& profileSettings() const { return settings; }
    const std::u16string& getDriverPath() const { return driverPath; }
    // The file in use; "" when the path given could not name a file of at
    // most 259 units (reads then give defaults and writes fail).
    const std::u16string& path() const { return iniFile.path(); }
    // Copies the file's path, at most size - 1 units.
    void getIniPath(char16_t* buffer, std::size_t size) const;
    // Copies saveToPath, using at most min(length, 260) units of the buffer.
    void getSaveToPath(char16_t* buffer, std::size_t length) const;

    // ScanParams/ScanType as the file holds it now (default 0).
    int readScanType() const;

    // The Message texts, read now with the caller's buffer size; the
    // number of units copied.
    std::uint32_t readWarmingUpMessage(char16_t* buffer, std::uint32_t size) const;
    std::uint32_t readScanningMessage(char16_t* buffer, std::uint32_t size) const;
    std::uint32_t readScanFinishMessage(char16_t* buffer, std::uint32_t size) const;
    std::uint32_t readProcessFinishMessage(char16_t* buffer, std::uint32_t size) const;

    // False for a null argument or when the platform reports a failed write.
    bool writeString(const char16_t* section, const char16_t* key, const char16_t* value);
    bool writeInt(const char16_t* section, const char16_t* key, int value);

    bool writeDriverPath(const char16_t* value);
    bool writeScanType(int value);
    bool writeScanMode(int value);
    bool writeScanDpi(int value);
    bool writeGamma(int value);
    bool writeBrightness(int value);
    bool writeContrast(int value);
    bool writeColorDropOut(int value);
    bool writeBwThreshold(int value);
    bool writeAutoSize(int value);
    bool writeRotate(int value);
    bool writeOrientation(int value);
    bool writeContinuousScan(int value);
    bool writeLongPaperMode(int value);
    bool writeBlankPageDetect(int value);
    bool writePunchHoleErase(int value);
    bool writeSplitMerge(int value);
    bool writeEjectPaperDirection(int value);
    bool writeFileName(const char16_t* value);
    bool writeSaveToPath(const char16_t* value);
    bool writeApPath(const char16_t* value);
    bool writeApParams(const char16_t* value);

    bool writeOutImg(const char16_t* value);
    bool writeAppFormat(const char16_t* value);
    bool writeDelImg(int value);
    bool writeCompress(int value);
    bool writeDialHide(int value);
    bool writeZoomX(int value);
    bool writeZoomY(int value);
    bool writeChangeDpi(int value);
    bool writePageSplit(int value);
    bool writeSplitFixPages(int value);
    bool writeFlatbedMultiCrop(int value);
    bool writeInvert(int value);

    bool writeStrokeFillSize(int value);
    bool writeStrokeFillPosition(int value);

    // The four keys of one scan area, each "%.2f"; true when all four were
    // written.
    bool writeFlatbedRange(double x, double y, double w, double h);
    bool writeAdfFrontRange(double x, double y, double w, double h);
    bool writeAdfRearRange(double x, double y, double w, double h);

    // Output/BWCOMPRESS: 1 or 2 as integers, a value in (0, 1] as "%.1f",
    // anything else as 0.
    bool writeBwCompress(double value);

    // The user's documents folder followed by "dociva files"; "" when the
    // documents folder is unknown or the result would not fit in 259 units.
    std::u16string defaultSaveFolder() const;
    // The same into a buffer, at most length - 1 units.
    void defaultSaveFolder(char16_t* buffer, std::size_t length) const;

private:
    void readKeys();
    std::uint32_t readMessage(const char16_t* key, const char16_t* defaultText, char16_t* buffer,
                              std::uint32_t size) const;

    std::u16string driverPath;
    ProfileSettings settings;
    CConfigImpl iniFile;  // its path is the file in use
    platform::ModuleHandle module;
    DocumentsFolderSource documents;
};

// The ids in ascending order joined by ", " ("0, 4"), at most 259 units;
// the outImg text of a set of chosen output formats.
std::u16string outputFormatList(const std::set<std::int32_t>& formats);

// Copies a profile into the control's record: every applied field, the
// scan area of the profile's source, the text angle only when it lies in
// 0..360, bwCompress reduced to 0, 1, 2 or a value in (0, 1). watermarkEnabled
// (kept by the control beside its record) becomes 1 when the profile has a
// watermark type. scanSize, scanAreaUnit, splitFixPages and the reserved
// fields are left alone.
void applyProfile(const ProfileSettings& profile, ScanSettings& record, std::uint8_t& watermarkEnabled);

// Writes every field of the record that has a value into target, in a fixed
// order: scannerDirectory (the current scanner's driver folder, "" when
// none) as DriverPath, then the scan keys, the scan area of the file's
// ScanType when autoSize is 0, the chosen output formats, the output and
// stroke keys and the non-empty texts. Every write is attempted; the
// result is true when all of them succeeded.
bool writeBack(const ScanSettings& record, const std::set<std::int32_t>& selectedFormats,
               std::u16string_view scannerDirectory, CScanProfile& target);
