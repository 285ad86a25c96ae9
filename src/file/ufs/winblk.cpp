#include "file/ufs/winblk.h"

#include "console/console.h"
#include "file/ufs/disklabel.h"
#include "file/ufs/error_numbers.h"
#include "file/ufs/little_endian.h"
#include "file/ufs/mbr.h"
#include "platform/wide_format.h"
#include "platform/wince.h"

#include <cstring>

const DeviceSwitch winblk = {"winblk", winblkStrategy, winblkOpen, winblkClose, winblkIoctl};

namespace {

constexpr uint32_t kNoStart = 0xFFFFFFFFu;

void release(OpenFileRecord* record, WinblkState* state) {
    if (state->handle != ce::INVALID_HANDLE_VALUE)
        ce::CloseHandle(state->handle);
    ufsRelease(state, sizeof(WinblkState));
    record->device_state = nullptr;
}

void printDiskInfo(const ce::DISK_INFO& info) {
    debugPrint(u"DISK_INFO: CHS=%d:%d:%d  block size=%d  flag=", info.di_cylinders, info.di_heads,
               info.di_sectors, info.di_bytes_per_sect);
    if (info.di_flags & ce::DISK_INFO_FLAG_MBR)
        debugPrint(u"MBR ");
    if (info.di_flags & ce::DISK_INFO_FLAG_CHS_UNCERTAIN)
        debugPrint(u"CHS_UNCERTAIN ");
    if (info.di_flags & ce::DISK_INFO_FLAG_UNFORMATTED)
        debugPrint(u"UNFORMATTED ");
    if (info.di_flags & ce::DISK_INFO_FLAG_PAGEABLE)
        debugPrint(u"PAGEABLE ");
    debugPrint(u"\n");
}

bool usableGeometry(const ce::DISK_INFO& info) {
    return (info.di_flags & ce::DISK_INFO_FLAG_MBR) != 0 &&
           (info.di_flags & (ce::DISK_INFO_FLAG_CHS_UNCERTAIN | ce::DISK_INFO_FLAG_UNFORMATTED)) == 0 &&
           info.di_bytes_per_sect == WinblkState::kSectorSize;
}

void printPartitionTable(const uint8_t* table) {
    for (uint32_t i = 0; i < mbr::kEntryCount; ++i) {
        const uint8_t* entry = table + i * mbr::kEntrySize;
        debugPrint(u"%d: type=%d %d(%d) (%d:%d:%d - %d:%d:%d) flag=0x%02x\n", i, entry[mbr::kType],
                   ufs::get32(entry + mbr::kFirstSector), ufs::get32(entry + mbr::kSectorCount),
                   entry[mbr::kStartCylinder], entry[mbr::kStartHead], entry[mbr::kStartSector],
                   entry[mbr::kEndCylinder], entry[mbr::kEndHead], entry[mbr::kEndSector],
                   entry[mbr::kBootFlag]);
    }
}

// The first 0xA9 entry, else the last 0xA5 one; null when there is neither.
const uint8_t* bsdPartition(const uint8_t* table) {
    const uint8_t* fallback = nullptr;
    for (uint32_t i = 0; i < mbr::kEntryCount; ++i) {
        const uint8_t* entry = table + i * mbr::kEntrySize;
        if (entry[mbr::kType] == mbr::kTypeKalmor)
            return entry;
        if (entry[mbr::kType] == mbr::kTypeFreeBsd)
            fallback = entry;
    }
    return fallback;
}

// Serves `start` and up to `sectors` sectors after it, no further than the disk's end.
void setPartition(WinblkState* state, uint32_t start, uint32_t sectors) {
    uint32_t total = state->disk_info.di_total_sectors;
    uint32_t room = start < total ? total - start : 0;
    state->partition_start = start;
    state->partition_sectors = sectors < room ? sectors : room;
}

// Reads the MBR and the disklabel and fixes the partition; an error number.
int choosePartition(WinblkState* state, int partition) {
    int error = rawread(state, 0, 1, state->sector);
    if (error != 0)
        return error;
    std::memcpy(state->mbr_partitions, state->sector + mbr::kTableOffset, mbr::kTableSize);
    printPartitionTable(state->mbr_partitions);

    const uint8_t* entry = bsdPartition(state->mbr_partitions);
    if (entry == nullptr) {
        setPartition(state, 0, state->disk_info.di_total_sectors);
        debugPrint(u"no BSD partition, start sector=0x%x\n", 0);
        return 0;
    }
    setPartition(state, ufs::get32(entry + mbr::kFirstSector), ufs::get32(entry + mbr::kSectorCount));

    uint32_t label_sector = state->partition_start + 1;
    if (label_sector == 0) // the start was the last sector number there is
        return EIO;
    error = rawread(state, label_sector, 1, state->sector);
    if (error != 0)
        return error;
    std::memcpy(state->label, state->sector, sizeof(state->label));
    if (!disklabel::isValid(state->label)) {
        debugPrint(u"invalid disklabel, start sector=0x%x\n", state->partition_start);
        return 0;
    }
    if (partition < 0 || partition >= disklabel::entryCount(state->label))
        return EINVAL;
    const uint8_t* slice = state->label + disklabel::kPartitionsOffset + partition * disklabel::kEntrySize;
    setPartition(state, ufs::get32(slice + disklabel::kEntryStart),
                 ufs::get32(slice + disklabel::kEntrySectors));
    debugPrint(u"start sector=0x%x\n", state->partition_start);
    return 0;
}

int openDevice(WinblkState* state, const char* name, int unit, int partition) {
    if (std::strlen(name) != 3 || unit < 0 || unit > 9)
        return ENODEV;
    char letters[3];
    for (int i = 0; i < 3; ++i)
        letters[i] = name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 'a' + 'A') : name[i];
    char16_t device_name[8];
    wsprintfW(device_name, 8, u"%C%C%C%d:", letters[0], letters[1], letters[2], unit);
    debugPrint(u"winblk.open: block device name is '%s'\n", device_name);

