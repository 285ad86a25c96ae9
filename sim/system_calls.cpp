// Time zone, version, clock and debugger calls of the simulated handheld.
#include "platform/wide_string.h"
#include "platform/wince.h"
#include "sim/handheld.h"
#include "sim/physical_memory.h"

#include <chrono>

namespace ce {

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* zone) {
    const sim::Handheld& device = sim::Handheld::get();
    *zone = TIME_ZONE_INFORMATION{};
    zone->Bias = device.timezone_bias;
    zone->DaylightBias = device.daylight_bias;
    wideCopy(zone->StandardName, 32, u"Standard Time");
    wideCopy(zone->DaylightName, 32, u"Daylight Time");
    return device.daylight_in_effect ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

BOOL GetVersionExW(OSVERSIONINFOW* info) {
    const sim::DeviceProfile& profile = sim::Handheld::get().profile();
    DWORD size = info->dwOSVersionInfoSize;
    *info = OSVERSIONINFOW{};
    info->dwOSVersionInfoSize = size;
    info->dwMajorVersion = profile.ce_major;
    info->dwMinorVersion = profile.ce_minor;
    info->dwBuildNumber = profile.ce_build;
    info->dwPlatformId = VER_PLATFORM_WIN32_CE;
    return TRUE;
}

void GetSystemInfo(SYSTEM_INFO* info) {
    const sim::DeviceProfile& profile = sim::Handheld::get().profile();
    *info = SYSTEM_INFO{};
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM;
    info->dwPageSize = 4096;
    info->dwActiveProcessorMask = 1;
    info->dwNumberOfProcessors = 1;
    info->dwProcessorType = PROCESSOR_STRONGARM;
    info->dwAllocationGranularity = 0x10000;
    info->wProcessorLevel = 4;
    info->wProcessorRevision = sim::isXScale(profile.processor) ? 0x0501 : 0x0108;
}

void GlobalMemoryStatus(MEMORYSTATUS* status) {
    // Program memory only: the kernel's part and the object store are not counted.
    const sim::PhysicalMemory& ram = sim::PhysicalMemory::get();
    *status = MEMORYSTATUS{};
    status->dwLength = sizeof *status;
    status->dwTotalPhys = ram.programFrames() * sim::PhysicalMemory::kFrameSize;
    status->dwAvailPhys = ram.freeFrames() * sim::PhysicalMemory::kFrameSize;
    status->dwMemoryLoad =
        status->dwTotalPhys == 0 ? 0 : 100 - status->dwAvailPhys * 100ull / status->dwTotalPhys;
    status->dwTotalVirtual = 0x02000000; // a process's 32 MB slot
    status->dwAvailVirtual = status->dwTotalVirtual;
}

DWORD GetTickCount() {
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void OutputDebugStringW(const WCHAR* text) {
    sim::Handheld& device = sim::Handheld::get();
    device.debug_log += text;
    if (device.debug_output)
        device.debug_output(text);
}

} // namespace ce
