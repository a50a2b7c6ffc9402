// e2e: untraced
// Button bindings hold paths, never multi-line texts: a backslash before an
// "n" or a "t" in a bound path is a folder separator, in the list, in the
// press and in the unbinding, whichever way the path was written.
var module = dociva.GetConfigPath().replace(/\/dociva\.ini$/, "");
var root = module.replace(/\/module$/, "");
var ends = [];
function OnScanEnd(data) { ends.push(data); }
function bound(id) { return JSON.parse(dociva.GetScannerButtonSetting()).buttons[id - 1].path; }
function shown(path) { return JSON.stringify(path.replace(root, "@ROOT@")); }

dociva.ScannerRegister("Dociva Virtual Duplex 300");
dociva.SelectProfile("profiles/new.ini");        // its SaveToPath is where the log goes
var rows = [[4, "profiles\\new.ini"], [5, "profiles\\tab.ini"], [6, "profiles\\\\new.ini"],
            [7, module + "/profiles\\new.ini"]];
rows.forEach(function (r) {
    dociva.AssignProfileToScannerButton(r[0], r[1]);
    host.print("button", r[0], "bound:", shown(bound(r[0])), "as given:", bound(r[0]) === r[1]);
});
rows.forEach(function (r) {
    host.pressButton(r[0]);
    host.wait("OnScanEnd", 60000);
    host.idle(60000);
    host.print("button", r[0], "log:",
               JSON.stringify(host.readFile(root + "/scans/dociva_status.log", "utf-16le").replace(/TIME=.*$/, "TIME=<time>")));
});
host.print("runs:", ends.length, ends.join(" "));
var starts = host.readFile(root + "/sdk-trace.jsonl").split("\n").filter(function (l) { return l.length; });
for (var i = 0; i < starts.length; i++) {
    var s = JSON.parse(starts[i]);
    host.print("start:", "button", s.buttonId, "profile", shown(s.profilePath));
}
rows.forEach(function (r) {
    dociva.AssignProfileToScannerButton(0, r[1]);
    host.print("unbound", shown(r[1]) + ":", "button", r[0], "now", shown(bound(r[0])));
});
