// The bridge's admission rules and message format, without a network:
// which Host and Origin get in, how an origin is written down, which
// methods a page may not call, and how a page's messages and arguments
// are read.
#include <gtest/gtest.h>

#include "bridge/protocol.h"
#include "bridge/service_rules.h"
#include "bridge/service_settings.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace {

using nlohmann::json;

TEST(BridgeRules, HostMustNameLoopbackWithTheServicePort) {
    struct Row {
        const char* host;
        bool allowed;
    };
    const Row rows[] = {
        {"127.0.0.1:17345", true},
        {"localhost:17345", true},
        {"LOCALHOST:17345", true},
        {"[::1]:17345", true},
        {"127.0.0.1", false},           // no port: not what a browser sends to this service
        {"127.0.0.1:80", false},
        {"127.0.0.1:173450", false},
        {"attacker.example:17345", false},  // DNS rebinding
        {"localhost.attacker.example:17345", false},
        {"127.0.0.2:17345", false},
        {"[::1]", false},
        {"::1:17345", false},
        {"", false},
        {" 127.0.0.1:17345", false},
        {"127.0.0.1:17345 ", false},
        {"0.0.0.0:17345", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(bridge::hostAllowed(row.host, 17345), row.allowed) << "Host: '" << row.host << "'";
    }
}

TEST(BridgeRules, OriginsAreNormalisedOrRefused) {
    struct Row {
        const char* given;
        const char* normal;  // null: refused
    };
    const Row rows[] = {
        {"https://app.example", "https://app.example"},
        {"HTTPS://App.Example/", "https://app.example"},
        {"https://app.example:443", "https://app.example"},
        {"http://app.example:80", "http://app.example"},
        {"http://localhost:8080", "http://localhost:8080"},
        {"http://[::1]:8080", "http://[::1]:8080"},
        {"null", nullptr},
        {"", nullptr},
        {"file://", nullptr},
        {"ftp://app.example", nullptr},
        {"https://app.example/path", nullptr},
        {"https://app.example?x=1", nullptr},
        {"https://user@app.example", nullptr},
        {"https://app.example:0", nullptr},
        {"https://app.example:65536", nullptr},
        {"https://app.example:", nullptr},
        {"https://", nullptr},
        {"https://app..example", nullptr},
        {"https://app.example ", nullptr},
        {"http://[::1", nullptr},
        {"http://[]:80", nullptr},
    };
    for (const auto& row : rows) {
        const auto normal = bridge::normalizeOrigin(row.given);
        if (row.normal) {
            ASSERT_TRUE(normal.has_value()) << "origin '" << row.given << "'";
            EXPECT_EQ(*normal, row.normal) << "origin '" << row.given << "'";
        } else {
            EXPECT_FALSE(normal.has_value()) << "origin '" << row.given << "' gave '" << normal.value_or("") << "'";
        }
    }
}

TEST(BridgeRules, OnlyOwnAndAllowedOriginsOpenSessions) {
    const std::vector<std::string> allowList = {"https://app.example", "http://localhost:9000"};
    struct Row {
        const char* origin;
        bool allowed;
    };
    const Row rows[] = {
        {"http://127.0.0.1:17345", true},
        {"http://localhost:17345", true},
        {"http://[::1]:17345", true},
        {"https://app.example", true},
        {"http://localhost:9000", true},
        {"http://localhost:9001", false},     // another local page, not allowed
        {"http://127.0.0.1:9000", false},     // same port, another name: another origin
        {"https://127.0.0.1:17345", false},   // the service serves no https
        {"http://app.example", false},
        {"https://APP.example", false},       // browsers send origins in lower case
        {"https://app.example/", false},
        {"null", false},
        {"", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(bridge::originAllowed(row.origin, 17345, allowList), row.allowed) << "Origin: '" << row.origin << "'";
    }
}

TEST(BridgeRules, LaunchSettingsAndButtonBindingsAreNotThePagesToMake) {
    struct Row {
        const char16_t* method;
        bool refused;
        bool clears;
    };
    const Row rows[] = {
        {u"SetSavetoLaunchAppPath", true, false},
        {u"setsavetolaunchapppath", true, false},  // the dispatch finds names ignoring case
        {u"SetSavetoLaunchAppParams", true, false},
        {u"SelectAPFile", true, false},
        {u"AssignProfileToScannerButton", true, false},
        {u"ScanStart", false, true},
        {u"SCANSTART", false, true},
        {u"SaveProfile", false, true},
        {u"ExportProfile", false, true},
        {u"SelectProfile", false, false},
        {u"GetScannerButtonSetting", false, false},
        {u"SetSavetoFolder", false, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(!bridge::pageRefusal(row.method).empty(), row.refused) << text::toUtf8(row.method);
        EXPECT_EQ(bridge::clearsLaunchSettings(row.method), row.clears) << text::toUtf8(row.method);
    }
}

TEST(BridgeProtocol, PageMessagesAreReadOrRefusedWithAReason) {
    struct Row {
        const char* text;
        const char* kind;  // "call", "answer" or "bad"
        json id;
    };
    const Row rows[] = {
        {R"({"type":"call","id":1,"method":"GetFileCount"})", "call", 1},
        {R"({"type":"call","id":"a7","method":"ScanStart","args":["x"]})", "call", "a7"},
        {R"({"type":"call","id":9007199254740991,"method":"X","args":[]})", "call", 9007199254740991LL},
        {R"({"type":"call","id":9007199254740992,"method":"X"})", "bad", nullptr},
        {R"({"type":"call","id":18446744073709551615,"method":"X"})", "bad", nullptr},
        {R"({"type":"call","id":-9007199254740991,"method":"X"})", "call", -9007199254740991LL},
        {R"({"type":"call","id":1.5,"method":"X"})", "bad", nullptr},
        {R"({"type":"call","id":{},"method":"X"})", "bad", nullptr},
        {R"({"type":"call","method":"X"})", "bad", nullptr},
        {R"({"type":"call","id":2})", "bad", 2},
        {R"({"type":"call","id":2,"method":""})", "bad", 2},
        {R"({"type":"call","id":3,"method":"X","args":{"0":1}})", "bad", 3},
        {R"({"type":"call","id":3,"method":7})", "bad", 3},
        {R"({"type":"answer","dialog":4,"value":"text"})", "answer", nullptr},
        {R"({"type":"answer","dialog":4})", "answer", nullptr},
        {R"({"type":"answer","dialog":-4})", "bad", nullptr},
        {R"({"type":"answer"})", "bad", nullptr},
        {R"({"type":"launch","id":5})", "bad", 5},
        {R"({"id":5})", "bad", nullptr},
        {R"([1,2])", "bad", nullptr},
        {R"("call")", "bad", nullptr},
        {R"({"type":"call","id":1,"method":"X")", "bad", nullptr},
        {"", "bad", nullptr},
        {"\xff\xfe", "bad", nullptr},
        {R"({"type":"mouse","kind":"down","x":10,"y":20})", "mouse", nullptr},
        {R"({"type":"mouse","kind":"dblclick","x":-10000,"y":10000})", "mouse", nullptr},
        {R"({"type":"mouse","kind":"down","x":10001,"y":0})", "bad", nullptr},
        {R"({"type":"mouse","kind":"down","x":1.5,"y":0})", "bad", nullptr},
        {R"({"type":"mouse","kind":"press","x":1,"y":0})", "bad", nullptr},
        {R"({"type":"mouse","x":1,"y":0})", "bad", nullptr},
        {R"({"type":"viewer","on":true})", "viewer", nullptr},
        {R"({"type":"viewer","on":1})", "bad", nullptr},
        {R"({"type":"files","id":3})", "file", nullptr},
        {R"({"type":"files"})", "bad", nullptr},
        {R"({"type":"file","id":4,"file":"0123456789abcdef0123456789abcdef"})", "file", nullptr},
        {R"({"type":"file","id":4})", "bad", 4},
        {R"({"type":"file","id":4,"file":7})", "bad", 4},
    };
    for (const auto& row : rows) {
        const auto message = bridge::parsePageMessage(row.text);
        const std::string kind = std::holds_alternative<bridge::CallMessage>(message)     ? "call"
                                 : std::holds_alternative<bridge::AnswerMessage>(message) ? "answer"
                                 : std::holds_alternative<bridge::MouseMessage>(message)  ? "mouse"
                                 : std::holds_alternative<bridge::ViewerMessage>(message) ? "viewer"
                                 : std::holds_alternative<bridge::FileMessage>(message)   ? "file"
                                                                                          : "bad";
        EXPECT_EQ(kind, row.kind) << row.text;
        if (const auto* call = std::get_if<bridge::CallMessage>(&message)) {
            EXPECT_EQ(call->id, row.id) << row.text;
        }
        if (const auto* bad = std::get_if<bridge::BadMessage>(&message)) {
            EXPECT_EQ(bad->id, row.id) << row.text;
            EXPECT_FALSE(bad->reason.empty()) << row.text;
        }
    }
}

TEST(BridgeProtocol, FileIdsAreNeverPaths) {
    struct Row {
        const char* id;
        bool wellFormed;
    };
    const Row rows[] = {
        {"0123456789abcdef0123456789abcdef", true},
        {"0123456789ABCDEF0123456789ABCDEF", false},
        {"0123456789abcdef0123456789abcde", false},
        {"0123456789abcdef0123456789abcdef0", false},
        {"/etc/passwd", false},
        {"../../../../../../../../etc/pass", false},  // 32 characters, not hex
        {"0123456789abcdef/123456789abcdef", false},
        {"", false},
    };
    for (const auto& row : rows) EXPECT_EQ(bridge::wellFormedFileId(row.id), row.wellFormed) << row.id;
}

TEST(BridgeProtocol, ArgumentsBecomeTheValuesAScriptEnginePasses) {
    struct Row {
        const char* args;
        std::uint16_t type;  // of the one argument; DOCIVA_EMPTY: refused
        std::int32_t integer;
        double real;
        const char16_t* text;
    };
    const Row rows[] = {
        {"[null]", DOCIVA_NULL, 0, 0, nullptr},
        {"[true]", DOCIVA_BOOL, -1, 0, nullptr},
        {"[false]", DOCIVA_BOOL, 0, 0, nullptr},
        {"[300]", DOCIVA_I4, 300, 0, nullptr},
        {"[-2147483648]", DOCIVA_I4, -2147483647 - 1, 0, nullptr},
        {"[2147483648]", DOCIVA_R8, 0, 2147483648.0, nullptr},
        {"[18446744073709551615]", DOCIVA_R8, 0, 18446744073709551615.0, nullptr},
        {"[2.5]", DOCIVA_R8, 0, 2.5, nullptr},
        {R"(["Dociva Virtual Duplex 300"])", DOCIVA_STRING, 0, 0, u"Dociva Virtual Duplex 300"},
        {R"(["\u00e9\ud83d\ude00"])", DOCIVA_STRING, 0, 0, u"\u00e9\U0001F600"},
        {R"([""])", DOCIVA_STRING, 0, 0, u""},
        {"[[1]]", DOCIVA_EMPTY, 0, 0, nullptr},
        {R"([{"a":1}])", DOCIVA_EMPTY, 0, 0, nullptr},
    };
    for (const auto& row : rows) {
        std::uint32_t bad = 99;
        const auto args = bridge::Arguments::from(json::parse(row.args), bad);
        if (row.type == DOCIVA_EMPTY) {
            EXPECT_FALSE(args.has_value()) << row.args;
            EXPECT_EQ(bad, 0u) << row.args;
            continue;
        }
        ASSERT_TRUE(args.has_value()) << row.args;
        ASSERT_EQ(args->size(), 1u) << row.args;
        const DocivaValue& v = args->data()[0];
        EXPECT_EQ(v.type, row.type) << row.args;
        if (row.type == DOCIVA_I4 || row.type == DOCIVA_BOOL) {
            EXPECT_EQ(v.integer, row.integer) << row.args;
        }
        if (row.type == DOCIVA_R8) {
            EXPECT_EQ(v.real, row.real) << row.args;
        }
        if (row.type == DOCIVA_STRING) {
            EXPECT_EQ(std::u16string_view(v.text, v.textLength), row.text) << row.args;
            EXPECT_EQ(v.text[v.textLength], u'\0') << row.args;
        }
    }
}

TEST(BridgeProtocol, ManyTextArgumentsStayWhereTheyPoint) {
    // Texts are kept in a vector of their own: pointers taken before it
    // grew would dangle.
    json args = json::array();
    for (int i = 0; i < 40; ++i) args.push_back(std::string(i + 20, static_cast<char>('a' + i % 26)));
    std::uint32_t bad = 0;
    const auto converted = bridge::Arguments::from(args, bad);
    ASSERT_TRUE(converted.has_value());
    for (std::uint32_t i = 0; i < converted->size(); ++i) {
        const DocivaValue& v = converted->data()[i];
        EXPECT_EQ(text::toUtf8(std::u16string_view(v.text, v.textLength)), args[i].get<std::string>()) << "argument " << i;
    }
    json mixed = json::array({1, "x", json::array()});
    EXPECT_FALSE(bridge::Arguments::from(mixed, bad).has_value());
    EXPECT_EQ(bad, 2u);
}

TEST(BridgeProtocol, RefusalsCarryTheDispatchReason) {
    struct Row {
        std::int32_t hresult;
        const char* reason;
        const char* hex;
    };
    const Row rows[] = {
        {DOCIVA_E_UNKNOWNNAME, "unknown name", "0x80020006"},
        {DOCIVA_E_TYPEMISMATCH, "type mismatch", "0x80020005"},
        {DOCIVA_E_OVERFLOW, "overflow", "0x8002000A"},
        {DOCIVA_E_BADPARAMCOUNT, "bad parameter count", "0x8002000E"},
        {static_cast<std::int32_t>(0x8007000Eu), "error 0x8007000E", "0x8007000E"},
    };
    for (const auto& row : rows) {
        const json message = json::parse(bridge::refusalMessage(7, row.hresult, 1));
        EXPECT_EQ(message["type"], "error") << row.hex;
        EXPECT_EQ(message["id"], 7) << row.hex;
        EXPECT_EQ(message["reason"], row.reason) << row.hex;
        EXPECT_EQ(message["hresult"], row.hex) << row.hex;
        EXPECT_EQ(message["argument"], 1) << row.hex;
    }
    EXPECT_FALSE(json::parse(bridge::refusalMessage(7, DOCIVA_E_UNKNOWNNAME, -1)).contains("argument"));
}

TEST(BridgeProtocol, EventsKeepTheControlsTextAsItIs) {
    // A payload's bytes reach the page unchanged, even when they are not
    // JSON a parser accepts; a lone surrogate cannot end the session.
    const std::u16string data = u"{\"name\":\"a\\\"b\", \"dir\":\"C:\\\\x\"}";
    const json message = json::parse(bridge::eventMessage(u"OnSourceReady", data));
    EXPECT_EQ(message["name"], "OnSourceReady");
    EXPECT_EQ(message["data"], text::toUtf8(data));
    const std::u16string broken = {u'{', 0xD800, u'}'};
    EXPECT_NO_THROW(json::parse(bridge::eventMessage(u"OnSourceReady", broken)));
}

TEST(BridgeProtocol, WatermarkAnswersChangeOnlyWhatTheyName) {
    platform::WatermarkSettings record;
    record.type = 2;
    record.position = 4;
    text::copyBounded(record.text, 260, u"DRAFT");
    bridge::applyWatermark(json{{"position", 8}, {"text", std::string(400, 'x')}, {"type", "1"}, {"textSize", 1e12}},
                           record);
    EXPECT_EQ(record.type, 2);  // a text is not a number
    EXPECT_EQ(record.position, 8);
    EXPECT_EQ(text::view(record.text).size(), 259u);  // cut to the record
    EXPECT_EQ(record.textSize, 0);
    EXPECT_EQ(bridge::watermarkToJson(record)["position"], 8);
}

TEST(BridgeSettings, PortAndAllowListLiveInTheSettingsFile) {
    const testing_support::TempDir folder;
    bridge::ServiceSettings settings(bridge::ServiceSettings::fileIn(folder.path()));
    EXPECT_EQ(settings.port(), bridge::kDefaultPort);
    EXPECT_TRUE(settings.allowedOrigins().empty());
    EXPECT_TRUE(settings.setPort(18080));
    EXPECT_EQ(settings.port(), 18080);

    EXPECT_TRUE(settings.allowOrigin("HTTPS://App.Example:443/"));
    EXPECT_TRUE(settings.allowOrigin("http://localhost:9000"));
    EXPECT_TRUE(settings.allowOrigin("https://app.example"));  // already there
    EXPECT_FALSE(settings.allowOrigin("null"));
    EXPECT_FALSE(settings.allowOrigin("https://app.example/x"));
    EXPECT_EQ(settings.allowedOrigins(), (std::vector<std::string>{"https://app.example", "http://localhost:9000"}));

    EXPECT_TRUE(settings.removeOrigin("https://app.example"));
    EXPECT_FALSE(settings.removeOrigin("https://app.example"));
    EXPECT_EQ(settings.allowedOrigins(), (std::vector<std::string>{"http://localhost:9000"}));
}

}  // namespace
