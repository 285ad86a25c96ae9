// The winblk driver on simulated raw disks whose partition tables sfdisk
// wrote and whose BSD labels fdisk wrote.
#include "file/ufs/winblk.h"
#include "platform/wide_string.h"
#include "sim/disk.h"
#include "sim/handle_table.h"
#include "support/simulated_device.h"
#include "support/ufs_disk_images.h"
#include "support/ufs_image_patch.h"

#include <cerrno>
#include <cstdio>

namespace {

constexpr uint32_t kDiskSectors = 16384;

class WinblkTest : public SimulatedDevice {
  protected:
    void SetUp() override {
        SimulatedDevice::SetUp();
        ASSERT_FALSE(scratch.path().empty());
        record.device = &winblk;
        disk = scratch / "disk.img";
    }
    void TearDown() override {
        winblkClose(&record);
        SimulatedDevice::TearDown();
    }
    void makeAndAttach(const std::vector<MbrSlot>& slots) {
        ASSERT_EQ(makeDisk(disk, kDiskSectors, slots), "");
        ASSERT_TRUE(sim::attachDisk(1, disk));
    }
    WinblkState& state() { return *static_cast<WinblkState*>(record.device_state); }
    std::string debugLog() const { return utf16ToUtf8(sim::Handheld::get().debug_log); }
    bool logged(const std::string& text) const { return debugLog().find(text) != std::string::npos; }
    sim::Disk& simDisk() { return sim::Handheld::get().disks.at(1); }
    // The absolute sector the driver reads for partition block `block`.
    uint32_t sectorReadFor(uint32_t block) {
        simDisk().reads.clear();
        char bytes[512];
        uint32_t count = 0;
        EXPECT_EQ(winblkStrategy(record.device_state, 1, block, 512, bytes, &count), 0);
        EXPECT_EQ(count, 512u);
        return simDisk().reads.empty() ? 0xFFFFFFFFu : simDisk().reads.back().start;
    }
    // Rewrites the label sector with `count` entries and a checksum that
    // makes the XOR of its first `covered` bytes zero.
    void rewriteLabel(uint32_t label_sector, uint16_t count, uint32_t covered) {
        UfsImagePatch patch(disk);
        uint64_t label = uint64_t{label_sector} * 512;
        patch.set16(label + 138, count);
        patch.set16(label + 136, 0);
        uint16_t sum = 0;
        for (uint32_t at = 0; at < covered; at += 2)
            sum ^= static_cast<uint16_t>(patch.byte(label + at) | (patch.byte(label + at + 1) << 8));
        patch.set16(label + 136, sum);
        ASSERT_TRUE(patch.save(disk));
    }

