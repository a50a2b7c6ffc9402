// dociva run against the stand-in control module (fake_control_module.cpp):
// each row writes a script, runs `dociva run --module <fake> [--trace]` on
// it and compares standard output, standard error, the exit code and,
// where given, the stand-in's lifecycle log.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/test_support.h"
#include "tools/tool_runner.h"

namespace {

using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::utf8;
using testing_support::writeBytes;

using Output = testing_support::ToolResult;

// Runs the tool with only the given DOCIVA_ variables of our own set.
Output runTool(const std::vector<std::string>& args, const std::vector<std::string>& environment,
               const std::string& errFile) {
    std::vector<std::string> argv{DOCIVA_NATIVE_TOOL, "run"};
    argv.insert(argv.end(), args.begin(), args.end());
    testing_support::RunOptions options;
    options.errFile = errFile;
    options.unset = {"DOCIVA_MODULE_DIR", "DOCIVA_FAKE_LOG"};
    options.set = environment;
    return testing_support::runProgram(argv, options);
}

void replaceAll(std::string& s, const std::string& from, const std::string& to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

// '*' in a pattern matches any run of characters (compiler messages we do
// not pin word for word).
bool globMatch(const std::string& pattern, const std::string& s) {
    std::size_t p = 0, i = 0, star = std::string::npos, mark = 0;
    while (i < s.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = i;
        } else if (p < pattern.size() && pattern[p] == s[i]) {
            ++p;
            ++i;
        } else if (star != std::string::npos) {
            p = star + 1;
            i = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// What the stand-in's window raises before the script runs.
const std::string kReady = "EVENT OnProfileReady {\"profile\":\"default\"}\nEVENT OnSourceReady {\"source\":1}\n";
const std::string kLifecycle = "create\nwindow\ndestroy kept=0 queued=0\n";

// What the module's folder holds besides the stand-in module.
enum class Sdk {
    Fake,          // the stand-in SDK (fake_sdk.cpp)
    None,          // nothing
    WithoutCalls,  // some other library named libdociva.so
};

struct Case {
    const char* name;
    std::string script;  // {dir}: the row's folder; {cwd}: the test's current folder
    int exitCode;
    std::string out;  // with --trace
    std::string err;  // {script}: the script's path; '*' matches anything
    std::string log = {};  // the stand-in's lifecycle; empty: not checked
    bool trace = true;
    Sdk sdk = Sdk::Fake;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case kCases[] = {
    // --- arguments as a script engine passes them ----------------------------
    {"numbers booleans undefined null",
     "host.print(dociva.DescribeArguments(undefined, null, true, false, 0, -7, 2147483647, -2147483648,\n"
     "  2147483648, -2147483649, 0.5, -0, 1e300, NaN, Infinity, -Infinity, 3.0));",
     0,
     "EMPTY NULL BOOL:-1 BOOL:0 I4:0 I4:-7 I4:2147483647 I4:-2147483648 R8:2147483648 R8:-2147483649 R8:0.5 "
     "I4:0 R8:1.0000000000000001e+300 R8:nan R8:inf R8:-inf I4:3\n",
     "", "", false},
    {"no arguments at all", "host.print('[' + dociva.DescribeArguments() + ']');", 0, "[]\n", "", "", false},
    {"strings keep every UTF-16 unit",
     "host.print(dociva.DescribeArguments('', 'a\"b\\\\', 'é', '😀', '\\uD83D\\uDE00', String.fromCodePoint(0x1F600),\n"
     "  '\\uD800x', String.fromCharCode(0xDC00), '\\u0000z'));",
     0,
     "S\"\" S\"a\\u0022b\\u005c\" S\"\\u00e9\" S\"\\ud83d\\ude00\" S\"\\ud83d\\ude00\" S\"\\ud83d\\ude00\" "
     "S\"\\ud800x\" S\"\\udc00\" S\"\\u0000z\"\n",
     "", "", false},
    {"objects and functions are dispatch objects, released after the call",
     "host.print(dociva.DescribeArguments({}, [], function () {}, Math.max, new String('x')));\n"
     "host.print(host.heldObjects());",
     0, "DISPATCH DISPATCH DISPATCH DISPATCH DISPATCH\n0\n", "", kLifecycle, false},
    {"a huge string goes there and back",
     "var s = new Array(200001).join('ab\\uD83D\\uDE00');\n"
     "var r = dociva.Echo(s);\n"
     "host.print(r === s, r.length);",
     0, "true 800000\n", "", "", false},
    {"a result string keeps pairs and lone surrogates",
     "var r = dociva.Echo('\\uD83D\\uDE00\\uD800');\n"
     "host.print(r.length, r.charCodeAt(0).toString(16), r.charCodeAt(1).toString(16), r.charCodeAt(2).toString(16));\n"
     "host.print('😀', 'é');",
     0, kReady + "CALL Echo -> \"😀\\ud800\"\n3 d83d de00 d800\n😀 é\n", ""},
    {"a symbol cannot be passed", "var ok = 1;\ndociva.DescribeArguments(1, Symbol('s'));", 1,
     kReady + "CALL DescribeArguments -> error: type mismatch (argument 2)\n",
     "dociva run: DescribeArguments: type mismatch (argument 2) at {script}:2\n"},

    // --- results and the trace -------------------------------------------------
    {"results: number, string, nothing",
     "var r = dociva.SetResolution(300);\n"
     "host.print(typeof r, r);\n"
     "host.print(typeof dociva.PostWork(0, 0), dociva.Scale(1.5, '4'));",
     0,
     kReady +
         "EVENT OnSettingChanged {\"name\":\"Resolution\",\"value\":300}\n"
         "CALL SetResolution -> 300\n"
         "number 300\n"
         "CALL PostWork -> void\n"
         "CALL Scale -> \"6\"\n"
         "undefined 6\n",
     "", kLifecycle},
    {"arguments reach the control unconverted",
     "host.print(dociva.SetResolution(2.5), dociva.SetResolution(3.5), dociva.SetResolution('7'),\n"
     "  dociva.SetResolution(true));",
     0, "2 4 7 -1\n", "", "", false},
    {"invoke by dispatch id and by name in any case",
     "host.print(dociva.invoke(2, 'by id'), dociva.invoke('eCHO', 'by name'));", 0,
     kReady + "CALL Echo -> \"by id\"\nCALL Echo -> \"by name\"\nby id by name\n", ""},
    {"trace quotes strings as JSON", "dociva.Echo('q\"b\\\\s\\n\\t\\u0001\\u001f/é');", 0,
     kReady + "CALL Echo -> \"q\\\"b\\\\s\\n\\t\\u0001\\u001f/é\"\n", ""},
    {"an event during a call prints before the call, nested calls in order",
     "function OnSettingChanged(data) {\n"
     "  host.print('handler', data);\n"
     "  dociva.Echo('inner');\n"
     "}\n"
     "dociva.SetResolution(100);",
     0,
     kReady +
         "EVENT OnSettingChanged {\"name\":\"Resolution\",\"value\":100}\n"
         "handler {\"name\":\"Resolution\",\"value\":100}\n"
         "CALL Echo -> \"inner\"\n"
         "CALL SetResolution -> 100\n",
     ""},

    // --- failures the control reports -------------------------------------------
    {"type mismatch names the argument", "\n\ndociva.Scale(1, {});", 1,
     kReady + "CALL Scale -> error: type mismatch (argument 2)\n",
     "dociva run: Scale: type mismatch (argument 2) at {script}:3\n"},
    {"overflow", "\ndociva.SetResolution(40000);", 1, kReady + "CALL SetResolution -> error: overflow (argument 1)\n",
     "dociva run: SetResolution: overflow (argument 1) at {script}:2\n"},
    {"too few arguments", "dociva.SetResolution();", 1,
     kReady + "CALL SetResolution -> error: wrong number of arguments\n",
     "dociva run: SetResolution: wrong number of arguments at {script}:1\n"},
    {"too many arguments", "dociva.Echo('a', undefined);", 1,
     kReady + "CALL Echo -> error: wrong number of arguments\n",
     "dociva run: Echo: wrong number of arguments at {script}:1\n"},
    {"unknown name", "dociva.invoke('NoSuchMethod');", 1, kReady + "CALL NoSuchMethod -> error: unknown name\n",
     "dociva run: NoSuchMethod: unknown name at {script}:1\n"},
    {"unknown dispatch id", "dociva.invoke(99, 1);", 1, kReady + "CALL dispid 99 -> error: member not found\n",
     "dociva run: dispid 99: member not found at {script}:1\n"},
    {"a control error can be caught",
     "try { dociva.SetResolution(1e9); } catch (e) { host.print(e instanceof Error, e.message); }\n"
     "host.print('goes on');",
     0, "true SetResolution: overflow (argument 1)\ngoes on\n", "", "", false},

    // --- events and waiting ------------------------------------------------------
    {"each wait takes one raise, in order",
     "dociva.PostWork(3, 0);\n"
     "host.print(host.wait('OnWorkDone', 2000));\n"
     "host.print(host.wait('OnWorkDone', 2000));\n"
     "host.print(host.wait('OnWorkDone', 2000));\n"
     "host.wait('OnWorkDone', 100);",
     1,
     kReady +
         "CALL PostWork -> void\n"
         "EVENT OnWorkDone {\"item\":1}\nEVENT OnWorkDone {\"item\":2}\nEVENT OnWorkDone {\"item\":3}\n"
         "{\"item\":1}\n{\"item\":2}\n{\"item\":3}\n",
     "dociva run: timeout waiting for OnWorkDone at {script}:5\n", "create\nwindow\ndestroy kept=0 queued=0\n"},
    {"events raised before a wait count, also the window's",
     "dociva.SetResolution(150);\n"
     "host.print(host.wait('OnSettingChanged', 0));\n"
     "host.print(host.wait('OnProfileReady', 0));\n"
     "host.wait('OnProfileReady', 0);",
     1, "{\"name\":\"Resolution\",\"value\":150}\n{\"profile\":\"default\"}\n",
     "dociva run: timeout waiting for OnProfileReady at {script}:4\n", "", false},
    {"wait pumps until a late event arrives",
     "dociva.PostWork(1, 300);\n"
     "var t = Date.now();\n"
     "host.print(host.wait('OnWorkDone', 5000), Date.now() - t >= 250);",
     0, "{\"item\":1} true\n", "", "", false},
    {"a timeout takes its time and can be caught",
     "var t = Date.now();\n"
     "try { host.wait('Never', 300); } catch (e) { host.print(e.message, Date.now() - t >= 250); }",
     0, "timeout waiting for Never true\n", "", "", false},
    {"nothing is pumped outside waits",
     "dociva.PostWork(1, 0);\n"
     "for (var i = 0; i < 100000; ++i) {}\n"
     "host.print('no pump yet');",
     0, kReady + "CALL PostWork -> void\nno pump yet\nEVENT OnWorkDone {\"item\":1}\n", "", kLifecycle},
    {"after the script the control is pumped until idle",
     "function OnWorkDone(data) { host.print('late', data); }\n"
     "dociva.PostWork(2, 100);",
     0,
     kReady + "CALL PostWork -> void\nEVENT OnWorkDone {\"item\":1}\nlate {\"item\":1}\nEVENT OnWorkDone {\"item\":2}\n"
              "late {\"item\":2}\n",
     "", kLifecycle},
    {"idle returns once the work is done",
     "dociva.PostWork(2, 50);\n"
     "host.idle(2000);\n"
     "host.print('idle');",
     0, kReady + "CALL PostWork -> void\nEVENT OnWorkDone {\"item\":1}\nEVENT OnWorkDone {\"item\":2}\nidle\n", ""},
    {"idle times out while work is due later",
     "dociva.PostWork(1, 5000);\n"
     "host.idle(100);",
     1, kReady + "CALL PostWork -> void\n", "dociva run: timeout waiting for idle at {script}:2\n",
     "create\nwindow\ndestroy kept=0 queued=1\n"},
    {"sleep pumps",
     "dociva.PostWork(1, 50);\n"
     "host.sleep(200);\n"
     "host.print('slept');",
     0, kReady + "CALL PostWork -> void\nEVENT OnWorkDone {\"item\":1}\nslept\n", ""},
    {"an error in a handler ends the script after the call",
     "function OnSettingChanged(data) {\n"
     "  throw new Error('boom ' + data);\n"
     "}\n"
     "try { dociva.SetResolution(5); } catch (e) {}\n"
     "host.print('not reached');",
     1,
     kReady + "EVENT OnSettingChanged {\"name\":\"Resolution\",\"value\":5}\nCALL SetResolution -> 5\n",
     "dociva run: boom {\"name\":\"Resolution\",\"value\":5} at {script}:2\n", kLifecycle},
    {"an error in a handler during a wait",
     "function OnWorkDone(data) { null.x; }\n"
     "dociva.PostWork(1, 0);\n"
     "host.wait('OnWorkDone', 1000);\n"
     "host.print('not reached');",
     1, kReady + "CALL PostWork -> void\nEVENT OnWorkDone {\"item\":1}\n",
     "dociva run: TypeError: cannot read property 'x' of null at {script}:1\n"},
    {"a handler cannot wait",
     "function OnSettingChanged() { host.wait('OnWorkDone', 10); }\n"
     "dociva.SetResolution(1);",
     1, "", "dociva run: host.wait cannot be called from an event handler at {script}:1\n", "", false},

    // --- dialogs -------------------------------------------------------------------
    {"answers go to their own kind, in order",
     "host.answer('input', 'Alice');\n"
     "host.answer('folder', '/tmp/out');\n"
     "host.answer('file', null);\n"
     "host.answer('input', '😀é');\n"
     "host.print(dociva.OpenDialog(1, 'Name'));\n"
     "host.print(dociva.OpenDialog(3, 'Pick'));\n"
     "host.print(dociva.OpenDialog(2, 'Where'));\n"
     "host.print(dociva.OpenDialog(1, 'Again'));\n"
     "host.print(dociva.OpenDialog(1, 'Once more'));\n"
     "host.print(dociva.OpenDialog(2, 'Folder again'));",
     0, "Alice\n(cancelled)\n/tmp/out\n😀é\n(cancelled)\n(cancelled)\n",
     "dociva run: no answer queued for input dialog \"Once more\"\n"
     "dociva run: no answer queued for folder dialog \"Folder again\"\n",
     "", false},
    {"an answer is cut to the control's buffer",
     "host.answer('input', new Array(301).join('x'));\n"
     "host.print(dociva.OpenDialog(1, 'Long').length);",
     0, "259\n", "", "", false},
    {"a dialog of a kind the host does not know", "host.print(dociva.OpenDialog(9, 'Odd'));", 0, "(cancelled)\n",
     "dociva run: no answer queued for kind 9 dialog \"Odd\"\n", "", false},
    {"an unknown answer kind", "\nhost.answer('printer', 'x');", 1, "",
     "dociva run: TypeError: host.answer: unknown dialog kind \"printer\" (input, folder, file, alert, watermark) at "
     "{script}:2\n",
     "", false},
    {"every dialog is traced with its request before the call's line",
     R"js(host.answer('input', 'A');
host.answer('folder', null);
host.answer('file', '/x');
dociva.OpenDialog(1, 'Name "q"\\');
dociva.OpenDialog(2, 'Where');
dociva.OpenDialog(3, 'Pick');
dociva.Alert('Note', 'line 1\nline 2 é');
dociva.OpenDialog(9, 'Odd');
dociva.EditWatermark('DRAFT 😀');)js",
     0,
     kReady + R"t(DIALOG input {"caption":"Name \"q\"\\","text":"prompt for Name \"q\"\\","initial":"initial"}
CALL OpenDialog -> "A"
DIALOG folder {"caption":"Where","folder":"prompt for Where"}
CALL OpenDialog -> "(cancelled)"
DIALOG file {"filter":"prompt for Pick"}
CALL OpenDialog -> "/x"
DIALOG alert {"caption":"Note","message":"line 1\nline 2 é"}
CALL Alert -> 1
DIALOG 9 {"caption":"Odd","text":"prompt for Odd","initial":"initial"}
CALL OpenDialog -> "(cancelled)"
DIALOG watermark {"type":1,"position":4,"transparency":50,"image":"C:\\logo \"a\".png","text":"DRAFT 😀","textSize":12,"textAngle":-30}
CALL EditWatermark -> "{\"result\":0,\"type\":1,\"position\":4,\"transparency\":50,\"image\":\"C:\\u005clogo \\u0022a\\u0022.png\",\"text\":\"DRAFT \\ud83d\\ude00\",\"textSize\":12,\"textAngle\":-30}"
)t",
     "dociva run: no answer queued for kind 9 dialog \"Odd\"\n"
     "dociva run: no answer queued for watermark dialog \"Watermark\"\n"},
    {"a dialog opened from a handler is traced inside the outer call",
     "function OnSettingChanged() { dociva.OpenDialog(1, 'Inner'); }\n"
     "host.answer('input', 'x');\n"
     "dociva.SetResolution(10);",
     0,
     kReady + R"t(EVENT OnSettingChanged {"name":"Resolution","value":10}
DIALOG input {"caption":"Inner","text":"prompt for Inner","initial":"initial"}
CALL OpenDialog -> "x"
CALL SetResolution -> 10
)t",
     ""},
    {"alerts give the queued results, null cancels, then OK without a warning",
     "host.answer('alert', 2);\n"
     "host.answer('alert', -1);\n"
     "host.answer('alert', null);\n"
     "host.answer('alert', 0);\n"
     "host.print(dociva.Alert('a', 'b'), dociva.Alert('a', 'b'), dociva.Alert('a', 'b'), dociva.Alert('a', 'b'),\n"
     "           dociva.Alert('a', 'b'));",
     0, "2 -1 0 0 1\n", "", "", false},
    {"an alert's answer must be an integer or null",
     "var bad = ['OK', 1.5, undefined, true];\n"
     "for (var i = 0; i < bad.length; ++i) {\n"
     "  try { host.answer('alert', bad[i]); host.print('taken', bad[i]); }\n"
     "  catch (e) { host.print(e.name, e.message); }\n"
     "}\n"
     "host.print(dociva.Alert('a', 'b'));",
     0,
     "TypeError host.answer: an alert's answer is the dialog's result, an integer, or null to cancel\n"
     "TypeError host.answer: an alert's answer is the dialog's result, an integer, or null to cancel\n"
     "TypeError host.answer: an alert's answer is the dialog's result, an integer, or null to cancel\n"
     "TypeError host.answer: an alert's answer is the dialog's result, an integer, or null to cancel\n"
     "1\n",
     "", "", false},
    {"watermark answers replace only the fields given; null and no answer cancel",
     R"js(function edit(t) { host.print(JSON.stringify(JSON.parse(dociva.EditWatermark(t)))); }
host.answer('watermark', {transparency: 80, text: 'Paid ✓', textAngle: 45, image: undefined});
host.answer('watermark', {});
host.answer('watermark', null);
host.answer('watermark', {type: 2, position: 8, transparency: 0, image: '/img/b.png', text: '', textSize: 72,
                          textAngle: 0});
edit('DRAFT'); edit('DRAFT'); edit('DRAFT'); edit('DRAFT'); edit('DRAFT');)js",
     0,
     R"t({"result":1,"type":1,"position":4,"transparency":80,"image":"C:\\logo \"a\".png","text":"Paid ✓","textSize":12,"textAngle":45}
{"result":1,"type":1,"position":4,"transparency":50,"image":"C:\\logo \"a\".png","text":"DRAFT","textSize":12,"textAngle":-30}
{"result":0,"type":1,"position":4,"transparency":50,"image":"C:\\logo \"a\".png","text":"DRAFT","textSize":12,"textAngle":-30}
{"result":1,"type":2,"position":8,"transparency":0,"image":"/img/b.png","text":"","textSize":72,"textAngle":0}
{"result":0,"type":1,"position":4,"transparency":50,"image":"C:\\logo \"a\".png","text":"DRAFT","textSize":12,"textAngle":-30}
)t",
     "dociva run: no answer queued for watermark dialog \"Watermark\"\n", "", false},
    {"a watermark text is cut to the record's size",
     "host.answer('watermark', {text: new Array(301).join('x'), image: new Array(260).join('i')});\n"
     "var r = JSON.parse(dociva.EditWatermark(''));\n"
     "host.print(r.result, r.text.length, r.image.length);",
     0, "1 259 259\n", "", "", false},
    {"bad watermark answers",
     R"js(var bad = [{textsize: 10}, {type: '2'}, {type: 1.5}, {textAngle: 2147483648}, {text: 5}, {image: null},
  'DRAFT', [1], 3, function () {}];
