#include "sim/serial_input.h"

#include <algorithm>

namespace sim {

size_t SerialInput::available(size_t limit) {
    return std::min(count_.load(std::memory_order_acquire), limit);
}

std::optional<uint8_t> SerialInput::take() {
    std::lock_guard lock(mutex_);
    if (bytes_.empty())
        return std::nullopt;
    uint8_t byte = bytes_.front();
    bytes_.pop_front();
    count_.store(bytes_.size(), std::memory_order_release);
    changed_.notify_all();
    return byte;
}

void SerialInput::wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return !bytes_.empty() || quit_.load(); });
}

void SerialInput::push(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    count_.store(bytes_.size(), std::memory_order_release);
    changed_.notify_all();
}

void SerialInput::end() {
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

bool SerialInput::ended() {
    std::lock_guard lock(mutex_);
    return ended_;
}

void SerialInput::requestQuit() {
    std::lock_guard lock(mutex_);
    quit_ = true;
    changed_.notify_all();
}

} // namespace sim
