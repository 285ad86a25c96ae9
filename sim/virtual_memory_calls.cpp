// The Windows CE virtual-memory calls and the page-locking exports of coredll.
#include "platform/wince.h"
#include "sim/device_work.h"
#include "sim/failure_injection.h"
#include "sim/handheld.h"
#include "sim/physical_memory.h"
#include "sim/process_memory.h"

namespace {

void setError(bool ok, ce::DWORD error) {
    if (!ok)
        sim::Handheld::get().last_error = error;
}

} // namespace

namespace ce {

LPVOID VirtualAlloc(LPVOID address, DWORD size, DWORD type, DWORD protection) {
    sim::DeviceWork device_work;
    if (sim::injectFailure(sim::FallibleCall::VirtualAlloc))
        return nullptr;
    DWORD error = 0;
    void* region = sim::ProcessMemory::get().allocate(address, size, type, protection, &error);
    setError(region != nullptr, error);
    return region;
}

BOOL VirtualFree(LPVOID address, DWORD size, DWORD type) {
    sim::DeviceWork device_work;
    DWORD error = 0;
    bool ok = sim::ProcessMemory::get().free(address, size, type, &error);
    setError(ok, error);
    return ok;
}

BOOL VirtualCopy(LPVOID destination, LPVOID source, DWORD size, DWORD protection) {
    sim::DeviceWork device_work;
    if (sim::injectFailure(sim::FallibleCall::VirtualCopy))
        return FALSE;
    DWORD error = 0;
    bool ok = sim::ProcessMemory::get().copy(destination, source, size, protection, &error);
    setError(ok, error);
    return ok;
}

} // namespace ce

namespace sim {

ce::BOOL LockPages(ce::LPVOID address, ce::DWORD size, ce::DWORD* frames, int /*options*/) {
    sim::DeviceWork device_work;
    if (injectFailure(FallibleCall::LockPages))
        return ce::FALSE;
    ce::DWORD error = 0;
    bool ok = ProcessMemory::get().lockPages(address, size, frames, &error);
    setError(ok, error);
    return ok;
}

ce::BOOL UnlockPages(ce::LPVOID address, ce::DWORD size) {
    sim::DeviceWork device_work;
    ce::DWORD error = 0;
    bool ok = ProcessMemory::get().unlockPages(address, size, &error);
    setError(ok, error);
    return ok;
}

} // namespace sim