for (var i = 0; i < bad.length; ++i) {
  try { host.answer('watermark', bad[i]); host.print('taken'); } catch (e) { host.print(e.name, e.message); }
}
dociva.EditWatermark('');)js",
     0,
     R"t(TypeError host.answer: unknown watermark field "textsize"
TypeError host.answer: the watermark field type must be an integer
TypeError host.answer: the watermark field type must be an integer
TypeError host.answer: the watermark field textAngle must be an integer
TypeError host.answer: the watermark field text must be a string
TypeError host.answer: the watermark field image must be a string
TypeError host.answer: the watermark answer must be an object of fields, or null to cancel
TypeError host.answer: the watermark answer must be an object of fields, or null to cancel
TypeError host.answer: the watermark answer must be an object of fields, or null to cancel
TypeError host.answer: the watermark answer must be an object of fields, or null to cancel
)t",
     "dociva run: no answer queued for watermark dialog \"Watermark\"\n", "", false},
    {"a watermark answer's getter that throws reaches the script as thrown",
     "var answer = {};\n"
     "Object.defineProperty(answer, 'text', {enumerable: true, get: function () { throw new RangeError('nope'); }});\n"
     "try { host.answer('watermark', answer); } catch (e) { host.print(e instanceof RangeError, e.message); }\n"
     "host.answer('watermark', {get type() { return 3; }});\n"
     "host.print(JSON.parse(dociva.EditWatermark('')).type);",
     0, "true nope\n3\n", "", "", false},

    // --- the progress dialog -------------------------------------------------------
    {"progress as the control reports it",
     "host.print(JSON.stringify(host.progress()));\n"
     "dociva.ShowProgress(40, 'Page 2 of 5');\n"
     "host.print(JSON.stringify(host.progress()));\n"
     "dociva.HideProgress();\n"
     "host.print(JSON.stringify(host.progress()));\n"
     "dociva.ShowProgress(100, new Array(301).join('y'));\n"
     "var p = host.progress();\n"
     "host.print(p.visible, p.shown, p.pos, p.text.length);",
     0,
     R"t({"exists":false,"visible":false,"text":"","pos":0,"min":0,"max":0,"shown":0}
{"exists":true,"visible":true,"text":"Page 2 of 5","pos":40,"min":0,"max":100,"shown":1}
{"exists":true,"visible":false,"text":"Page 2 of 5","pos":40,"min":0,"max":100,"shown":1}
true 2 100 260
)t",
     "", "", false},

    // --- the SDK's test calls ------------------------------------------------------
    {"button presses and statuses reach the SDK with the scanner's handle",
     "dociva.OpenScanner(7);\n"
     "host.pressButton(3);\n"
     "host.sdkStatus(9, 42);\n"
     "host.sdkStatus(2, null);\n"
     "host.sdkStatus(5);\n"
     "host.sdkStatus(12, 0);\n"
     "dociva.OpenScanner(8);\n"
     "host.pressButton(-1);",
     0, "", "",
     "create\nwindow\nsdk button 3 handle=7\nsdk status 9 42 handle=7\nsdk status 2 none handle=7\n"
     "sdk status 5 none handle=7\nsdk status 12 0 handle=7\nsdk button -1 handle=8\ndestroy kept=0 queued=0\n",
     false},
    {"no scanner open",
     "try { host.pressButton(1); } catch (e) { host.print(e.message); }\n"
     "dociva.OpenScanner(7);\n"
     "dociva.OpenScanner(0);\n"
     "host.sdkStatus(1, 2);",
     1, "host.pressButton: no scanner is open\n", "dociva run: host.sdkStatus: no scanner is open at {script}:4\n",
     kLifecycle, false},
    {"a handle the SDK does not know",
     "dociva.OpenScanner(99);\n"
     "try { host.pressButton(1); } catch (e) { host.print(e.message); }\n"
     "host.sdkStatus(1, 2);",
     1, "host.pressButton: the SDK does not know the scanner's handle\n",
     "dociva run: host.sdkStatus: the SDK does not know the scanner's handle at {script}:3\n", kLifecycle, false},
    {"bad arguments to the SDK's calls",
     R"js(dociva.OpenScanner(7);
var calls = [function () { host.pressButton('3'); }, function () { host.pressButton(); },
  function () { host.pressButton(1.5); }, function () { host.sdkStatus(null, 1); },
  function () { host.sdkStatus(1, 'x'); }, function () { host.sdkStatus(1, 2.5); }];
for (var i = 0; i < calls.length; ++i) {
  try { calls[i](); host.print('called'); } catch (e) { host.print(e.name, e.message); }
})js",
     0,
     R"t(TypeError host.pressButton: the button must be an integer
