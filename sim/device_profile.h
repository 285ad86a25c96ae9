// The selectable machines as the simulated handheld knows them: processor,
// the RAM the model really has and its banks, display, code page and OS version.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace sim {

enum class Processor { SA1100, SA1110, PXA250, PXA270 };

struct DeviceProfile {
    const char16_t* name; // exactly as in the platform table
    uint32_t cpu;         // PlatformId words
    uint32_t machine;
    Processor processor;
    uint32_t ram_base;  // the first RAM bank, where the device's RAM really is
    uint32_t ram_size;  // all of the RAM
    uint32_t ram_banks; // equal banks, one per DRAM bank (SDRAM partition) from ram_base on
    int screen_width;
    int screen_height;
    int bits_per_pixel;
    int pixels_per_inch;
    unsigned code_page; // the system's 8-bit code page
    uint32_t ce_major;
    uint32_t ce_minor;
    uint32_t ce_build;
};

// One bank of RAM, or a physical window.
struct RamBank {
    uint32_t base;
    uint32_t size;
};

const std::vector<DeviceProfile>& deviceProfiles();
// The profile's RAM banks, lowest first: SA-11x0 DRAM banks lie 128 MB
// apart, PXA2x0 SDRAM partitions 64 MB apart.
std::vector<RamBank> ramBanks(const DeviceProfile& profile);
// From the first bank's start to the last bank's end, gaps included.
RamBank ramWindow(const DeviceProfile& profile);
// Null when no profile has that name.
const DeviceProfile* findDeviceProfile(std::u16string_view name);
// The machine of a PlatformId; null when no profile has it.
const DeviceProfile* findDeviceProfile(uint32_t cpu, uint32_t machine);
// The machine a new device is, with no configuration at all.
const DeviceProfile& defaultDeviceProfile();
const char* processorName(Processor processor);
bool isXScale(Processor processor);

} // namespace sim
