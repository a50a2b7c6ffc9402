// The page loaded again: the scanner registered last is marked as default
// (compared ignoring case), the other is not.
host.print("driver path before registering:", JSON.stringify(dociva.GetDriverPath()));
