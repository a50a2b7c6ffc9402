#include "scanner/sane_devices.h"

#include "platform/dynamic_library.h"
#include "platform/library_name.h"
#include "scanner/dociva_sdk.h"

std::vector<SaneDeviceLine> parseSaneDeviceList(std::u16string_view list) {
    std::vector<SaneDeviceLine> out;
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find(u'\n', start);
        if (end == std::u16string_view::npos) end = list.size();
        const std::u16string_view line = list.substr(start, end - start);
        start = end + 1;
        std::vector<std::u16string> fields;
        std::size_t from = 0;
        for (;;) {
            const std::size_t tab = line.find(u'\t', from);
            fields.emplace_back(line.substr(from, tab == std::u16string_view::npos ? line.npos : tab - from));
            if (tab == std::u16string_view::npos) break;
            from = tab + 1;
        }
        fields.resize(4);
        if (fields[0].empty()) continue;
        out.push_back(SaneDeviceLine{fields[0], fields[1], fields[2], fields[3]});
    }
    return out;
}

bool listSaneDevicesOfSdk(std::vector<SaneDeviceLine>& devices) {
    platform::DynamicLibrary sdk;
    if (!sdk.attachLoaded(platform::sharedLibraryFileName(u"dociva"))) return false;
    const auto list = reinterpret_cast<DocivaListSaneDevicesFn>(sdk.symbol("dociva_ListSaneDevices"));
    if (!list) return false;
    // The list may grow between the two calls (a device just plugged in).
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int needed = list(nullptr, 0);
        if (needed < 1) return false;
        std::u16string buffer(static_cast<std::size_t>(needed), u'\0');
        if (list(buffer.data(), needed) != needed) continue;
        buffer.resize(static_cast<std::size_t>(needed - 1));
        const std::vector<SaneDeviceLine> found = parseSaneDeviceList(buffer);
        devices.insert(devices.end(), found.begin(), found.end());
        return true;
    }
    return false;
}
