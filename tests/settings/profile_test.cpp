#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/private_profile.h"
#include "platform/system.h"
#include "platform/text.h"
#include "settings/config_impl.h"
#include "settings/folders.h"
#include "settings/number_text.h"
#include "settings/scan_profile.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::utf8;
using testing_support::writeBytes;

// The documents folder the profiles of these tests see, so that the
// default output folder is created somewhere of our own.
std::u16string testDocuments() {
    static TempDir documents;
    return documents.path();
}
std::u16string noDocuments() { return {}; }
std::u16string overlongDocuments() { return platform::joinPath(testDocuments(), std::u16string(250, u'd')); }

std::u16string testSaveFolder() { return platform::joinPath(testDocuments(), u"dociva files"); }

CScanProfile openProfile(const std::u16string& path) { return CScanProfile(path.c_str(), &testDocuments); }

template <std::size_t N>
std::string textOf(const char16_t (&a)[N]) {
    std::size_t n = 0;
    while (n < N && a[n]) ++n;
    return utf8(std::u16string_view(a, n));
}

// Every field as name=value, for whole-block comparisons with readable
// differences.
std::string describe(const ProfileSettings& s) {
    std::string out;
    forEachField(s, [&](const char* name, const auto& field) {
        using F = std::remove_cvref_t<decltype(field)>;
        out += name;
        out += '=';
        if constexpr (std::is_same_v<F, double>)
            out += utf8(text::format(u"%.6f", field));
        else if constexpr (std::is_same_v<F, bool>)
            out += field ? "1" : "0";
        else if constexpr (std::is_integral_v<F>)
            out += std::to_string(field);
        else
            out += textOf(field);
        out += '\n';
    });
    return out;
}

std::string iniValue(const std::u16string& file, const char16_t* section, const char16_t* key) {
    char16_t buffer[512];
    platform::getPrivateProfileString(section, key, u"<missing>", buffer, 512, file.c_str());
    return utf8(buffer);
}

std::vector<std::string> keysOf(const std::u16string& file, const char16_t* section) {
    std::vector<std::u16string> keys;
    CConfigImpl(file.c_str()).getSectionKeys(section, keys);
    std::vector<std::string> out;
    for (const auto& k : keys) out.push_back(utf8(k));
    return out;
}

std::vector<std::string> sectionsOf(const std::u16string& file) {
    std::vector<std::u16string> names;
    CConfigImpl(file.c_str()).getSectionNames(names);
    std::vector<std::string> out;
    for (const auto& n : names) out.push_back(utf8(n));
    return out;
}

class ProfileTest : public ::testing::Test {
protected:
    // A profile file with the given content; its path. Without a name each
    // file is new: the Windows INI calls cache a file and notice a change
    // made behind their back only by its time stamp, which may not move
    // between two quick rewrites.
    std::u16string profile(const std::string& content, std::u16string_view name = {}) {
        const std::u16string path = name.empty() ? freshFile() : dir.file(name);
        EXPECT_TRUE(writeBytes(path, content));
        return path;
    }
    std::u16string freshFile() { return dir.file(text::format(u"p%d.ini", ++files)); }
    ProfileSettings load(const std::string& content) { return openProfile(profile(content)).getSettings(); }

    TempDir dir;
    int files = 0;
};

const char kDefaults[] =
    "scanType=0\nscanMode=2\nscanDpi=300\nscanSize=0\ncolorDropOut=0\nsaveToPath=@\nfileName=\napPath=\n"
    "apParams=%1\napBlankPageNotify=0\nopenSaveFolder=0\n"
    "flatbedRangeX=0.000000\nflatbedRangeY=0.000000\nflatbedRangeW=4.900000\nflatbedRangeH=3.450000\n"
    "adfFrontRangeX=0.000000\nadfFrontRangeY=0.000000\nadfFrontRangeW=4.900000\nadfFrontRangeH=3.450000\n"
    "adfRearRangeX=0.000000\nadfRearRangeY=0.000000\nadfRearRangeW=4.900000\nadfRearRangeH=3.450000\n"
    "cropXYWH=\nrotate=0\norientation=0\ncontinuousScan=0\nmultiFeed=1\nlongPaperMode=0\ngamma=100\n"
    "brightness=100\ncontrast=100\nbwThreshold=128\nautoSize=0\nsplitMerge=0\nduplexApi=0\nuseDib=0\n"
    "blankPageDetect=0\npunchHoleErase=0\npageSplit=0\nsplitFixPages=0\ntestMode=0\nflatbedMultiCrop=0\n"
    "ejectPaperDirection=0\noutImgIr=4\noutImgUv=4\noutImg=0\nappFormat=\ncompress=70\ndelImg=0\nzoomX=100\n"
    "zoomY=100\nchangeDpi=100\nbwCompress=1.000000\ninvert=0\nwatermarkType=0\nwatermarkPosition=4\n"
    "watermarkTransparency=120\nwatermarkImage=\nwatermarkText=WaterMark\nwatermarkTextSize=100\n"
    "watermarkTextAngle=10\nstrokeFillSize=0\nstrokeFillPosition=0\nstrokeFillColor=FFFFFF\nstrokeFillGray=FF\n"
    "strokeFillBW=1\nprocessMode=0\ndialHide=0\nbarcodeType=\nbarcodeType2D=\nbarcodeAutoRotate=0\n"
    "barcodePosition=0\nbarcodeOutTfn=0\n";

std::string defaultsWithSaveFolder(const std::u16string& folder) {
    std::string d = kDefaults;
    d.replace(d.find('@'), 1, utf8(folder));
    return d;
}

// --- Reading -------------------------------------------------------------

TEST_F(ProfileTest, MissingProfileYieldsEveryDefaultAndCreatesTheOutputFolder) {
    std::error_code ec;
    fs::remove_all(fs::path(testSaveFolder()), ec);
    const std::u16string missing = dir.file(u"missing.ini");
    const CScanProfile p = openProfile(missing);
    EXPECT_EQ(describe(p.getSettings()), defaultsWithSaveFolder(testSaveFolder()));
    EXPECT_EQ(p.getDriverPath(), u"");
    EXPECT_TRUE(platform::isDirectory(testSaveFolder()));
    EXPECT_FALSE(platform::pathExists(missing)) << "reading must not create the profile";
}

TEST_F(ProfileTest, DefaultOutputFolderFollowsThePlatformsDocumentsFolder) {
    const CScanProfile p(dir.file(u"none.ini").c_str(), &testDocuments);
    const std::u16string docs = platform::documentsFolder();
    const std::u16string want = docs.empty() ? u"" : platform::joinPath(docs, u"dociva files");
    // The profile names an output folder of its own, so loading it creates
    // nothing in the user's documents; only the default's name is formed.
    const std::u16string own = profile("[ScanParams]\nSaveToPath=" + utf8(dir.path()) + "\n");
    const CScanProfile real(own.c_str());
    EXPECT_EQ(utf8(real.defaultSaveFolder()), utf8(want.size() > 259 ? u"" : want));
    char16_t small[6];
    p.defaultSaveFolder(small, 6);
    EXPECT_EQ(utf8(small), utf8(testSaveFolder().substr(0, 5)));
}

