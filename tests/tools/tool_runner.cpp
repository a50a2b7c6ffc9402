#include "tools/tool_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace testing_support {

namespace {

bool leftOut(const char* entry, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (std::string_view(entry).substr(0, name.size() + 1) == name + "=") return true;
    }
    return false;
}

}  // namespace

ToolResult runProgram(const std::vector<std::string>& argv, const RunOptions& options) {
    ToolResult r;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (!leftOut(*e, options.unset)) env.emplace_back(*e);
    }
    env.insert(env.end(), options.set.begin(), options.set.end());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args(argv);
    std::vector<char*> argp;
    for (std::string& a : args) argp.push_back(a.data());
    argp.push_back(nullptr);

    int fds[2];
    if (pipe(fds) != 0) return r;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!options.errFile.empty())
        posix_spawn_file_actions_addopen(&actions, 2, options.errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return r;
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        r.out.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (!options.errFile.empty()) {
        std::ifstream in(options.errFile, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        r.err = text.str();
    }
    return r;
}

std::string win32BuildFolder() {
    const char* v = std::getenv("DOCIVA_WIN32_BUILD");
    return v ? v : "";
}

std::string winePath(const std::string& linuxPath) {
    std::string p = "Z:" + linuxPath;
    for (auto& c : p)
        if (c == '/') c = '\\';
    return p;
}

}  // namespace testing_support
