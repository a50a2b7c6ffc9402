// The profile selected last is the default of the list on the next load.
