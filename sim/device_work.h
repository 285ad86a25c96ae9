// While the simulated handheld serves one of the program's calls, what it
// allocates for itself (read-ahead buffers, page records, message-box
// records) is the device's own memory, not the program's: a benchmark that
// counts the program's C++ allocations leaves it out.
#pragma once

namespace sim {

class DeviceWork {
  public:
    DeviceWork() { ++depth_; }
    ~DeviceWork() { --depth_; }
    DeviceWork(const DeviceWork&) = delete;
    DeviceWork& operator=(const DeviceWork&) = delete;

    // Whether a call the device serves is under way. The program makes its
    // calls on one thread, as on the device.
    static bool active() { return depth_ > 0; }

  private:
    static inline int depth_ = 0;
};

} // namespace sim
