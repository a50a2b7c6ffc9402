#include "bridge/protocol.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/text.h"

namespace bridge {

namespace {

using nlohmann::json;

constexpr std::size_t kMaxIdText = 64;
constexpr std::size_t kMaxMethodName = 64;
// A JavaScript number holds integers up to 2^53 exactly.
constexpr std::int64_t kMaxIntegerId = (std::int64_t{1} << 53) - 1;

bool usableId(const json& id) {
    // Unsigned first: read as signed, the largest would wrap into range.
    if (id.is_number_unsigned()) return id.get<std::uint64_t>() <= static_cast<std::uint64_t>(kMaxIntegerId);
    if (id.is_number_integer()) {
        const auto n = id.get<std::int64_t>();
        return n >= -kMaxIntegerId && n <= kMaxIntegerId;
    }
    return id.is_string() && id.get_ref<const std::string&>().size() <= kMaxIdText;
}

std::string utf8(std::u16string_view text) { return text::toUtf8(text); }

std::string dump(const json& message) {
    // Texts from the disk and from drivers may hold bytes that are not
    // UTF-8; they are replaced rather than ending the session.
    return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

PageMessage parsePageMessage(std::string_view textIn) {
    json message = json::parse(textIn, nullptr, false);
    if (message.is_discarded()) return BadMessage{nullptr, "not JSON"};
    if (!message.is_object()) return BadMessage{nullptr, "a message is a JSON object"};
    const auto type = message.find("type");
    if (type == message.end() || !type->is_string()) return BadMessage{nullptr, "no type"};
    const std::string& kind = type->get_ref<const std::string&>();
    if (kind == "call") {
        const auto id = message.find("id");
        if (id == message.end() || !usableId(*id)) return BadMessage{nullptr, "a call needs an id: an integer or a short text"};
        const auto method = message.find("method");
        if (method == message.end() || !method->is_string() || method->get_ref<const std::string&>().empty() ||
            method->get_ref<const std::string&>().size() > kMaxMethodName)
            return BadMessage{*id, "a call needs a method name"};
        json args = json::array();
        if (const auto given = message.find("args"); given != message.end()) {
            if (!given->is_array()) return BadMessage{*id, "args must be an array"};
            args = *given;
        }
        return CallMessage{*id, method->get<std::string>(), std::move(args)};
    }
    if (kind == "answer") {
        const auto dialog = message.find("dialog");
        if (dialog == message.end() || !dialog->is_number_unsigned())
            return BadMessage{nullptr, "an answer needs the dialog's number"};
        const auto value = message.find("value");
        return AnswerMessage{dialog->get<std::uint64_t>(), value == message.end() ? json(nullptr) : *value};
    }
    if (kind == "mouse") {
        static constexpr std::pair<const char*, std::int32_t> kKinds[] = {
            {"move", DOCIVA_MOUSE_MOVE}, {"drag", DOCIVA_MOUSE_DRAG},           {"down", DOCIVA_MOUSE_DOWN},
            {"up", DOCIVA_MOUSE_UP},     {"dblclick", DOCIVA_MOUSE_DOUBLE_CLICK}, {"leave", DOCIVA_MOUSE_LEAVE}};
        const auto what = message.find("kind");
        const auto x = message.find("x");
        const auto y = message.find("y");
        // Coordinates stay within what a picture of the viewer's size and
        // a pointer just outside it can give.
        const auto coordinate = [&](json::const_iterator it) {
            return it != message.end() && it->is_number_integer() && it->get<std::int64_t>() >= -10000 &&
                   it->get<std::int64_t>() <= 10000;
        };
        if (what == message.end() || !what->is_string() || !coordinate(x) || !coordinate(y))
            return BadMessage{nullptr, "a mouse message needs a kind and integer x, y"};
        for (const auto& [name, value] : kKinds) {
            if (what->get_ref<const std::string&>() == name)
                return MouseMessage{value, static_cast<std::int32_t>(x->get<std::int64_t>()),
                                    static_cast<std::int32_t>(y->get<std::int64_t>())};
        }
        return BadMessage{nullptr, "unknown mouse kind"};
    }
    if (kind == "files" || kind == "file") {
        const auto id = message.find("id");
        if (id == message.end() || !usableId(*id)) return BadMessage{nullptr, "a file request needs an id"};
        if (kind == "files") return FileMessage{*id, {}, true};
        const auto file = message.find("file");
        if (file == message.end() || !file->is_string()) return BadMessage{*id, "a file request needs the file's id"};
        return FileMessage{*id, file->get<std::string>(), false};
    }
    if (kind == "viewer") {
        const auto on = message.find("on");
        if (on == message.end() || !on->is_boolean()) return BadMessage{nullptr, "a viewer message needs on: true or false"};
        return ViewerMessage{on->get<bool>()};
    }
    return BadMessage{message.value("id", json(nullptr)), "unknown message type"};
}

bool wellFormedFileId(std::string_view id) {
    return id.size() == 32 &&
           id.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::optional<Arguments> Arguments::from(const json& args, std::uint32_t& badIndex) {
    Arguments out;
    out.texts_.reserve(args.size());
    out.values_.reserve(args.size());
    std::uint32_t index = 0;
    for (const auto& arg : args) {
        DocivaValue value{};
        if (arg.is_null()) {
            value.type = DOCIVA_NULL;
        } else if (arg.is_boolean()) {
            value.type = DOCIVA_BOOL;
            value.integer = arg.get<bool>() ? -1 : 0;
        } else if (arg.is_number_integer() || arg.is_number_unsigned()) {
            // Integers a 32-bit integer holds travel as one, the way a script
            // engine passes them; larger ones as reals, which the dispatch
            // then refuses for 16-bit parameters as an overflow.
            // (An unsigned one is read as unsigned: read as signed, the
            // largest would wrap to small negative numbers.)
            const double real = arg.get<double>();
            const bool fits = arg.is_number_unsigned()
                                  ? arg.get<std::uint64_t>() <= std::uint64_t{std::numeric_limits<std::int32_t>::max()}
                                  : arg.get<std::int64_t>() >= std::numeric_limits<std::int32_t>::min() &&
                                        arg.get<std::int64_t>() <= std::numeric_limits<std::int32_t>::max();
            if (fits) {
                value.type = DOCIVA_I4;
                value.integer = static_cast<std::int32_t>(real);
            } else {
                value.type = DOCIVA_R8;
                value.real = real;
            }
        } else if (arg.is_number_float()) {
            value.type = DOCIVA_R8;
            value.real = arg.get<double>();
        } else if (arg.is_string()) {
            out.texts_.push_back(text::fromUtf8(arg.get_ref<const std::string&>()));
            value.type = DOCIVA_STRING;
        } else {
            badIndex = index;
            return std::nullopt;
        }
        out.values_.push_back(value);
        ++index;
    }
    // Texts are pointed at once they no longer move.
    std::size_t nextText = 0;
    for (auto& value : out.values_) {
        if (value.type != DOCIVA_STRING) continue;
        const std::u16string& s = out.texts_[nextText++];
        value.text = s.c_str();
        value.textLength = static_cast<std::uint32_t>(s.size());
    }
    return out;
}

std::string hresultText(std::int32_t hresult) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(hresult)));
    return buffer;
}

std::string refusalReason(std::int32_t hresult) {
    switch (hresult) {
    case DOCIVA_E_UNKNOWNNAME: return "unknown name";
    case DOCIVA_E_MEMBERNOTFOUND: return "member not found";
    case DOCIVA_E_TYPEMISMATCH: return "type mismatch";
    case DOCIVA_E_OVERFLOW: return "overflow";
    case DOCIVA_E_BADPARAMCOUNT: return "bad parameter count";
    case DOCIVA_E_INVALIDARG: return "invalid argument";
    default: return "error " + hresultText(hresult);
    }
}

std::string helloMessage(std::uint32_t protocolVersion, const json& methods, const json& events) {
    return dump({{"type", "hello"}, {"protocol", protocolVersion}, {"methods", methods}, {"events", events}});
}

std::string resultMessage(const CallId& id, const json& value) {
    return dump({{"type", "result"}, {"id", id}, {"value", value}});
}

std::string refusalMessage(const CallId& id, std::int32_t hresult, std::int64_t badArgument) {
    json message = {{"type", "error"},      {"id", id},
                    {"error", "dispatch"},  {"hresult", hresultText(hresult)},
                    {"reason", refusalReason(hresult)}};
    if (badArgument >= 0) message["argument"] = badArgument;
    return dump(message);
}

std::string serviceErrorMessage(const CallId& id, std::string_view kind, std::string_view reason) {
    return dump({{"type", "error"}, {"id", id}, {"error", kind}, {"reason", reason}});
}

std::string eventMessage(std::u16string_view name, std::u16string_view data) {
    return dump({{"type", "event"}, {"name", utf8(name)}, {"data", utf8(data)}});
}

std::string progressMessage(const DocivaProgress& p) {
    std::u16string textValue(p.text, std::char_traits<char16_t>::length(p.text));
    return dump({{"type", "progress"},
                 {"exists", p.exists != 0},
                 {"visible", p.visible != 0},
                 {"text", utf8(textValue)},
                 {"position", p.position},
                 {"low", p.low},
                 {"high", p.high},
                 {"shown", p.timesShown}});
}

std::string dialogMessage(std::uint64_t dialog, std::string_view kind, const json& fields) {
    json message = fields;
    message["type"] = "dialog";
    message["dialog"] = dialog;
    message["kind"] = kind;
    return dump(message);
}

std::string dialogClosedMessage(std::uint64_t dialog, std::string_view why) {
    return dump({{"type", "dialogClosed"}, {"dialog", dialog}, {"why", why}});
}

std::string pictureHeader(std::size_t bytes) {
    return dump({{"type", "picture"}, {"width", 665}, {"height", 800}, {"bytes", bytes}});
}

std::string fileHeader(const CallId& id, std::string_view file, std::string_view name, std::size_t bytes) {
    return dump({{"type", "file"}, {"id", id}, {"file", file}, {"name", name}, {"bytes", bytes}});
}

json watermarkToJson(const platform::WatermarkSettings& r) {
    return {{"type", r.type},
            {"position", r.position},
            {"transparency", r.transparency},
            {"image", utf8(text::view(r.image))},
            {"text", utf8(text::view(r.text))},
            {"textSize", r.textSize},
            {"textAngle", r.textAngle}};
}

void applyWatermark(const json& answer, platform::WatermarkSettings& r) {
    if (!answer.is_object()) return;
    const auto number = [&](const char* key, std::int32_t& field) {
        const auto it = answer.find(key);
        if (it != answer.end() && it->is_number_integer()) {
            const auto v = it->get<std::int64_t>();
            if (v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max())
                field = static_cast<std::int32_t>(v);
        }
    };
    const auto textField = [&](const char* key, char16_t (&field)[260]) {
        const auto it = answer.find(key);
        if (it != answer.end() && it->is_string()) text::copyBounded(field, 260, text::fromUtf8(it->get<std::string>()));
    };
    number("type", r.type);
    number("position", r.position);
    number("transparency", r.transparency);
    number("textSize", r.textSize);
    number("textAngle", r.textAngle);
    textField("image", r.image);
    textField("text", r.text);
}

}  // namespace bridge
