// The Windows CE disk-driver interface: the requests a block device answers
// through DeviceIoControl and the records they exchange. Layouts are those of
// the device headers; on the 32-bit handheld SG_REQ with one buffer entry is
// 28 bytes, on a 64-bit host its pointers make it larger.
#pragma once

#include "platform/wince_types.h"

namespace ce {

// Request codes of the original disk interface.
constexpr DWORD DISK_IOCTL_GETINFO = 1;
constexpr DWORD DISK_IOCTL_READ = 2;
constexpr DWORD DISK_IOCTL_WRITE = 3;

// di_flags
constexpr DWORD DISK_INFO_FLAG_MBR = 0x00000001;
constexpr DWORD DISK_INFO_FLAG_CHS_UNCERTAIN = 0x00000002;
constexpr DWORD DISK_INFO_FLAG_UNFORMATTED = 0x00000004;
constexpr DWORD DISK_INFO_FLAG_PAGEABLE = 0x00000008;

struct DISK_INFO {
    DWORD di_total_sectors;
    DWORD di_bytes_per_sect;
    DWORD di_cylinders;
    DWORD di_heads;
    DWORD di_sectors;
    DWORD di_flags;
};
static_assert(sizeof(DISK_INFO) == 24);

constexpr DWORD MAX_SG_BUF = 8;

struct SG_BUF {
    BYTE* sb_buf;
    DWORD sb_len;
};

using PFN_REQDONE = DWORD (*)(struct SG_REQ* request);

// A scatter/gather transfer of sr_num_sec sectors from sr_start; the driver
// stores the outcome (0 or an error code) in sr_status. More than one buffer
// entry extends the record past its declared end.
struct SG_REQ {
    DWORD sr_start;
    DWORD sr_num_sec;
    DWORD sr_num_sg;
    DWORD sr_status;
    PFN_REQDONE sr_callback;
    SG_BUF sr_sglist[1];
};
static_assert(sizeof(void*) != 4 || sizeof(SG_REQ) == 28);

} // namespace ce
