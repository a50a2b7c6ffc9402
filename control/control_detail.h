// What the files of the control share and nobody else uses.
#pragma once

#include <cstddef>
#include <string>

#include "settings/setting_config.h"

namespace control_detail {

// Fixed text buffers of the control: 259 units and a terminator.
inline constexpr std::size_t kFixedTextUnits = 260;

// The scanner the settings name as the current one ("" when none).
inline std::u16string readScannerName(const CSettingConfig& settings) {
    char16_t buffer[kFixedTextUnits] = {};
    settings.getScannerName(buffer, kFixedTextUnits);
    return buffer;
}

}  // namespace control_detail
