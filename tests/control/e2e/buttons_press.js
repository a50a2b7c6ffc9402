// e2e: untraced
// A scanner button starts a scan with its profile, without any call of the
// page; a press during a run is ignored; the run's success is logged with
// the button's id.
var module = dociva.GetConfigPath().replace(/\/dociva\.ini$/, "");
var root = module.replace(/\/module$/, "");
var log = root + "/scans/dociva_status.log";
var ends = [];
function OnScanEnd(data) { ends.push(data); }

dociva.ScannerRegister("Dociva Virtual Duplex 300");
dociva.SelectProfile("profiles/button.ini");     // its SaveToPath is where the log goes
dociva.AssignProfileToScannerButton(3, "profiles/button.ini");
host.pressButton(3);
host.wait("OnScanEnd", 60000);
host.pressButton(3);                             // a second run
for (var i = 0; i < 1000 && !host.progress().visible; i++) host.sleep(5);
host.print("second run under way:", host.progress().visible);
host.pressButton(3);                             // during it: ignored
host.wait("OnScanEnd", 60000);
host.idle(60000);
host.print("runs:", ends.length, ends.join(" "));
var starts = host.readFile(root + "/sdk-trace.jsonl").split("\n").filter(function (l) { return l.length; });
for (var i = 0; i < starts.length; i++) {
    var s = JSON.parse(starts[i]);
    host.print("start:", "button", s.buttonId, "profile", s.profilePath.replace(root, "@ROOT@"), "settings", s.settings);
}
host.print("log:", JSON.stringify(host.readFile(log, "utf-16le").replace(/TIME=.*$/, "TIME=<time>")));
host.print("files in the viewer:", dociva.GetFileCount());
