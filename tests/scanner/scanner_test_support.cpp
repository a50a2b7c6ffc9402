#include "scanner_test_support.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "platform/path.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace scanner_testing {

namespace {

void setEnv(const std::string& name, const std::string* value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value) ::setenv(name.c_str(), value->c_str(), 1);
    else ::unsetenv(name.c_str());
#endif
}

std::u16string uniqueName() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    return text::fromUtf8("dociva-test-" + std::to_string(rd()) + "-" + std::to_string(counter.fetch_add(1)));
}

std::string replaceAll(std::string s, std::string_view from, std::string_view to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

}  // namespace

ScopedEnv::ScopedEnv(const char* name, std::u16string_view value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        had_ = true;
        old_ = old;
    }
    const std::string v = text::toUtf8(value);
    setEnv(name_, &v);
}

ScopedEnv::~ScopedEnv() { setEnv(name_, had_ ? &old_ : nullptr); }

TestRegistry::TestRegistry()
    : registryEnv_("DOCIVA_REGISTRY", linuxTree_.path()), root_(u"Software\\Corvane\\" + uniqueName()) {
    EXPECT_TRUE(platform::createRegistryKey(root_));
}

TestRegistry::~TestRegistry() { EXPECT_TRUE(platform::deleteRegistryTree(root_)); }

void TestRegistry::addProduct(std::u16string_view subkey, const char16_t* productName,
                              const char16_t* systemDirectory, const std::vector<std::u16string>& deviceIds) {
    const std::u16string key = root_ + u"\\" + std::u16string(subkey);
    ASSERT_TRUE(platform::createRegistryKey(key));
    if (productName) {
        ASSERT_TRUE(platform::writeRegistryString(key, u"PRODUCT NAME", productName));
    }
    if (systemDirectory) {
        ASSERT_TRUE(platform::writeRegistryString(key, u"SYSTEM DIRECTORY", systemDirectory));
    }
    for (const auto& id : deviceIds) ASSERT_TRUE(platform::createRegistryKey(key + u"\\VxD\\" + id));
}

platform::PresentDevice usbDevice(std::u16string_view vidPid, std::u16string_view serial) {
    platform::PresentDevice d;
    d.hardwareIds = {u"USB\\" + std::u16string(vidPid) + u"&REV_0100", u"USB\\" + std::u16string(vidPid)};
    d.instanceId = u"USB\\" + std::u16string(vidPid) + u"\\" + std::u16string(serial);
    d.hasInstanceId = true;
    return d;
}

std::u16string examplesFolder() {
    std::u16string folder = text::fromUtf8(DOCIVA_EXAMPLES_DIR);
    // Under Wine the source tree is reached through the drive that maps /.
    if (testing_support::onWindows() && folder.starts_with(u"/")) folder = u"Z:" + folder;
    return folder;
}

bool installExample(const std::u16string& target, const TestRegistry& registry) {
    const fs::path scanners = fs::path(examplesFolder()) / "scanners";
    const std::string root = text::toUtf8(target);
    std::error_code ec;

    const fs::path programData = scanners / "programdata";
    for (auto it = fs::recursive_directory_iterator(programData, ec); !ec && it != fs::end(it); it.increment(ec)) {
        const fs::path to = fs::path(target) / "programdata" / fs::relative(it->path(), programData);
        if (it->is_directory()) {
            fs::create_directories(to, ec);
        } else if (!testing_support::writeBytes(
                       to.u16string(),
                       replaceAll(testing_support::readBytes(it->path().u16string()), "@DEMO_ROOT@", root))) {
            return false;
        }
    }
    if (ec) return false;

    // Each folder is a key, each "name=value" line of its values file a value.
    const fs::path corvane = scanners / "registry" / "HKEY_CURRENT_USER" / "Software" / "Corvane";
    for (auto it = fs::recursive_directory_iterator(corvane, ec); !ec && it != fs::end(it); it.increment(ec)) {
        if (!it->is_directory()) continue;
        std::u16string key = registry.root();
        for (const auto& part : fs::relative(it->path(), corvane)) {
            key += u'\\';
            key += part.u16string();
        }
        if (!platform::createRegistryKey(key)) return false;
        const std::string values = testing_support::readBytes((it->path() / "values").u16string());
        std::size_t start = 0;
        while (start < values.size()) {
            std::size_t end = values.find('\n', start);
            if (end == std::string::npos) end = values.size();
            const std::string line = values.substr(start, end - start);
            const std::size_t eq = line.find('=');
            if (eq != std::string::npos &&
                !platform::writeRegistryString(key, text::fromUtf8(line.substr(0, eq)),
                                               text::fromUtf8(replaceAll(line.substr(eq + 1), "@DEMO_ROOT@", root))))
                return false;
            start = end + 1;
        }
    }
    return !ec;
}

std::vector<platform::PresentDevice> exampleDevices() {
    auto device = [](std::u16string_view vidPid, std::u16string_view tail) {
        platform::PresentDevice d;
        d.hardwareIds = {u"USB\\" + std::u16string(vidPid)};
        d.instanceId = u"USB\\" + std::u16string(vidPid) + u"\\" + std::u16string(tail);
        d.hasInstanceId = true;
        return d;
    };
    return {device(u"VID_5C3B&PID_012C", u"VD300A0001"), device(u"VID_5C3B&PID_0131", u"1-2"),
            device(u"VID_046D&PID_C077", u"1-3"), device(u"VID_1D6B&PID_0002", u"0000:00:14.0")};
}

}  // namespace scanner_testing
