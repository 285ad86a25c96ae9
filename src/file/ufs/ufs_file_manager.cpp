#include "file/ufs/ufs_file_manager.h"

#include "file/ufs/open_file_record.h"
#include "file/ufs/ufs_reader.h"
#include "file/ufs/winblk.h"

#include <new>

UfsFileManager::UfsFileManager(Console** console)
    : FileManager(console), record_(new (std::nothrow) OpenFileRecord) {
    if (record_ != nullptr)
        record_->device = &winblk;
    debug_level = 1;
    print(u"FileManager: UFS\n");
}

UfsFileManager::~UfsFileManager() {
    if (record_ != nullptr) {
        ufsClose(record_);
        closeDisk();
    }
    delete record_;
}

void UfsFileManager::closeDisk() {
    if (record_->device_state != nullptr)
        record_->device->close(record_);
}

int ufsDiskUnit(const char16_t* root) {
    if (root[0] >= u'1' && root[0] <= u'9' && root[1] == u':')
        return root[0] - u'0';
    return 1;
}

bool UfsFileManager::setRoot(const char16_t* root) {
    if (record_ == nullptr)
        return false;
    int unit = ufsDiskUnit(root);
    // A new root replaces the disk of an earlier one.
    ufsClose(record_);
    closeDisk();
    return record_->device->open(record_, "DSK", unit, 0) == 0;
}

bool UfsFileManager::open(const char16_t* name, uint32_t) {
    if (record_ == nullptr || !toAscii(file_name, name, kNameSize))
        return false;
    int error = ufsOpen(file_name, record_);
    print(u"open file \"%s\" ", name);
    if (error != 0) {
        print(u"failed.\n");
        return false;
    }
    // Sizes and offsets are 32 bits, all ones meaning a failed read: a larger
    // file must not be taken for its size modulo 2^32.
    UfsStat stat{};
    ufsStat(record_, &stat);
    if (stat.full_size >= kReadFailed) {
        print(u"failed: 0x%x%08x bytes, too large.\n", static_cast<uint32_t>(stat.full_size >> 32),
              static_cast<uint32_t>(stat.full_size));
        ufsClose(record_);
        return false;
    }
    print(u"(%d byte).\n", stat.size);
    return true;
}

uint32_t UfsFileManager::size() {
    UfsStat stat{};
    if (record_ != nullptr)
        ufsStat(record_, &stat);
    return stat.size;
}

bool UfsFileManager::close() {
    return record_ != nullptr && ufsClose(record_) == 0;
}

uint32_t UfsFileManager::read(void* buffer, uint32_t size, uint32_t offset) {
    if (record_ == nullptr)
        return 0;
    if (offset != kCurrentPosition)
        ufsSeek(record_, static_cast<int32_t>(offset), 0);
    uint32_t residual = size;
    int error = ufsRead(record_, buffer, size, &residual);
    // The bytes before a disk error are delivered; a read that got none has failed.
    if (error != 0 && residual == size)
        return kReadFailed;
    fetched_ += size - residual;
    return size - residual;
}

uint32_t UfsFileManager::write(const void*, uint32_t, uint32_t offset) {
    if (record_ != nullptr && offset != kCurrentPosition)
        ufsSeek(record_, static_cast<int32_t>(offset), 0);
    return 0;
}

bool UfsFileManager::seek(uint32_t offset) {
    if (record_ != nullptr)
        ufsSeek(record_, static_cast<int32_t>(offset), 0);
    return true;
}
