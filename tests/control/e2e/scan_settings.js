// e2e: untraced
// What the SDK receives from ScanStart, read back from its start trace:
// the scan type chosen once, the output formats in order, the scan area
// by paper size (centred on a sheet feeder), and the watermark switch.
var module = dociva.GetConfigPath().replace(/\/dociva\.ini$/, "");
var root = module.replace(/\/module$/, "");
var duplex = "Dociva Virtual Duplex 300", flatbed = "Dociva Virtual Flatbed 305";
var seen = 0;

function scan(name, what) {
    dociva.ScanStart(name);
    host.wait("OnScanEnd", 60000);
    var lines = host.readFile(root + "/sdk-trace.jsonl").split("\n").filter(function (l) { return l.length; });
    var s = JSON.parse(lines[lines.length - 1]).settings;
    seen = lines.length;
    host.print(what + ":", "scanType", s.scanType, "scanSize", s.scanSize, "area",
               [s.scanAreaX, s.scanAreaY, s.scanAreaW, s.scanAreaH].map(function (v) { return v.toFixed(4); }).join(" "),
               "outImg", JSON.stringify(s.outImg), "watermarkType", s.watermarkType);
}

dociva.ScannerRegister(duplex);
dociva.SetSavetoFolder(root + "/scans");
dociva.SetResolution(75);
dociva.SetOutputFormatPNG(1);
dociva.SetOutputFormatBMP(1);
dociva.SetOutputFormatMultiPDF(1);
dociva.SetScanSize(13);                          // Invoice, 5.5 wide
scan(duplex, "invoice on the feeder");
dociva.SetScanSize(19);                          // Letter, as wide as the feeder
scan(duplex, "letter on the feeder");
dociva.SetScanSize(2);                           // A3, wider than the feeder
scan(duplex, "A3 on the feeder");
dociva.SetScanSize(12);                          // no table size
scan(duplex, "id 12");
dociva.SetScanSize(21);                          // Max: zeros, nothing looked up
scan(duplex, "max");
dociva.SetCustomScanSize(1, 2, 3, 4, 0);         // custom: kept as set
scan(duplex, "custom");
dociva.SetScanSize(13);
dociva.ScannerRegister(flatbed);
scan(flatbed, "invoice on the flatbed (scan type stays)");
dociva.SelectProfile("profiles/stamp.ini");      // a text watermark (type 2), watermark switched on
dociva.SetProcessWatermark(0);
scan(flatbed, "watermark off");
dociva.SetProcessWatermark(1);
scan(flatbed, "watermark on");
host.print("starts:", seen);
