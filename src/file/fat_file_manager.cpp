#include "file/fat_file_manager.h"

#include "platform/wide_format.h"
#include "platform/wide_string.h"
#include "platform/wince.h"

FatFileManager::FatFileManager(Console** console) : FileManager(console) {
    debug_level = 1;
    print(u"FileManager: FAT\n");
}

FatFileManager::~FatFileManager() {
    if (handle_ != ce::INVALID_HANDLE_VALUE)
        ce::CloseHandle(handle_);
}

bool FatFileManager::setRoot(const char16_t* root) {
    wideCopy(root_, kPathSize, root);
    wideCopy(path_, kPathSize, root);
    return true;
}

bool FatFileManager::open(const char16_t* name, uint32_t) {
    // The files are opened without sharing: a handle still open would lock its file.
    if (handle_ != ce::INVALID_HANDLE_VALUE)
        close();

    size_t length = wideLength(root_) + wideLength(name);
    if (length + 1 > kPathSize) {
        print(u"can't open \"%s\". path too long (%d > %d).\n", name, static_cast<uint32_t>(length + 1),
              kPathSize);
        return false;
    }
    wsprintfW(path_, kPathSize, u"%s%s", root_, name);

    handle_ = ce::CreateFileW(path_, ce::GENERIC_READ, 0, nullptr, ce::OPEN_EXISTING,
                              ce::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == ce::INVALID_HANDLE_VALUE) {
        print(u"can't open \"%s\". cause = %d\n", path_, ce::GetLastError());
        return false;
    }
    uint32_t bytes = size();
    if (bytes == ce::INVALID_FILE_SIZE) {
        print(u"can't get file size.\n");
        close();
        return false;
    }
    print(u"open file \"%s\"(%d byte).\n", path_, bytes);
    return true;
}

uint32_t FatFileManager::size() {
    return ce::GetFileSize(handle_, nullptr);
}

bool FatFileManager::close() {
    bool closed = ce::CloseHandle(handle_) != ce::FALSE;
    handle_ = ce::INVALID_HANDLE_VALUE;
    return closed;
}

bool FatFileManager::moveTo(uint32_t offset) {
    return ce::SetFilePointer(handle_, static_cast<ce::LONG>(offset), nullptr, ce::FILE_BEGIN) !=
           ce::INVALID_SET_FILE_POINTER;
}

uint32_t FatFileManager::read(void* buffer, uint32_t size, uint32_t offset) {
    // Reading from the old position after a refused move would hand out the wrong bytes.
    if (offset != kCurrentPosition && !moveTo(offset))
        return kReadFailed;
    ce::DWORD done = 0;
    if (!ce::ReadFile(handle_, buffer, size, &done, nullptr))
        return kReadFailed;
    fetched_ += done;
    return done;
}

uint32_t FatFileManager::write(const void* buffer, uint32_t size, uint32_t offset) {
    if (offset != kCurrentPosition && !moveTo(offset))
        return 0;
    ce::DWORD done = 0;
    if (!ce::WriteFile(handle_, buffer, size, &done, nullptr))
        return 0;
    return done;
}

bool FatFileManager::seek(uint32_t offset) {
    return moveTo(offset);
}