TEST_F(ProfileTest, UnknownOrOverlongDocumentsFolderGivesNoOutputFolder) {
    for (auto source : {&noDocuments, &overlongDocuments}) {
        const CScanProfile p(dir.file(u"none.ini").c_str(), source);
        EXPECT_EQ(textOf(p.getSettings().saveToPath), "");
        EXPECT_EQ(p.defaultSaveFolder(), u"");
    }
    EXPECT_FALSE(platform::pathExists(platform::joinPath(testDocuments(), std::u16string(250, u'd'))));
}

TEST_F(ProfileTest, ScanModeAcceptsOnlyKnownModes) {
    struct Case {
        const char* text;
        int want;
    } cases[] = {
        {"5", 2},  {"26", 2}, {"27", 27}, {nullptr, 2}, {"0", 0},   {"1", 1},   {"3", 3},   {"8", 8},  {"9", 9},
        {"24", 24}, {"25", 25}, {"28", 28}, {"29", 29}, {"32", 32}, {"33", 33}, {"-1", 2}, {"34", 2}, {"4", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "missing");
        const std::string body = c.text ? std::string("ScanMode=") + c.text + "\n" : "";
        EXPECT_EQ(load("[ScanParams]\n" + body).scanMode, c.want);
    }
}

TEST_F(ProfileTest, ColorDropOutOutsideItsRangeBecomesZero) {
    struct Case {
        const char* text;
        int want;
    } cases[] = {{"4", 0}, {"-1", 0}, {"0", 0}, {"3", 3}, {"2", 2}, {"100", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(load(std::string("[ScanParams]\nColorDropOut=") + c.text + "\n").colorDropOut, c.want);
    }
}

TEST_F(ProfileTest, ScalesAreClampedTo50Through200) {
    struct Case {
        const char* text;
        int want;
    } cases[] = {{"20", 50}, {"500", 200}, {"150", 150}, {"50", 50}, {"200", 200},
                 {"51", 51}, {"-5", 50},   {"0", 50},    {"201", 200}};
    for (const char* key : {"ZOOM_X", "ZOOM_Y", "CHANGE_DPI"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(key) + "=" + c.text);
            const ProfileSettings s = load(std::string("[Output]\n") + key + "=" + c.text + "\n");
            const int got = key[5] == 'X' ? s.zoomX : key[5] == 'Y' ? s.zoomY : s.changeDpi;
            EXPECT_EQ(got, c.want);
        }
    }
}

TEST_F(ProfileTest, FlagsAndTwoValuedKeysReduceToZeroOrOne) {
    const ProfileSettings s = load(
        "[ScanParams]\nBlankPageDetect=7\nPunchHoleErase=-1\nEjectPaperDirection=5\nAutoSize=3\nDuplex_API=0\n"
        "[Output]\nDEL_IMG=2\nDIAL_HIDE=0\nFlatbedMultiCrop=9\nOpenSaveFolder=1\n");
    EXPECT_TRUE(s.blankPageDetect);
    EXPECT_TRUE(s.punchHoleErase);
    EXPECT_EQ(s.ejectPaperDirection, 1);
    EXPECT_TRUE(s.autoSize);
    EXPECT_FALSE(s.duplexApi);
    EXPECT_TRUE(s.delImg);
    EXPECT_FALSE(s.dialHide);
    EXPECT_TRUE(s.flatbedMultiCrop);
    EXPECT_TRUE(s.openSaveFolder);
}

TEST_F(ProfileTest, BwCompressIsNormalisedOnLoading) {
    const double floor = static_cast<double>(0.4f);
    struct Case {
        const char* text;
        double want;
    } cases[] = {
        {"0.75", 0.7}, {"0.2", 0.4}, {"0", 0.0},   {"2", 2.0},     {"0.1", 0.4},   {"-3", 0.4},
        {"3.5", 3.5},  {"1", 1.0},   {"0.99", 0.9}, {"0.4", 0.4},  {"abc", 0.0},   {"1e-8", 1e-8},
        {nullptr, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "missing");
        const std::string body = c.text ? std::string("BWCOMPRESS=") + c.text + "\n" : "";
        EXPECT_DOUBLE_EQ(load("[Output]\n" + body).bwCompress, c.want);
    }
    EXPECT_EQ(floor, 0.4000000059604645);
}

