// Inodes and the mapping of file blocks to fragments: direct addresses, then
// single, double and triple indirect blocks, with a cache of the last run of
// 64 indirect-mapped addresses.
#include "file/ufs/error_numbers.h"
#include "file/ufs/little_endian.h"
#include "file/ufs/ufs_file.h"

#include <cstdint>
#include <cstring>

namespace ufs {

uint16_t inodeMode(const UfsFile& file) {
    return get16(file.inode + di::kMode);
}

uint64_t inodeSize(const UfsFile& file) {
    return get64(file.inode + di::kFileSize);
}

int32_t readableSize(const UfsFile& file) {
    uint64_t size = inodeSize(file);
    return size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
}

int readFragments(OpenFileRecord* record, uint64_t address, uint32_t bytes, uint8_t* destination,
                  uint32_t* count) {
    const UfsGeometry& fs = record->fs_state->fs;
    uint64_t fragments = (static_cast<uint64_t>(bytes) + fs.fsize - 1) / fs.fsize;
    uint64_t sector = address << fs.fsbtodb;
    if (address + fragments > fs.fragments || sector > UINT32_MAX)
        return EIO;
    // The buffer no longer holds the data of a file block.
    if (destination == record->fs_state->buffer)
        record->fs_state->buffer_block = -1;
    return record->device->strategy(record->device_state, 1, static_cast<uint32_t>(sector), bytes,
                                    destination, count);
}

namespace {

// Reads a whole block into the buffer; a short read is EIO.
int readWholeBlock(OpenFileRecord* record, uint64_t address) {
    UfsFile& file = *record->fs_state;
    uint32_t count = 0;
    int error = readFragments(record, address, file.fs.bsize, file.buffer, &count);
    if (error != 0)
        return error;
    return count < file.fs.bsize ? EIO : 0;
}

} // namespace

int readInode(OpenFileRecord* record, uint32_t number) {
    UfsFile& file = *record->fs_state;
    const UfsGeometry& fs = file.fs;
    if (number >= static_cast<uint64_t>(fs.ipg) * fs.ncg)
        return EIO;
    uint64_t group = number / fs.ipg;
    uint64_t address = static_cast<uint64_t>(fs.fpg) * group +
                       static_cast<uint64_t>(fs.cgoffset) * (group & ~static_cast<uint64_t>(fs.cgmask)) +
                       fs.iblkno + (static_cast<uint64_t>((number % fs.ipg) / fs.inopb) << fs.fragshift);
    int error = readWholeBlock(record, address);
    if (error != 0)
        return error;
    std::memcpy(file.inode, file.buffer + (number % fs.inopb) * di::kSize, di::kSize);
    file.indirect_cache_key = -1;
    file.buffer_block = -1;
    return 0;
}

int blockMap(OpenFileRecord* record, uint32_t file_block, uint32_t* address) {
    UfsFile& file = *record->fs_state;
    if (file_block < di::kDirectCount) {
        *address = get32(file.inode + di::kDirect + file_block * 4);
        return 0;
    }
    uint64_t b = file_block - di::kDirectCount;
    const int32_t key = static_cast<int32_t>(b >> 6);
    if (key == file.indirect_cache_key) {
        *address = file.indirect_cache[b & 63];
        return 0;
    }

    const uint32_t shift = file.indirect_shift;
    uint32_t level = shift;
    for (;; level += shift) {
        if (level > di::kIndirectCount * shift)
            return EFBIG;
        if (b < (uint64_t{1} << level))
            break;
        b -= uint64_t{1} << level;
    }

    uint32_t next = get32(file.inode + di::kIndirect + (level / shift - 1) * 4);
    for (;;) {
        level -= shift;
        if (next == 0) {
            *address = 0;
            return 0;
        }
        int error = readWholeBlock(record, next);
        if (error != 0)
            return error;
        next = get32(file.buffer + (b >> level) * 4);
        if (level == 0)
            break;
        b &= (uint64_t{1} << level) - 1;
    }

    std::memcpy(file.indirect_cache, file.buffer + (b & ~uint64_t{63}) * 4, sizeof(file.indirect_cache));
    file.indirect_cache_key = key;
    *address = next;
    return 0;
}

int readFileBlock(OpenFileRecord* record, uint8_t** pointer, uint32_t* count) {
    UfsFile& file = *record->fs_state;
    const UfsGeometry& fs = file.fs;
    const int32_t size = readableSize(file);
    if (file.seek_pointer < 0 || file.seek_pointer >= size)
        return EINVAL;
    const uint32_t seek = static_cast<uint32_t>(file.seek_pointer);
    const uint32_t offset = static_cast<uint32_t>(seek & fs.qbmask);
    const uint32_t file_block = seek >> fs.bshift;

    uint32_t block_size = fs.bsize;
    const uint64_t full_size = inodeSize(file);
    if (file_block < di::kDirectCount && full_size < (static_cast<uint64_t>(file_block) + 1) << fs.bshift)
        block_size = static_cast<uint32_t>(((full_size & fs.qbmask) + fs.qfmask) & fs.fmask);

    if (static_cast<int32_t>(file_block) != file.buffer_block) {
        uint32_t address = 0;
        int error = blockMap(record, file_block, &address);
        if (error != 0)
            return error;
        if (address == 0) {
            std::memset(file.buffer, 0, block_size);
            file.buffer_size = block_size;
        } else {
            uint32_t got = 0;
            error = readFragments(record, address, block_size, file.buffer, &got);
            if (error != 0)
                return error;
            file.buffer_size = got;
        }
        file.buffer_block = static_cast<int32_t>(file_block);
    }

    if (file.buffer_size <= offset)
        return EIO;
    uint32_t available = file.buffer_size - offset;
    uint32_t left = static_cast<uint32_t>(size) - seek;
    *pointer = file.buffer + offset;
    *count = available < left ? available : left;
    return 0;
}

} // namespace ufs
