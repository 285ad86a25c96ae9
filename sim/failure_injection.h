// Failure injection: the simulated handheld makes its Nth fallible call fail,
// as a device short of memory, with a bad card or a dropped connection would.
// The calls that can fail this way are counted in one counter (and per kind);
// a test walks N = 1, 2, ... over a boot to meet every failure point once.
#pragma once

#include "platform/wince_types.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace sim {

enum class FallibleCall {
    VirtualAlloc,
    LockPages,
    VirtualCopy,
    FileRead,      // ReadFile
    DiskRead,      // DeviceIoControl DISK_IOCTL_READ
    SocketReceive, // recv
    CreateFile,    // CreateFileW, files and devices
    LocalAlloc,    // a heap block: LocalAlloc, HeapAlloc
};
constexpr size_t kFallibleCallKinds = 8;

// "VirtualAlloc", "LockPages", ..., as the command line and reports name them.
const char* fallibleCallName(FallibleCall kind);
std::optional<FallibleCall> fallibleCallNamed(const char* name);
// The error code a failed call of this kind leaves behind.
ce::DWORD injectedError(FallibleCall kind);

class FailureInjection {
  public:
    // Counts from 0 again; the `n`th call from now (1 for the next) fails, or
    // with `kind` the `n`th call of that kind. n = 0 fails nothing.
    void arm(uint64_t n, std::optional<FallibleCall> kind = std::nullopt);
    void disarm() { arm(0); }

    // Counts a call about to be made; true when it is the one to fail.
    bool failNow(FallibleCall kind);

    // Calls counted since `arm`, of all kinds or of one.
    uint64_t calls() const { return calls_; }
    uint64_t calls(FallibleCall kind) const { return calls_by_kind_[static_cast<size_t>(kind)]; }
    // The kind of the call that was made to fail, once it has failed.
    std::optional<FallibleCall> failed() const { return failed_; }

  private:
    uint64_t fail_at_ = 0;
    std::optional<FallibleCall> only_;
    uint64_t calls_ = 0;
    std::array<uint64_t, kFallibleCallKinds> calls_by_kind_{};
    std::optional<FallibleCall> failed_;
};

// For the calls of the simulated handheld: counts the call on the current
// device; when it is the one to fail, sets the device's last error and
// answers true.
bool injectFailure(FallibleCall kind);

} // namespace sim
