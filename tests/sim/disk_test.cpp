// Raw disks of the simulated handheld through the Windows CE disk requests.
#include "platform/wince.h"
#include "platform/wince_disk.h"
#include "sim/disk.h"
#include "support/simulated_device.h"
#include "support/ufs_disk_images.h"

#include <cstddef>
#include <vector>

namespace {

class SimDiskTest : public SimulatedDevice {
  protected:
    void SetUp() override {
        SimulatedDevice::SetUp();
        bytes = patternBytes(64 * 512 + 100, 5);
        writeHostFile(scratch / "disk", bytes);
        ASSERT_TRUE(sim::attachDisk(2, scratch / "disk"));
    }
    ce::HANDLE open(const char16_t* name) {
        return ce::CreateFileW(name, ce::GENERIC_READ, 0, nullptr, ce::OPEN_EXISTING, 0, nullptr);
    }
    // A read request with one buffer entry per part.
    struct Request {
        ce::SG_REQ head;
        ce::SG_BUF more[ce::MAX_SG_BUF - 1];
    };

    ScratchFolder scratch;
    std::string bytes;
};

TEST_F(SimDiskTest, ReportsTheGeometryOfACardOfTheImagesSize) {
    ce::HANDLE disk = open(u"DSK2:");
    ASSERT_NE(disk, ce::INVALID_HANDLE_VALUE);
    ce::DISK_INFO info{};
    ce::DWORD returned = 0;
    ASSERT_TRUE(ce::DeviceIoControl(disk, ce::DISK_IOCTL_GETINFO, &info, sizeof(info), nullptr, 0, &returned,
                                    nullptr));
    EXPECT_EQ(returned, sizeof(ce::DISK_INFO));
    EXPECT_EQ(info.di_total_sectors, 64u);
    EXPECT_EQ(info.di_bytes_per_sect, 512u);
    EXPECT_EQ(info.di_flags, ce::DISK_INFO_FLAG_MBR);
    EXPECT_EQ(info.di_heads * info.di_sectors, 16u * 63u);
    // Drivers of the later interface fill the output record instead.
    ce::DISK_INFO out{};
    ASSERT_TRUE(
        ce::DeviceIoControl(disk, ce::DISK_IOCTL_GETINFO, nullptr, 0, &out, sizeof(out), &returned, nullptr));
    EXPECT_EQ(out.di_total_sectors, 64u);
    EXPECT_TRUE(ce::CloseHandle(disk));
}

TEST_F(SimDiskTest, ScattersAReadOverTheRequestsBuffers) {
    ce::HANDLE disk = open(u"dsk2:");
    ASSERT_NE(disk, ce::INVALID_HANDLE_VALUE);
    std::vector<uint8_t> first(700), second(324);
    Request request{};
    request.head.sr_start = 3;
    request.head.sr_num_sec = 2;
    request.head.sr_num_sg = 2;
    request.head.sr_status = 99;
    request.head.sr_sglist[0] = {first.data(), 700};
    request.more[0] = {second.data(), 324};
    ce::DWORD returned = 0;
    ASSERT_TRUE(ce::DeviceIoControl(disk, ce::DISK_IOCTL_READ, &request, sizeof(request), nullptr, 0,
                                    &returned, nullptr));
    EXPECT_EQ(request.head.sr_status, 0u);
    EXPECT_EQ(std::string(first.begin(), first.end()), bytes.substr(3 * 512, 700));
    EXPECT_EQ(std::string(second.begin(), second.end()), bytes.substr(3 * 512 + 700, 324));
    ASSERT_EQ(device().disks.at(2).reads.size(), 1u);
    EXPECT_EQ(device().disks.at(2).reads[0].start, 3u);
    EXPECT_EQ(device().disks.at(2).reads[0].count, 2u);
}

TEST_F(SimDiskTest, RefusesMalformedRequestsAndReadsPastTheEnd) {
    ce::HANDLE disk = open(u"DSK2:");
    std::vector<uint8_t> buffer(2048);
    ce::SG_REQ request{};
    request.sr_sglist[0] = {buffer.data(), 2048};
    ce::DWORD returned = 0;
    auto read = [&](ce::DWORD start, ce::DWORD sectors, ce::DWORD parts, ce::DWORD size) {
        request.sr_start = start;
        request.sr_num_sec = sectors;
        request.sr_num_sg = parts;
        request.sr_status = 0;
        return ce::DeviceIoControl(disk, ce::DISK_IOCTL_READ, &request, size, nullptr, 0, &returned, nullptr);
    };
    EXPECT_FALSE(read(0, 1, 0, sizeof(request)));
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(read(0, 1, 2, sizeof(request))); // the second entry lies past the record
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(read(0, 1, 1, 8));
    EXPECT_FALSE(read(0, 5, 1, sizeof(request))); // more sectors than the buffer holds
    EXPECT_EQ(request.sr_status, ce::ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(read(63, 2, 1, sizeof(request)));
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_SECTOR_NOT_FOUND);
    EXPECT_EQ(request.sr_status, ce::ERROR_SECTOR_NOT_FOUND);
    EXPECT_TRUE(read(60, 4, 1, sizeof(request)));
    EXPECT_FALSE(ce::DeviceIoControl(disk, ce::DISK_IOCTL_WRITE, &request, sizeof(request), nullptr, 0,
                                     &returned, nullptr));
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_INVALID_PARAMETER);
}

TEST_F(SimDiskTest, OnlyAttachedUnitsOpenAndOnlyDisksAnswerDiskRequests) {
    EXPECT_EQ(open(u"DSK1:"), ce::INVALID_HANDLE_VALUE);
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open(u"DSK0:"), ce::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(sim::attachDisk(1, scratch / "missing"));
    EXPECT_FALSE(sim::attachDisk(10, scratch / "disk"));

    ce::DISK_INFO info{};
    ce::HANDLE port = open(u"COM1:");
    ASSERT_NE(port, ce::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(
        ce::DeviceIoControl(port, ce::DISK_IOCTL_GETINFO, &info, sizeof(info), nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(ce::DeviceIoControl(reinterpret_cast<ce::HANDLE>(0x7777), ce::DISK_IOCTL_GETINFO, &info,
                                     sizeof(info), nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_INVALID_HANDLE);

    // A new device has no disks.
    sim::HandheldSettings settings;
    settings.root = root;
    device().reset(settings);
    EXPECT_EQ(open(u"DSK2:"), ce::INVALID_HANDLE_VALUE);
}

} // namespace
