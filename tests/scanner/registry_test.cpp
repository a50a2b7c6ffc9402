#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/registry.h"
#include "scanner_test_support.h"

namespace {

using scanner_testing::ScopedEnv;
using scanner_testing::TestRegistry;
using testing_support::TempDir;
using testing_support::utf8;
using testing_support::writeBytes;

std::vector<std::string> subkeys(const platform::RegistryKey& key) {
    std::vector<std::string> out;
    std::u16string name;
    for (std::uint32_t i = 0; key.subkeyName(i, name, 259); ++i) out.push_back(utf8(name));
    return out;
}

TEST(Registry, KeysAndValues) {
    TestRegistry registry;
    const std::u16string product = registry.root() + u"\\Product";
    ASSERT_TRUE(platform::writeRegistryString(product, u"PRODUCT NAME", u"Scanner \u00e9"));
    ASSERT_TRUE(platform::writeRegistryString(product, u"product name", u"Scanner 2"));
    ASSERT_TRUE(platform::writeRegistryString(product, u"Long", std::u16string(300, u'x')));
    ASSERT_TRUE(platform::createRegistryKey(product + u"\\VxD\\VID_5C3B&PID_0001"));
    ASSERT_TRUE(platform::createRegistryKey(registry.root() + u"\\another"));

    const auto root = platform::RegistryKey::openCurrentUser(registry.root());
    ASSERT_TRUE(root.valid());
    auto names = subkeys(root);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Product", "another"}));

    const auto key = root.openSubkey(u"PRODUCT");
    ASSERT_TRUE(key.valid()) << "key names ignore case";
    std::u16string value;
    EXPECT_TRUE(key.readString(u"Product Name", value, 259));
    EXPECT_EQ(value, u"Scanner 2") << "a second write of a name in another case replaces the value";
    EXPECT_FALSE(key.readString(u"Long", value, 299));
    EXPECT_TRUE(key.readString(u"Long", value, 300));
    EXPECT_FALSE(key.readString(u"Missing", value, 259));
    EXPECT_TRUE(key.openSubkey(u"vxd\\vid_5c3b&pid_0001").valid());
    EXPECT_FALSE(key.openSubkey(u"VxD\\VID_5C3B&PID_0002").valid());
    EXPECT_FALSE(platform::RegistryKey().openSubkey(u"x").valid());

    ASSERT_TRUE(platform::deleteRegistryTree(product));
    EXPECT_FALSE(root.openSubkey(u"Product").valid());
    EXPECT_TRUE(platform::deleteRegistryTree(product)) << "a key that is gone counts as deleted";
}

// The Linux tree as a person writes it by hand.
TEST(Registry, LinuxFolderLayout) {
    if (testing_support::onWindows()) GTEST_SKIP() << "the folder tree is the Linux registry";
    TempDir tree;
    ScopedEnv env("DOCIVA_REGISTRY", tree.path());
    const std::u16string key = tree.file(u"HKEY_CURRENT_USER/Software/Corvane/Duplex");
    ASSERT_TRUE(platform::createDirectory(tree.file(u"HKEY_CURRENT_USER")));
    ASSERT_TRUE(platform::createDirectory(tree.file(u"HKEY_CURRENT_USER/Software")));
    ASSERT_TRUE(platform::createDirectory(tree.file(u"HKEY_CURRENT_USER/Software/Corvane")));
    ASSERT_TRUE(platform::createDirectory(key));
    ASSERT_TRUE(writeBytes(platform::joinPath(key, u"values"),
                           "\xEF\xBB\xBFPRODUCT NAME=Duplex 300\r\nno equals sign\r\n=no name\r\n"
                           "SYSTEM DIRECTORY=/opt/x=y\r\nPRODUCT NAME=ignored\n"));

    const auto opened = platform::RegistryKey::openCurrentUser(u"software\\corvane\\DUPLEX");
    ASSERT_TRUE(opened.valid());
    std::u16string value;
    ASSERT_TRUE(opened.readString(u"PRODUCT NAME", value, 259));
    EXPECT_EQ(value, u"Duplex 300");
    ASSERT_TRUE(opened.readString(u"SYSTEM DIRECTORY", value, 259));
    EXPECT_EQ(value, u"/opt/x=y");
    EXPECT_TRUE(subkeys(opened).empty()) << "the values file is no key";

    for (const char16_t* bad :
         {u"Software\\..\\..", u"Software\\.", u"Software\\a/b", u"Software\\Corvane\\Duplex\\values"})
        EXPECT_FALSE(platform::RegistryKey::openCurrentUser(bad).valid()) << utf8(bad);
}

}  // namespace