    state->handle = ce::CreateFileW(device_name, ce::GENERIC_READ, 0, nullptr, ce::OPEN_EXISTING, 0, nullptr);
    if (state->handle == ce::INVALID_HANDLE_VALUE) {
        debugPrint(u"can't open %s.\n", device_name);
        return ENODEV;
    }
    ce::DWORD returned = 0;
    if (!ce::DeviceIoControl(state->handle, ce::DISK_IOCTL_GETINFO, &state->disk_info, sizeof(ce::DISK_INFO),
                             nullptr, 0, &returned, nullptr)) {
        debugPrint(u"DeviceIoControl() failed.error=%d\n", ce::GetLastError());
        return EIO;
    }
    printDiskInfo(state->disk_info);
    if (!usableGeometry(state->disk_info)) {
        debugPrint(u"invalid flags\n");
        return EINVAL;
    }
    return choosePartition(state, partition);
}

} // namespace

int winblkOpen(OpenFileRecord* record, const char* name, int unit, int partition) {
    // A record opened before lets its disk go first.
    winblkClose(record);
    auto* state = static_cast<WinblkState*>(ufsAllocate(sizeof(WinblkState)));
    if (state == nullptr)
        return ENOMEM;
    std::memset(state, 0, sizeof(WinblkState));
    state->handle = ce::INVALID_HANDLE_VALUE;
    record->device_state = state;
    int error = openDevice(state, name, unit, partition);
    if (error != 0)
        release(record, state);
    return error;
}

int winblkClose(OpenFileRecord* record) {
    if (record->device_state != nullptr)
        release(record, static_cast<WinblkState*>(record->device_state));
    return 0;
}

int winblkIoctl(OpenFileRecord*, uint32_t, void*) {
    return EIO;
}

int winblkStrategy(void* opaque, int direction, uint32_t block, uint32_t size, void* buffer,
                   uint32_t* count) {
    auto* state = static_cast<WinblkState*>(opaque);
    if (direction != winblk_ops::kRead)
        return EROFS;
    const uint32_t whole = size / WinblkState::kSectorSize;
    const uint32_t tail = size % WinblkState::kSectorSize;
    const uint64_t end = static_cast<uint64_t>(block) + whole + (tail != 0 ? 1 : 0);
    if (end > state->partition_sectors) {
        debugPrint(u"block 0x%x beyond the partition (0x%x sectors)\n", block, state->partition_sectors);
        return EIO;
    }
    block += state->partition_start;
    auto* bytes = static_cast<uint8_t*>(buffer);
    if (whole > 0) {
        int error = rawread(state, block, whole, bytes);
        if (error != 0)
            return error;
    }
    if (tail != 0) {
        int error = rawread(state, block + whole, 1, state->sector);
        if (error != 0)
            return error;
        std::memcpy(bytes + whole * WinblkState::kSectorSize, state->sector, tail);
    }
    if (count != nullptr)
        *count = size;
    return 0;
}

int rawread(WinblkState* state, uint32_t start, uint32_t count, void* buffer) {
    debugPrint(u"rawread(0x%x, %d)", start, count);
    ce::SG_REQ request{};
    request.sr_start = start;
    request.sr_num_sec = count;
    request.sr_num_sg = 1;
    request.sr_status = 0;
    request.sr_callback = nullptr;
    request.sr_sglist[0].sb_buf = static_cast<ce::BYTE*>(buffer);
    request.sr_sglist[0].sb_len = count * WinblkState::kSectorSize;
    ce::DWORD returned = 0;
    if (!ce::DeviceIoControl(state->handle, ce::DISK_IOCTL_READ, &request, sizeof(request), nullptr, 0,
                             &returned, nullptr)) {
        debugPrint(u"DeviceIoControl() failed.error=%d\n", ce::GetLastError());
        return EIO;
    }
    debugPrint(u"=%d\n", request.sr_status);
    if (request.sr_status != 0) {
        debugPrint(u"DeviceIoControl(READ): status=%d\n", request.sr_status);
        return EIO;
    }
    return 0;
}