TypeError host.pressButton: the button must be an integer
TypeError host.pressButton: the button must be an integer
TypeError host.sdkStatus: the status code must be an integer
TypeError host.sdkStatus: the data must be an integer, or null for none
TypeError host.sdkStatus: the data must be an integer, or null for none
)t",
     "", kLifecycle, false},
    {"no SDK in the module's folder",
     "dociva.OpenScanner(7);\n"
     "try { host.sdkStatus(1, 2); } catch (e) { host.print(e.message); }\n"
     "host.pressButton(1);",
     1, "host.sdkStatus: no scanner SDK at {dir}/module/libdociva.so\n",
     "dociva run: host.pressButton: no scanner SDK at {dir}/module/libdociva.so at {script}:3\n", kLifecycle, false,
     Sdk::None},
    {"an SDK without the test calls",
     "dociva.OpenScanner(7);\n"
     "host.pressButton(1);",
     1, "",
     "dociva run: host.pressButton: the scanner SDK {dir}/module/libdociva.so has no export "
     "dociva_SimulateButtonPress at {script}:2\n",
     kLifecycle, false, Sdk::WithoutCalls},
    {"scripts without the SDK's calls need no SDK", "host.print('fine');", 0, "fine\n", "", kLifecycle, false,
     Sdk::None},

    // --- the viewer's window -------------------------------------------------------
    {"mouse kinds in order, positions cut to whole pixels",
     "host.mouse('move', 1, 2);\n"
     "host.mouse('drag', 3.9, -4.9);\n"
     "host.mouse('down', 5, 6);\n"
     "host.mouse('up', 5, 6);\n"
     "host.mouse('dblclick', 7, 8);\n"
     "host.mouse('leave', 0, 0);",
     0,
     kReady + R"t(EVENT OnMouse {"kind":0,"x":1,"y":2}
EVENT OnMouse {"kind":1,"x":3,"y":-4}
EVENT OnMouse {"kind":2,"x":5,"y":6}
EVENT OnMouse {"kind":3,"x":5,"y":6}
EVENT OnMouse {"kind":4,"x":7,"y":8}
EVENT OnMouse {"kind":5,"x":0,"y":0}
)t",
     ""},
    {"a click is down and up; a double click as Windows delivers it",
     "host.click(10, 20);\n"
     "host.print('--');\n"
     "host.doubleClick(-1, 2147483647);",
     0,
     kReady + R"t(EVENT OnMouse {"kind":2,"x":10,"y":20}
EVENT OnMouse {"kind":3,"x":10,"y":20}
--
EVENT OnMouse {"kind":2,"x":-1,"y":2147483647}
EVENT OnMouse {"kind":3,"x":-1,"y":2147483647}
EVENT OnMouse {"kind":4,"x":-1,"y":2147483647}
EVENT OnMouse {"kind":3,"x":-1,"y":2147483647}
)t",
     ""},
    {"a handler that ends the script stops a double click",
     "function OnMouse(data) { if (JSON.parse(data).kind == 3) host.exit(6); }\n"
     "host.doubleClick(1, 1);\n"
     "host.print('after');",
     6, kReady + "EVENT OnMouse {\"kind\":2,\"x\":1,\"y\":1}\nEVENT OnMouse {\"kind\":3,\"x\":1,\"y\":1}\n", "",
     kLifecycle},
    {"bad mouse calls",
     R"js(var calls = [function () { host.mouse('wheel', 1, 1); }, function () { host.mouse('Move', 1, 1); },
  function () { host.mouse(0, 1, 1); }, function () { host.mouse('move', '1', 2); },
  function () { host.click(NaN, 1); }, function () { host.click(1); }, function () { host.doubleClick(1e10, 0); },
  function () { host.click(0, -Infinity); }];
