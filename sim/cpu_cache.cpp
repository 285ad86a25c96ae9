// CleanDCache of the simulated processor: the same loads as the ARM routine,
// counted. Kept apart from cpu.cpp because it reads the system's flush area.
#include "arch/arm/cpu_routines.h"
#include "sim/cpu.h"

extern "C" void CleanDCache() {
    sim::Cpu& cpu = sim::Cpu::get();
    uint32_t size = dcache_size < kDCacheFlushAreaSize ? dcache_size : kDCacheFlushAreaSize;
    const volatile uint8_t* area = dcache_flush_area;
    for (uint32_t offset = 0; offset < size; offset += kDCacheLineSize) {
        uint32_t word = 0;
        for (uint32_t i = 0; i < 4; ++i)
            word |= static_cast<uint32_t>(area[offset + i]) << (8 * i);
        static_cast<void>(word);
        ++cpu.dcache_lines_read;
    }
    ++cpu.dcache_cleans;
    if (cpu.on_clean_dcache)
        cpu.on_clean_dcache();
}
