#include "scanner/dociva_wrap.h"

#include <utility>

#include "platform/text.h"
#include "settings/scan_settings.h"

namespace {

bool empty(const char16_t* s) { return !s || !*s; }

}  // namespace

ScannerSource::ScannerSource(const SdkCalls* sdk) : sdk_(sdk) {}

ScannerSource::~ScannerSource() { close(); }

bool ScannerSource::open(const char16_t* name, const char16_t* driverDirectory) {
    if (empty(name) || empty(driverDirectory)) return false;
    if (handle != 0 && text::view(productName) == text::view(name)) return true;
    close();
    if (!sdk_ || !sdk_->openDriver) return false;
    handle = sdk_->openDriver(driverDirectory);
    if (handle == 0) return false;
    if (sdk_->getSourceCapability) sdk_->getSourceCapability(handle, &capability);
    text::copyBounded(productName, kSourceNameUnits, text::view(name));
    return true;
}

void ScannerSource::close() {
    productName[0] = 0;
    capability = SourceCapability{};
    if (handle != 0 && sdk_ && sdk_->closeDriver) sdk_->closeDriver(&handle);
    handle = 0;
}

CDocivaWrap::CDocivaWrap(const SdkCalls& sdk, DiscoveryPlaces places) : sdk_(sdk), places_(std::move(places)) {
    refreshDrivers();
}

CDocivaWrap::~CDocivaWrap() {
    // Every handle is closed before the driver list goes.
    sources_.clear();
}

std::size_t CDocivaWrap::refreshDrivers() {
    DriverMap found;
    if (DriverDiscovery(places_).findInstalledDrivers(found) == 0) return drivers_.size();
    for (const auto& [product, directory] : found) {
        DriverEntry entry;
        text::copyBounded(entry.productName, kDriverTextUnits, product);
        text::copyBounded(entry.systemDirectory, kDriverTextUnits, directory);
        // Keyed by the name as stored, so a lookup by the entry's own name
        // always finds it.
        drivers_.emplace(std::u16string(text::view(entry.productName)), entry);
    }
    return drivers_.size();
}

std::vector<DriverEntry> CDocivaWrap::listDrivers() const {
    std::vector<DriverEntry> out;
    out.reserve(drivers_.size());
    for (const auto& [name, entry] : drivers_) out.push_back(entry);
    return out;
}

bool CDocivaWrap::registerSource(const char16_t* name) {
    if (empty(name)) return false;
    const std::u16string key(text::view(name));
    if (sources_.count(key) != 0) return true;
    const auto driver = drivers_.find(key);
    if (driver == drivers_.end()) return false;
    auto source = std::make_unique<ScannerSource>(&sdk_);
    if (!source->open(driver->second.productName, driver->second.systemDirectory)) return false;
    sources_.emplace(key, std::move(source));
    return true;
}

ScannerSource* CDocivaWrap::getSource(const char16_t* name) const {
    if (!name) return nullptr;
    const auto it = sources_.find(std::u16string(text::view(name)));
    return it == sources_.end() ? nullptr : it->second.get();
}

bool CDocivaWrap::getSystemDirectory(const char16_t* name, char16_t* buffer, std::size_t capacity) const {
    if (!name) return false;
    const auto it = drivers_.find(std::u16string(text::view(name)));
    if (it == drivers_.end()) return false;
    // Leaves room for the terminator: a full-width copy would leave the
    // caller an unterminated text.
    text::copyBounded(buffer, capacity, text::view(it->second.systemDirectory));
    return true;
}

int CDocivaWrap::startScan(const ScannerSource* source, const char16_t* profilePath, const ScanSettings* settings,
                           const int* buttonId) const {
    if (!source || !sdk_.startScanAsync) return -1;
    // The earlier form goes only to an SDK that can be told of it: one that
    // cannot would read a whole current record through the shorter one.
    if (settings && settingsForm_ == SettingsForm::Earlier && sdk_.setSettingsForm &&
        sdk_.setSettingsForm(source->handle, static_cast<int>(sizeof(LegacyScanSettings))) == 0) {
        const LegacyScanSettings earlier = toLegacy(*settings);
        // The SDK reads only the earlier form's bytes through this pointer.
        return sdk_.startScanAsync(source->handle, profilePath, reinterpret_cast<const ScanSettings*>(&earlier),
                                   buttonId);
    }
    return sdk_.startScanAsync(source->handle, profilePath, settings, buttonId);
}

CDocivaWrap::CancelResult CDocivaWrap::cancelScan(DocivaHandle handle) const {
    if (!sdk_.cancelScan || handle == 0) return CancelResult::Unsupported;
    switch (sdk_.cancelScan(handle)) {
    case 0: return CancelResult::Stopping;
    case 1: return CancelResult::NoRun;
    default: return CancelResult::Unsupported;
    }
}
