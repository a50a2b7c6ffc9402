#include "fake_sdk.h"

#include <cstring>
#include <memory>
#include <type_traits>

#include "platform/text.h"
#include "settings/scan_settings.h"

// The SDK is reached through plain C-convention function pointers; on
// 32-bit Windows that must be cdecl, which is also what a function without
// an attribute gets, so the fake's plain functions fit.
#ifdef _WIN32
static_assert(std::is_same_v<StatusCallback, int(__cdecl*)(int, int*)>);
static_assert(std::is_same_v<EventCallback, void(__cdecl*)(int, void*, int, void*)>);
static_assert(std::is_same_v<DocivaOpenDriverFn, DocivaHandle(__cdecl*)(const char16_t*)>);
#endif
static_assert(std::is_trivially_copyable_v<SourceCapability> && std::is_standard_layout_v<SourceCapability>);
static_assert(std::is_trivially_copyable_v<ImageReadyRecord> && std::is_standard_layout_v<ImageReadyRecord>);

namespace {

FakeSdk* active = nullptr;

std::string utf8(const char16_t* s) { return s ? text::toUtf8(text::view(s)) : std::string("null"); }

DocivaHandle fakeOpen(const char16_t* directory) {
    const auto it = active->drivers.find(std::u16string(text::view(directory)));
    const DocivaHandle h = it == active->drivers.end() ? 0 : active->nextHandle++;
    active->log.push_back("open " + utf8(directory) + " -> " + std::to_string(h));
    if (h != 0) {
        active->openHandles.insert(h);
        active->handleDirectory[h] = it->first;
    }
    return h;
}

int fakeCapability(DocivaHandle h, SourceCapability* capability) {
    active->log.push_back("capability " + std::to_string(h));
    const auto dir = active->handleDirectory.find(h);
    if (dir == active->handleDirectory.end() || !active->openHandles.count(h) || !capability) return -1;
    *capability = active->drivers[dir->second].capability;
    return 0;
}

int fakeRegister(DocivaHandle h, void* context, StatusCallback status, EventCallback event) {
    active->log.push_back("register " + std::to_string(h));
    if (!active->openHandles.count(h)) return -1;
    active->registrations[h] = {context, status, event};
    return 0;
}

int fakeStart(DocivaHandle h, const char16_t* profile, const ScanSettings* settings, const int* button) {
    active->log.push_back("start " + std::to_string(h) + " profile=" + utf8(profile) +
                          " settings=" + (settings ? "yes" : "no") +
                          " button=" + (button ? std::to_string(*button) : std::string("none")));
    active->lastSettings = settings;
    if (!active->openHandles.count(h)) return -1;
    const auto reg = active->registrations.find(h);
    if (reg == active->registrations.end()) return 0;
    const FakeSdk::Registration r = reg->second;
    const auto& pages = active->drivers[active->handleDirectory[h]].pages;
    if (r.event) {
        const int total = static_cast<int>(pages.size()) * 100;
        r.event(DOCIVA_EVENT_SCAN_STARTED, nullptr, total, r.context);
        r.event(DOCIVA_EVENT_SCAN_PROGRESS, nullptr, total, r.context);
        r.event(DOCIVA_EVENT_PAPER_END, nullptr, 0, r.context);
        for (const auto& page : pages) {
            auto record = std::make_unique<ImageReadyRecord>();
            std::memset(record.get(), 0, sizeof(ImageReadyRecord));
            text::copyBounded(record->filePath, 1024, page);
            record->formatCode = 1;
            r.event(DOCIVA_EVENT_IMAGE_READY, record.get(), 0, r.context);
        }
        r.event(DOCIVA_EVENT_SCAN_FINISHED, nullptr, 0, r.context);
        r.event(DOCIVA_EVENT_PROCESSING_FINISHED, nullptr, 0, r.context);
    }
    if (r.status) {
        int id = button ? *button : -1;
        r.status(DOCIVA_STATUS_SCAN_SUCCESS, &id);
    }
    return 0;
}

int fakeClose(DocivaHandle* h) {
    active->log.push_back("close " + (h ? std::to_string(*h) : std::string("null")));
    if (!h || active->openHandles.erase(*h) == 0) {
        ++active->strayCloses;
        return -1;
    }
    active->registrations.erase(*h);
    return 0;
}

int fakeSettingsForm(DocivaHandle h, int bytes) {
    active->log.push_back("form " + std::to_string(h) + " " + std::to_string(bytes));
    return active->settingsFormAnswer;
}

int fakeCancel(DocivaHandle h) {
    active->log.push_back("cancel " + std::to_string(h));
    return active->cancelAnswer;
}

}  // namespace

FakeSdk::FakeSdk() { active = this; }

FakeSdk::~FakeSdk() { active = nullptr; }

SdkCalls FakeSdk::calls() const {
    SdkCalls c;
    c.openDriver = fakeOpen;
    c.getSourceCapability = fakeCapability;
    c.registerCallback = fakeRegister;
    c.startScanAsync = fakeStart;
    c.closeDriver = fakeClose;
    if (offersSettingsForm) c.setSettingsForm = fakeSettingsForm;
    if (offersCancel) c.cancelScan = fakeCancel;
    return c;
}

void FakeSdk::addDriver(const std::u16string& directory, const SourceCapability& capability,
                        std::vector<std::u16string> pages) {
    drivers[directory] = Driver{capability, std::move(pages)};
}
