// Whatever a script passes is converted as a script engine converts it or
// refused with an error; the control never fails and its payloads stay JSON.
function attempt(what, f) {
    try {
        f();
    } catch (e) {
        host.print(what, "->", e.message);
    }
}
attempt("profile from null", function () { dociva.SelectProfile(null); });
attempt("missing argument", function () { dociva.SetResolution(); });
attempt("extra argument", function () { dociva.SetResolution(1, 2); });
attempt("above 16 bits", function () { dociva.SetResolution(40000); });
attempt("below 16 bits", function () { dociva.SetResolution(-40000); });
attempt("NaN", function () { dociva.SetResolution(NaN); });
attempt("word", function () { dociva.SetResolution("high"); });
attempt("null number", function () { dociva.SetResolution(null); });
attempt("object number", function () { dociva.SetResolution({}); });
attempt("undefined number", function () { dociva.SetResolution(undefined); });
attempt("true", function () { dociva.SetGamma(true); });
attempt("half rounds to even", function () { dociva.SetContrast(2.5); });
attempt("numeric text", function () { dociva.SetBrightness(" 42 "); });
attempt("number as name", function () { dociva.ScannerRegister(12345); });
attempt("object as name", function () { dociva.ScannerRegister({}); });
attempt("function as callback", function () { dociva.RegScannerSourceCallback(function () {}); });
attempt("null callback", function () { dociva.RegScannerSourceCallback(null); });
attempt("number as callback", function () { dociva.RegScannerSourceCallback(7); });
var huge = new Array(100001).join("x");
attempt("huge name", function () { dociva.ScannerRegister(huge); });
attempt("huge file name", function () { dociva.SetSavetoFileName(huge + "\u00e9\ud83d\ude00"); });
attempt("custom size of texts", function () { dociva.SetCustomScanSize("1", "2", "3.5", "4", "1"); });
attempt("custom size of words", function () { dociva.SetCustomScanSize("a", 0, 0, 0, 0); });
attempt("unknown dispatch id", function () { dociva.invoke(9999); });
attempt("invoke by id", function () { dociva.invoke(7, 300); });
attempt("about box by id", function () { dociva.invoke(-552); });
dociva.SaveProfile();
var saved = host.readFile(dociva.GetConfigPath());
host.print("FileName length:", saved.match(/FileName=(.*)/)[1].length);
