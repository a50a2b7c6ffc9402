// Binding profiles to the scanner's nine buttons: ids 1 to 9 bind, 0 and
// below unbind a profile wherever it is bound (by the path as stored, by
// the default profile's short name, or relative to the module folder), 10
// and above change nothing. Every call answers with the whole list.
var module = dociva.GetConfigPath().replace(/dociva\.ini$/, "");
dociva.GetScannerButtonSetting();
dociva.AssignProfileToScannerButton(1, "profiles/Colour 300.ini");
dociva.AssignProfileToScannerButton(2, module + "profiles/Colour 300.ini");
dociva.AssignProfileToScannerButton(3, "dociva.ini");
dociva.AssignProfileToScannerButton(4, "C:\\Profiles\\Office.ini");
dociva.AssignProfileToScannerButton(9, "profiles/Black and white.ini");
dociva.AssignProfileToScannerButton(10, "profiles/ignored.ini");
dociva.AssignProfileToScannerButton(5, null);
// Unbind by the absolute path: matches button 2 as stored and button 1,
// stored relative to the module folder.
dociva.AssignProfileToScannerButton(0, module + "profiles/Colour 300.ini");
// The default profile by its full path matches the short name.
dociva.AssignProfileToScannerButton(-1, module + "dociva.ini");
// Case is ignored when the stored path is compared as it is.
dociva.AssignProfileToScannerButton(0, "c:\\profiles\\office.ini");
dociva.AssignProfileToScannerButton(0, null);
dociva.GetScannerButtonSetting();
