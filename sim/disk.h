// Raw disks of the simulated handheld: "DSK1:" to "DSK9:", each backed by a
// host image file and answering the Windows CE disk requests.
#pragma once

#include "platform/wince_disk.h"

#include <filesystem>
#include <vector>

namespace sim {

class KernelObject;

struct DiskRead {
    ce::DWORD start;
    ce::DWORD count;
};

struct Disk {
    static constexpr ce::DWORD kNoFailingSector = 0xFFFFFFFFu;

    std::filesystem::path image;
    // What DISK_IOCTL_GETINFO answers; reads use its sector size.
    ce::DISK_INFO info{};

    // Faults. A read touching `failing_sector` or a later sector fails; it
    // fails the call (ERROR_READ_FAULT, status set too) as a card driver
    // does, or with `failure_in_status_only` the call succeeds and only the
    // request's status tells.
    bool getinfo_fails = false;
    ce::DWORD failing_sector = kNoFailingSector;
    bool failure_in_status_only = false;

    // Every read request that reached the driver, in order.
    std::vector<DiskRead> reads;
};

// The geometry a memory card of `sectors` 512-byte sectors reports: an MBR
// is expected, 512-byte sectors, 16 heads of 63 sectors.
ce::DISK_INFO cardDiskInfo(ce::DWORD sectors);
// Attaches `image` as "DSK<unit>:" (unit 1 to 9) with the geometry of a card
// of its size, replacing an earlier disk of that unit. False when the image
// is not a readable file.
bool attachDisk(int unit, const std::filesystem::path& image);
// The disk of `unit`, or null when none is attached.
Disk* findDisk(int unit);

ce::HANDLE openDisk(int unit, ce::DWORD access);
// DeviceIoControl on an open disk; false for any other object (not a disk).
bool isDiskObject(KernelObject* object);
ce::BOOL diskIoControl(KernelObject* object, ce::DWORD code, void* in, ce::DWORD in_size, void* out,
                       ce::DWORD out_size, ce::DWORD* returned);

} // namespace sim
