#include "sim/prefault.h"

#include <sys/mman.h>

namespace sim {

void Prefault::start(void* address, size_t size) {
    finish();
    // A host without MADV_POPULATE_WRITE refuses it: the pages then fault in
    // on first touch, as they would anyway.
    worker_ = std::thread([address, size] { madvise(address, size, MADV_POPULATE_WRITE); });
}

void Prefault::finish() {
    if (worker_.joinable())
        worker_.join();
}

} // namespace sim
