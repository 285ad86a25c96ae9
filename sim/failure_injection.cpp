#include "sim/failure_injection.h"

#include "platform/wince_sockets.h"
#include "sim/handheld.h"

#include <cstring>

namespace sim {

namespace {

struct KindFacts {
    const char* name;
    ce::DWORD error;
};

constexpr std::array<KindFacts, kFallibleCallKinds> kKinds = {{
    {"VirtualAlloc", ce::ERROR_NOT_ENOUGH_MEMORY},
    {"LockPages", ce::ERROR_INVALID_PARAMETER},
    {"VirtualCopy", ce::ERROR_INVALID_PARAMETER},
    {"ReadFile", ce::ERROR_READ_FAULT},
    {"DiskRead", ce::ERROR_READ_FAULT},
    {"recv", static_cast<ce::DWORD>(ce::WSAECONNRESET)},
    {"CreateFile", ce::ERROR_ACCESS_DENIED},
    {"LocalAlloc", ce::ERROR_NOT_ENOUGH_MEMORY},
}};

} // namespace

const char* fallibleCallName(FallibleCall kind) {
    return kKinds[static_cast<size_t>(kind)].name;
}

std::optional<FallibleCall> fallibleCallNamed(const char* name) {
    for (size_t i = 0; i < kKinds.size(); ++i) {
        if (std::strcmp(kKinds[i].name, name) == 0)
            return static_cast<FallibleCall>(i);
    }
    return std::nullopt;
}

ce::DWORD injectedError(FallibleCall kind) {
    return kKinds[static_cast<size_t>(kind)].error;
}

void FailureInjection::arm(uint64_t n, std::optional<FallibleCall> kind) {
    *this = FailureInjection();
    fail_at_ = n;
    only_ = kind;
}

bool FailureInjection::failNow(FallibleCall kind) {
    uint64_t counted = ++calls_by_kind_[static_cast<size_t>(kind)];
    ++calls_;
    if (fail_at_ == 0 || failed_ || (only_ && *only_ != kind))
        return false;
    if ((only_ ? counted : calls_) != fail_at_)
        return false;
    failed_ = kind;
    return true;
}

bool injectFailure(FallibleCall kind) {
    Handheld& device = Handheld::get();
    if (!device.failures.failNow(kind))
        return false;
    device.last_error = injectedError(kind);
    return true;
}

} // namespace sim
