// What the handheld's serial line receives from the host after the jump: the
// bytes the user types or pipes in. The UARTs take them one at a time as the
// kernel reads its receive register, so nothing is lost however slowly the
// kernel reads; after the end of the input nothing more comes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string_view>

namespace sim {

class SerialInput {
  public:
    // Bytes that have come and are not taken yet; `limit` caps the count.
    // Cheap enough to ask before every block the processor runs (no lock).
    size_t available(size_t limit = SIZE_MAX);
    std::optional<uint8_t> take();
    // Waits until a byte comes, the user quits, or `timeout` passes (after the
    // end of the input, the whole timeout).
    void wait(std::chrono::milliseconds timeout);

    // The host's side.
    void push(std::string_view bytes);
    // No more bytes will come.
    void end();
    bool ended();
    // The user asked to end the run (Ctrl-A X on a terminal).
    void requestQuit();
    // Set once the user quit; the emulators look at it while the kernel runs.
    const std::atomic<bool>& quitRequested() const { return quit_; }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<uint8_t> bytes_;
    // bytes_.size(), written under the lock.
    std::atomic<size_t> count_{0};
    bool ended_ = false;
    std::atomic<bool> quit_{false};
};

} // namespace sim
