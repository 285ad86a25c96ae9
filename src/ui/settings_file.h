// The configuration file "zandrel.cnf" in the root of the first storage card.
#pragma once

#include "ui/preferences.h"

// Names the first directory of the root that is both a directory and
// temporary (the first storage card) in a buffer of 260 characters; false
// when there is none.
bool findTemporaryDirectory(char16_t* buffer);

// Writes the defaults into the fields that have one.
void applyDefaults(Preferences& record);

// Reads the file over `record`, at most the 2152 bytes of this layout,
// whatever its size field says: each field the file holds whole (a number
// whose bytes are all there, a text whose end is), the rest of `record` left
// as it was, so a record of an older layout or a file cut short keeps what it
// has. The flag that says a directory or kernel name was stored is kept only
// with the whole name. False, leaving `record` as it was, without a storage
// card or file, with a wrong signature, or with a file below 12 bytes.
bool loadSettingsFile(Preferences& record);

// Writes the whole record to a new file and then puts it in place of the old
// one, so an interrupted save never leaves a torn file. True when all `size`
// bytes were written.
bool saveSettingsFile(const Preferences& record);
