// VirtualAlloc, VirtualFree, VirtualCopy, LockPages and UnlockPages as the
// simulated handheld serves them, and the knobs that make them fail.
#include "platform/device_registers.h"
#include "platform/wince.h"
#include "sim/physical_memory.h"
#include "sim/process_memory.h"
#include "sim/recording_device_model.h"
#include "support/simulated_device.h"

#include <cstring>

namespace {

constexpr uint32_t kPage = 4096;

class VirtualMemoryTest : public SimulatedDevice {
  protected:
    sim::PhysicalMemory& ram() { return sim::PhysicalMemory::get(); }
    sim::ProcessMemory& process() { return sim::ProcessMemory::get(); }
    uint8_t* reserve(uint32_t size) {
        return static_cast<uint8_t*>(ce::VirtualAlloc(nullptr, size, ce::MEM_RESERVE, ce::PAGE_NOACCESS));
    }
    uint8_t* commit(uint32_t size) {
        return static_cast<uint8_t*>(ce::VirtualAlloc(nullptr, size, ce::MEM_RESERVE | ce::MEM_COMMIT,
                                                      ce::PAGE_READWRITE | ce::PAGE_NOCACHE));
    }
    static void* physical(uint32_t paddr) { return reinterpret_cast<void*>(uintptr_t{paddr >> 8}); }
    bool lock(void* address, uint32_t size, ce::DWORD* frames) {
        return sim::LockPages(address, size, frames, 1);
    }
};

TEST_F(VirtualMemoryTest, RegionsStartOn64KBoundaries) {
    for (uint32_t size : {1u, 0x10000u, 0x12345u}) {
        uint8_t* region = commit(size);
        ASSERT_NE(region, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(region) % 0x10000, 0u);
        EXPECT_EQ(process().regionSize(region), (size + kPage - 1) & ~(kPage - 1));
    }
}

TEST_F(VirtualMemoryTest, ReserveAtAChosenAddress) {
    uint8_t* region = reserve(0x20000);
    ASSERT_NE(region, nullptr);
    EXPECT_EQ(ce::VirtualAlloc(region + 0x10000, 0x10000, ce::MEM_RESERVE, ce::PAGE_NOACCESS), nullptr);
    ASSERT_TRUE(ce::VirtualFree(region, 0, ce::MEM_RELEASE));
    // A chosen address is taken down to the 64 KB boundary.
    uint8_t* again = static_cast<uint8_t*>(
        ce::VirtualAlloc(region + 0x10010, 0x1000, ce::MEM_RESERVE | ce::MEM_COMMIT, ce::PAGE_READWRITE));
    EXPECT_EQ(again, region + 0x10000);
    EXPECT_EQ(process().regionSize(again), 0x2000u);
    EXPECT_EQ(ram().framesInUse(), 2u);
}

TEST_F(VirtualMemoryTest, ReserveThenCommitPartOfTheRegion) {
    uint8_t* region = reserve(0x10000);
    ASSERT_NE(region, nullptr);
    EXPECT_EQ(ram().framesInUse(), 0u);
    EXPECT_EQ(process().physicalAddress(region), sim::ProcessMemory::kNoAddress);
    ce::DWORD frame = 0;
    EXPECT_FALSE(lock(region, kPage, &frame));

    EXPECT_EQ(ce::VirtualAlloc(region + 0x2100, 0x1000, ce::MEM_COMMIT, ce::PAGE_READWRITE), region + 0x2000);
    EXPECT_EQ(ram().framesInUse(), 2u); // 0x2100..0x3100 touches two pages
    region[0x2000] = 7;
    ASSERT_TRUE(lock(region + 0x2000, kPage, &frame));
    EXPECT_EQ(*ram().hostAddress(frame), 7);
    EXPECT_EQ(process().physicalAddress(region + 0x1FFF), sim::ProcessMemory::kNoAddress);
}

TEST_F(VirtualMemoryTest, CommitOutsideAnyRegionFails) {
    uint8_t* region = reserve(0x10000);
    ASSERT_NE(region, nullptr);
    device().last_error = 0;
    EXPECT_EQ(ce::VirtualAlloc(region + 0xF000, 0x2000, ce::MEM_COMMIT, ce::PAGE_READWRITE), nullptr);
    EXPECT_EQ(device().last_error, ce::ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ram().framesInUse(), 0u);
}

TEST_F(VirtualMemoryTest, RefusedArguments) {
    EXPECT_EQ(ce::VirtualAlloc(nullptr, 0, ce::MEM_COMMIT, ce::PAGE_READWRITE), nullptr);
    EXPECT_EQ(ce::VirtualAlloc(nullptr, kPage, ce::MEM_DECOMMIT, ce::PAGE_READWRITE), nullptr);
    EXPECT_EQ(ce::VirtualAlloc(nullptr, kPage, ce::MEM_COMMIT, 0x1234), nullptr);
    EXPECT_EQ(process().regionCount(), 0u);
}

TEST_F(VirtualMemoryTest, ReleaseTakesTheRegionBaseAndSizeZero) {
    uint8_t* region = commit(0x20000);
    ASSERT_NE(region, nullptr);
    EXPECT_FALSE(ce::VirtualFree(region, 0x20000, ce::MEM_RELEASE));
    EXPECT_FALSE(ce::VirtualFree(region + kPage, 0, ce::MEM_RELEASE));
    EXPECT_FALSE(ce::VirtualFree(region, 0, 0));
    EXPECT_EQ(process().regionCount(), 1u);
    EXPECT_TRUE(ce::VirtualFree(region, 0, ce::MEM_RELEASE));
    EXPECT_EQ(process().regionCount(), 0u);
    EXPECT_EQ(ram().framesInUse(), 0u);
    EXPECT_FALSE(ce::VirtualFree(region, 0, ce::MEM_RELEASE));
}

TEST_F(VirtualMemoryTest, DecommitGivesFramesBackAndRecommitIsZeroed) {
    uint8_t* region = commit(0x10000);
    ASSERT_NE(region, nullptr);
    std::memset(region, 0x77, 0x10000);
    ASSERT_TRUE(ce::VirtualFree(region + 0x4000, 0x2000, ce::MEM_DECOMMIT));
    EXPECT_EQ(ram().framesInUse(), 14u);
    EXPECT_EQ(process().physicalAddress(region + 0x4000), sim::ProcessMemory::kNoAddress);
    EXPECT_EQ(process().physicalAddress(region + 0x6000) & 0xFFF, 0u);
    ASSERT_NE(ce::VirtualAlloc(region + 0x4000, 0x2000, ce::MEM_COMMIT, ce::PAGE_READWRITE), nullptr);
    EXPECT_EQ(region[0x4000], 0);
    EXPECT_EQ(region[0x5FFF], 0);
    EXPECT_EQ(region[0x6000], 0x77);
    ASSERT_TRUE(ce::VirtualFree(region, 0, ce::MEM_DECOMMIT));
    EXPECT_EQ(ram().framesInUse(), 0u);
    EXPECT_EQ(process().regionCount(), 1u);
}

TEST_F(VirtualMemoryTest, LockPagesReportsEveryFrameOfTheRange) {
    uint8_t* region = commit(0x10000);
    ASSERT_NE(region, nullptr);
    ce::DWORD frames[4] = {};
    ASSERT_TRUE(lock(region + 0x3000, 4 * kPage, frames));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(frames[i], process().physicalAddress(region + 0x3000 + i * kPage)) << i;
        EXPECT_EQ(process().lockCount(region + 0x3000 + i * kPage), 1);
    }
    EXPECT_EQ(process().lockCount(region), 0);
    ASSERT_TRUE(sim::UnlockPages(region + 0x3000, 4 * kPage));
    EXPECT_EQ(process().lockCount(region + 0x3000), 0);
    EXPECT_FALSE(lock(region + 0xF000, 2 * kPage, frames)); // runs past the region
}

