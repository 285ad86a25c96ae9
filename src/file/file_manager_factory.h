// The FileManager the boot context holds for a kind of boot directory.
#pragma once

#include <cstdint>

class Console;
class FileManager;

// The gzip layer over the variant of the kind; null when either cannot be made.
FileManager* createFileManagerOfKind(int32_t file_kind, Console** console);
// The variant alone: local files, UFS on a raw disk or HTTP; null when there is none.
FileManager* createFileManagerVariant(int32_t file_kind, Console** console);
