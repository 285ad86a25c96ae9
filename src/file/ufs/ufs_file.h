// The UFS reader's state for one open file and its internal operations.
#pragma once

#include "file/ufs/open_file_record.h"
#include "file/ufs/ufs_format.h"

#include <cstdint>

// The super-block values the reader works with, checked when it is read.
struct UfsGeometry {
    uint32_t bsize;
    uint32_t bshift;
    uint32_t fsize;
    uint32_t fragshift;
    uint32_t fsbtodb;
    uint32_t nindir;
    uint32_t inopb;
    uint32_t ipg;
    uint32_t fpg;
    uint32_t iblkno;
    uint32_t cgoffset;
    uint32_t cgmask;
    uint32_t ncg;
    uint32_t fragments; // size of the file system
    int32_t maxsymlinklen;
    uint64_t qbmask;
    uint64_t qfmask;
    uint64_t fmask;
};

struct UfsFile {
    static constexpr uint32_t kIndirectCacheSize = 64;

    int32_t seek_pointer;
    uint8_t* super_block;
    uint8_t inode[ufs::di::kSize];
    uint32_t indirect_shift;
    int32_t indirect_cache_key;
    uint32_t indirect_cache[kIndirectCacheSize];
    uint8_t* buffer;
    uint32_t buffer_size;
    int32_t buffer_block;
    UfsGeometry fs;
};

namespace ufs {

// Reads and checks the super-block, filling `fs` and indirect_shift.
int readSuperBlock(OpenFileRecord* record);
// Reads `bytes` from fragment `address` into `destination`; the count read
// goes to *count. Addresses outside the file system are EIO.
int readFragments(OpenFileRecord* record, uint64_t address, uint32_t bytes, uint8_t* destination,
                  uint32_t* count);
// Makes inode `number` the current inode.
int readInode(OpenFileRecord* record, uint32_t number);
// The fragment address of `file_block` of the current inode in *address; 0 is a hole.
int blockMap(OpenFileRecord* record, uint32_t file_block, uint32_t* address);
// The data at the seek pointer, up to the end of its block or of the file.
int readFileBlock(OpenFileRecord* record, uint8_t** pointer, uint32_t* count);
// The inode number of the entry `name` (`length` bytes) of the current directory.
int searchDirectory(OpenFileRecord* record, const char* name, uint32_t length, uint32_t* number);

// Inode fields of the current file.
uint16_t inodeMode(const UfsFile& file);
uint64_t inodeSize(const UfsFile& file);
// The size the 32-bit seek pointer can reach.
int32_t readableSize(const UfsFile& file);

} // namespace ufs
