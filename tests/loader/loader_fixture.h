// A simulated handheld with a LockPages memory manager and a recording
// console, as the boot context gives them to a Loader.
#pragma once

#include "loader/loader.h"
#include "memory/memory_manager_lock_pages.h"
#include "sim/device_profile.h"
#include "sim/physical_memory.h"
#include "support/recording_console.h"
#include "support/simulated_device.h"

#include <cstring>
#include <string>
#include <vector>

class LoaderFixture : public SimulatedDevice {
  protected:
    static constexpr uint32_t kPageSize = 4096;

    void SetUp() override {
        SimulatedDevice::SetUp();
        makeMemoryManager();
    }
    void TearDown() override {
        delete memory;
        memory = nullptr;
        SimulatedDevice::TearDown();
    }

    // Switches the device (and its RAM) to the profile; the memory manager is made anew.
    void useDevice(const char16_t* name) {
        const sim::DeviceProfile* profile = sim::findDeviceProfile(name);
        ASSERT_NE(profile, nullptr);
        delete memory;
        useProfile(*profile);
        makeMemoryManager();
    }

    // Reserves pages for `need` bytes as the Architecture's allocateMemory does.
    bool reserveFor(uint32_t need) {
        return memory->reservePages(
            MemoryManager::roundRegion(memory->estimateTaggedPageSize(need) + 4 * memory->getPageSize()));
    }

    static PageLink readLink(uint32_t paddr) {
        PageLink link{};
        EXPECT_TRUE(sim::PhysicalMemory::get().read(paddr, &link, sizeof link)) << std::hex << paddr;
        return link;
    }
    static std::string readPhysical(uint32_t paddr, uint32_t size) {
        std::string bytes(size, '\0');
        EXPECT_TRUE(sim::PhysicalMemory::get().read(paddr, bytes.data(), size)) << std::hex << paddr;
        return bytes;
    }

    struct ChainEntry {
        uint32_t at; // physical address of the record
        PageLink link;
    };
    // The links from `head` up to and including the terminated one.
    static std::vector<ChainEntry> chain(uint32_t head) {
        std::vector<ChainEntry> links;
        for (uint32_t at = head; at != PageLink::kEnd && links.size() < 100000;) {
            PageLink link = readLink(at);
            links.push_back({at, link});
            at = link.next;
        }
        return links;
    }

    RecordingConsole console;
    Console* console_slot = &console;
    MemoryManager* memory = nullptr;

  private:
    void makeMemoryManager() {
        memory = new MemoryManagerLockPages(sim::LockPages, sim::UnlockPages, &console_slot, kPageSize, 0);
    }
};

constexpr const char16_t* kSaDevice = u"Compaq iPAQ H3600";  // SA-1110, 32 MB at 0xC0000000
constexpr const char16_t* kPxaDevice = u"Compaq iPAQ H3900"; // PXA250, 64 MB at 0xA0000000
