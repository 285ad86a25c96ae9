// The FileManager the boot context holds for a kind of boot directory.
#pragma once

#include <cstdint>

class Console;
class FileManager;

// Null when the object cannot be made.
FileManager* createFileManagerOfKind(int32_t file_kind, Console** console);
