// The control's method and event tables as the bridge shows them to pages:
// as JSON in the session's hello (the JavaScript client makes its
// functions from it), and as TypeScript declarations written at build time
// (clients/js), so neither can drift from the control's own table.
//
// Thread safety: pure functions; any thread.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace bridge {

// [{"name":..., "params":[{"name":..., "type":"integer"|"real"|"text"|"object"}], "result":"integer"|"text"|null}]
nlohmann::json methodTable();
// ["OnSourceReady", ...]
nlohmann::json eventTable();

// The client's declarations: the Dociva session with one method per entry
// of the table, and the event names.
std::string typescriptDeclarations();

}  // namespace bridge
