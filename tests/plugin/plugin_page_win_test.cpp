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

// A fresh installation in dir: the module folder as the build stages it
// (install), and an empty folder for the pages (scans).
void makeInstallation(const testing_support::TempDir& dir, std::wstring& install, std::wstring& scans) {
    install = toWide(dir.path()) + L"\\module";
    std::error_code ec;
    std::filesystem::copy(std::filesystem::path(windowsPath(DOCIVA_MODULE_DIR)), std::filesystem::path(install),
                          std::filesystem::copy_options::recursive, ec);
    ASSERT_FALSE(ec) << ec.message();
    std::filesystem::remove(std::filesystem::path(install + L"\\settings.ini"), ec);
    std::filesystem::remove(std::filesystem::path(install + L"\\device_button.ini"), ec);
    scans = toWide(dir.path()) + L"\\scans";
    ASSERT_TRUE(CreateDirectoryW(scans.c_str(), nullptr));
}

// Runs the page's script with dociva.exe run --plugin in the installation
// (tool: the dociva.exe to run; empty: the build's).
testing_support::ProgramOutcome runPage(const std::wstring& install, const std::string& page,
                                        const std::wstring& tool = {}) {
    if (!testing_support::writeBytes(fromWide(install + L"\\page.js"), page)) return {};
    // A relative script path: the tool takes a leading slash for an option.
    return testing_support::runWindowsProgram(
        L"\"" + (tool.empty() ? windowsPath(DOCIVA_TOOL) : tool) + L"\" run --plugin --module \"" + install +
            L"\" page.js",
        install);
}

// The page that registers, scans and counts what it heard.
struct ScanPageRun {
    bool sdkOfFiveCalls = false;
};

void registerScanAndHearTheEnd(const ScanPageRun& how) {
    testing_support::AttachedScanner scanner(how.sdkOfFiveCalls ? L"PluginContract" : L"Plugin");
    ASSERT_TRUE(scanner.installed());
    if (!scanner.attached()) GTEST_SKIP() << "SetupAPI would not create a device here";

    testing_support::TempDir dir;
    std::wstring install, scans;
    ASSERT_NO_FATAL_FAILURE(makeInstallation(dir, install, scans));
    std::wstring tool;
    if (how.sdkOfFiveCalls) {
        // The tool and the plug-in bind to the dociva.dll beside the tool:
        // both there, with the SDK of only the five contracted calls.
        tool = install + L"\\dociva.exe";
        ASSERT_TRUE(CopyFileW(windowsPath(DOCIVA_TOOL).c_str(), tool.c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(windowsPath(DOCIVA_CONTRACT_SDK).c_str(), (install + L"\\dociva.dll").c_str(), FALSE));
    }

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
    const auto outcome = runPage(install, page, tool);
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

TEST(PluginPage, RegistersScansAndHearsTheRunEndThroughItsFunctions) { registerScanAndHearTheEnd({}); }

// The maker's SDK has only the five contracted calls: npDociva.dll loads
// and scans against it, handing the SDK the record form it reads.
TEST(PluginPage, ScansThroughAnSdkOfOnlyTheFiveCalls) { registerScanAndHearTheEnd({.sdkOfFiveCalls = true}); }

// The host's own functions reach the control inside npDociva.dll as they
// reach it in the Linux module: the scanner's button pressed through the
// SDK the plug-in is bound to starts a run with the bound profile, the
// progress dialog the run showed is read back, and the run's outcome is in
// the status log.
TEST(PluginPage, TheHostPressesTheScannersButtonAndReadsTheProgress) {
    testing_support::AttachedScanner scanner(L"PluginButton");
    ASSERT_TRUE(scanner.installed());
    if (!scanner.attached()) GTEST_SKIP() << "SetupAPI would not create a device here";

    testing_support::TempDir dir;
    std::wstring install, scans;
    ASSERT_NO_FATAL_FAILURE(makeInstallation(dir, install, scans));
    ASSERT_TRUE(testing_support::writeBytes(fromWide(install + L"\\profiles\\button.ini"),
                                            "[ScanParams]\r\nScanType=1\r\nScanDpi=75\r\nSaveToPath=" + narrow(scans) +
                                                "\r\nFileName=button_%COUNTER3%\r\n\r\n[Output]\r\nOUT_IMG=1\r\n"));

    const std::string page = "var PRODUCT = " + jsString(scanner.product()) + ", SCANS = " + jsString(scans) + ";\n" + R"(
var ends = [];
function OnScanEnd(data) { ends.push(data); }
dociva.Initialize();
dociva.ScannerRegister(PRODUCT);
dociva.SelectProfile("profiles/button.ini");   // its SaveToPath is where the log goes
dociva.AssignProfileToScannerButton(3, "profiles/button.ini");
host.pressButton(3);
host.wait("OnScanEnd", 60000);
host.idle(60000);
var p = host.progress();
host.print("OnScanEnd:", ends.length, ends[0], "progress shown:", p.shown > 0, "now visible:", p.visible);
host.print("in the viewer:", dociva.GetFileCount());
host.print("log:", JSON.stringify(host.readFile(SCANS + "\\dociva_status.log", "utf-16le").replace(/TIME=.*$/, "TIME=<time>")));
)";
    const auto outcome = runPage(install, page);
    SCOPED_TRACE("output:\n" + outcome.output);
    EXPECT_EQ(outcome.exitCode, 0u);
    EXPECT_EQ(outcome.output,
              "OnScanEnd: 1 {\"code\":0} progress shown: true now visible: false\n"
              "in the viewer: 4\n"
              "log: \"[ERROR]\\r\\nCODE=0\\r\\nMESSAGE=Scan success\\r\\nButtonID=3\\r\\nTIME=<time>\"\n");
    const auto files = filesIn(scans);
    EXPECT_EQ(std::count_if(files.begin(), files.end(), [](const std::string& f) { return f.starts_with("button_"); }),
              4)
        << "the bound profile's file names";
}

}  // namespace
