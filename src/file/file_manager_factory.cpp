#include "file/file_manager_factory.h"

#include "boot/boot_context.h"
#include "file/fat_file_manager.h"
#include "file/gzip_file_manager.h"
#include "file/http_file_manager.h"
#include "file/ufs/ufs_file_manager.h"

#include <new>

FileManager* createFileManagerOfKind(int32_t file_kind, Console** console) {
    GzipFileManager* file = new (std::nothrow) GzipFileManager(console, file_kind);
    if (file != nullptr && !file->hasInner()) {
        delete file;
        return nullptr;
    }
    return file;
}

FileManager* createFileManagerVariant(int32_t file_kind, Console** console) {
    switch (file_kind) {
    case BootContext::kLocalFiles:
        return new (std::nothrow) FatFileManager(console);
    case BootContext::kHttp:
        return new (std::nothrow) HttpFileManager(console);
    default: // BootContext::kUfsDisk, and any other kind
        return new (std::nothrow) UfsFileManager(console);
    }
}