for (var i = 0; i < calls.length; ++i) {
  try { calls[i](); host.print('called'); } catch (e) { host.print(e.name, e.message); }
})js",
     0,
     R"t(TypeError host.mouse: unknown mouse kind "wheel" (move, drag, down, up, dblclick, leave)
TypeError host.mouse: unknown mouse kind "Move" (move, drag, down, up, dblclick, leave)
TypeError host.mouse: unknown mouse kind "" (move, drag, down, up, dblclick, leave)
TypeError host.mouse: x and y must be numbers of pixels
TypeError host.click: x and y must be numbers of pixels
TypeError host.click: x and y must be numbers of pixels
TypeError host.doubleClick: x and y must be numbers of pixels
TypeError host.click: x and y must be numbers of pixels
)t",
     "", "", false},
    {"a screenshot is written where asked",
     "host.screenshot('{dir}/shot.png');\n"
     "host.print(JSON.stringify(host.readFile('{dir}/shot.png')));",
     0, "\"fake picture\\n\"\n", "", "", false},
    {"a screenshot that cannot be written",
     "try { host.screenshot(42); } catch (e) { host.print(e.name, e.message); }\n"
     "host.screenshot('{dir}/none/shot.png');",
     1, "TypeError host.screenshot: the path must be a string\n",
     "dociva run: host.screenshot: cannot save the viewer's picture to {dir}/none/shot.png at {script}:2\n", "",
     false},

    // --- objects the control keeps ---------------------------------------------------
    {"the control's references keep objects alive until released",
     "var o = {};\n"
     "Duktape.fin(o, function () { host.print('finalized'); });\n"
     "host.print(dociva.KeepObject(o), dociva.KeepObject(function () {}), host.heldObjects());\n"
     "o = null;\n"
     "Duktape.gc();\n"
     "host.print('kept');\n"
     "host.print(dociva.DropObjects(), host.heldObjects());\n"
     "Duktape.gc();\n"
     "dociva.KeepObject({});",
     0, "1 2 2\nkept\nfinalized\n2 0\n", "", "create\nwindow\ndestroy kept=1 queued=0\n", false},

    // --- files -----------------------------------------------------------------------
    {"readFile gives UTF-8 as script text",
     "var t = host.readFile('{dir}/data.txt');\n"
     "host.print(t.length, t.charCodeAt(6).toString(16), t);",
     0, "9 d83d héllo 😀\n\n", "", "", false},
    {"readFile of a missing file", "host.readFile('{dir}/none.txt');", 1, "",
     "dociva run: host.readFile: cannot read {dir}/none.txt at {script}:1\n", "", false},
    {"readFile in UTF-16LE drops one byte-order mark",
     R"js(function codes(t) {
  var c = [];
  for (var i = 0; i < t.length; ++i) c.push(t.charCodeAt(i).toString(16));
  return c.join(' ');
}
host.print(codes(host.readFile('{dir}/bom16.txt', 'utf-16le')));
host.print(codes(host.readFile('{dir}/plain16.txt', 'utf-16le')));
host.print(codes(host.readFile('{dir}/twobom16.txt', 'utf-16le')));
host.print(JSON.stringify(host.readFile('{dir}/empty.txt', 'utf-16le')));
host.print(host.readFile('{dir}/data.txt', 'utf-8') === host.readFile('{dir}/data.txt'));)js",
     0, "41 e9 d83d de00 d 800a\n41 feff 42\nfeff\n\"\"\ntrue\n", "", "", false},
    {"readFile in UTF-16LE of an odd number of bytes", "host.readFile('{dir}/odd16.txt', 'utf-16le');", 1, "",
     "dociva run: host.readFile: {dir}/odd16.txt is not UTF-16: an odd number of bytes at {script}:1\n", "", false},
    {"readFile of an unknown encoding",
     "try { host.readFile('{dir}/data.txt', 'latin1'); } catch (e) { host.print(e.name, e.message); }\n"
     "host.readFile('{dir}/data.txt', null);",
     1, "TypeError host.readFile: the encoding must be \"utf-8\" or \"utf-16le\"\n",
     "dociva run: TypeError: host.readFile: the encoding must be \"utf-8\" or \"utf-16le\" at {script}:2\n", "",
     false},
    {"root is the folder the host started in", "host.print(host.root === '{cwd}', typeof host.root);", 0,
     "true string\n", "", "", false},
    {"fileExists",
     "host.print(host.fileExists('{dir}/data.txt'), host.fileExists('{dir}/sub'), host.fileExists('{dir}/none'));", 0,
     "true true false\n", "", "", false},
    {"listDir is sorted", "host.print(JSON.stringify(host.listDir('{dir}/sub')));", 0,
     "[\"Z\",\"a.txt\",\"b.txt\",\"folder\"]\n", "", "", false},
    {"listDir of a missing folder", "host.listDir('{dir}/none');", 1, "",
     "dociva run: host.listDir: no folder {dir}/none at {script}:1\n", "", false},

    // --- ending --------------------------------------------------------------------
    {"exit ends at once and destroys the control",
     "host.print('before');\n"
     "host.exit(3);\n"
     "host.print('after');",
     3, "before\n", "", kLifecycle, false},
    {"exit cannot be caught",
     "try { host.exit(4); } catch (e) { host.print('caught'); }\n"
     "host.print('after');",
     4, "", "", kLifecycle, false},
    {"exit from a handler",
     "function OnWorkDone() { host.exit(5); }\n"
     "dociva.PostWork(1, 0);\n"
     "host.wait('OnWorkDone', 1000);\n"
     "host.print('after');",
     5, kReady + "CALL PostWork -> void\nEVENT OnWorkDone {\"item\":1}\n", "", kLifecycle},
    {"a bad exit code", "host.exit(256);", 1, "",
     "dociva run: TypeError: host.exit: the exit code must be an integer from 0 to 255 at {script}:1\n", "", false},

    // --- script errors ---------------------------------------------------------------
    {"a syntax error names its line and no control is made", "var a = 1;\nvar b = ;\nhost.print(a);", 1, "",
     "dociva run: SyntaxError: * at {script}:2\n", "", false},
    {"a runtime error names its line",
     "host.print(1);\n"
     "function f() {\n"
     "  return null.x;\n"
     "}\n"
     "f();",
     1, "1\n", "dociva run: TypeError: cannot read property 'x' of null at {script}:3\n", kLifecycle, false},
    {"a thrown value that is no Error", "throw 'plain';", 1, "", "dociva run: plain\n", "", false},
};

