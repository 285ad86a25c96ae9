// winblk: the raw block driver over a Windows CE disk ("DSK1:"). It finds the
// BSD partition (MBR type 0xA9, else 0xA5, then an entry of the disklabel in
// it) and serves reads relative to its start. It reports only to the
// debugger output.
#pragma once

#include "file/ufs/open_file_record.h"
#include "platform/wince_disk.h"

#include <cstdint>

struct WinblkState {
    static constexpr uint32_t kSectorSize = 512;

    ce::HANDLE handle;
    ce::DISK_INFO disk_info;
    uint8_t mbr_partitions[64];
    uint8_t label[kSectorSize]; // the whole label sector, entries past the eighth included
    uint8_t sector[kSectorSize];
    uint32_t partition_start;
    // Sectors from partition_start that lie in the partition and on the disk.
    uint32_t partition_sectors;
};

namespace winblk_ops {
constexpr int kRead = 1;
}

extern const DeviceSwitch winblk;

// Opens "<NAME><unit>:" and chooses the partition; returns an error number.
// A disk the record still holds is closed first.
int winblkOpen(OpenFileRecord* record, const char* name, int unit, int partition);
// Closes the device and releases the state; returns 0.
int winblkClose(OpenFileRecord* record);
int winblkStrategy(void* state, int direction, uint32_t block, uint32_t size, void* buffer, uint32_t* count);
// No control requests are served: EIO.
int winblkIoctl(OpenFileRecord* record, uint32_t request, void* data);
// Reads `count` whole sectors from absolute sector `start`; 0 or EIO.
int rawread(WinblkState* state, uint32_t start, uint32_t count, void* buffer);