TEST_F(ProfileTest, NumbersStoredAsTextUseTheDecimalConversions) {
    const ProfileSettings s = load(
        "[ScanParams]\nGamma=  42abc\nBrightness=abc\nContrast=-7\nbw_Threshold=99999999999\n"
        "FlatbedScanRangeX=1.5in\nFlatbedScanRangeY=,5\nFlatbedScanRangeW=2e1\nFlatbedScanRangeH=0x10\n"
        "ADFFrontScanRangeX=1e999\nADFFrontScanRangeY=-1e999\nADFFrontScanRangeW=1e-999\nADFFrontScanRangeH=inf\n");
    EXPECT_EQ(s.gamma, 42);
    EXPECT_EQ(s.brightness, 0);
    EXPECT_EQ(s.contrast, -7);
    EXPECT_EQ(s.bwThreshold, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(s.flatbedRangeX, 1.5);
    EXPECT_EQ(s.flatbedRangeY, 0.0);
    EXPECT_EQ(s.flatbedRangeW, 20.0);
    EXPECT_EQ(s.flatbedRangeH, 0.0);
    EXPECT_EQ(s.adfFrontRangeX, HUGE_VAL);
    EXPECT_EQ(s.adfFrontRangeY, -HUGE_VAL);
    EXPECT_EQ(s.adfFrontRangeW, 0.0);
    EXPECT_EQ(s.adfFrontRangeH, 0.0);
}

TEST(DecimalText, ConvertsLikeTheRunTimeWithoutItsLocale) {
    struct IntCase {
        std::u16string_view text;
        std::int32_t want;
    } ints[] = {
        {u"12abc", 12},       {u" \t-7", -7},       {u"+5", 5},       {u"abc", 0},
        {u"", 0},             {u"0x10", 0},         {u"2147483647", 2147483647},
        {u"2147483648", 2147483647}, {u"-2147483648", -2147483647 - 1}, {u"-99999999999999999999", -2147483647 - 1},
        {u"- 5", 0},          {u"\u0661", 0},
    };
    for (const auto& c : ints) {
        SCOPED_TRACE(utf8(c.text));
        EXPECT_EQ(decimalTextToInt(c.text), c.want);
    }
    struct DoubleCase {
        std::u16string_view text;
        double want;
    } doubles[] = {
        {u" 3.45", 3.45}, {u"+1.5", 1.5},  {u"-2", -2.0},  {u".5", 0.5},    {u"5.", 5.0},       {u"1e3", 1000.0},
        {u"1,5", 1.0},    {u"nan", 0.0},   {u"inf", 0.0},  {u"0x1p3", 0.0}, {u".", 0.0},        {u"e5", 0.0},
        {u"1e", 1.0},     {u"1e999", HUGE_VAL}, {u"-1e999", -HUGE_VAL}, {u"1e-999", 0.0}, {u"0.0001e-400", 0.0},
        {u"4.9\u00e9", 4.9},
    };
    for (const auto& c : doubles) {
        SCOPED_TRACE(utf8(c.text));
        EXPECT_EQ(decimalTextToDouble(c.text), c.want);
    }
    // Overflow told from underflow by the first significant digit, not by
    // the exponent's sign.
    std::u16string big(402, u'0'), tiny(402, u'0');
    big[0] = u'1';
    tiny[1] = u'.';
    EXPECT_EQ(decimalTextToDouble(big.append(u"e-10")), HUGE_VAL);
    EXPECT_EQ(decimalTextToDouble(tiny.append(u"1e10")), 0.0);
}

TEST_F(ProfileTest, TextsAreCutToTheirBuffers) {
    const std::string longText(5000, 'x');
    const CScanProfile p = openProfile(profile("[ScanParams]\nDriverPath=" + longText + "\nFileName=" + longText + "\nCrop_XYWH=" +
                                        longText + "\n[Output]\nOUT_IMG=" + longText + "\n[Stroke]\nFillColor=" +
                                        longText + "\n[Barcode]\nCODE_TYP=" + longText + "\n"));
    const ProfileSettings s = p.getSettings();
    EXPECT_EQ(p.getDriverPath().size(), 4095u);
    EXPECT_EQ(textOf(s.fileName).size(), 259u);
    EXPECT_EQ(textOf(s.cropXYWH).size(), 259u);
    EXPECT_EQ(textOf(s.outImg).size(), 127u);
    EXPECT_EQ(textOf(s.strokeFillColor).size(), 31u);
    EXPECT_EQ(textOf(s.barcodeType).size(), 99u);
}

TEST_F(ProfileTest, ReloadingWithAnotherPathKeepsNothingOfTheFirst) {
    const std::u16string first = profile(
        "[ScanParams]\nDriverPath=C:\\drv\nScanType=2\nScanMode=24\nScanDpi=600\nScanSize=5\nColorDropOut=2\n"
        "FileName=f\nAPPath=app\nAPParams=x\nCrop_XYWH=1,2,3,4\nFlatbedScanRangeW=9\nGamma=5\nAutoSize=1\n"
        "MultiFeed=0\nDuplex_API=1\nBlankPageDetect=1\n[Output]\nOUT_IMG=1, 2\n2AppFormat=3\nCOMPRESS=9\n"
        "ZOOM_X=150\nBWCOMPRESS=0.5\nOpenSaveFolder=1\n[WaterMark]\nType=2\nText=t\nTextAngle=40\n"
        "[Stroke]\nFillColor=000000\nFillBW=0\n[Barcode]\nCODE_TYP=qr\nAutoRotate=1\n",
        u"first.ini");
    const std::u16string second = profile("[ScanParams]\nScanDpi=200\n", u"second.ini");
    CScanProfile p = openProfile(first);
    ASSERT_EQ(p.getDriverPath(), u"C:\\drv");
    p.load(second.c_str());
    EXPECT_EQ(describe(p.getSettings()), describe(openProfile(second).getSettings()));
    EXPECT_EQ(p.getDriverPath(), u"");
    EXPECT_EQ(p.path(), second);
}

TEST_F(ProfileTest, PathsWithQuotesFoldersAndRelativeNames) {
    const std::u16string sep(1, platform::nativeSeparator());
    profile("[ScanParams]\nScanDpi=111\n", u"dociva.ini");
    const std::u16string named = profile("[ScanParams]\nScanDpi=222\n", u"named.ini");

    // A relative name is taken under the module folder.
    const std::u16string module = moduleDirectory();
    const std::u16string sub = u"profile-test-" + text::fromUtf8(std::to_string(std::random_device{}()));
    ASSERT_TRUE(platform::createDirectory(module + sub));
    struct Cleanup {
        std::u16string folder;
        ~Cleanup() {
            std::error_code ec;
            fs::remove_all(fs::path(folder), ec);
        }
    } cleanup{module + sub};
    ASSERT_TRUE(writeBytes(module + sub + sep + u"a.ini", "[ScanParams]\nScanDpi=333\n"));

    struct Case {
        const char* name;
        std::u16string path;
        std::u16string wantPath;
        int wantDpi;
    } cases[] = {
        {"bare file", named, named, 222},
        {"quoted file", u"\"" + named + u"\"", named, 222},
        {"leading quote only", u"\"" + named, named, 222},
        {"folder", dir.path(), dir.path() + sep + u"dociva.ini", 111},
        {"folder with separator", dir.path() + sep, dir.path() + sep + u"dociva.ini", 111},
        {"quoted folder", u"\"" + dir.path() + u"\"", dir.path() + sep + u"dociva.ini", 111},
        {"relative", sub + u"\\a.ini", module + sub + u"\\a.ini", 333},
        {"missing relative", sub + u"\\none.ini", module + sub + u"\\none.ini", 300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CScanProfile p = openProfile(c.path);
        EXPECT_EQ(utf8(p.path()), utf8(c.wantPath));
        EXPECT_EQ(p.getSettings().scanDpi, c.wantDpi);
        char16_t buffer[260];
        p.getIniPath(buffer, 260);
        EXPECT_EQ(utf8(buffer), utf8(c.wantPath));
    }
}

TEST_F(ProfileTest, AnOverlongPathNamesNoFile) {
    const std::u16string tooLong = dir.file(std::u16string(260, u'a'));
    CScanProfile p = openProfile(tooLong);
    EXPECT_EQ(p.path(), u"");
    EXPECT_EQ(describe(p.getSettings()), defaultsWithSaveFolder(testSaveFolder()));
    EXPECT_FALSE(p.writeScanDpi(600));
    EXPECT_FALSE(writeBack(ScanSettings{}, {}, u"", p)) << "a failed write is not reported as success";
    char16_t msg[64];
    EXPECT_EQ(p.readScanningMessage(msg, 64), 14u);
    EXPECT_EQ(utf8(msg), "Scanning......");
}

TEST_F(ProfileTest, OutputFolderIsCreatedOneLevelAndFailuresAreIgnored) {
    const std::u16string sep(1, platform::nativeSeparator());
    const std::u16string fresh = dir.file(u"out");
    const std::u16string deep = dir.file(u"no") + sep + u"such" + sep + u"out";
    const std::u16string aFile = profile("x", u"plain.txt");
    const std::u16string overlong = dir.file(std::u16string(300, u'o'));
    struct Case {
        const char* name;
        std::u16string value;
        std::u16string wantField;
        bool wantDirectory;
    } cases[] = {
        {"new folder", fresh, fresh, true},
        {"parent missing", deep, deep, false},
        {"names a file", aFile, aFile, false},
        {"overlong", overlong, testSaveFolder(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProfileSettings s = load("[ScanParams]\nSaveToPath=" + utf8(c.value) + "\n");
        EXPECT_EQ(textOf(s.saveToPath), utf8(c.wantField));
        EXPECT_EQ(platform::isDirectory(c.wantField), c.wantDirectory);
    }
    EXPECT_EQ(readBytes(aFile), "x");
    EXPECT_FALSE(platform::pathExists(overlong.substr(0, 259)));
}

TEST_F(ProfileTest, MessagesAreReadWithTheCallersBuffer) {
    const CScanProfile custom = openProfile(profile("[Message]\nMSG_Scanning=Busy\nMSG_ProcessFinish=Done %d\n"));
    const CScanProfile plain = openProfile(dir.file(u"missing.ini"));
    using Reader = std::uint32_t (CScanProfile::*)(char16_t*, std::uint32_t) const;
    struct Case {
        const char* name;
        const CScanProfile* profile;
        Reader read;
        std::uint32_t size;
        const char* want;
    } cases[] = {
        {"warming up default", &plain, &CScanProfile::readWarmingUpMessage, 256, "Warming up. Remains %d seconds."},
        {"scanning default", &plain, &CScanProfile::readScanningMessage, 256, "Scanning......"},
        {"scan finish default", &plain, &CScanProfile::readScanFinishMessage, 256,
         "Scan Finish. Please Wait, Processing......"},
        {"process finish default", &plain, &CScanProfile::readProcessFinishMessage, 256, "Processing Finish"},
        {"scanning custom", &custom, &CScanProfile::readScanningMessage, 256, "Busy"},
        {"process finish custom", &custom, &CScanProfile::readProcessFinishMessage, 256, "Done %d"},
        {"cut to the size", &plain, &CScanProfile::readScanFinishMessage, 5, "Scan"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char16_t buffer[256];
        const std::uint32_t n = (c.profile->*c.read)(buffer, c.size);
        EXPECT_EQ(utf8(buffer), c.want);
        EXPECT_EQ(n, std::string(c.want).size());
    }
    EXPECT_EQ(plain.readScanningMessage(nullptr, 10), 0u);
}

TEST_F(ProfileTest, ScanTypeIsReadFromTheFileNotTheBlock) {
    const std::u16string path = profile("[ScanParams]\nScanType=1\n");
    const CScanProfile p = openProfile(path);
    ASSERT_TRUE(platform::writePrivateProfileString(u"ScanParams", u"ScanType", u"3", path.c_str()));
    EXPECT_EQ(p.getSettings().scanType, 1);
    EXPECT_EQ(p.readScanType(), 3);
}

TEST_F(ProfileTest, SaveToPathIsCopiedWithinTheCallersLength) {
    const CScanProfile p = openProfile(profile("[ScanParams]\nSaveToPath=" + utf8(dir.path()) + "\n"));
    char16_t buffer[300];
    p.getSaveToPath(buffer, 4);
    EXPECT_EQ(utf8(buffer), utf8(dir.path().substr(0, 3)));
    p.getSaveToPath(buffer, 300);
    EXPECT_EQ(utf8(buffer), utf8(dir.path()));
    p.getSaveToPath(nullptr, 10);
}

// --- Bad input -------------------------------------------------------------

// What every profile yields after normalisation, whatever the file holds.
void expectNormalised(const CScanProfile& p) {
    const ProfileSettings s = p.getSettings();
    EXPECT_TRUE(std::set<int>({0, 1, 2, 3, 8, 9, 24, 25, 27, 28, 29, 32, 33}).count(s.scanMode)) << s.scanMode;
    EXPECT_TRUE(s.colorDropOut >= 0 && s.colorDropOut <= 3) << s.colorDropOut;
    for (int v : {s.zoomX, s.zoomY, s.changeDpi}) EXPECT_TRUE(v >= 50 && v <= 200) << v;
    EXPECT_TRUE(s.ejectPaperDirection == 0 || s.ejectPaperDirection == 1);
    const double b = s.bwCompress;
    EXPECT_TRUE(std::fabs(b) <= 1e-7 || b >= 1 || (b >= 0.4 && b < 1 && std::fabs(b * 10 - std::round(b * 10)) < 1e-9))
        << b;
    EXPECT_LE(p.getDriverPath().size(), 4095u);
    EXPECT_FALSE(textOf(s.saveToPath).empty());
    // Every text ends inside its array.
    forEachField(s, [](const char* name, const auto& field) {
        using F = std::remove_cvref_t<decltype(field)>;
        if constexpr (std::is_array_v<F>) {
            EXPECT_LT(text::length(field), std::extent_v<F>) << name;
        }
    });
}

TEST_F(ProfileTest, GarbageFilesLoadToNormalisedValuesAndAreNotWritten) {
    std::mt19937 random(12345);
    const std::string alphabet = "[]=;\r\n \t\"\\0123456789.-eE,xX";
    const std::string keys[] = {"[ScanParams]", "[Output]", "ScanMode=", "ZOOM_X=", "BWCOMPRESS=", "SaveToPath=",
                                "ColorDropOut=", "DriverPath=", "[WaterMark]", "TextAngle="};
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        std::string bytes;
        const int length = static_cast<int>(random() % 3000);
        while (static_cast<int>(bytes.size()) < length) {
            switch (random() % 4) {
                case 0: bytes += static_cast<char>(random() % 256); break;
                case 1: bytes += alphabet[random() % alphabet.size()]; break;
                default: bytes += keys[random() % std::size(keys)]; break;
            }
        }
        // A SaveToPath drawn from the garbage must not create folders
        // outside the test's own: only names under dir can take effect.
        const std::u16string path = profile("[ScanParams]\nSaveToPath=" + utf8(dir.file(u"g")) + "\n" + bytes);
        const std::string before = readBytes(path);
        const CScanProfile p = openProfile(path);
        expectNormalised(p);
        ScanSettings record;
        std::uint8_t enabled = 0;
        applyProfile(p.getSettings(), record, enabled);
        EXPECT_TRUE(record.bwCompress == 0 || record.bwCompress == 1 || record.bwCompress == 2 ||
                    (record.bwCompress > 0 && record.bwCompress < 1));
        EXPECT_EQ(readBytes(path), before);
    }
}

TEST_F(ProfileTest, UnterminatedAndOddLinesStillRead) {
    struct Case {
        const char* name;
        std::string content;
        int wantDpi;
        std::string wantFileName;
    } cases[] = {
        {"no final line break", "[ScanParams]\nFileName=abc\nScanDpi=600", 600, "abc"},
        {"text at the end", "[ScanParams]\nScanDpi=600\nFileName=abc", 600, "abc"},
        {"CRLF", "[ScanParams]\r\nScanDpi=600\r\nFileName=abc\r\n", 600, "abc"},
        {"section only", "[ScanParams]", 300, ""},
        {"empty file", "", 300, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CScanProfile p = openProfile(profile(c.content));
        EXPECT_EQ(p.getSettings().scanDpi, c.wantDpi);
        EXPECT_EQ(textOf(p.getSettings().fileName), c.wantFileName);
        expectNormalised(p);
    }
}

TEST_F(ProfileTest, HugeValuesAreNormalisedNotTrusted) {
    const CScanProfile p = openProfile(profile(
        "[ScanParams]\nScanMode=99999999999999\nColorDropOut=4294967296\nScanDpi=99999999999999\n"
        "EjectPaperDirection=99999999999\nGamma=-99999999999\n[Output]\nZOOM_X=99999999999\nZOOM_Y=-99999999999\n"
        "CHANGE_DPI=4294967346\nBWCOMPRESS=1e999\n[WaterMark]\nTextAngle=4294967336\n"));
    expectNormalised(p);
    EXPECT_EQ(p.getSettings().gamma, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(p.getSettings().bwCompress, HUGE_VAL);
    ScanSettings record;
    record.watermarkTextAngle = 45;
    std::uint8_t enabled = 0;
    applyProfile(p.getSettings(), record, enabled);
    EXPECT_EQ(record.bwCompress, 0.0);
    const int angle = p.getSettings().watermarkTextAngle;
    EXPECT_EQ(record.watermarkTextAngle, angle >= 0 && angle <= 360 ? angle : 45);
}

// --- Applying --------------------------------------------------------------

TEST_F(ProfileTest, ApplyCopiesTheProfileAndLeavesTheRestAlone) {
    const ProfileSettings s = load(
        "[ScanParams]\nScanType=0\nScanMode=24\nScanDpi=600\nScanSize=9\nGamma=5\nBrightness=6\nContrast=7\n"
        "ColorDropOut=3\nbw_Threshold=99\nAutoSize=1\nRotate=2\nOrientation=2\nContinuousScan=1\n"
        "BlankPageDetect=1\nPunchHoleErase=1\nSplitMerge=2\nEjectPaperDirection=1\nFileName=name\n"
        "SaveToPath=" + utf8(dir.path()) + "\nAPPath=app.exe\nAPParams=-x\n"
        "FlatbedScanRangeX=1\nFlatbedScanRangeY=2\nFlatbedScanRangeW=3\nFlatbedScanRangeH=4\n"
        "[Output]\nOUT_IMG=1, 3\n2AppFormat=4\nDEL_IMG=1\nCOMPRESS=80\nDIAL_HIDE=1\nZOOM_X=60\nZOOM_Y=70\n"
        "CHANGE_DPI=80\nPageSplit=1\nSplitFixPages=5\nFlatbedMultiCrop=1\nINVERT=1\nOpenSaveFolder=1\n"
        "[WaterMark]\nType=2\nPosition=8\nTransparency=200\nTextSize=30\nTextAngle=45\nImage=w.png\nText=Hi\n"
        "[Stroke]\nFillSize=3\nFillPosition=2\nFillColor=00FF00\nFillGray=80\nFillBW=0\n");
    ScanSettings r;
    r.scanSize = 7;
    r.scanAreaUnit = 1;
    r.splitFixPages = 3;
    r.reserved1 = 11;
    r.reserved3[0] = u'k';
    std::uint8_t enabled = 0;
    applyProfile(s, r, enabled);

    auto check = [](const char* name, double got, double want) { EXPECT_EQ(got, want) << name; };
    check("scanType", r.scanType, 0);
    check("scanMode", r.scanMode, 24);
    check("scanDpi", r.scanDpi, 600);
    check("gamma", r.gamma, 5);
    check("brightness", r.brightness, 6);
    check("contrast", r.contrast, 7);
    check("colorDropOut", r.colorDropOut, 3);
    check("bwThreshold", r.bwThreshold, 99);
    check("autoSize", r.autoSize, 1);
    check("rotate", r.rotate, 2);
    check("orientation", r.orientation, 2);
    check("continuousScan", r.continuousScan, 1);
    check("blankPageDetect", r.blankPageDetect, 1);
    check("punchHoleErase", r.punchHoleErase, 1);
    check("splitMerge", r.splitMerge, 2);
    check("ejectPaperDirection", r.ejectPaperDirection, 1);
    check("scanAreaX", r.scanAreaX, 1);
    check("scanAreaY", r.scanAreaY, 2);
    check("scanAreaW", r.scanAreaW, 3);
    check("scanAreaH", r.scanAreaH, 4);
    check("delImg", r.delImg, 1);
    check("compress", r.compress, 80);
    check("dialHide", r.dialHide, 1);
    check("zoomX", r.zoomX, 60);
    check("zoomY", r.zoomY, 70);
    check("changeDpi", r.changeDpi, 80);
    check("pageSplit", r.pageSplit, 1);
    check("flatbedMultiCrop", r.flatbedMultiCrop, 1);
    check("invert", r.invert, 1);
    check("openSaveFolder", r.openSaveFolder, 1);
    check("bwCompress", r.bwCompress, 1);
    check("watermarkType", r.watermarkType, 2);
    check("watermarkPosition", r.watermarkPosition, 8);
    check("watermarkTransparency", r.watermarkTransparency, 200);
    check("watermarkTextSize", r.watermarkTextSize, 30);
    check("watermarkTextAngle", r.watermarkTextAngle, 45);
    check("strokeFillSize", r.strokeFillSize, 3);
    check("strokeFillPosition", r.strokeFillPosition, 2);
    check("strokeFillBW", r.strokeFillBW, 0);
    check("watermarkEnabled", enabled, 1);
    // Not touched.
    check("scanSize", r.scanSize, 7);
    check("scanAreaUnit", r.scanAreaUnit, 1);
    check("splitFixPages", r.splitFixPages, 3);
    check("reserved1", r.reserved1, 11);
    check("reserved13", r.reserved13, -1);
    EXPECT_EQ(textOf(r.fileName), "name");
    EXPECT_EQ(textOf(r.saveToPath), utf8(dir.path()));
    EXPECT_EQ(textOf(r.apPath), "app.exe");
    EXPECT_EQ(textOf(r.apParams), "-x");
    EXPECT_EQ(textOf(r.outImg), "1, 3");
    EXPECT_EQ(textOf(r.appFormat), "4");
    EXPECT_EQ(textOf(r.watermarkImage), "w.png");
    EXPECT_EQ(textOf(r.watermarkText), "Hi");
    EXPECT_EQ(textOf(r.strokeFillColor), "00FF00");
    EXPECT_EQ(textOf(r.strokeFillGray), "80");
    EXPECT_EQ(textOf(r.reserved3), "k");
}

TEST_F(ProfileTest, ApplyTakesTheFeederAreaForEverySourceButTheFlatbed) {
    for (int type : {0, 1, 2, 3, 4, -1, 9}) {
        SCOPED_TRACE(type);
        const ProfileSettings s = load("[ScanParams]\nScanType=" + std::to_string(type) +
                                       "\nFlatbedScanRangeW=1\nADFFrontScanRangeW=2\nADFRearScanRangeW=3\n");
        ScanSettings r;
        std::uint8_t enabled = 0;
        applyProfile(s, r, enabled);
        EXPECT_EQ(r.scanAreaW, type == 0 ? 1.0 : 2.0);
    }
}

TEST_F(ProfileTest, ApplyTakesTheTextAngleOnlyInRangeAndSetsTheWatermarkSwitch) {
    struct Case {
        const char* angle;
        const char* type;
        int wantAngle;
        int wantEnabled;
    } cases[] = {
        {"400", "0", 45, 0}, {"-1", "1", 45, 1}, {"360", "2", 360, 1}, {"0", "-1", 0, 1}, {"361", "0", 45, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.angle) + "/" + c.type);
        const ProfileSettings s = load(std::string("[WaterMark]\nTextAngle=") + c.angle + "\nType=" + c.type + "\n");
        ScanSettings r;
        r.watermarkTextAngle = 45;
        std::uint8_t enabled = 7;
        applyProfile(s, r, enabled);
        EXPECT_EQ(r.watermarkTextAngle, c.wantAngle);
        EXPECT_EQ(enabled, c.wantEnabled);
    }
}

TEST_F(ProfileTest, BwCompressRoundTripsThroughLoadApplyAndWriteBack) {
    struct Case {
        const char* stored;
        double applied;
        const char* written;
    } cases[] = {
        {"0.75", 0.7, "0.7"}, {"0.7", 0.7, "0.7"}, {"2", 2, "2"}, {"1", 1, "1"},   {"3", 0, "0"},
        {"3.5", 0, "0"},      {"0", 0, "0"},       {"0.1", 0.4, "0.4"},         {"-2", 0.4, "0.4"},
        {"0.99", 0.9, "0.9"}, {"1e-8", 0, "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        const ProfileSettings s = load(std::string("[Output]\nBWCOMPRESS=") + c.stored + "\n");
        ScanSettings r;
        std::uint8_t enabled = 0;
        applyProfile(s, r, enabled);
        EXPECT_DOUBLE_EQ(r.bwCompress, c.applied);
        const std::u16string target = freshFile();
        CScanProfile t = openProfile(target);
        EXPECT_TRUE(writeBack(r, {}, u"", t));
        EXPECT_EQ(iniValue(target, u"Output", u"BWCOMPRESS"), c.written);
        EXPECT_DOUBLE_EQ(openProfile(target).getSettings().bwCompress, c.applied);
    }
}

// --- Writing ---------------------------------------------------------------

TEST_F(ProfileTest, WriteBwCompressWritesIntegersOneDecimalOrZero) {
    struct Case {
        double value;
        const char* want;
    } cases[] = {{0.7, "0.7"},  {2.0, "2"},        {5.0, "0"},      {1.0, "1"},       {0.75, "0.8"},
                 {0.0, "0"},    {-1.0, "0"},       {1.0000001, "1"}, {1.9999999, "2"}, {1e-7, "0"},
                 {0.5, "0.5"},  {1.0000005, "1"}, {HUGE_VAL, "0"}};
    const std::u16string path = dir.file(u"w.ini");
    CScanProfile p = openProfile(path);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_TRUE(p.writeBwCompress(c.value));
        EXPECT_EQ(iniValue(path, u"Output", u"BWCOMPRESS"), c.want);
    }
}

TEST_F(ProfileTest, EveryPerKeyWriterWritesItsOwnKeyAndIsReadBack) {
    const std::u16string path = dir.file(u"w.ini");
    CScanProfile p = openProfile(path);
    struct Case {
        std::function<bool(CScanProfile&)> write;
        const char16_t* section;
        const char16_t* key;
        const char* want;
    } cases[] = {
        {[](CScanProfile& q) { return q.writeDriverPath(u"D:\\drv"); }, u"ScanParams", u"DriverPath", "D:\\drv"},
        {[](CScanProfile& q) { return q.writeScanType(3); }, u"ScanParams", u"ScanType", "3"},
        {[](CScanProfile& q) { return q.writeScanMode(24); }, u"ScanParams", u"ScanMode", "24"},
        {[](CScanProfile& q) { return q.writeScanDpi(-600); }, u"ScanParams", u"ScanDpi", "-600"},
        {[](CScanProfile& q) { return q.writeGamma(1); }, u"ScanParams", u"Gamma", "1"},
        {[](CScanProfile& q) { return q.writeBrightness(2); }, u"ScanParams", u"Brightness", "2"},
        {[](CScanProfile& q) { return q.writeContrast(3); }, u"ScanParams", u"Contrast", "3"},
        {[](CScanProfile& q) { return q.writeColorDropOut(2); }, u"ScanParams", u"ColorDropOut", "2"},
        {[](CScanProfile& q) { return q.writeBwThreshold(90); }, u"ScanParams", u"bw_Threshold", "90"},
        {[](CScanProfile& q) { return q.writeAutoSize(1); }, u"ScanParams", u"AutoSize", "1"},
        {[](CScanProfile& q) { return q.writeRotate(2); }, u"ScanParams", u"Rotate", "2"},
        {[](CScanProfile& q) { return q.writeOrientation(2); }, u"ScanParams", u"Orientation", "2"},
        {[](CScanProfile& q) { return q.writeContinuousScan(1); }, u"ScanParams", u"ContinuousScan", "1"},
        {[](CScanProfile& q) { return q.writeLongPaperMode(1); }, u"ScanParams", u"LongPaperMode", "1"},
        {[](CScanProfile& q) { return q.writeBlankPageDetect(1); }, u"ScanParams", u"BlankPageDetect", "1"},
        {[](CScanProfile& q) { return q.writePunchHoleErase(1); }, u"ScanParams", u"PunchHoleErase", "1"},
        {[](CScanProfile& q) { return q.writeSplitMerge(2); }, u"ScanParams", u"SplitMerge", "2"},
        {[](CScanProfile& q) { return q.writeEjectPaperDirection(1); }, u"ScanParams", u"EjectPaperDirection", "1"},
        {[](CScanProfile& q) { return q.writeFileName(u"f_%COUNTER4%"); }, u"ScanParams", u"FileName", "f_%COUNTER4%"},
        {[](CScanProfile& q) { return q.writeSaveToPath(u"C:\\new\\names"); }, u"ScanParams", u"SaveToPath",
         "C:\\new\\names"},
        {[](CScanProfile& q) { return q.writeApPath(u"a.exe"); }, u"ScanParams", u"APPath", "a.exe"},
        {[](CScanProfile& q) { return q.writeApParams(u"%1 -q"); }, u"ScanParams", u"APParams", "%1 -q"},
        {[](CScanProfile& q) { return q.writeOutImg(u"0, 4"); }, u"Output", u"OUT_IMG", "0, 4"},
        {[](CScanProfile& q) { return q.writeAppFormat(u"2"); }, u"Output", u"2AppFormat", "2"},
        {[](CScanProfile& q) { return q.writeDelImg(1); }, u"Output", u"DEL_IMG", "1"},
        {[](CScanProfile& q) { return q.writeCompress(55); }, u"Output", u"COMPRESS", "55"},
        {[](CScanProfile& q) { return q.writeDialHide(1); }, u"Output", u"DIAL_HIDE", "1"},
        {[](CScanProfile& q) { return q.writeZoomX(120); }, u"Output", u"ZOOM_X", "120"},
        {[](CScanProfile& q) { return q.writeZoomY(130); }, u"Output", u"ZOOM_Y", "130"},
        {[](CScanProfile& q) { return q.writeChangeDpi(140); }, u"Output", u"CHANGE_DPI", "140"},
        {[](CScanProfile& q) { return q.writePageSplit(1); }, u"Output", u"PageSplit", "1"},
        {[](CScanProfile& q) { return q.writeSplitFixPages(4); }, u"Output", u"SplitFixPages", "4"},
        {[](CScanProfile& q) { return q.writeFlatbedMultiCrop(1); }, u"Output", u"FlatbedMultiCrop", "1"},
        {[](CScanProfile& q) { return q.writeInvert(1); }, u"Output", u"INVERT", "1"},
        {[](CScanProfile& q) { return q.writeStrokeFillSize(6); }, u"Stroke", u"FillSize", "6"},
        {[](CScanProfile& q) { return q.writeStrokeFillPosition(2); }, u"Stroke", u"FillPosition", "2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(utf8(c.key));
        EXPECT_TRUE(c.write(p));
        EXPECT_EQ(iniValue(path, c.section, c.key), c.want);
    }
    // The reader finds what the writers wrote (the same key names).
    p.load(path.c_str());
    const ProfileSettings s = p.getSettings();
    EXPECT_EQ(p.getDriverPath(), u"D:\\drv");
    EXPECT_EQ(s.scanType, 3);
    EXPECT_EQ(s.scanMode, 24);
    EXPECT_EQ(s.bwThreshold, 90);
    EXPECT_TRUE(s.autoSize);
    EXPECT_EQ(s.longPaperMode, 1);
    EXPECT_EQ(s.ejectPaperDirection, 1);
    EXPECT_EQ(textOf(s.fileName), "f_%COUNTER4%");
    // Linux reads a folder without a leading separator as the module
    // folder's, as it reads any relative output folder.
    const std::string saveTo =
        testing_support::onWindows() ? "C:\\new\\names" : utf8(moduleDirectory()) + "C:/new/names";
    EXPECT_EQ(textOf(s.saveToPath), saveTo) << "no line break made of a backslash and n";
    EXPECT_EQ(textOf(s.apParams), "%1 -q");
    EXPECT_EQ(textOf(s.appFormat), "2");
    EXPECT_EQ(s.zoomY, 130);
    EXPECT_EQ(s.splitFixPages, 4);
    EXPECT_EQ(s.strokeFillSize, 6);
    EXPECT_EQ(s.strokeFillPosition, 2);

    EXPECT_FALSE(p.writeString(nullptr, u"k", u"v"));
    EXPECT_FALSE(p.writeString(u"s", nullptr, u"v"));
    EXPECT_FALSE(p.writeString(u"s", u"k", nullptr));
    EXPECT_FALSE(p.writeInt(nullptr, u"k", 1));
}

TEST_F(ProfileTest, WriteBackOfAFreshRecordWritesOnlyDpiAndTheDriver) {
    for (const std::u16string& scanner : {std::u16string(), std::u16string(u"C:\\Drivers\\DS")}) {
        SCOPED_TRACE(utf8(scanner));
        const std::u16string path = freshFile();
        CScanProfile target = openProfile(path);
        ScanSettings record;
        record.reset();
        EXPECT_TRUE(writeBack(record, {}, scanner, target));
        EXPECT_EQ(sectionsOf(path), std::vector<std::string>{"ScanParams"});
        if (scanner.empty()) {
            EXPECT_EQ(keysOf(path, u"ScanParams"), std::vector<std::string>{"ScanDpi"});
        } else {
            EXPECT_EQ(keysOf(path, u"ScanParams"), (std::vector<std::string>{"DriverPath", "ScanDpi"}));
            EXPECT_EQ(iniValue(path, u"ScanParams", u"DriverPath"), utf8(scanner));
        }
        EXPECT_EQ(iniValue(path, u"ScanParams", u"ScanDpi"), "0");
    }
}

TEST_F(ProfileTest, WriteBackPutsTheAreaUnderTheKeysOfTheFilesScanType) {
    const std::vector<std::string> flatbed = {"FlatbedScanRangeX", "FlatbedScanRangeY", "FlatbedScanRangeW",
                                              "FlatbedScanRangeH"};
    const std::vector<std::string> front = {"ADFFrontScanRangeX", "ADFFrontScanRangeY", "ADFFrontScanRangeW",
                                            "ADFFrontScanRangeH"};
    const std::vector<std::string> rear = {"ADFRearScanRangeX", "ADFRearScanRangeY", "ADFRearScanRangeW",
                                           "ADFRearScanRangeH"};
    auto join = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Case {
        const char* name;
        const char* fileType;  // null: no ScanType key
        int recordType;
        int autoSize;
        std::vector<std::string> areaKeys;
    } cases[] = {
        {"flatbed", "0", -1, 0, flatbed},
        {"front", "1", -1, 0, front},
        {"rear", "2", -1, 0, rear},
        {"both sides", "3", -1, 0, join(front, rear)},
        {"front again", "4", -1, 0, front},
        {"unknown source", "5", -1, 0, {}},
        {"negative source", "-1", -1, 0, {}},
        {"no ScanType", nullptr, -1, 0, flatbed},
        {"record's type written first", "0", 2, 0, rear},
        {"automatic size", "3", -1, 1, {}},
        {"size not set", "3", -1, -1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string path =
            profile(c.fileType ? std::string("[ScanParams]\nScanType=") + c.fileType + "\n" : "[ScanParams]\n");
        CScanProfile target = openProfile(path);
        ScanSettings r;
        r.reset();
        r.scanType = c.recordType;
        r.autoSize = c.autoSize;
        r.scanAreaX = 0.5;
        r.scanAreaY = 1.25;
        r.scanAreaW = 8.5;
        r.scanAreaH = 11;
        EXPECT_TRUE(writeBack(r, {}, u"", target));
        std::vector<std::string> want;
        if (c.fileType || c.recordType != -1) want.push_back("ScanType");
        want.push_back("ScanDpi");
        if (c.autoSize != -1) want.push_back("AutoSize");
        want.insert(want.end(), c.areaKeys.begin(), c.areaKeys.end());
        EXPECT_EQ(keysOf(path, u"ScanParams"), want);
        const char* values[] = {"0.50", "1.25", "8.50", "11.00"};
        for (std::size_t i = 0; i < c.areaKeys.size(); ++i)
            EXPECT_EQ(iniValue(path, u"ScanParams", text::fromUtf8(c.areaKeys[i]).c_str()), values[i % 4]);
    }
}

TEST_F(ProfileTest, WriteBackWritesEverySetFieldInOrderAndNothingElse) {
    const std::u16string path = profile(
        "[ScanParams]\nScanSize=5\n[Output]\nSplitFixPages=2\n2AppFormat=keep\nOpenSaveFolder=1\n"
        "[WaterMark]\nType=1\n[Stroke]\nFillColor=ABCDEF\n[Message]\nMSG_Scanning=keep\n",
        u"full.ini");
    CScanProfile target = openProfile(path);
    ScanSettings r;
    int next = 1;
    forEachField(r, [&](const char*, auto& field) {
        using F = std::remove_cvref_t<decltype(field)>;
        if constexpr (std::is_same_v<F, std::int32_t>) field = next++;
        if constexpr (std::is_array_v<F>) text::formatInto(field, std::extent_v<F>, u"t%d", next++);
    });
    r.scanType = 0;
    r.autoSize = 0;
    r.bwCompress = 0.5;
    EXPECT_TRUE(writeBack(r, {9, 0, 4}, u"C:\\drv", target));

    EXPECT_EQ(sectionsOf(path), (std::vector<std::string>{"ScanParams", "Output", "WaterMark", "Stroke", "Message"}));
    EXPECT_EQ(keysOf(path, u"ScanParams"),
              (std::vector<std::string>{"ScanSize", "DriverPath", "ScanType", "ScanMode", "ScanDpi", "Gamma",
                                        "Brightness", "Contrast", "ColorDropOut", "bw_Threshold", "AutoSize",
                                        "FlatbedScanRangeX", "FlatbedScanRangeY", "FlatbedScanRangeW",
                                        "FlatbedScanRangeH", "Rotate", "Orientation", "ContinuousScan",
                                        "BlankPageDetect", "PunchHoleErase", "SplitMerge", "EjectPaperDirection",
                                        "FileName", "SaveToPath", "APPath", "APParams"}));
    EXPECT_EQ(keysOf(path, u"Output"),
              (std::vector<std::string>{"SplitFixPages", "2AppFormat", "OpenSaveFolder", "OUT_IMG", "DEL_IMG",
                                        "COMPRESS", "DIAL_HIDE", "ZOOM_X", "ZOOM_Y", "CHANGE_DPI", "PageSplit",
                                        "FlatbedMultiCrop", "BWCOMPRESS", "INVERT"}));
    EXPECT_EQ(keysOf(path, u"WaterMark"), std::vector<std::string>{"Type"});
    EXPECT_EQ(keysOf(path, u"Stroke"), (std::vector<std::string>{"FillColor", "FillSize", "FillPosition"}));
    EXPECT_EQ(iniValue(path, u"Output", u"OUT_IMG"), "0, 4, 9");
    EXPECT_EQ(iniValue(path, u"Output", u"BWCOMPRESS"), "0.5");
    EXPECT_EQ(iniValue(path, u"Output", u"2AppFormat"), "keep");
    EXPECT_EQ(iniValue(path, u"ScanParams", u"ScanSize"), "5");
    EXPECT_EQ(iniValue(path, u"ScanParams", u"ScanMode"), std::to_string(r.scanMode));
    EXPECT_EQ(iniValue(path, u"ScanParams", u"FileName"), textOf(r.fileName));
    EXPECT_EQ(iniValue(path, u"Stroke", u"FillPosition"), std::to_string(r.strokeFillPosition));
}

// Keys and sections a write-back adds to a file appear in the order it
// writes them, across sections too: moving one field's write before or
// after another's moves keys, or whole sections, in the user's file.
TEST_F(ProfileTest, WriteBackIntoANewFileKeepsItsSectionAndKeyOrder) {
    using Sections = std::vector<std::pair<std::string, std::vector<std::string>>>;
    struct Case {
        const char* name;
        std::function<void(ScanSettings&)> set;
        std::set<std::int32_t> formats;
        std::u16string scanner;
        Sections want;
    } cases[] = {
        {"every field",
         [](ScanSettings& r) {
             int next = 1;
             forEachField(r, [&](const char*, auto& field) {
                 using F = std::remove_cvref_t<decltype(field)>;
                 if constexpr (std::is_same_v<F, std::int32_t>) field = next++;
                 if constexpr (std::is_array_v<F>) text::formatInto(field, std::extent_v<F>, u"t%d", next++);
             });
             r.scanType = 0;
             r.autoSize = 0;
             r.bwCompress = 0.5;
         },
         {3},
         u"C:\\drv",
         {{"ScanParams",
           {"DriverPath", "ScanType", "ScanMode", "ScanDpi", "Gamma", "Brightness", "Contrast", "ColorDropOut",
            "bw_Threshold", "AutoSize", "FlatbedScanRangeX", "FlatbedScanRangeY", "FlatbedScanRangeW",
            "FlatbedScanRangeH", "Rotate", "Orientation", "ContinuousScan", "BlankPageDetect", "PunchHoleErase",
            "SplitMerge", "EjectPaperDirection", "FileName", "SaveToPath", "APPath", "APParams"}},
          {"Output",
           {"OUT_IMG", "DEL_IMG", "COMPRESS", "DIAL_HIDE", "ZOOM_X", "ZOOM_Y", "CHANGE_DPI", "PageSplit",
            "FlatbedMultiCrop", "BWCOMPRESS", "INVERT"}},
          {"Stroke", {"FillSize", "FillPosition"}}}},
        {"the paper direction before the first output key",
         [](ScanSettings& r) {
             r.delImg = 1;
             r.ejectPaperDirection = 1;
         },
         {},
         u"",
         {{"ScanParams", {"EjectPaperDirection"}}, {"Output", {"DEL_IMG"}}}},
        {"the texts after the stroke keys",
         [](ScanSettings& r) {
             text::formatInto(r.apPath, 260, u"a.exe");
             r.strokeFillPosition = 2;
         },
         {},
         u"",
         {{"Stroke", {"FillPosition"}}, {"ScanParams", {"APPath"}}}},
        {"the formats before the other output keys",
         [](ScanSettings& r) { r.invert = 1; },
         {4},
         u"",
         {{"Output", {"OUT_IMG", "INVERT"}}}},
        {"the area right after AutoSize",
         [](ScanSettings& r) {
             r.rotate = 1;
             r.autoSize = 0;
         },
         {},
         u"",
         {{"ScanParams",
           {"AutoSize", "FlatbedScanRangeX", "FlatbedScanRangeY", "FlatbedScanRangeW", "FlatbedScanRangeH",
            "Rotate"}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string path = freshFile();
        CScanProfile target = openProfile(path);
        ScanSettings r;
        r.reset();
        r.scanDpi = -1;  // written whenever set, which a reset record is
        c.set(r);
        EXPECT_TRUE(writeBack(r, c.formats, c.scanner, target));
        std::vector<std::string> sections;
        for (const auto& [section, keys] : c.want) sections.push_back(section);
        EXPECT_EQ(sectionsOf(path), sections);
        for (const auto& [section, keys] : c.want)
            EXPECT_EQ(keysOf(path, text::fromUtf8(section).c_str()), keys) << section;
    }
}

TEST_F(ProfileTest, WriteBackToAnUnwritableFileReportsTheFailure) {
    const std::u16string blocker = profile("x", u"blocker");
    CScanProfile target = openProfile(platform::joinPath(blocker, u"p.ini"));
    ScanSettings r;
    r.reset();
    EXPECT_FALSE(writeBack(r, {1}, u"C:\\drv", target));
    EXPECT_EQ(readBytes(blocker), "x");
}

TEST(OutputFormatList, AscendingIdsJoinedByCommaAndBlank) {
    EXPECT_EQ(outputFormatList({4, 0, 9}), u"0, 4, 9");
    EXPECT_EQ(outputFormatList({2}), u"2");
    EXPECT_EQ(outputFormatList({}), u"");
    std::set<std::int32_t> many;
    for (int i = 0; i < 100; ++i) many.insert(1000000 + i);
    const std::u16string list = outputFormatList(many);
    EXPECT_LE(list.size(), 259u);
    EXPECT_EQ(list.substr(list.size() - 7), u"1000028") << "whole ids only";
}

}  // namespace