class ScriptHostTest : public testing::TestWithParam<Case> {};

TEST_P(ScriptHostTest, Runs) {
    const Case& c = GetParam();
    TempDir dir;
    const std::string folder = utf8(dir.path());
    ASSERT_TRUE(writeBytes(dir.file(u"data.txt"), "héllo 😀\n"));
    ASSERT_EQ(mkdir((folder + "/sub").c_str(), 0755), 0);
    for (const char16_t* name : {u"sub/b.txt", u"sub/a.txt", u"sub/Z"}) ASSERT_TRUE(writeBytes(dir.file(name), ""));
    ASSERT_EQ(mkdir((folder + "/sub/folder").c_str(), 0755), 0);
    // "Aé😀\r" and U+800A, with and without a byte-order mark.
    const std::string utf16("A\0\xE9\0\x3D\xD8\x00\xDE\x0D\0\x0A\x80", 12);
    ASSERT_TRUE(writeBytes(dir.file(u"bom16.txt"), "\xFF\xFE" + utf16));
    ASSERT_TRUE(writeBytes(dir.file(u"plain16.txt"), std::string("A\0\xFF\xFE" "B\0", 6)));
    ASSERT_TRUE(writeBytes(dir.file(u"twobom16.txt"), "\xFF\xFE\xFF\xFE"));
    ASSERT_TRUE(writeBytes(dir.file(u"odd16.txt"), "\xFF\xFE" "A"));
    ASSERT_TRUE(writeBytes(dir.file(u"empty.txt"), ""));

    std::string moduleFolder = DOCIVA_FAKE_MODULE_DIR;
    if (c.sdk != Sdk::Fake) {
        moduleFolder = folder + "/module";
        ASSERT_EQ(mkdir(moduleFolder.c_str(), 0755), 0);
        ASSERT_TRUE(writeBytes(dir.file(u"module/libDocivaOCX.so"),
                               readBytes(text::fromUtf8(std::string(DOCIVA_FAKE_MODULE_DIR) + "/libDocivaOCX.so"))));
        if (c.sdk == Sdk::WithoutCalls) {
            ASSERT_TRUE(
                writeBytes(dir.file(u"module/libdociva.so"), readBytes(text::fromUtf8(DOCIVA_PARTIAL_TOOLKIT))));
        }
    }
    char cwd[4096] = {};
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);

    std::string script = c.script;
    replaceAll(script, "{dir}", folder);
    replaceAll(script, "{cwd}", cwd);
    const std::string scriptPath = folder + "/script.js";
    ASSERT_TRUE(writeBytes(dir.file(u"script.js"), script));
    const std::string log = folder + "/fake.log";

    std::vector<std::string> args{"--module", moduleFolder};
    if (c.trace) args.push_back("--trace");
    args.push_back(scriptPath);
    const Output r = runTool(args, {"DOCIVA_FAKE_LOG=" + log}, folder + "/stderr.txt");

    std::string err = c.err;
    replaceAll(err, "{script}", scriptPath);
    replaceAll(err, "{dir}", folder);
    std::string out = c.out;
    replaceAll(out, "{dir}", folder);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(r.out, out);
    if (err.find('*') != std::string::npos) {
        EXPECT_TRUE(globMatch(err, r.err)) << r.err;
    } else {
        EXPECT_EQ(r.err, err);
    }
    if (!c.log.empty()) {
        EXPECT_EQ(readBytes(text::fromUtf8(log)), c.log);
    }
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptHostTest, testing::ValuesIn(kCases));