TEST_F(VirtualMemoryTest, LockFailureKnobs) {
    uint8_t* region = commit(0x10000);
    ASSERT_NE(region, nullptr);
    ce::DWORD frame = 0;

    // The n-th page over all calls since the reset.
    device().memory.lock_fail_at = 2;
    EXPECT_TRUE(lock(region, kPage, &frame));
    EXPECT_TRUE(lock(region + kPage, kPage, &frame));
    EXPECT_FALSE(lock(region + 2 * kPage, kPage, &frame));
    EXPECT_TRUE(lock(region + 2 * kPage, kPage, &frame));
    device().memory.lock_fail_at.reset();

    // A chosen virtual page, also inside a larger range.
    device().memory.lock_fail_page = region + 5 * kPage + 12;
    ce::DWORD frames[8] = {};
    EXPECT_FALSE(lock(region + 4 * kPage, 2 * kPage, frames));
    EXPECT_EQ(process().lockCount(region + 4 * kPage), 0);
    EXPECT_TRUE(lock(region + 6 * kPage, kPage, &frame));
    device().memory.lock_fail_page = nullptr;

    device().memory.lock_fails = [&](const void* page, uint32_t) { return page == region + 9 * kPage; };
    EXPECT_FALSE(lock(region + 9 * kPage, kPage, &frame));
    EXPECT_TRUE(lock(region + 8 * kPage, kPage, &frame));
}

