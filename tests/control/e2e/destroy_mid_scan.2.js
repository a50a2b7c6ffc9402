// e2e: untraced
// The page loaded again: every file the SDK announced is whole on disk
// (the run finished its pages before the scanner closed), and nothing
// half-written or temporary is left.
var module = dociva.GetConfigPath().replace(/\/dociva\.ini$/, "");
var root = module.replace(/\/module$/, "");
var files = host.listDir(root + "/scans");
var jpegs = files.filter(function (f) { return /\.jpg$/.test(f); });
var others = files.filter(function (f) { return !/\.(jpg|tif)$/.test(f); });
host.print("some jpeg pages:", jpegs.length > 0, "multi-page tiff:", files.filter(function (f) { return /\.tif$/.test(f); }).length,
           "other files:", JSON.stringify(others));
for (var i = 0; i < jpegs.length; i++) {
    if (!host.fileExists(root + "/scans/" + jpegs[i])) throw new Error("missing " + jpegs[i]);
}
