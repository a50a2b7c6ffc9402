// e2e: untraced
// A scanner that refuses to start (here: one that is offline) ends the run
// at once with code 3, from ScanStart and from a scanner button alike; the
// progress dialog the run began with ends hidden and the control is idle,
// ready for the next start.
var module = dociva.GetConfigPath().replace(/\/dociva\.ini$/, "");
var root = module.replace(/\/module$/, "");
var ends = [];
function OnScanEnd(data) { ends.push(data); }
function state(what) {
    host.idle(10000);
    host.sleep(200);    // anything still posted to the window arrives now
    var p = host.progress();
    host.print(what + ":", "ends", ends.join(" "), "dialog shown", p.visible);
    ends = [];
}

dociva.ScannerRegister("Dociva Virtual Duplex 300");
dociva.SelectProfile("profiles/button.ini");     // its SaveToPath is where the log goes
dociva.ScanStart("Dociva Virtual Duplex 300");
state("from ScanStart");
dociva.ScanStart("Dociva Virtual Duplex 300");    // heard only when the control is idle again
state("again");
dociva.AssignProfileToScannerButton(2, "profiles/button.ini");
host.pressButton(2);
for (var i = 0; i < 200 && ends.length === 0; i++) host.sleep(10);
state("from button 2");
host.print("log:", JSON.stringify(host.readFile(root + "/scans/dociva_status.log", "utf-16le").replace(/TIME=.*$/, "TIME=<time>")));
