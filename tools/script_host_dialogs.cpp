// The script host's dialog answers: host.answer queues what the user would
// choose in the control's next dialog of a kind, and the control's
// runDialog callback takes it (describing the dialog in the trace, and
// writing a watermark answer's fields into the control's record).
//
// Thread safety: on the thread that called runScript; the control opens
// its dialogs from its window thread, which is that thread.
#include "tools/script_host_internal.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <type_traits>
#include <utility>

#include "platform/console.h"
#include "platform/dialog_service.h"
#include "platform/text.h"
#include "tools/script_host_text.h"

namespace script_host {

namespace {

// What a dialog gives back: a text (written into the control's buffer), a
// dialog result (returned as it is) or the settings record edited in place.
enum class AnswerForm { Text, Result, Record };

// host.answer's kinds. A new kind is one row here, a case in
// Host::describeDialog and, for a new form, one in Host::onRunDialog.
struct DialogKindName {
    const char16_t* name;
    std::uint32_t kind;
    AnswerForm form;
};
constexpr DialogKindName kDialogKinds[] = {
    {u"input", DOCIVA_DIALOG_INPUT, AnswerForm::Text},
    {u"folder", DOCIVA_DIALOG_FOLDER, AnswerForm::Text},
    {u"file", DOCIVA_DIALOG_FILE, AnswerForm::Text},
    {u"alert", DOCIVA_DIALOG_ALERT, AnswerForm::Result},
    {u"watermark", DOCIVA_DIALOG_WATERMARK, AnswerForm::Record},
};

const DialogKindName* findDialogKind(std::uint32_t kind) {
    for (const auto& k : kDialogKinds)
        if (k.kind == kind) return &k;
    return nullptr;
}

std::u16string dialogKindName(std::uint32_t kind) {
    if (const DialogKindName* k = findDialogKind(kind)) return k->name;
    return u"kind " + text::fromUtf8(std::to_string(kind));
}

// The watermark record's fields in the order the trace shows them; each is
// a number or a text of the record's fixed size.
struct WatermarkField {
    const char* name;
    std::int32_t platform::WatermarkSettings::*number;
    RecordText platform::WatermarkSettings::*text;
};
constexpr WatermarkField kWatermarkFields[] = {
    {"type", &platform::WatermarkSettings::type, nullptr},
    {"position", &platform::WatermarkSettings::position, nullptr},
    {"transparency", &platform::WatermarkSettings::transparency, nullptr},
    {"image", nullptr, &platform::WatermarkSettings::image},
    {"text", nullptr, &platform::WatermarkSettings::text},
    {"textSize", &platform::WatermarkSettings::textSize, nullptr},
    {"textAngle", &platform::WatermarkSettings::textAngle, nullptr},
};
static_assert(std::size(kWatermarkFields) == kWatermarkFieldCount, "kWatermarkFieldCount counts these rows");

// What readWatermarkAnswer found in a script's watermark answer.
struct WatermarkRead {
    std::array<FieldAnswer, kWatermarkFieldCount> fields{};
    std::u16string problem;  // "" when every field was fine
};

// [ answer ] -> [ undefined ]: the answer's fields into the WatermarkRead. Under
// duk_safe_call, since a getter or a proxy may throw; so this frame holds
// no object with a destructor, and every text it makes is assigned before
// the next engine call.
duk_ret_t readWatermarkAnswer(duk_context* ctx, void* udata) {
    auto* read = static_cast<WatermarkRead*>(udata);
    // A safe call runs in its caller's frame: the answer is on top.
    const duk_idx_t answer = duk_get_top_index(ctx);
    // A misspelt field would otherwise leave the initial value in silence.
    duk_enum(ctx, answer, DUK_ENUM_OWN_PROPERTIES_ONLY);
    while (duk_next(ctx, -1, 0)) {
        const char* key = duk_get_string(ctx, -1);
        bool known = false;
        for (const auto& f : kWatermarkFields) known = known || (key && std::strcmp(key, f.name) == 0);
        if (!known) {
            read->problem = u"unknown watermark field \"" + stringAt(ctx, -1) + u"\"";
            return 0;
        }
        duk_pop(ctx);
    }
    duk_pop(ctx);
    for (std::size_t i = 0; i < kWatermarkFieldCount; ++i) {
        duk_get_prop_string(ctx, answer, kWatermarkFields[i].name);
        FieldAnswer& field = read->fields[i];
        if (duk_is_undefined(ctx, -1)) {
            // not given
        } else if (kWatermarkFields[i].number) {
            if (!integerAt(ctx, -1, field.number)) {
                read->problem = u"the watermark field " + text::fromUtf8(kWatermarkFields[i].name) +
                                u" must be an integer";
                return 0;
            }
            field.given = true;
        } else {
            if (!isPlainString(ctx, -1)) {
                read->problem = u"the watermark field " + text::fromUtf8(kWatermarkFields[i].name) +
                                u" must be a string";
                return 0;
            }
            field.text = stringAt(ctx, -1);
            field.given = true;
        }
        duk_pop(ctx);
    }
    return 0;
}

}  // namespace

std::string Host::describeDialog(const DocivaDialogRequest& request) const {
    const auto field = [](const char* name, const char16_t* value) {
        return std::string("\"") + name + "\":" + jsonQuote(text::view(value));
    };
    switch (request.kind) {
        case DOCIVA_DIALOG_INPUT:
            return "input {" + field("caption", request.caption) + "," + field("text", request.text) + "," +
                   field("initial", request.initial) + "}";
        case DOCIVA_DIALOG_FOLDER:
            return "folder {" + field("caption", request.caption) + "," + field("folder", request.text) + "}";
        case DOCIVA_DIALOG_FILE: return "file {" + field("filter", request.text) + "}";
        case DOCIVA_DIALOG_ALERT:
            return "alert {" + field("caption", request.caption) + "," + field("message", request.text) + "}";
        case DOCIVA_DIALOG_WATERMARK: {
            std::string out = "watermark {";
            if (const auto* record = static_cast<const platform::WatermarkSettings*>(request.record)) {
                for (const auto& f : kWatermarkFields) {
                    if (out.back() != '{') out += ',';
                    out += std::string("\"") + f.name + "\":" +
                           (f.number ? std::to_string(record->*f.number) : jsonQuote(recordText(record->*f.text)));
                }
            }
            return out + "}";
        }
        default:
            return std::to_string(request.kind) + " {" + field("caption", request.caption) + "," +
                   field("text", request.text) + "," + field("initial", request.initial) + "}";
    }
}

std::int32_t Host::onRunDialog(const DocivaDialogRequest* request, char16_t* answer, std::uint32_t capacity) {
    if (!request) return 0;
    traceLine("DIALOG " + describeDialog(*request));
    const DialogKindName* kind = findDialogKind(request->kind);
    auto& queue = answers_[request->kind];
    if (queue.empty()) {
        // An alert has only its OK button: nothing to choose.
        if (kind && kind->form == AnswerForm::Result) return 1;
        platform::writeStderr("dociva run: no answer queued for " + text::toUtf8(dialogKindName(request->kind)) +
                              " dialog \"" + text::toUtf8(text::view(request->caption)) + "\"\n");
        return 0;
    }
    const DialogAnswer given = std::move(queue.front());
    queue.pop_front();
    if (!given.confirmed || !kind) return 0;
    switch (kind->form) {
        case AnswerForm::Text:
            if (answer) text::copyBounded(answer, capacity, given.text);
            return 1;
        case AnswerForm::Result: return given.result;
        case AnswerForm::Record: {
            auto* record = static_cast<platform::WatermarkSettings*>(request->record);
            if (!record) {
                platform::writeStderr("dociva run: the control opened a watermark dialog without its record\n");
                return 0;
            }
            for (std::size_t i = 0; i < kWatermarkFieldCount; ++i) {
                const FieldAnswer& f = given.watermark[i];
                if (!f.given) continue;
                if (kWatermarkFields[i].number) {
                    record->*kWatermarkFields[i].number = f.number;
                } else {
                    text::copyBounded(record->*kWatermarkFields[i].text, std::extent_v<RecordText>, f.text);
                }
            }
            return 1;
        }
    }
    return 0;
}

duk_ret_t Host::answer(duk_context* ctx) {
    if (termination_) return kTerminate;
    const std::u16string kind = isPlainString(ctx, 0) ? stringAt(ctx, 0) : std::u16string();
    const DialogKindName* found = nullptr;
    for (const auto& k : kDialogKinds)
        if (kind == k.name) found = &k;
    if (!found) {
        std::u16string known;
        for (const auto& k : kDialogKinds) known += (known.empty() ? u"" : u", ") + std::u16string(k.name);
        return fail(u"host.answer: unknown dialog kind \"" + kind + u"\" (" + known + u")", "TypeError");
    }
    DialogAnswer value;
    switch (found->form) {
        case AnswerForm::Text:
            if (isPlainString(ctx, 1)) {
                value.confirmed = true;
                value.text = stringAt(ctx, 1);
            } else if (!duk_is_null(ctx, 1)) {
                return fail(u"host.answer: the answer must be a string, or null to cancel", "TypeError");
            }
            break;
        case AnswerForm::Result:
            if (duk_is_null(ctx, 1)) break;  // closed without a choice
            if (!integerAt(ctx, 1, value.result))
                return fail(u"host.answer: an alert's answer is the dialog's result, an integer, or null to cancel",
                            "TypeError");
            value.confirmed = true;
            break;
        case AnswerForm::Record:
            if (const duk_ret_t r = answerWatermark(ctx, value); r != 0) return r;
            break;
    }
    answers_[found->kind].push_back(std::move(value));
    return 0;
}

duk_ret_t Host::answerWatermark(duk_context* ctx, DialogAnswer& answer) {
    if (duk_is_null(ctx, 1)) return 0;
    if (!duk_is_object(ctx, 1) || duk_is_array(ctx, 1) || duk_is_function(ctx, 1))
        return fail(u"host.answer: the watermark answer must be an object of fields, or null to cancel", "TypeError");
    WatermarkRead read;
    duk_dup(ctx, 1);
    if (duk_safe_call(ctx, readWatermarkAnswer, &read, 1, 1) != DUK_EXEC_SUCCESS) {
        // The script's own getter threw: the script gets its error as it is.
        duk_push_global_stash(ctx);
        duk_swap_top(ctx, -2);
        duk_put_prop_string(ctx, -2, "rethrow");
        duk_pop(ctx);
        return kRethrow;
    }
    duk_pop(ctx);
    if (!read.problem.empty()) return fail(u"host.answer: " + read.problem, "TypeError");
    answer.confirmed = true;
    answer.watermark = std::move(read.fields);
    return 0;
}

}  // namespace script_host
