#include "file/ufs/open_file_record.h"

#include "platform/wince.h"

// The driver's state and the reader's buffers are the loader's heap like any
// other: the device charges them to program memory.
void* ufsAllocate(size_t size) {
    if (size > UINT32_MAX)
        return nullptr;
    return ce::LocalAlloc(ce::LMEM_FIXED, static_cast<ce::UINT>(size));
}

void ufsRelease(void* pointer, size_t) {
    ce::LocalFree(pointer);
}
