// The service's rules of admission, kept apart from the network code so
// that each can be tested on its own: which Host a request may name, which
// Origin may open a session, how an origin the user types is written down,
// and which of the control's methods a page may not call through the
// service.
//
// Thread safety: pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

// The port the service listens on when its settings name none.
inline constexpr std::uint16_t kDefaultPort = 17345;

// True when host (a Host header) names loopback with the service's own
// port: 127.0.0.1:P, localhost:P or [::1]:P. Anything else, a missing port
// included, is what a page reached through DNS rebinding would send.
bool hostAllowed(std::string_view host, std::uint16_t port);

// The service's own origins: the page it serves itself, under each of the
// three loopback names.
std::vector<std::string> ownOrigins(std::uint16_t port);

// An origin written the one way it is compared: scheme "http" or "https",
// lower case, a host, an optional port (dropped when it is the scheme's
// default), nothing after it but an optional "/". nullopt for anything
// else ("null", a path, a query, user info, another scheme, blanks).
std::optional<std::string> normalizeOrigin(std::string_view origin);

// True when origin may open a session: one of the service's own origins
// or one on the user's allow-list. A missing or "null" origin never is.
bool originAllowed(std::string_view origin, std::uint16_t port, const std::vector<std::string>& allowList);

// The reason a page may not call this method through the service, or ""
// when it may. Methods that would let a page choose a program for the
// scanner's software to run after a scan, or bind a profile to a hardware
// button that scans outside any page's session, are the service's to
// refuse (docs/bridge.md says why).
std::string_view pageRefusal(std::u16string_view method);

// Methods before which the service empties the launch-an-application
// fields of the control's settings: those that hand the settings to the
// scanner or write them into a profile. The profile a page selects may be
// any file on the disk, so its launch keys never count as the user's.
bool clearsLaunchSettings(std::u16string_view method);

}  // namespace bridge
