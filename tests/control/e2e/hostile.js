// Names and values holding quotes, backslashes and control characters stay
// inside their JSON strings: every payload still parses (the runner checks
// each one) and no field is added.
var list = null;
function OnProfileReady(data) { list = JSON.parse(data); }
dociva.SelectProfile("profiles/quote\"name.ini");
dociva.ScannerRegister("a \"quoted\" \\ scanner\n");
host.answer("input", "Mine \"2\"");
dociva.ExportProfile();
var names = [];
for (var i = 0; i < list.profiles.length; i++) names.push(JSON.stringify(list.profiles[i].name));
names.sort();
host.print("profiles:", names.join(" "));
