// A page's script against npDociva.dll under Wine, as a browser would run
// it: `dociva.exe run --plugin` loads the DLL from a fresh installation,
// and the page learns everything through its own functions. The virtual
// scanner is attached for the test (tests/support/attached_scanner_win.h).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/wide.h"
#include "support/attached_scanner_win.h"
#include "support/run_program_win.h"
#include "support/test_support.h"

namespace {

using platform::win32::fromWide;
using platform::win32::toWide;

std::wstring windowsPath(std::string unixPath) {
    std::replace(unixPath.begin(), unixPath.end(), '/', '\\');
    return L"Z:" + std::wstring(unixPath.begin(), unixPath.end());
}

std::string narrow(std::wstring_view s) { return testing_support::utf8(fromWide(s)); }

// The text for a JavaScript string literal.
std::string jsString(std::wstring_view s) {
    std::string out = "\"";
    for (char c : narrow(s)) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::vector<std::string> filesIn(const std::wstring& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder), ec))
        if (entry.is_regular_file()) names.push_back(narrow(entry.path().filename().wstring()));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PluginPage, RegistersScansAndHearsTheRunEndThroughItsFunctions) {
    testing_support::AttachedScanner scanner(L"Plugin");
    ASSERT_TRUE(scanner.installed());
    if (!scanner.attached()) GTEST_SKIP() << "SetupAPI would not create a device here";

    // A fresh installation: the module folder as the build stages it.
    testing_support::TempDir dir;
    const std::wstring install = toWide(dir.path()) + L"\\module";
    std::error_code ec;
    std::filesystem::copy(std::filesystem::path(windowsPath(DOCIVA_MODULE_DIR)), std::filesystem::path(install),
                          std::filesystem::copy_options::recursive, ec);
    ASSERT_FALSE(ec) << ec.message();
    std::filesystem::remove(std::filesystem::path(install + L"\\settings.ini"), ec);
    const std::wstring scans = toWide(dir.path()) + L"\\scans";
    ASSERT_TRUE(CreateDirectoryW(scans.c_str(), nullptr));

    const std::string page = "var PRODUCT = " + jsString(scanner.product()) + ", SCANS = " + jsString(scans) + ";\n" + R"(
var ends = [], reports = 0, registered = "", sources = "";
function OnSourceReady(data) { sources = data; }
function OnAfterScannerRegister(data) { registered = data; }
function OnUIButtonStatusChange(data) { reports++; }
function OnScanEnd(data) { ends.push(data); }
dociva.Initialize();
host.print("listed:", JSON.parse(sources).sources.some(function (s) { return s.product_name === PRODUCT; }));
dociva.ScannerRegister(PRODUCT);
host.print("registered:", JSON.parse(registered).code, JSON.parse(registered).message);
dociva.SetOutputFormatJPG(1);
dociva.SetResolution("100");
dociva.SetSavetoFolder(SCANS);
dociva.SetSavetoFileName("page_%COUNTER3%");
dociva.ScanStart(PRODUCT);
host.wait("OnScanEnd", 60000);
host.idle(60000);
host.print("OnScanEnd:", ends.length, ends[0]);
host.print("in the viewer:", dociva.GetFileCount(), "reports:", reports);
)";
    ASSERT_TRUE(testing_support::writeBytes(fromWide(install + L"\\page.js"), page));

    // A relative script path: the tool takes a leading slash for an option.
    const auto outcome = testing_support::runWindowsProgram(
        L"\"" + windowsPath(DOCIVA_TOOL) + L"\" run --plugin --module \"" + install + L"\" page.js", install);
    SCOPED_TRACE("output:\n" + outcome.output);
    EXPECT_EQ(outcome.exitCode, 0u);
    EXPECT_EQ(outcome.output,
              "listed: true\n"
              "registered: 0 Register success\n"
              "OnScanEnd: 1 {\"code\":0}\n"
              "in the viewer: 4 reports: 16\n");

    // One feeder of four sheets, front sides only, each a JPEG.
    const auto files = filesIn(scans);
    ASSERT_EQ(files, (std::vector<std::string>{"page_001.jpg", "page_002.jpg", "page_003.jpg", "page_004.jpg"}));
    for (const auto& name : files) {
        const std::string bytes = testing_support::readBytes(fromWide(scans + L"\\" + std::wstring(name.begin(), name.end())));
        EXPECT_TRUE(bytes.size() > 1000 && bytes.compare(0, 3, "\xFF\xD8\xFF") == 0) << name << " is no JPEG picture";
    }
}

}  // namespace
