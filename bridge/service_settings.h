// The service's own settings file (bridge.ini in the module folder, beside
// the control's settings.ini): the port it listens on and the origins the
// user allowed besides its own.
//
//   [Service]
//   Port=17345
//   [AllowedOrigins]
//   https://app.example=allowed
//
// Thread safety: any thread (the INI calls serialise their writes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bridge {

class ServiceSettings {
public:
    explicit ServiceSettings(std::u16string file) : file_(std::move(file)) {}

    // The file in folder (a module folder).
    static std::u16string fileIn(std::u16string_view folder);

    const std::u16string& file() const { return file_; }

    // kDefaultPort when the file names none or a number that is no port.
    std::uint16_t port() const;
    bool setPort(std::uint16_t port);

    // Normalised origins (normalizeOrigin), in file order.
    std::vector<std::string> allowedOrigins() const;
    // False when origin is not an origin or the file cannot be written.
    bool allowOrigin(const std::string& origin);
    // False when it was not on the list or the file cannot be written.
    bool removeOrigin(const std::string& origin);

private:
    std::u16string file_;
};

}  // namespace bridge
