// Faults a large committed range in on a thread of its own, the way the
// device's kernel has free pages zeroed while nothing else runs: a loader
// that fills the range right after committing it finds its pages ready
// instead of waiting for each one to be zeroed on first touch.
#pragma once

#include <cstddef>
#include <thread>

namespace sim {

class Prefault {
  public:
    Prefault() = default;
    ~Prefault() { finish(); }

    // Starts faulting [address, address + size) in, writable, after the
    // previous range is done. The range must stay mapped until finish().
    void start(void* address, size_t size);
    // Waits until the range started last is done.
    void finish();

    Prefault(const Prefault&) = delete;
    Prefault& operator=(const Prefault&) = delete;

  private:
    std::thread worker_;
};

} // namespace sim
