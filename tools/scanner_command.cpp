// dociva scanners / dociva papersizes: driver discovery and the paper-size
// table with the very code the control runs, so an installation can be
// checked without a browser.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/console.h"
#include "platform/text.h"
#include "scanner/dociva_wrap.h"
#include "scanner/driver_discovery.h"
#include "tools/commands.h"

const char kScannersUsage[] =
    "  scanners                                  attached scanners' device ids, one a line, then\n"
    "                                            their drivers as PRODUCT<TAB>DIRECTORY, then,\n"
    "                                            after \"# \", SANE devices without a driver and\n"
    "                                            the command that adds one\n";

const char kPapersizesUsage[] =
    "  papersizes --source N --max-width W --max-height H [--max-length L]\n"
    "                                            paper sizes of such a source (inches) as\n"
    "                                            ID<TAB>NAME<TAB>LEFT<TAB>TOP<TAB>WIDTH<TAB>HEIGHT\n";

namespace {

int usage(const char* text) {
    platform::writeStderr(std::string("usage:\n") + text);
    return 2;
}

bool parseNumber(const std::u16string& s, double& value) {
    const std::string a = text::toUtf8(s);
    if (a.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(a.c_str(), &end);
    return errno == 0 && end == a.c_str() + a.size() && std::isfinite(value);
}

}  // namespace

int runScannersCommand(const Arguments& args) {
    if (!args.empty()) return usage(kScannersUsage);
    DeviceIdList ids;
    DriverDiscovery().listPresentDeviceIds(ids);
    std::string out;
    for (const auto& id : ids) out += text::toUtf8(id) + "\n";
    // Only discovery runs: with no SDK calls the wrapper never opens a driver.
    const CDocivaWrap wrap{SdkCalls{}};
    for (const auto& entry : wrap.listDrivers()) {
        out += text::toUtf8(text::view(entry.productName)) + "\t" + text::toUtf8(text::view(entry.systemDirectory)) +
               "\n";
    }
#ifdef DOCIVA_HAVE_SDK
    out += saneDevicesWithoutDriver();
#endif
    platform::writeStdout(out);
    return 0;
}

int runPapersizesCommand(const Arguments& args) {
    SourceCapability capability{};
    bool haveSource = false;
    bool haveWidth = false;
    bool haveHeight = false;
    for (std::size_t i = 0; i < args.size(); i += 2) {
        double value = 0.0;
        if (i + 1 >= args.size() || !parseNumber(args[i + 1], value)) return usage(kPapersizesUsage);
        if (args[i] == u"--source") {
            if (value < 0 || value > 4294967295.0 || value != std::floor(value)) return usage(kPapersizesUsage);
            capability.source = static_cast<std::uint32_t>(value);
            haveSource = true;
        } else if (args[i] == u"--max-width") {
            capability.maxWidth = value;
            haveWidth = true;
        } else if (args[i] == u"--max-height") {
            capability.maxHeight = value;
            haveHeight = true;
        } else if (args[i] == u"--max-length") {
            capability.maxLength = value;
        } else {
            return usage(kPapersizesUsage);
        }
    }
    if (!haveSource || !haveWidth || !haveHeight) return usage(kPapersizesUsage);

    PaperSizeMap sizes;
    CDocivaWrap::buildPaperSizes(sizes, &capability);
    std::u16string out;
    for (const auto& [id, size] : sizes) {
        out += text::format(u"%d\t%s\t%.4f\t%.4f\t%.4f\t%.4f\n", id, text::view(size.name), size.left, size.top,
                            size.width, size.height);
    }
    platform::writeStdout(text::toUtf8(out));
    return 0;
}
