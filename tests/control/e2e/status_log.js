// e2e: untraced
// Every SDK status leaves one record in the status log, in UTF-16 with a
// byte-order mark; the log holds the latest record only. A button press
// with nothing bound logs code 11.
var module = dociva.GetConfigPath().replace(/\/dociva\.ini$/, "");
var root = module.replace(/\/module$/, "");
var log = root + "/home/Documents/dociva files/dociva_status.log";
dociva.ScannerRegister("Dociva Virtual Flatbed 305");

function record() {
    return host.readFile(log, "utf-16le").replace(/TIME=\d{4}\/\d\d\/\d\d \d\d:\d\d:\d\d$/, "TIME=<time>");
}
// Each record replaces the file whole, so a read sees the record before or
// the new one; no two statuses in a row share a code, so the new one is the
// first read with its code.
function awaitRecord(code) {
    for (var i = 0; i < 500; i++) {
        host.sleep(10);
        if (host.fileExists(log) && record().indexOf("CODE=" + code + "\r\n") >= 0) return record();
    }
    throw new Error("no record for code " + code);
}
var cases = [[0, null], [1, null], [0, -1], [2, null], [0, 3], [3, null], [4, null], [5, null], [6, null], [7, null],
             [8, null], [12, null], [9, null], [12, 7]];
for (var i = 0; i < cases.length; i++) {
    host.sdkStatus(cases[i][0], cases[i][1]);
    host.print(JSON.stringify(cases[i]), JSON.stringify(awaitRecord(cases[i][0])));
}
host.sdkStatus(10, null);   // not an SDK status: nothing is logged
host.sdkStatus(7, null);
host.print("after an unknown code:", JSON.stringify(awaitRecord(7)));
host.pressButton(6);        // nothing bound to button 6
host.print("unbound button:", JSON.stringify(awaitRecord(11)));
