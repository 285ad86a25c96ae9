#include "file/ufs/open_file_record.h"

#include <cstdlib>

void* ufsAllocate(size_t size) {
    return std::malloc(size);
}

void ufsRelease(void* pointer, size_t) {
    std::free(pointer);
}
