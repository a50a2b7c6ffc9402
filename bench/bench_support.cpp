#include "bench/bench_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace bench {

std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

long long fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

bool installed(const std::string& program) {
    if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= folders.size();) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string candidate = folders.substr(start, end - start) + "/" + program;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

bool run(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool timeProgram(benchmark::State& state, const std::vector<std::string>& argv) {
    if (!installed(argv[0])) {
        state.SkipWithError((argv[0] + " is not installed").c_str());
        return false;
    }
    for (auto _ : state) {
        if (!run(argv)) {
            state.SkipWithError((argv[0] + " failed").c_str());
            return false;
        }
    }
    return true;
}

TI_IMAGE makePage() {
    TI_IMAGE page = ti_CreateImage(kWidth, kHeight, TI_BGR24);
    ti_Fill(page, 0xfff7f5f0u);
    TI_IMAGE_INFO info{};
    info.size = sizeof info;
    ti_GetInfo(page, &info);
    std::uint32_t state = 7;
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row = info.data + static_cast<std::size_t>(info.stride) * y;
        const bool textLine = y > 300 && y < 2300 && (y % 60) < 28;
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = row + 3 * x;
            state = state * 1103515245u + 12345u;
            const int grain = static_cast<int>((state >> 27) & 7);
            if (textLine && x > 250 && x < 2230 && ((x / 9) % 7) != 0 && ((x * 7 + y * 3) % 23) < 9) {
                p[0] = p[1] = p[2] = static_cast<std::uint8_t>(30 + grain);
            } else if (y > 2450 && y < 3250 && x > 300 && x < 2180) {
                p[0] = static_cast<std::uint8_t>(80 + (x / 8) % 120 + grain);
                p[1] = static_cast<std::uint8_t>(60 + (y / 5) % 150 + grain);
                p[2] = static_cast<std::uint8_t>(std::min(255, 100 + ((x + y) / 12) % 140 + grain));
            } else {
                p[0] = static_cast<std::uint8_t>(p[0] - grain);
            }
        }
    }
    const TI_RECT logo{1900, 120, 330, 120};
    ti_FillRect(page, &logo, 0xff1f4fa0u);
    ti_SetDpi(page, 300, 300);
    return page;
}

JpegPage::JpegPage(const char* folderPrefix) {
    std::string templ = std::string("/tmp/") + folderPrefix + "_XXXXXX";
    folder = ::mkdtemp(templ.data()) ? templ : "/tmp";
    jpeg = folder + "/page.jpg";
    TI_IMAGE page = makePage();
    ti_SaveImage2(widen(jpeg).c_str(), page, 7, 75, 0);
    ti_ReleaseImage(&page);
    decoded = ti_LoadImage(widen(jpeg).c_str());
    TI_IMAGE_INFO info{};
    info.size = sizeof info;
    ti_GetInfo(decoded, &info);  // decodes it
}

JpegPage::~JpegPage() {
    ti_ReleaseImage(&decoded);
    if (folder != "/tmp") std::system(("rm -rf '" + folder + "'").c_str());
}

}  // namespace bench
