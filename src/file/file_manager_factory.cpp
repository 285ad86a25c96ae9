#include "file/file_manager_factory.h"

#include "boot/boot_context.h"
#include "file/fat_file_manager.h"

#include <new>

FileManager* createFileManagerOfKind(int32_t file_kind, Console** console) {
    switch (file_kind) {
    case BootContext::kLocalFiles:
        return new (std::nothrow) FatFileManager(console);
    default:
        // The UFS and HTTP variants are not built yet.
        return nullptr;
    }
}
