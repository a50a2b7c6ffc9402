// The service: HTTP and WebSocket on loopback (127.0.0.1 and ::1 only), one
// ControlShell per WebSocket session, the page and the client script
// served from a fixed list of files. Boost.Beast and Boost.Asio carry the
// traffic, on one network thread; each control runs on its own thread.
//
// Admission (docs/bridge.md): every request must name loopback and the
// service's port in its Host; a WebSocket upgrade must come from one of the
// service's own origins or one the user allowed (read again at each
// upgrade, so `dociva serve --allow-origin` takes effect at once).
//
// Thread safety: run() blocks the calling thread until stop() (any thread)
// or SIGINT/SIGTERM.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "bridge/control_shell.h"

namespace bridge {

struct ServiceOptions {
    std::uint16_t port = 0;           // 0: a free port chosen by the system (tests)
    std::u16string settingsFile;      // bridge.ini: the allow-list
    std::u16string webFolder;         // the served files; "" serves none
    ShellOptions shell;
    std::size_t maxSessions = 64;     // WebSocket sessions at once
    std::size_t maxMessageBytes = 64 * 1024;
    // Messages waiting to be written to one page; a page that stops
    // reading beyond this is closed rather than let grow the service.
    std::size_t maxQueuedMessages = 4096;
    // Called on the network thread once the service listens, with the port.
    std::function<void(std::uint16_t port, bool ipv6)> listening;
};

class Service {
public:
    explicit Service(ServiceOptions options);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // 0 after a stop; 1 when the port cannot be bound on 127.0.0.1 (the
    // reason in problem()).
    int run();
    void stop();
    const std::string& problem() const;

    // The network side's state, shared with its sessions (service.cpp).
    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace bridge
