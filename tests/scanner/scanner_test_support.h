// Helpers of the scanner tests: a private corner of the per-user registry,
// environment overrides, and the example installation under examples/.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/devices.h"
#include "support/test_support.h"

namespace scanner_testing {

// Sets an environment variable for the object's life (restoring the old
// value, or removing it, afterwards).
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::u16string_view value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

// A key of its own below HKEY_CURRENT_USER\Software\Corvane, removed with
// everything in it at the end, so tests running side by side in one Wine
// prefix never see each other's products. On Linux the registry tree is
// moved into a temporary folder first.
class TestRegistry {
public:
    TestRegistry();
    ~TestRegistry();
    TestRegistry(const TestRegistry&) = delete;
    TestRegistry& operator=(const TestRegistry&) = delete;

    // The key that stands for Software\Corvane.
    const std::u16string& root() const { return root_; }

    // A product subkey with the given values (null: value not written) and
    // one VxD key per device id.
    void addProduct(std::u16string_view subkey, const char16_t* productName, const char16_t* systemDirectory,
                    const std::vector<std::u16string>& deviceIds = {});

private:
    testing_support::TempDir linuxTree_;
    ScopedEnv registryEnv_;
    std::u16string root_;
};

// A maker's device as the device service reports it.
platform::PresentDevice usbDevice(std::u16string_view vidPid, std::u16string_view serial);

// examples/ in the source tree.
std::u16string examplesFolder();

// Copies examples/scanners/programdata to target/programdata and the
// example registry's Software\Corvane into registry.root(), with every
// @DEMO_ROOT@ replaced by target, as examples/install-demo.sh does.
bool installExample(const std::u16string& target, const TestRegistry& registry);

// The devices of examples/scanners/sysfs, as Linux reports them.
std::vector<platform::PresentDevice> exampleDevices();

}  // namespace scanner_testing
