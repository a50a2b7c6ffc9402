// dociva filename: a pattern's expansion, then the example name a page is
// shown for it (the counter place filled with 1).
#include <cstdio>
#include <string>

#include "output/file_name_generate.h"
#include "platform/console.h"
#include "platform/text.h"
#include "tools/commands.h"

const char kFilenameUsage[] =
    "  filename PATTERN [--time YYYY-MM-DDTHH:MM:SS.mmm]  expansion and example name\n";

namespace {

bool parseTime(const std::u16string& s, platform::LocalTime& t) {
    const std::string a = text::toUtf8(s);
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0, ms = 0;
    int used = 0;
    if (std::sscanf(a.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u.%3u%n", &y, &mo, &d, &h, &mi, &se, &ms, &used) != 7 ||
        used != static_cast<int>(a.size()))
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 59) return false;
    t.year = static_cast<std::uint16_t>(y);
    t.month = static_cast<std::uint16_t>(mo);
    t.day = static_cast<std::uint16_t>(d);
    t.hour = static_cast<std::uint16_t>(h);
    t.minute = static_cast<std::uint16_t>(mi);
    t.second = static_cast<std::uint16_t>(se);
    t.milliseconds = static_cast<std::uint16_t>(ms);
    return true;
}

int usage() {
    platform::writeStderr(std::string("usage:\n") + kFilenameUsage);
    return 2;
}

}  // namespace

int runFilenameCommand(const Arguments& args) {
    if (args.size() != 1 && args.size() != 3) return usage();
    CFileNameGenerate::Clock clock;
    if (args.size() == 3) {
        platform::LocalTime t;
        if (args[1] != u"--time" || !parseTime(args[2], t)) return usage();
        clock = [t] { return t; };
    }
    CFileNameGenerate generator(args[0].c_str(), clock);
    char16_t buffer[260];
    bool hasCounter = false;
    const int n = generator.Generate(buffer, 260, &hasCounter);
    const std::u16string name(buffer, static_cast<std::size_t>(n));
    platform::writeStdout(text::toUtf8(name) + "\n" + text::toUtf8(generator.Example(name)) + "\n");
    return 0;
}