TEST_F(VirtualMemoryTest, LowBitsKnobAndUnlockKnob) {
    uint8_t* region = commit(0x10000);
    ASSERT_NE(region, nullptr);
    device().memory.frame_low_bits = 0x7FF;
    ce::DWORD frame = 0;
    ASSERT_TRUE(lock(region, kPage, &frame));
    EXPECT_EQ(frame, process().physicalAddress(region) | 0x7FF);
    device().memory.unlock_fails = true;
    EXPECT_FALSE(sim::UnlockPages(region, kPage));
    EXPECT_EQ(process().lockCount(region), 1);
}

TEST_F(VirtualMemoryTest, PhysicalCopyOfRamAliasesTheFrames) {
    uint32_t paddr = ram().base() + 0x200000;
    uint8_t* window = reserve(0x10000);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(ce::VirtualCopy(window, physical(paddr), 0x3000, ce::PAGE_READWRITE | ce::PAGE_PHYSICAL));
    window[0x2FFF] = 0x42;
    EXPECT_EQ(*ram().hostAddress(paddr + 0x2FFF), 0x42);
    EXPECT_EQ(process().physicalAddress(window + 0x1234), paddr + 0x1234);
    EXPECT_EQ(ram().framesInUse(), 0u); // a mapping owns no frame
    ce::DWORD frame = 0;
    ASSERT_TRUE(lock(window + kPage, kPage, &frame));
    EXPECT_EQ(frame, paddr + kPage);
    // A mapped page is neither committed nor mapped again.
    EXPECT_FALSE(ce::VirtualCopy(window, physical(paddr), kPage, ce::PAGE_READWRITE | ce::PAGE_PHYSICAL));
    EXPECT_EQ(ce::VirtualAlloc(window, kPage, ce::MEM_COMMIT, ce::PAGE_READWRITE), nullptr);
    EXPECT_TRUE(ce::VirtualFree(window, 0, ce::MEM_RELEASE));
    EXPECT_EQ(*ram().hostAddress(paddr + 0x2FFF), 0x42);
}

TEST_F(VirtualMemoryTest, PhysicalCopyOfACommittedPageSharesItsBytes) {
    uint8_t* region = commit(0x10000);
    uint8_t* window = reserve(0x10000);
    ASSERT_NE(region, nullptr);
    ASSERT_NE(window, nullptr);
    region[0x1234] = 7; // written before the page is seen anywhere else
    uint32_t frame = process().physicalAddress(region + 0x1000);
    ASSERT_TRUE(ce::VirtualCopy(window, physical(frame), kPage, ce::PAGE_READWRITE | ce::PAGE_PHYSICAL));
    EXPECT_EQ(window[0x234], 7);
    window[0x235] = 8;
    EXPECT_EQ(region[0x1235], 8);
    uint8_t seen = 0;
    ASSERT_TRUE(ram().read(frame + 0x235, &seen, 1));
    EXPECT_EQ(seen, 8);
    // The neighbouring pages keep their own bytes.
    region[0x2000] = 5;
    ASSERT_TRUE(ram().read(process().physicalAddress(region + 0x2000), &seen, 1));
    EXPECT_EQ(seen, 5);
}

TEST_F(VirtualMemoryTest, APageCommittedOnAFrameMappedElsewhereSharesItsBytes) {
    useProfile(*sim::findDeviceProfile(u"Compaq iPAQ H3100")); // 16 MB: new frames come from the upper 8 MB
    const uint32_t half = ram().size() / 2;
    uint8_t* window = reserve(half);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(
        ce::VirtualCopy(window, physical(ram().base() + half), half, ce::PAGE_READWRITE | ce::PAGE_PHYSICAL));
    std::memset(window, 0x55, half);

    uint8_t* region = commit(kPage);
    ASSERT_NE(region, nullptr);
    uint8_t* seen = window + (process().physicalAddress(region) - ram().base() - half);
    EXPECT_EQ(seen[100], 0); // committed pages start zeroed, as the window sees
    region[100] = 0x77;
    EXPECT_EQ(seen[100], 0x77);
    seen[101] = 0x66;
    EXPECT_EQ(region[101], 0x66);

    // Once the window is gone, new pages keep their bytes privately again.
    ASSERT_TRUE(ce::VirtualFree(window, 0, ce::MEM_RELEASE));
    uint8_t* later = commit(kPage);
    ASSERT_NE(later, nullptr);
    EXPECT_NE(ram().privateBytes(process().physicalAddress(later)), nullptr);
}

