// The service's messages (docs/bridge.md): what a page sends, parsed and
// checked, and what the service sends back, written as JSON texts.
//
// Thread safety: pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "control/dociva_module.h"
#include "platform/dialog_service.h"

namespace bridge {

// Calls carry ids a page chooses: integers a JavaScript number holds
// exactly, or short texts.
using CallId = nlohmann::json;

struct CallMessage {
    CallId id;
    std::string method;
    nlohmann::json args;  // an array
};

struct AnswerMessage {
    std::uint64_t dialog = 0;
    nlohmann::json value;  // null: cancelled
};

// The page's pointer on the viewer's picture, in the picture's pixels
// (DocivaMouseKind: move, drag, down, up, dblclick, leave).
struct MouseMessage {
    std::int32_t kind = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// The page wants the viewer's picture (on) or no longer (off).
struct ViewerMessage {
    bool on = false;
};

// The page asks for the list of its session's files (file empty), or for
// one file's bytes by the id the list gave.
struct FileMessage {
    CallId id;
    std::string file;
    bool list = false;
};

// A message the page sent that cannot be carried out: the reply says why,
// with the call's id when one could be read.
struct BadMessage {
    CallId id;  // null when none
    std::string reason;
};

using PageMessage = std::variant<CallMessage, AnswerMessage, MouseMessage, ViewerMessage, FileMessage, BadMessage>;

// A file id as the service hands them out: 32 lower-case hex digits, so a
// path (or anything else a page makes up) is never one.
bool wellFormedFileId(std::string_view id);

PageMessage parsePageMessage(std::string_view text);

// Arguments converted to the values the dispatch takes; the texts live as
// long as this object.
class Arguments {
public:
    // nullopt when an argument has no value a script engine could pass to
    // the control (an array or an object); badIndex receives its index.
    static std::optional<Arguments> from(const nlohmann::json& args, std::uint32_t& badIndex);

    const DocivaValue* data() const { return values_.data(); }
    std::uint32_t size() const { return static_cast<std::uint32_t>(values_.size()); }

private:
    std::vector<std::u16string> texts_;
    std::vector<DocivaValue> values_;
};

// The dispatch's name for a refusal (DOCIVA_E_*), "error 0x...." for others.
std::string refusalReason(std::int32_t hresult);
std::string hresultText(std::int32_t hresult);

// ---- messages of the service -----------------------------------------------

// The session's first message: the protocol's version, and the control's
// method and event tables (bridge/method_table.h).
std::string helloMessage(std::uint32_t protocolVersion, const nlohmann::json& methods, const nlohmann::json& events);
std::string resultMessage(const CallId& id, const nlohmann::json& value);
// A refusal of the control's dispatch: its HRESULT, its reason, and the
// index of the argument that failed (-1: none).
std::string refusalMessage(const CallId& id, std::int32_t hresult, std::int64_t badArgument);
// A refusal of the service itself: kind is "denied", "busy" or "malformed".
std::string serviceErrorMessage(const CallId& id, std::string_view kind, std::string_view reason);
std::string eventMessage(std::u16string_view name, std::u16string_view data);
std::string progressMessage(const DocivaProgress& progress);
// A dialog put to the page; fields hold its texts (and the watermark record).
std::string dialogMessage(std::uint64_t dialog, std::string_view kind, const nlohmann::json& fields);
std::string dialogClosedMessage(std::uint64_t dialog, std::string_view why);
// The text frame that goes before each binary frame, saying what it holds.
std::string pictureHeader(std::size_t bytes);
std::string fileHeader(const CallId& id, std::string_view file, std::string_view name, std::size_t bytes);

// The watermark record as the page sees it, and the page's changes applied
// to it (fields it does not name stay; values of the wrong type are
// ignored, texts are cut to the record's size).
nlohmann::json watermarkToJson(const platform::WatermarkSettings& record);
void applyWatermark(const nlohmann::json& answer, platform::WatermarkSettings& record);

}  // namespace bridge
