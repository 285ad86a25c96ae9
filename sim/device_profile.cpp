#include "sim/device_profile.h"

namespace sim {

namespace {

constexpr uint32_t kMB = 1024 * 1024;
constexpr uint32_t kSdramBase = 0xA0000000; // PXA2x0 SDRAM bank 0
constexpr uint32_t kDramBase = 0xC0000000;  // SA-11x0 DRAM bank 0
constexpr uint32_t kSdramStride = 0x04000000;
constexpr uint32_t kDramStride = 0x08000000;

// clang-format off
const std::vector<DeviceProfile> kProfiles = {
    {u"Sharp W-ZERO3 (WS003SH)",              0x0C208000, 0x01040100, Processor::PXA270, kSdramBase, 64 * kMB, 1,  480, 640, 16, 192, 932,  5, 1, 1700},
    {u"Sharp W-ZERO3 (WS004SH)",              0x0C208000, 0x01040200, Processor::PXA270, kSdramBase, 64 * kMB, 1,  480, 640, 16, 192, 932,  5, 1, 1700},
    {u"Sharp W-ZERO3[es] (WS007SH)",          0x0C208000, 0x01040300, Processor::PXA270, kSdramBase, 64 * kMB, 1,  480, 640, 16, 192, 932,  5, 1, 1700},
    {u"Sharp Advanced/W-ZERO3[es] (WS011SH)", 0x0C208000, 0x01040400, Processor::PXA270, kSdramBase, 128 * kMB, 2, 480, 800, 16, 192, 932,  5, 2, 1235},
    {u"Sharp WILLCOM 03 (WS020SH)",           0x0C208000, 0x01040500, Processor::PXA270, kSdramBase, 128 * kMB, 2, 480, 800, 16, 192, 932,  5, 2, 1235},
    {u"Compaq iPAQ H3100",                    0x0C108000, 0x01C40101, Processor::SA1110, kDramBase,  16 * kMB, 1,  240, 320, 4,  96,  1252, 3, 0, 126},
    {u"Compaq iPAQ H3600",                    0x0C108000, 0x01C40201, Processor::SA1110, kDramBase,  32 * kMB, 1,  240, 320, 16, 96,  1252, 3, 0, 126},
    {u"Compaq iPAQ H3660",                    0x0C108000, 0x01C40202, Processor::SA1110, kDramBase,  64 * kMB, 2,  240, 320, 16, 96,  1252, 3, 0, 126},
    {u"Compaq iPAQ H3900",                    0x0C204000, 0x01C40301, Processor::PXA250, kSdramBase, 64 * kMB, 1,  240, 320, 16, 96,  1252, 3, 0, 11171},
    {u"HP Jornada 720 (US/UK)",               0x0C108000, 0x02C20201, Processor::SA1110, kDramBase,  32 * kMB, 1,  640, 240, 16, 96,  1252, 3, 0, 9348},
    {u"HP Jornada 720 (Japanese)",            0x0C108000, 0x02C20202, Processor::SA1110, kDramBase,  32 * kMB, 1,  640, 240, 16, 96,  932,  3, 0, 9348},
    {u"HP Jornada 720 (European)",            0x0C108000, 0x02C20203, Processor::SA1110, kDramBase,  32 * kMB, 1,  640, 240, 16, 96,  1252, 3, 0, 9348},
    {u"HP Jornada 720 (German)",              0x0C108000, 0x02C20204, Processor::SA1110, kDramBase,  32 * kMB, 1,  640, 240, 16, 96,  1252, 3, 0, 9348},
    {u"HP Jornada 720 (French)",              0x0C108000, 0x02C20205, Processor::SA1110, kDramBase,  32 * kMB, 1,  640, 240, 16, 96,  1252, 3, 0, 9348},
    {u"HP Jornada 720 (Scandinavian)",        0x0C108000, 0x02C20206, Processor::SA1110, kDramBase,  32 * kMB, 1,  640, 240, 16, 96,  1252, 3, 0, 9348},
    {u"HP Jornada 720 (Spanish)",             0x0C108000, 0x02C20207, Processor::SA1110, kDramBase,  32 * kMB, 1,  640, 240, 16, 96,  1252, 3, 0, 9348},
    {u"HP Jornada 820",                       0x0C104000, 0x02C20301, Processor::SA1100, kDramBase,  16 * kMB, 1,  640, 480, 8,  96,  1252, 2, 11, 1},
    {u"HP Jornada 820 (Japanese)",            0x0C104000, 0x02C20302, Processor::SA1100, kDramBase,  16 * kMB, 1,  640, 480, 8,  96,  932,  2, 11, 1},
};
// clang-format on

} // namespace

const std::vector<DeviceProfile>& deviceProfiles() {
    return kProfiles;
}

std::vector<RamBank> ramBanks(const DeviceProfile& profile) {
    uint32_t stride = isXScale(profile.processor) ? kSdramStride : kDramStride;
    uint32_t size = profile.ram_size / profile.ram_banks;
    std::vector<RamBank> banks;
    for (uint32_t i = 0; i < profile.ram_banks; ++i)
        banks.push_back({profile.ram_base + i * stride, size});
    return banks;
}

RamBank ramWindow(const DeviceProfile& profile) {
    RamBank last = ramBanks(profile).back();
    return {profile.ram_base, last.base + last.size - profile.ram_base};
}

const DeviceProfile* findDeviceProfile(std::u16string_view name) {
    for (const DeviceProfile& profile : kProfiles) {
        if (name == profile.name)
            return &profile;
    }
    return nullptr;
}

const DeviceProfile* findDeviceProfile(uint32_t cpu, uint32_t machine) {
    for (const DeviceProfile& profile : kProfiles) {
        if (profile.cpu == cpu && profile.machine == machine)
            return &profile;
    }
    return nullptr;
}

const DeviceProfile& defaultDeviceProfile() {
    // The machine the Main page preselects on a first run: the first selectable row.
    return kProfiles.front();
}

const char* processorName(Processor processor) {
    switch (processor) {
    case Processor::SA1100:
        return "SA-1100";
    case Processor::SA1110:
        return "SA-1110";
    case Processor::PXA250:
        return "PXA250";
    case Processor::PXA270:
        return "PXA270";
    }
    return "?";
}

bool isXScale(Processor processor) {
    return processor == Processor::PXA250 || processor == Processor::PXA270;
}

} // namespace sim