TEST(ScriptHostSyntax, NoControlIsMadeForAScriptThatDoesNotCompile) {
    TempDir dir;
    const std::string folder = utf8(dir.path());
    ASSERT_TRUE(writeBytes(dir.file(u"script.js"), "var = ;"));
    const Output r =
        runTool({"--module", DOCIVA_FAKE_MODULE_DIR, folder + "/script.js"}, {"DOCIVA_FAKE_LOG=" + folder + "/log"},
                folder + "/stderr.txt");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readBytes(dir.file(u"log")), "");
}

// --- the command line and the module ------------------------------------------

struct CommandCase {
    const char* name;
    std::vector<std::string> args;  // {dir}, {fake}, {script} replaced
    std::vector<std::string> environment;
    int exitCode;
    std::string out;
    std::string err;  // '*' matches anything
};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

const CommandCase kCommandCases[] = {
    {"no script", {}, {}, 2, "", "usage:\n  run *"},
    {"two scripts", {"{script}", "{script}"}, {}, 2, "", "usage:\n  run *"},
    {"an unknown option", {"--verbose", "{script}"}, {}, 2, "", "usage:\n  run *"},
    {"--module without a folder", {"{script}", "--module"}, {}, 2, "", "usage:\n  run *"},
    {"a missing script", {"--module", "{fake}", "{dir}/none.js"}, {}, 2, "",
     "dociva run: cannot read the script {dir}/none.js\n"},
    {"a missing module names the file", {"--module", "{dir}/nowhere", "{script}"}, {}, 2, "",
     "dociva run: no control module at {dir}/nowhere/libDocivaOCX.so\n"},
    {"a module without the exports", {"--module", "{dir}/partial", "{script}"}, {}, 2, "",
     "dociva run: the control module {dir}/partial/libDocivaOCX.so has no export docivaModuleVersion\n"},
    {"the module folder from the environment", {"{script}"}, {"DOCIVA_MODULE_DIR={fake}"}, 0, "hello\n", ""},
    {"options after the script", {"{script}", "--module", "{fake}", "--trace"}, {}, 0, kReady + "hello\n", ""},
};

