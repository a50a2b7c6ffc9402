// e2e: untraced
// SaveProfile writes only the component's own profiles and files that
// already are profiles: a page that selects some other file (a shell's
// start-up file, a folder, an INI file of another program, a path that
// climbs out of the profiles folder) gets 1 and the file stays as it was.
var module = dociva.GetConfigPath().replace(/\/dociva\.ini$/, "");
var root = module.replace(/\/module$/, "");
function shown(path) { return path.replace(root, "@ROOT@"); }
function state(path) { return host.fileExists(path) ? JSON.stringify(host.readFile(path)).length : "missing"; }

var rows = [
    ["the default profile", "", module + "/dociva.ini"],
    ["a profile in the profiles folder", "profiles/Colour 300.ini", module + "/profiles/Colour 300.ini"],
    ["a new file in the profiles folder", "profiles/new.ini", module + "/profiles/new.ini"],
    ["a file that already is a profile", root + "/elsewhere/a-profile.ini", root + "/elsewhere/a-profile.ini"],
    ["a shell's start-up file", root + "/home/.bashrc", root + "/home/.bashrc"],
    ["a folder", root + "/elsewhere/folder", root + "/elsewhere/folder/dociva.ini"],
    ["another program's INI file", root + "/elsewhere/other.ini", root + "/elsewhere/other.ini"],
    ["a new INI file elsewhere", root + "/elsewhere/new.ini", root + "/elsewhere/new.ini"],
    ["out of the profiles folder", "profiles/../../home/.bashrc", root + "/home/.bashrc"],
    ["out of the profiles folder, as .ini", "profiles/../../elsewhere/other.ini", root + "/elsewhere/other.ini"],
];
rows.forEach(function (r) {
    dociva.SelectProfile(r[1]);
    dociva.SetSavetoFileName("$(touch " + root + "/pwned)");
    var before = state(r[2]);
    var result = dociva.SaveProfile();
    var after = state(r[2]);
    host.print(r[0] + ":", "SaveProfile", result, before === after ? "unchanged" : "written",
               host.fileExists(r[2]) && host.readFile(r[2]).indexOf("FileName=$(touch") >= 0 ? "(holds the file name)" : "");
});
