// The bridge module's entry: the service with its settings, files and
// controls taken from the folder that holds the module.
#include <string>

#include "bridge/dociva_bridge.h"
#include "bridge/service.h"
#include "bridge/service_rules.h"
#include "bridge/service_settings.h"
#include "output/timage_binding.h"
#include "platform/console.h"
#include "platform/module.h"
#include "platform/path.h"
#include "platform/text.h"

DOCIVA_BRIDGE_API std::int32_t docivaBridgeVersion() { return DOCIVA_BRIDGE_VERSION; }

DOCIVA_BRIDGE_API std::int32_t docivaBridgeServe(const DocivaServeOptions* options) {
    if (!options || options->size < sizeof(DocivaServeOptions) || options->port > 65535) return 2;
    const std::u16string folder = platform::moduleFolder(platform::currentModule());
    // Loaded once, before any control's thread uses the toolkit.
    timage::loadFromModuleFolder();

    bridge::ServiceOptions service;
    service.settingsFile = bridge::ServiceSettings::fileIn(folder);
    service.webFolder = platform::joinPath(folder, u"web");
    service.port = options->port != 0 ? static_cast<std::uint16_t>(options->port)
                                      : bridge::ServiceSettings(service.settingsFile).port();
    if (options->dialogTimeoutMs != 0) service.shell.dialogTimeoutMs = options->dialogTimeoutMs;
    if (options->maxSessions != 0) service.maxSessions = options->maxSessions;
    service.listening = [](std::uint16_t port, bool ipv6) {
        std::string line = "dociva serve: listening on http://127.0.0.1:" + std::to_string(port) + "/";
        if (ipv6) line += " and http://[::1]:" + std::to_string(port) + "/";
        platform::writeStdout(line + "\n");
    };
    bridge::Service server(std::move(service));
    const int result = server.run();
    if (result != 0) platform::writeStderr("dociva serve: cannot listen on " + server.problem() + "\n");
    return result;
}
