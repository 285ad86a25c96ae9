// The block driver behind "DSKn:": geometry requests and scatter/gather reads
// served from the unit's host image file.
#include "sim/disk.h"

#include "sim/failure_injection.h"
#include "sim/handheld.h"
#include "sim/handle_table.h"

#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace sim {

namespace {

class DiskDevice : public KernelObject {
  public:
    DiskDevice(int unit, int fd) : unit_(unit), fd_(fd) {}
    ~DiskDevice() override { ::close(fd_); }

    int unit() const { return unit_; }
    // Reads whole bytes at `offset`; false when the image has fewer.
    bool readAt(uint8_t* buffer, size_t size, uint64_t offset) const {
        while (size > 0) {
            ssize_t done = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
            if (done <= 0)
                return false;
            buffer += done;
            size -= static_cast<size_t>(done);
            offset += static_cast<uint64_t>(done);
        }
        return true;
    }

  private:
    int unit_;
    int fd_;
};

ce::BOOL failed(ce::DWORD error) {
    Handheld::get().last_error = error;
    return ce::FALSE;
}

ce::BOOL getInfo(const Disk& disk, void* in, ce::DWORD in_size, void* out, ce::DWORD out_size,
                 ce::DWORD* returned) {
    if (disk.getinfo_fails)
        return failed(ce::ERROR_NOT_READY);
    // The original request fills the input record; later drivers the output one.
    void* record = in != nullptr && in_size >= sizeof(ce::DISK_INFO) ? in : out;
    if (record == nullptr || (record == out && out_size < sizeof(ce::DISK_INFO)))
        return failed(ce::ERROR_INVALID_PARAMETER);
    *static_cast<ce::DISK_INFO*>(record) = disk.info;
    if (returned != nullptr)
        *returned = sizeof(ce::DISK_INFO);
    Handheld::get().last_error = ce::ERROR_SUCCESS;
    return ce::TRUE;
}

// Completes a read request with `status`, the way the disk's faults say.
ce::BOOL complete(const Disk& disk, ce::SG_REQ& request, ce::DWORD status) {
    request.sr_status = status;
    if (status == ce::ERROR_SUCCESS || disk.failure_in_status_only) {
        Handheld::get().last_error = ce::ERROR_SUCCESS;
        return ce::TRUE;
    }
    return failed(status);
}

ce::BOOL read(Disk& disk, const DiskDevice& device, void* in, ce::DWORD in_size) {
    constexpr size_t kHeader = offsetof(ce::SG_REQ, sr_sglist);
    if (in == nullptr || in_size < sizeof(ce::SG_REQ))
        return failed(ce::ERROR_INVALID_PARAMETER);
    ce::SG_REQ& request = *static_cast<ce::SG_REQ*>(in);
    disk.reads.push_back({request.sr_start, request.sr_num_sec});
    if (request.sr_num_sg == 0 || request.sr_num_sg > ce::MAX_SG_BUF ||
        in_size < kHeader + request.sr_num_sg * sizeof(ce::SG_BUF))
        return failed(ce::ERROR_INVALID_PARAMETER);

    const uint64_t sector_size = disk.info.di_bytes_per_sect;
    const uint64_t first = request.sr_start;
    const uint64_t end = first + request.sr_num_sec;
    uint64_t room = 0;
    for (ce::DWORD i = 0; i < request.sr_num_sg; ++i)
        room += request.sr_sglist[i].sb_len;
    if (sector_size == 0 || room < request.sr_num_sec * sector_size)
        return complete(disk, request, ce::ERROR_INVALID_PARAMETER);
    if (end > disk.info.di_total_sectors)
        return complete(disk, request, ce::ERROR_SECTOR_NOT_FOUND);
    if (disk.failing_sector != Disk::kNoFailingSector && end > disk.failing_sector)
        return complete(disk, request, ce::ERROR_READ_FAULT);
    if (injectFailure(FallibleCall::DiskRead))
        return complete(disk, request, injectedError(FallibleCall::DiskRead));

    uint64_t offset = first * sector_size;
    uint64_t left = request.sr_num_sec * sector_size;
    for (ce::DWORD i = 0; i < request.sr_num_sg && left > 0; ++i) {
        const ce::SG_BUF& entry = request.sr_sglist[i];
        uint64_t part = entry.sb_len < left ? entry.sb_len : left;
        if (entry.sb_buf == nullptr || !device.readAt(entry.sb_buf, part, offset))
            return complete(disk, request, ce::ERROR_READ_FAULT);
        offset += part;
        left -= part;
    }
    return complete(disk, request, ce::ERROR_SUCCESS);
}

} // namespace

ce::DISK_INFO cardDiskInfo(ce::DWORD sectors) {
    ce::DISK_INFO info{};
    info.di_total_sectors = sectors;
    info.di_bytes_per_sect = 512;
    info.di_heads = 16;
    info.di_sectors = 63;
    info.di_cylinders = sectors / (16 * 63);
    info.di_flags = ce::DISK_INFO_FLAG_MBR;
    return info;
}

bool attachDisk(int unit, const std::filesystem::path& image) {
    std::error_code error;
    if (unit < 1 || unit > 9 || !std::filesystem::is_regular_file(image, error))
        return false;
    uintmax_t bytes = std::filesystem::file_size(image, error);
    if (error || ::access(image.c_str(), R_OK) != 0)
        return false;
    Disk disk;
    disk.image = image;
    disk.info = cardDiskInfo(static_cast<ce::DWORD>(bytes / 512 > 0xFFFFFFFFu ? 0xFFFFFFFFu : bytes / 512));
    Handheld::get().disks[unit] = disk;
    return true;
}

Disk* findDisk(int unit) {
    auto& disks = Handheld::get().disks;
    auto found = disks.find(unit);
    return found == disks.end() ? nullptr : &found->second;
}

ce::HANDLE openDisk(int unit, ce::DWORD) {
    Handheld& device = Handheld::get();
    Disk* disk = findDisk(unit);
    int fd = disk == nullptr ? -1 : ::open(disk->image.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        device.last_error = ce::ERROR_FILE_NOT_FOUND;
        return ce::INVALID_HANDLE_VALUE;
    }
    device.last_error = ce::ERROR_SUCCESS;
    return HandleTable::get().add(std::make_unique<DiskDevice>(unit, fd));
}

bool isDiskObject(KernelObject* object) {
    return dynamic_cast<DiskDevice*>(object) != nullptr;
}

ce::BOOL diskIoControl(KernelObject* object, ce::DWORD code, void* in, ce::DWORD in_size, void* out,
                       ce::DWORD out_size, ce::DWORD* returned) {
    auto* device = dynamic_cast<DiskDevice*>(object);
    Disk* disk = device == nullptr ? nullptr : findDisk(device->unit());
    if (disk == nullptr)
        return failed(ce::ERROR_INVALID_HANDLE);
    switch (code) {
    case ce::DISK_IOCTL_GETINFO:
        return getInfo(*disk, in, in_size, out, out_size, returned);
    case ce::DISK_IOCTL_READ:
        return read(*disk, *device, in, in_size);
    default:
        return failed(ce::ERROR_INVALID_PARAMETER);
    }
}

} // namespace sim
