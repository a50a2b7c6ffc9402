// The start trace: when $DOCIVA_SDK_TRACE names a file, every start appends
// one JSON line with what the SDK received, before it acts on it:
//   {"handle":1,"profilePath":null,"buttonId":null,"settings":{"scanType":1,...}}
// Every ScanSettings field appears by name in record order, as received:
// numbers as numbers (the double with 17 significant digits), texts up to
// their terminator as JSON strings; a null pointer gives null.
//
// Thread safety: lines of concurrent starts are appended whole, one at a
// time.
#pragma once

#include <string>

#include "scanner/dociva_sdk.h"
#include "settings/scan_settings.h"

namespace dociva_sdk {

std::string traceLine(DocivaHandle handle, const char16_t* profilePath, const ScanSettings* settings,
                      const int* buttonId);

// Appends the line to the trace file, when one is named.
void traceStart(DocivaHandle handle, const char16_t* profilePath, const ScanSettings* settings, const int* buttonId);

}  // namespace dociva_sdk
