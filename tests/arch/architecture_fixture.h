// A simulated handheld with the boot context's two slots: a recording console
// and a LockPages memory manager over the device's frames, and a processor
// just as Windows CE runs the program.
#pragma once

#include "memory/memory_manager_lock_pages.h"
#include "sim/cpu.h"
#include "sim/physical_memory.h"
#include "support/recording_console.h"
#include "support/simulated_device.h"

#include <memory>
#include <vector>

class ArchitectureFixture : public SimulatedDevice {
  protected:
    static constexpr uint32_t kPage = 4096;

    void SetUp() override {
        SimulatedDevice::SetUp();
        sim::Cpu::get().reset();
        manager = std::make_unique<MemoryManagerLockPages>(&sim::LockPages, &sim::UnlockPages, &console_slot,
                                                           kPage, 0);
        memory_slot = manager.get();
        console.output.clear();
    }
    void TearDown() override {
        memory_slot = nullptr;
        manager.reset();
        sim::Cpu::get().reset();
        SimulatedDevice::TearDown();
    }
    sim::Cpu& cpu() { return sim::Cpu::get(); }
    // The bytes at a physical address, read from the device's RAM.
    std::vector<uint8_t> physical(uint32_t paddr, uint32_t size) {
        std::vector<uint8_t> bytes(size);
        EXPECT_TRUE(sim::PhysicalMemory::get().read(paddr, bytes.data(), size));
        return bytes;
    }

    RecordingConsole console;
    Console* console_slot = &console;
    std::unique_ptr<MemoryManagerLockPages> manager;
    MemoryManager* memory_slot = nullptr;
};
