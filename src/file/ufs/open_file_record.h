// What ties an open file to its block device and its file system: the
// driver's table of operations and the record the UFS reader works on.
#pragma once

#include <cstddef>
#include <cstdint>

struct OpenFileRecord;
struct UfsFile;

// The operations of a block driver, in table order.
struct DeviceSwitch {
    const char* name;
    // Reads `size` bytes from 512-byte block `block` of the partition;
    // `direction` 1 is the only one served. Returns an error number.
    int (*strategy)(void* state, int direction, uint32_t block, uint32_t size, void* buffer, uint32_t* count);
    int (*open)(OpenFileRecord* record, const char* name, int unit, int partition);
    int (*close)(OpenFileRecord* record);
    int (*ioctl)(OpenFileRecord* record, uint32_t request, void* data);
};

struct OpenFileRecord {
    const DeviceSwitch* device = nullptr;
    void* device_state = nullptr; // the driver's, set by its open
    UfsFile* fs_state = nullptr;  // the UFS reader's, set by ufsOpen
};

// The heap the driver and the reader take their state and buffers from.
void* ufsAllocate(size_t size);
void ufsRelease(void* pointer, size_t size);
