// Read-only access to files of a UFS1 file system on the partition that an
// OpenFileRecord's block driver serves. Results are error numbers.
#pragma once

#include "file/ufs/open_file_record.h"

#include <cstdint>

struct UfsStat {
    uint16_t mode;
    uint32_t uid;
    uint32_t gid;
    uint32_t size;      // low 32 bits
    uint64_t full_size; // all of the inode's size field
};

// Opens `path` ('/' separators) from the root directory, following symbolic links.
int ufsOpen(const char* path, OpenFileRecord* record);
// Reads up to `size` bytes at the seek pointer; *residual (if given) gets the
// bytes not delivered.
int ufsRead(OpenFileRecord* record, void* buffer, uint32_t size, uint32_t* residual);
// Nothing is written: EROFS.
int ufsWrite(OpenFileRecord* record, const void* buffer, uint32_t size, uint32_t* residual);
// whence 0: offset; 1: seek pointer + offset; 2: file size - offset. The new
// seek pointer, or -1 for any other whence or a position beyond 32 bits.
int32_t ufsSeek(OpenFileRecord* record, int32_t offset, int whence);
int ufsStat(OpenFileRecord* record, UfsStat* out);
// Releases the open file's state; a record without one is left alone.
int ufsClose(OpenFileRecord* record);