class RunCommandTest : public testing::TestWithParam<CommandCase> {};

TEST_P(RunCommandTest, Runs) {
    const CommandCase& c = GetParam();
    TempDir dir;
    const std::string folder = utf8(dir.path());
    ASSERT_TRUE(writeBytes(dir.file(u"script.js"), "host.print('hello');"));
    ASSERT_EQ(mkdir((folder + "/partial").c_str(), 0755), 0);
    // Some other library in the module's place.
    ASSERT_TRUE(writeBytes(dir.file(u"partial/libDocivaOCX.so"), readBytes(text::fromUtf8(DOCIVA_PARTIAL_TOOLKIT))));
    const auto expand = [&](std::string s) {
        replaceAll(s, "{dir}", folder);
        replaceAll(s, "{fake}", DOCIVA_FAKE_MODULE_DIR);
        replaceAll(s, "{script}", folder + "/script.js");
        return s;
    };
    std::vector<std::string> args, environment;
    for (const auto& a : c.args) args.push_back(expand(a));
    for (const auto& e : c.environment) environment.push_back(expand(e));
    const Output r = runTool(args, environment, folder + "/stderr.txt");
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_TRUE(globMatch(expand(c.err), r.err)) << r.err;
}

INSTANTIATE_TEST_SUITE_P(CommandLine, RunCommandTest, testing::ValuesIn(kCommandCases));

}  // namespace
