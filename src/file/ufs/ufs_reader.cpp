#include "file/ufs/ufs_reader.h"

#include "file/ufs/error_numbers.h"
#include "file/ufs/little_endian.h"
#include "file/ufs/ufs_file.h"

#include <cstring>

namespace {

constexpr uint32_t kMaxPathLength = 1024;
constexpr int kMaxLinks = 32;

bool isType(const UfsFile& file, uint16_t type) {
    return (ufs::inodeMode(file) & ufs::kTypeMask) == type;
}

// Puts the target of the current inode, a symbolic link, before `rest` in
// `names` and returns where the walk goes on.
int followLink(OpenFileRecord* record, const char* rest, char* names, const char** next) {
    UfsFile& file = *record->fs_state;
    const uint32_t link_length = static_cast<uint32_t>(ufs::inodeSize(file));
    const size_t rest_length = std::strlen(rest);
    if (static_cast<uint64_t>(link_length) + rest_length > kMaxPathLength)
        return ENOENT;
    std::memmove(names + link_length, rest, rest_length + 1);
    if (static_cast<int64_t>(link_length) < file.fs.maxsymlinklen) {
        std::memcpy(names, file.inode + ufs::di::kLinkArea, link_length);
    } else {
        uint32_t address = 0;
        int error = ufs::blockMap(record, 0, &address);
        if (error != 0)
            return error;
        if (address == 0) {
            std::memset(names, 0, link_length);
        } else {
            uint32_t count = 0;
            error = ufs::readFragments(record, address, file.fs.bsize, file.buffer, &count);
            if (error != 0)
                return error;
            if (count < link_length)
                return EIO;
            std::memcpy(names, file.buffer, link_length);
        }
    }
    *next = names;
    return 0;
}

int walk(OpenFileRecord* record, const char* path) {
    UfsFile& file = *record->fs_state;
    char names[kMaxPathLength + 1];
    uint32_t number = ufs::kRootInode;
    int error = ufs::readInode(record, number);
    if (error != 0)
        return error;
    int links = 0;
    const char* cp = path;
    for (;;) {
        while (*cp == '/')
            ++cp;
        if (*cp == '\0')
            return 0;
        if (!isType(file, ufs::kTypeDirectory))
            return ENOTDIR;
        const char* component = cp;
        while (*cp != '\0' && *cp != '/')
            ++cp;
        const uint32_t parent = number;
        error = ufs::searchDirectory(record, component, static_cast<uint32_t>(cp - component), &number);
        if (error == 0)
            error = ufs::readInode(record, number);
        if (error != 0)
            return error;
        if (isType(file, ufs::kTypeSymlink)) {
            if (++links > kMaxLinks)
                return ENOENT;
            error = followLink(record, cp, names, &cp);
            if (error != 0)
                return error;
            number = *cp == '/' ? ufs::kRootInode : parent;
            error = ufs::readInode(record, number);
            if (error != 0)
                return error;
        }
    }
}

} // namespace

int ufsOpen(const char* path, OpenFileRecord* record) {
    ufsClose(record);
    if (record->device == nullptr || record->device_state == nullptr)
        return ENODEV;
    auto* file = static_cast<UfsFile*>(ufsAllocate(sizeof(UfsFile)));
    if (file == nullptr)
        return ENOMEM;
    std::memset(file, 0, sizeof(UfsFile));
    file->indirect_cache_key = -1;
    file->buffer_block = -1;
    record->fs_state = file;
    file->super_block = static_cast<uint8_t*>(ufsAllocate(ufs::kSuperBlockSize));
    int error = file->super_block == nullptr ? ENOMEM : ufs::readSuperBlock(record);
    if (error == 0) {
        file->buffer = static_cast<uint8_t*>(ufsAllocate(file->fs.bsize));
        error = file->buffer == nullptr ? ENOMEM : walk(record, path);
    }
    if (error != 0) {
        ufsClose(record);
        return error;
    }
    file->seek_pointer = 0;
    return 0;
}

int ufsRead(OpenFileRecord* record, void* buffer, uint32_t size, uint32_t* residual) {
    UfsFile* file = record->fs_state;
    int error = 0;
    if (file == nullptr || file->seek_pointer < 0)
        error = EINVAL;
    auto* out = static_cast<uint8_t*>(buffer);
    while (error == 0 && size > 0 && file->seek_pointer < ufs::readableSize(*file)) {
        uint8_t* data = nullptr;
        uint32_t count = 0;
        error = ufs::readFileBlock(record, &data, &count);
        if (error != 0)
            break;
        uint32_t n = size < count ? size : count;
        std::memcpy(out, data, n);
        file->seek_pointer += static_cast<int32_t>(n);
        out += n;
        size -= n;
    }
    if (residual != nullptr)
        *residual = size;
    return error;
}

int ufsWrite(OpenFileRecord*, const void*, uint32_t size, uint32_t* residual) {
    if (residual != nullptr)
        *residual = size;
    return EROFS;
}

int32_t ufsSeek(OpenFileRecord* record, int32_t offset, int whence) {
    UfsFile* file = record->fs_state;
    if (file == nullptr)
        return -1;
    int64_t position = 0;
    switch (whence) {
    case 0:
        position = offset;
        break;
    case 1:
        position = static_cast<int64_t>(file->seek_pointer) + offset;
        break;
    case 2:
        position = static_cast<int64_t>(ufs::readableSize(*file)) - offset;
        break;
    default:
        return -1;
    }
    if (position < INT32_MIN || position > INT32_MAX)
        return -1;
    file->seek_pointer = static_cast<int32_t>(position);
    return file->seek_pointer;
}

int ufsStat(OpenFileRecord* record, UfsStat* out) {
    *out = UfsStat{};
    const UfsFile* file = record->fs_state;
    if (file == nullptr)
        return EINVAL;
    out->mode = ufs::inodeMode(*file);
    out->uid = ufs::get32(file->inode + ufs::di::kUid);
    out->gid = ufs::get32(file->inode + ufs::di::kGid);
    out->full_size = ufs::inodeSize(*file);
    out->size = static_cast<uint32_t>(out->full_size);
    return 0;
}

int ufsClose(OpenFileRecord* record) {
    UfsFile* file = record->fs_state;
    if (file == nullptr)
        return 0;
    if (file->buffer != nullptr)
        ufsRelease(file->buffer, file->fs.bsize);
    if (file->super_block != nullptr)
        ufsRelease(file->super_block, ufs::kSuperBlockSize);
    ufsRelease(file, sizeof(UfsFile));
    record->fs_state = nullptr;
    return 0;
}