    ScratchFolder scratch;
    std::filesystem::path disk;
    OpenFileRecord record;
};

TEST_F(WinblkTest, OpensTheLabelledPartitionAndReportsEachStepOnTheDebuggerOutput) {
    makeAndAttach({{1, 2048, 8192, 0xA9}});
    ASSERT_EQ(writeBsdLabel(disk, 2048, 2048 + 8191), "");
    ASSERT_EQ(winblkOpen(&record, "DSK", 1, 0), 0);
    EXPECT_EQ(state().partition_start, 2048u);

    UfsImagePatch mbr(disk);
    auto chs = [&](uint64_t at) {
        char text[32];
        std::snprintf(text, sizeof(text), "%d:%d:%d", mbr.byte(at + 2), mbr.byte(at), mbr.byte(at + 1));
        return std::string(text);
    };
    std::string expected = "winblk.open: block device name is 'DSK1:'\n"
                           "DISK_INFO: CHS=16:16:63  block size=512  flag=MBR \n"
                           "rawread(0x0, 1)=0\n"
                           "0: type=169 2048(8192) (" +
                           chs(446 + 1) + " - " + chs(446 + 5) +
                           ") flag=0x00\n"
                           "1: type=0 0(0) (0:0:0 - 0:0:0) flag=0x00\n"
                           "2: type=0 0(0) (0:0:0 - 0:0:0) flag=0x00\n"
                           "3: type=0 0(0) (0:0:0 - 0:0:0) flag=0x00\n"
                           "rawread(0x801, 1)=0\n"
                           "start sector=0x800\n";
    EXPECT_EQ(debugLog(), expected);
}

TEST_F(WinblkTest, ChoosesTheFirstA9PartitionElseTheLastA5One) {
    const struct {
        const char* what;
        std::vector<MbrSlot> slots;
        uint32_t start;
    } cases[] = {
        {"0xA5 in entries 1 and 3", {{2, 2048, 1000, 0xA5}, {4, 6000, 1000, 0xA5}}, 6000},
        {"0xA5 in entry 0, 0xA9 in entry 2", {{1, 2048, 1000, 0xA5}, {3, 6000, 1000, 0xA9}}, 6000},
        {"0xA9 in entries 0 and 1", {{1, 2048, 1000, 0xA9}, {2, 6000, 1000, 0xA9}}, 2048},
        {"0xA9 after a Linux partition", {{1, 2048, 1000, 0x83}, {2, 4000, 1000, 0xA9}}, 4000},
    };
    for (const auto& c : cases) {
        makeAndAttach(c.slots);
        device().debug_log.clear();
        ASSERT_EQ(winblkOpen(&record, "DSK", 1, 0), 0) << c.what;
        // Without a label the MBR partition's own start is used.
        char line[64];
        std::snprintf(line, sizeof(line), "invalid disklabel, start sector=0x%x\n", c.start);
        EXPECT_TRUE(logged(line)) << c.what << "\n" << debugLog();
        EXPECT_EQ(sectorReadFor(7), c.start + 7) << c.what;
        winblkClose(&record);
    }
}

TEST_F(WinblkTest, UsesTheWholeDiskWithoutABsdPartition) {
    makeAndAttach({{1, 2048, 1000, 0x83}});
    ASSERT_EQ(winblkOpen(&record, "DSK", 1, 0), 0);
    EXPECT_TRUE(logged("no BSD partition, start sector=0x0\n"));
    EXPECT_EQ(sectorReadFor(16), 16u);
}

TEST_F(WinblkTest, ReadsRelativeToTheLabelEntryNotTheMbrPartition) {
    makeAndAttach({{1, 2048, 8192, 0xA9}});
    ASSERT_EQ(writeBsdLabel(disk, 2048 + 63, 2048 + 8191), "");
    ASSERT_EQ(winblkOpen(&record, "DSK", 1, 0), 0);
    EXPECT_TRUE(logged("start sector=0x83f\n"));
    for (uint32_t block : {0u, 5u, 100u})
        EXPECT_EQ(sectorReadFor(block), 2048 + 63 + block);
}

TEST_F(WinblkTest, ReadsAPartialSectorThroughTheWorkBuffer) {
    makeAndAttach({{1, 2048, 8192, 0xA9}});
    ASSERT_EQ(writeBsdLabel(disk, 2048 + 63, 2048 + 8191), "");
    std::string bytes = patternBytes(4096, 7);
    UfsImagePatch patch(disk);
    for (uint32_t i = 0; i < bytes.size(); ++i)
        patch.byte((2048 + 63 + 4) * 512 + i) = static_cast<uint8_t>(bytes[i]);
    ASSERT_TRUE(patch.save(disk));
    ASSERT_EQ(winblkOpen(&record, "DSK", 1, 0), 0);

    simDisk().reads.clear();
    std::string got(1000, '\0');
    uint32_t count = 0;
    ASSERT_EQ(winblkStrategy(record.device_state, 1, 4, 1000, got.data(), &count), 0);
    EXPECT_EQ(count, 1000u);
    EXPECT_TRUE(got == bytes.substr(0, 1000));
    ASSERT_EQ(simDisk().reads.size(), 2u);
    EXPECT_EQ(simDisk().reads[0].start, 2048u + 63 + 4);
    EXPECT_EQ(simDisk().reads[0].count, 1u);
    EXPECT_EQ(simDisk().reads[1].start, 2048u + 63 + 5);
    EXPECT_EQ(simDisk().reads[1].count, 1u);
}

TEST_F(WinblkTest, RefusesDisksWithoutUsableGeometryWithEINVAL) {
    const struct {
        const char* what;
        ce::DWORD flags;
        ce::DWORD bytes_per_sector;
    } cases[] = {
        {"no MBR flag", 0, 512},
        {"uncertain geometry", ce::DISK_INFO_FLAG_MBR | ce::DISK_INFO_FLAG_CHS_UNCERTAIN, 512},
        {"unformatted", ce::DISK_INFO_FLAG_MBR | ce::DISK_INFO_FLAG_UNFORMATTED, 512},
        {"2048-byte sectors", ce::DISK_INFO_FLAG_MBR, 2048},
    };
    makeAndAttach({{1, 2048, 8192, 0xA9}});
    size_t handles = sim::HandleTable::get().openCount();
    for (const auto& c : cases) {
        simDisk().info.di_flags = c.flags;
        simDisk().info.di_bytes_per_sect = c.bytes_per_sector;
        device().debug_log.clear();
        EXPECT_EQ(winblkOpen(&record, "DSK", 1, 0), EINVAL) << c.what;
        EXPECT_TRUE(logged("invalid flags\n")) << c.what;
        EXPECT_EQ(record.device_state, nullptr);
        EXPECT_EQ(sim::HandleTable::get().openCount(), handles) << c.what;
    }
    simDisk().info.di_flags = ce::DISK_INFO_FLAG_MBR | ce::DISK_INFO_FLAG_CHS_UNCERTAIN |
                              ce::DISK_INFO_FLAG_UNFORMATTED | ce::DISK_INFO_FLAG_PAGEABLE;
    device().debug_log.clear();
    winblkOpen(&record, "DSK", 1, 0);
    EXPECT_TRUE(logged("flag=MBR CHS_UNCERTAIN UNFORMATTED PAGEABLE \n")) << debugLog();
}

TEST_F(WinblkTest, BadDeviceNamesAndMissingDevicesAreENODEV) {
    makeAndAttach({{1, 2048, 8192, 0xA9}});
    EXPECT_EQ(winblkOpen(&record, "DSK", 3, 0), ENODEV);
    EXPECT_EQ(debugLog(), "winblk.open: block device name is 'DSK3:'\ncan't open DSK3:.\n");
    EXPECT_EQ(winblkOpen(&record, "DK", 1, 0), ENODEV);
    EXPECT_EQ(winblkOpen(&record, "DSKA", 1, 0), ENODEV);
    EXPECT_EQ(winblkOpen(&record, "DSK", 10, 0), ENODEV);
    EXPECT_EQ(winblkOpen(&record, "DSK", -1, 0), ENODEV);
    EXPECT_EQ(record.device_state, nullptr);
    // The letters are made upper case.
    EXPECT_EQ(winblkOpen(&record, "dsk", 1, 0), 0);
}

TEST_F(WinblkTest, AFailedGeometryRequestIsEIO) {
    makeAndAttach({{1, 2048, 8192, 0xA9}});
    simDisk().getinfo_fails = true;
    EXPECT_EQ(winblkOpen(&record, "DSK", 1, 0), EIO);
    EXPECT_TRUE(logged("DeviceIoControl() failed.error=21\n"));
    EXPECT_EQ(record.device_state, nullptr);
}

TEST_F(WinblkTest, FailedReadsAreEIOWhetherTheCallOrTheStatusTellsIt) {
    makeAndAttach({{1, 2048, 8192, 0xA9}});
    ASSERT_EQ(winblkOpen(&record, "DSK", 1, 0), 0);
    simDisk().failing_sector = 2048 + 10;
    char bytes[1024];
    uint32_t count = 77;

    device().debug_log.clear();
    EXPECT_EQ(winblkStrategy(record.device_state, 1, 9, 1024, bytes, &count), EIO);
    EXPECT_EQ(count, 77u);
    EXPECT_EQ(debugLog(), "rawread(0x809, 2)DeviceIoControl() failed.error=30\n");

    simDisk().failure_in_status_only = true;
    device().debug_log.clear();
    EXPECT_EQ(winblkStrategy(record.device_state, 1, 9, 1024, bytes, &count), EIO);
    EXPECT_EQ(debugLog(), "rawread(0x809, 2)=30\nDeviceIoControl(READ): status=30\n");

    // Reads before the failing sector still work.
    EXPECT_EQ(winblkStrategy(record.device_state, 1, 8, 1024, bytes, &count), 0);
}

TEST_F(WinblkTest, AnUnreadablePartitionTableFailsTheOpen) {
    makeAndAttach({{1, 2048, 8192, 0xA9}});
    simDisk().failing_sector = 0;
    EXPECT_EQ(winblkOpen(&record, "DSK", 1, 0), EIO);
    EXPECT_EQ(record.device_state, nullptr);
}

TEST_F(WinblkTest, PartitionIndexesOutsideTheLabelAreEINVAL) {
    makeAndAttach({{1, 2048, 8192, 0xA9}});
    ASSERT_EQ(writeBsdLabel(disk, 2048, 2048 + 8191), "");
    UfsImagePatch label(disk);
    uint16_t count =
        static_cast<uint16_t>(label.byte(2049 * 512 + 138) | (label.byte(2049 * 512 + 139) << 8));
    ASSERT_GT(count, 0);
    EXPECT_EQ(winblkOpen(&record, "DSK", 1, count), EINVAL);
    EXPECT_EQ(winblkOpen(&record, "DSK", 1, -1), EINVAL);
    EXPECT_EQ(record.device_state, nullptr);
    EXPECT_EQ(winblkOpen(&record, "DSK", 1, count - 1), 0);
}

// A label sector holds 22 entries after its 148-byte header; a label that
// declares more would have its checksum and entries read past the sector.
TEST_F(WinblkTest, ALabelDeclaringMoreEntriesThanItsSectorHoldsIsInvalid) {
    makeAndAttach({{1, 2048, 8192, 0xA9}});
    ASSERT_EQ(writeBsdLabel(disk, 2048 + 63, 2048 + 8191), "");

    rewriteLabel(2049, 22, 148 + 22 * 16);
    ASSERT_EQ(winblkOpen(&record, "DSK", 1, 0), 0);
    EXPECT_TRUE(logged("start sector=0x83f\n")) << debugLog();
    EXPECT_EQ(winblkOpen(&record, "DSK", 1, 21), 0);
    winblkClose(&record);

    rewriteLabel(2049, 23, 512);
    device().debug_log.clear();
    ASSERT_EQ(winblkOpen(&record, "DSK", 1, 0), 0);
    EXPECT_TRUE(logged("invalid disklabel, start sector=0x800\n")) << debugLog();
    EXPECT_EQ(state().partition_start, 2048u);
}

TEST_F(WinblkTest, ReadsOnlyInsideThePartition) {
    makeAndAttach({{1, 2048, 8192, 0xA9}});
    ASSERT_EQ(writeBsdLabel(disk, 2048, 2048 + 99), "");
    ASSERT_EQ(winblkOpen(&record, "DSK", 1, 0), 0);
    char bytes[1024];
    uint32_t count = 0;
    EXPECT_EQ(winblkStrategy(record.device_state, 1, 98, 1024, bytes, &count), 0);
    simDisk().reads.clear();
    EXPECT_EQ(winblkStrategy(record.device_state, 1, 99, 513, bytes, &count), EIO);
    EXPECT_EQ(winblkStrategy(record.device_state, 1, 0xFFFFFFFFu, 512, bytes, &count), EIO);
    EXPECT_TRUE(simDisk().reads.empty());
}

TEST_F(WinblkTest, NeitherWritesNorControlRequestsAreServed) {
    makeAndAttach({{1, 2048, 8192, 0xA9}});
    ASSERT_EQ(winblkOpen(&record, "DSK", 1, 0), 0);
    char bytes[512] = {};
    EXPECT_EQ(winblkStrategy(record.device_state, 2, 0, 512, bytes, nullptr), EROFS);
    EXPECT_EQ(winblkIoctl(&record, 1, nullptr), EIO);
}

TEST_F(WinblkTest, CloseReleasesTheStateAndTheDevice) {
    makeAndAttach({{1, 2048, 8192, 0xA9}});
    size_t handles = sim::HandleTable::get().openCount();
    ASSERT_EQ(winblkOpen(&record, "DSK", 1, 0), 0);
    EXPECT_EQ(sim::HandleTable::get().openCount(), handles + 1);
    // Opening the record again lets the first disk go.
    ASSERT_EQ(winblkOpen(&record, "DSK", 1, 0), 0);
    EXPECT_EQ(sim::HandleTable::get().openCount(), handles + 1);
    EXPECT_EQ(winblkClose(&record), 0);
    EXPECT_EQ(record.device_state, nullptr);
    EXPECT_EQ(sim::HandleTable::get().openCount(), handles);
    EXPECT_EQ(winblkClose(&record), 0);
}

} // namespace
