// SelectProfile payloads: the default profile, then profiles with odd
// values (BWCOMPRESS 0.5 and 5, a text angle out of range, a number too
// large to be finite) and a profile that cannot be read.
dociva.SelectProfile("");
dociva.GetConfigPath();
dociva.SelectProfile("profiles/five.ini");
dociva.SelectProfile("profiles/missing.ini");   // unreadable: every default
dociva.GetConfigPath();
dociva.SelectProfile("profiles/half.ini");
// The path is remembered as given; the list marks a profile by its full path.
dociva.SelectProfile(dociva.GetConfigPath());
