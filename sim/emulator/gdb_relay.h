// Lets a debugger reach QEMU's gdb stub over TCP on the loopback: zandrel-sim
// keeps the stub on a Unix socket of its own (to run to the kernel's entry and
// to watch for a halt), and passes a debugger's bytes on to it as they are,
// one debugger at a time, on a thread of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

namespace sim {

class GdbRelay {
  public:
    GdbRelay() = default;
    ~GdbRelay();
    GdbRelay(const GdbRelay&) = delete;
    GdbRelay& operator=(const GdbRelay&) = delete;

    // Listens on 127.0.0.1:`port` (0: any free port) for debuggers of the
    // stub at `stub`; false, with `error`, when the port can't be had.
    bool start(uint16_t port, const std::filesystem::path& stub, std::string& error);
    uint16_t port() const { return port_; }

    // A debugger is connected.
    bool attached() const { return attached_; }
    // Debuggers that have come and gone.
    int sessionsEnded() const { return sessions_ended_; }

  private:
    void serve();
    // Passes bytes both ways until either side closes.
    void relay(int debugger, int stub);

    int listener_ = -1;
    int wake_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::filesystem::path stub_;
    std::atomic<bool> attached_{false};
    std::atomic<int> sessions_ended_{0};
    std::thread thread_;
};

} // namespace sim
