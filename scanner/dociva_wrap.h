// CDocivaWrap: the control's one gateway to the scanners. It keeps the
// installed drivers that serve an attached scanner (found by driver
// discovery when it is constructed), opens a driver on request and keeps it
// open as a ScannerSource per product name until it is destroyed, forwards
// scan starts to the SDK, and knows the paper sizes a source offers.
//
// Both maps compare product names exactly (case-sensitive). The driver map
// only grows; a source once open stays open until the wrapper goes away.
//
// Thread safety: none of its own. The control calls it from its window
// thread and, for a scan started by a scanner button, from the SDK's status
// callback thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "scanner/dociva_sdk.h"
#include "scanner/driver_discovery.h"
#include "scanner/sdk_calls.h"

inline constexpr std::size_t kPaperNameUnits = 260;

// Paper-size ids with a meaning of their own; 2 to 20 are the fixed sizes
// of the table, in pairs of orientations.
namespace paper_id {
inline constexpr std::int32_t kAuto = 0;
inline constexpr std::int32_t kMultiAuto = 1;
inline constexpr std::int32_t kMax = 21;
inline constexpr std::int32_t kCustom = 22;
inline constexpr std::int32_t kLongPaper = 23;
inline constexpr std::int32_t kNotSet = -1;
}  // namespace paper_id
inline constexpr std::size_t kSourceNameUnits = 260;

// A paper size a source offers. Sizes are inches.
struct PaperSize {
    char16_t name[kPaperNameUnits] = {};
    std::int32_t id = -1;
    double left = 0.0;
    double top = 0.0;
    double width = 0.0;
    double height = 0.0;
};

// Paper-size id -> size, in id order.
using PaperSizeMap = std::map<std::int32_t, PaperSize>;

// An open driver. A new source is all zeros; it closes its handle when it
// goes away.
class ScannerSource {
public:
    // sdk must outlive the source.
    explicit ScannerSource(const SdkCalls* sdk);
    ~ScannerSource();
    ScannerSource(const ScannerSource&) = delete;
    ScannerSource& operator=(const ScannerSource&) = delete;

    // True when the driver is open under this name afterwards. Opening the
    // open product again does not call the SDK; any other name closes the
    // current handle first.
    bool open(const char16_t* name, const char16_t* driverDirectory);
    // Clears name and capabilities and closes the handle (ordinal 8).
    void close();

    char16_t productName[kSourceNameUnits] = {};
    DocivaHandle handle = 0;
    SourceCapability capability{};

private:
    const SdkCalls* sdk_;
};

class CDocivaWrap {
public:
    // Runs driver discovery at once (with the machine's own places unless
    // told otherwise). sdk is copied.
    explicit CDocivaWrap(const SdkCalls& sdk, DiscoveryPlaces places = {});
    virtual ~CDocivaWrap();
    CDocivaWrap(const CDocivaWrap&) = delete;
    CDocivaWrap& operator=(const CDocivaWrap&) = delete;

    // Discovers again and adds the products the driver map lacks (entries
    // present are kept as they are). Returns the map's size.
    std::size_t refreshDrivers();
    // Every driver in product-name order.
    std::vector<DriverEntry> listDrivers() const;

    // True when a source of that name is open afterwards.
    bool registerSource(const char16_t* name);
    // The open source of that name, or null; the wrapper keeps it.
    ScannerSource* getSource(const char16_t* name) const;
    // The driver directory of an installed product, cut to capacity - 1.
    bool getSystemDirectory(const char16_t* name, char16_t* buffer, std::size_t capacity) const;
    // The form of the settings record startScan hands over. The browser
    // plug-in hands the earlier 4912-byte form to an SDK that accepts being
    // told of it (the optional settings-form call answers 0); any other SDK
    // gets the current one, the default, which every SDK reads.
    enum class SettingsForm { Current, Earlier };
    void setSettingsForm(SettingsForm form) { settingsForm_ = form; }
    SettingsForm settingsForm() const { return settingsForm_; }

    // dociva_StartScanAsync with the source's handle; -1 without a source.
    // A record goes over in the chosen form when the SDK takes it, else in
    // the current form.
    int startScan(const ScannerSource* source, const char16_t* profilePath, const ScanSettings* settings,
                  const int* buttonId) const;

    // What asking the SDK to stop a handle's running scan gave.
    enum class CancelResult {
        Stopping,     // the run ends early, with the sides it has
        NoRun,        // nothing to stop: no run, or it is finishing its files
        Unsupported,  // the SDK has no cancel call, or refused (no such handle)
    };
    CancelResult cancelScan(DocivaHandle handle) const;

    // The SDK calls the sources use, for the owner's own ordinal-2 call.
    const SdkCalls& sdkCalls() const { return sdk_; }

    // Fills sizes with the paper sizes a source of this capability offers
    // (and clears it first); without a capability returns 0 and leaves the
    // map alone. Returns the map's size.
    static std::size_t buildPaperSizes(PaperSizeMap& sizes, const SourceCapability* capability);
    // The width and height of a table size (ids 0, 1, 21 and 23 give 0 x 0).
    // False, with the outputs untouched, for any other id.
    static bool getPaperSize(std::int32_t id, double& width, double& height);

private:
    std::map<std::u16string, DriverEntry> drivers_;
    std::map<std::u16string, std::unique_ptr<ScannerSource>> sources_;
    SdkCalls sdk_;
    DiscoveryPlaces places_;
    SettingsForm settingsForm_ = SettingsForm::Current;
};
