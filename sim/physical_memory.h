// Simulated physical memory: each profile's RAM as frames, process regions
// backed by frames handed out as Windows CE does (scattered, by default in
// the upper half of RAM), and device register ranges reached by VirtualCopy.
#pragma once

#include "platform/wince_types.h"

namespace sim {

// The coredll exports LockPages / UnlockPages.
ce::BOOL LockPages(ce::LPVOID address, ce::DWORD size, ce::DWORD* frames, int options);
ce::BOOL UnlockPages(ce::LPVOID address, ce::DWORD size);

} // namespace sim
