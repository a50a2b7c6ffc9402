#include "bridge/method_table.h"

#include "control/dispatch.h"
#include "platform/text.h"

namespace bridge {

namespace {

const char* typeName(std::uint16_t type) {
    switch (type) {
    case DOCIVA_I2: return "integer";
    case DOCIVA_R8: return "real";
    case DOCIVA_STRING: return "text";
    default: return "object";
    }
}

const char* tsType(std::uint16_t type) {
    switch (type) {
    case DOCIVA_I2:
    case DOCIVA_R8: return "number";
    case DOCIVA_STRING: return "string | null";
    default: return "null";
    }
}

}  // namespace

nlohmann::json methodTable() {
    nlohmann::json table = nlohmann::json::array();
    for (const auto& method : dispatch::methods()) {
        const DocivaMethodInfo& info = method.info;
        nlohmann::json params = nlohmann::json::array();
        for (std::uint32_t i = 0; i < info.parameterCount; ++i) {
            params.push_back({{"name", text::toUtf8(text::view(info.parameterNames[i]))},
                              {"type", typeName(info.parameterTypes[i])}});
        }
        nlohmann::json result = nullptr;
        if (info.resultType == DOCIVA_I2) result = "integer";
        if (info.resultType == DOCIVA_STRING) result = "text";
        table.push_back({{"name", text::toUtf8(text::view(info.name))}, {"params", params}, {"result", result}});
    }
    return table;
}

nlohmann::json eventTable() {
    nlohmann::json table = nlohmann::json::array();
    for (const auto& event : dispatch::events()) table.push_back(text::toUtf8(text::view(event.name)));
    return table;
}

std::string typescriptDeclarations() {
    std::string out =
        "// Generated at build time from the control's method table (bridge/method_table.cpp): do not edit.\n"
        "// The client of `dociva serve`, clients/js/dociva.js; docs/bridge.md gives the protocol.\n\n";
    out += "export type DocivaEventName =";
    for (const auto& event : dispatch::events()) out += "\n  | \"" + text::toUtf8(text::view(event.name)) + "\"";
    out += ";\n\n";
    out +=
        "export interface DocivaProgress {\n"
        "  exists: boolean; visible: boolean; text: string; position: number; low: number; high: number; shown: number;\n"
        "}\n\n"
        "export interface DocivaDialog {\n"
        "  dialog: number;\n"
        "  kind: \"input\" | \"folder\" | \"file\" | \"alert\" | \"watermark\";\n"
        "  caption?: string; prompt?: string; initial?: string; folder?: string; filter?: string; message?: string;\n"
        "  record?: Record<string, number | string>;\n"
        "}\n\n"
        "/** A refusal: of the control's dispatch (error \"dispatch\", with its HRESULT) or of the service. */\n"
        "export interface DocivaError extends Error {\n"
        "  error: string; reason: string; hresult?: string; argument?: number;\n"
        "}\n\n"
        "export interface DocivaConnectOptions {\n"
        "  port?: number;\n"
        "  host?: string;\n"
        "  /** Draws the progress dialog's state; default: a <progress> element the client adds. */\n"
        "  onProgress?: (state: DocivaProgress) => void;\n"
        "  /** Answers a dialog; default: the browser's confirm/prompt. null cancels. */\n"
        "  onDialog?: (dialog: DocivaDialog) => unknown | Promise<unknown>;\n"
        "  /** Connects again after the service restarts (default true). */\n"
        "  reconnect?: boolean;\n"
        "  /** Handlers in place before the first events (OnProfileReady, OnSourceReady). */\n"
        "  events?: Partial<Record<DocivaEventName, (object: any, text: string) => void>>;\n"
        "}\n\n"
        "export interface DocivaSession {\n"
        "  /** Any method by name. */\n"
        "  invoke(name: string, ...args: unknown[]): Promise<number | string | null>;\n"
        "  /** An event's handler gets the parsed payload and its raw JSON text. */\n"
        "  on(event: DocivaEventName, handler: (object: any, text: string) => void): () => void;\n"
        "  onProgress(handler: (state: DocivaProgress) => void): () => void;\n"
        "  /** Shows the viewer's picture in an <img> and sends the pointer on it back; returns a detach function. */\n"
        "  viewer(element: HTMLImageElement): () => void;\n"
        "  /** The session's files (what its scans brought into the viewer). */\n"
        "  files(): Promise<{ file: string; name: string; pages: number }[]>;\n"
        "  /** One of them by its id, as a Blob (with its name). */\n"
        "  file(id: string): Promise<Blob & { name: string }>;\n"
        "  /** true after a reconnection (a new control), false when the connection ends. */\n"
        "  onConnection(handler: (connected: boolean) => void): () => void;\n"
        "  close(): void;\n";
    for (const auto& method : dispatch::methods()) {
        const DocivaMethodInfo& info = method.info;
        out += "  " + text::toUtf8(text::view(info.name)) + "(";
        for (std::uint32_t i = 0; i < info.parameterCount; ++i) {
            if (i) out += ", ";
            std::string name = text::toUtf8(text::view(info.parameterNames[i]));
            if (name.empty()) name = "arg" + std::to_string(i);
            out += name + ": " + tsType(info.parameterTypes[i]);
        }
        const char* result = info.resultType == DOCIVA_I2 ? "number" : info.resultType == DOCIVA_STRING ? "string" : "null";
        out += std::string("): Promise<") + result + ">;\n";
    }
    out += "}\n\n";
    out +=
        "export declare const Dociva: {\n"
        "  connect(options?: DocivaConnectOptions): Promise<DocivaSession>;\n"
        "  readonly defaultPort: number;\n"
        "};\n";
    return out;
}

}  // namespace bridge