TEST_F(VirtualMemoryTest, VirtualSourceMapsTheSamePagesAgain) {
    uint8_t* region = commit(0x10000);
    uint8_t* window = reserve(0x10000);
    ASSERT_NE(region, nullptr);
    ASSERT_NE(window, nullptr);
    region[0x1008] = 3;
    ASSERT_TRUE(ce::VirtualCopy(window, region + 0x1000, 0x2000, ce::PAGE_READWRITE));
    EXPECT_EQ(window[0x8], 3);
    region[0x1010] = 9;
    EXPECT_EQ(window[0x10], 9);
    EXPECT_EQ(process().physicalAddress(window + 0x1000), process().physicalAddress(region + 0x2000));
    EXPECT_FALSE(ce::VirtualCopy(window + 0x4000, window + 0x8000, kPage, ce::PAGE_READWRITE));
}

TEST_F(VirtualMemoryTest, PhysicalCopyRefusals) {
    uint8_t* window = reserve(0x10000);
    ASSERT_NE(window, nullptr);
    const uint32_t rw = ce::PAGE_READWRITE | ce::PAGE_PHYSICAL;
    // Straddling the end of RAM.
    EXPECT_FALSE(ce::VirtualCopy(window, physical(ram().base() + ram().size() - kPage), 2 * kPage, rw));
    // Not a whole page.
    EXPECT_FALSE(ce::VirtualCopy(window, physical(ram().base() + 0x100), kPage, rw));
    // Destination outside a reservation or not page-aligned.
    EXPECT_FALSE(ce::VirtualCopy(window + 0xF000, physical(ram().base()), 2 * kPage, rw));
    EXPECT_FALSE(ce::VirtualCopy(window + 4, physical(ram().base()), kPage, rw));
    // A range marked absent.
    device().memory.absent_ranges.push_back({0x80050000, 0x10000});
    EXPECT_FALSE(ce::VirtualCopy(window, physical(0x80050000), kPage, rw));
    EXPECT_TRUE(ce::VirtualCopy(window, physical(0x80040000), kPage, rw));
}

TEST_F(VirtualMemoryTest, RegistersReachOnlyTheirOwnDevice) {
    auto uart = std::make_shared<RecordingDevice>();
    auto gpio = std::make_shared<RecordingDevice>();
    ram().attachDevice(0x40100000, 0x100, uart);
    ram().attachDevice(0x40E00000, 0x1000, gpio);
    gpio->registers32[0x6C] = 0x0000000F;
    uint8_t* window = reserve(0x10000);
    ASSERT_NE(window, nullptr);
    const uint32_t rw = ce::PAGE_READWRITE | ce::PAGE_PHYSICAL;
    ASSERT_TRUE(ce::VirtualCopy(window, physical(0x40100000), kPage, rw));
    ASSERT_TRUE(ce::VirtualCopy(window + kPage, physical(0x40E00000), kPage, rw));

    writeRegister8(window + 0x0C, 0x80);
    writeRegister32(window + kPage + 0x6C, readRegister32(window + kPage + 0x6C) | 0xF0);
    // Past the UART's 256 bytes nothing answers.
    EXPECT_EQ(readRegister8(window + 0x200), 0);

    EXPECT_EQ(uart->writes, (std::vector<RecordingDevice::Access>{{0x0C, 0x80, 8}}));
    EXPECT_EQ(gpio->writes, (std::vector<RecordingDevice::Access>{{0x6C, 0xFF, 32}}));
    EXPECT_EQ(gpio->reads, (std::vector<RecordingDevice::Access>{{0x6C, 0, 32}}));
    EXPECT_TRUE(uart->reads.empty());

    ram().detachDevice(0x40100000);
    writeRegister8(window + 0x0C, 0x03);
    EXPECT_EQ(uart->writes.size(), 1u);
}

TEST_F(VirtualMemoryTest, RegistersOutsideDeviceMappingsArePlainMemory) {
    uint8_t* region = commit(0x10000);
    ASSERT_NE(region, nullptr);
    writeRegister8(region + 3, 0xAB);
    writeRegister32(region + 8, 0x01020304);
    EXPECT_EQ(region[3], 0xAB);
    EXPECT_EQ(readRegister32(region + 8), 0x01020304u);
    EXPECT_EQ(readRegister8(region + 8), 0x04);
    alignas(4) uint8_t host[8] = {};
    writeRegister32(host + 4, 0xCAFEF00D);
    EXPECT_EQ(readRegister32(host + 4), 0xCAFEF00Du);
}

} // namespace
