// The configuration file "zandrel.cnf" in the root of the first storage card.
#pragma once

#include "ui/preferences.h"

// Names the first directory of the root that is both a directory and
// temporary (the first storage card) in a buffer of 260 characters; false
// when there is none.
bool findTemporaryDirectory(char16_t* buffer);

// Writes the defaults into the fields that have one.
void applyDefaults(Preferences& record);

// Reads the file over `record`, at most the 2152 bytes of this layout; false,
// leaving `record` as it was, without a storage card or file, with a wrong
// signature, a size below 12, or fewer bytes than the record says it has (or
// than this layout has, for a larger record).
bool loadSettingsFile(Preferences& record);

// Writes the whole record to a new file and then puts it in place of the old
// one, so an interrupted save never leaves a torn file. True when all `size`
// bytes were written.
bool saveSettingsFile(const Preferences& record);
