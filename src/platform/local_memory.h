// Blocks of the process heap (LocalAlloc) owned like unique_ptr: the loader's
// large buffers live here, where the device charges them to program memory.
#pragma once

#include "platform/wince.h"

#include <cstddef>
#include <cstdint>
#include <memory>

struct LocalFreeDeleter {
    void operator()(void* block) const { ce::LocalFree(block); }
};

template <typename T>
using LocalArray = std::unique_ptr<T[], LocalFreeDeleter>;

// `count` elements of T, or null when the heap refuses them (or the size passes 32 bits).
template <typename T>
LocalArray<T> localArray(size_t count, bool zeroed = false) {
    if (count > UINT32_MAX / sizeof(T))
        return nullptr;
    void* block =
        ce::LocalAlloc(zeroed ? ce::LMEM_ZEROINIT : ce::LMEM_FIXED, static_cast<ce::UINT>(count * sizeof(T)));
    return LocalArray<T>(static_cast<T*>(block));
}
