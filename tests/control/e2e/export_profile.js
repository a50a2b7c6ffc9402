// ExportProfile: cancelled (1), an empty name (2), a name that cannot be a
// profile file (3), saved (0, with a new profile list), and saved again
// over the same name.
host.answer("input", null);
dociva.ExportProfile();
host.answer("input", "");
dociva.ExportProfile();
host.answer("input", "sub/dir");
dociva.ExportProfile();
dociva.SetResolution(150);
host.answer("input", "Mine");
dociva.ExportProfile();
var mine = dociva.GetConfigPath().replace(/dociva\.ini$/, "profiles/Mine.ini");
host.print(host.readFile(mine));
dociva.SetResolution(400);
host.answer("input", "Mine");
dociva.ExportProfile();
host.print(host.readFile(mine));
// The active profile is still the one it was.
dociva.GetConfigPath();
// No answer at all: the dialog counts as cancelled.
dociva.ExportProfile();
