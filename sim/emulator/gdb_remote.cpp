#include "sim/emulator/gdb_remote.h"

#include "sim/emulator/unix_socket.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace sim {

namespace {

// A stub that says nothing for this long is taken as gone.
constexpr int kAnswerMilliseconds = 3000;
constexpr char kInterrupt = 0x03;

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The sum of the payload's bytes, modulo 256.
unsigned packetChecksum(std::string_view payload) {
    unsigned sum = 0;
    for (char c : payload)
        sum += static_cast<unsigned char>(c);
    return sum & 0xFF;
}

// Exactly `count` bytes from twice as many hex digits; false for anything else.
bool hexBytes(std::string_view hex, uint8_t* out, size_t count) {
    if (hex.size() != 2 * count)
        return false;
    for (size_t i = 0; i < count; ++i) {
        int high = hexDigit(hex[2 * i]);
        int low = hexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        out[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

// Eight hex digits of target bytes in memory order, read as a little-endian word.
std::optional<uint32_t> littleEndianWord(std::string_view hex) {
    uint8_t bytes[4];
    if (!hexBytes(hex, bytes, 4))
        return std::nullopt;
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

// Undoes the protocol's run-length encoding: "x*n" is x repeated n - 29 more times.
std::string expandRuns(const std::string& payload) {
    std::string expanded;
    for (size_t i = 0; i < payload.size(); ++i) {
        if (payload[i] == '*' && !expanded.empty() && i + 1 < payload.size()) {
            int repeat = static_cast<unsigned char>(payload[++i]) - 29;
            if (repeat > 0)
                expanded.append(static_cast<size_t>(repeat), expanded.back());
        } else {
            expanded += payload[i];
        }
    }
    return expanded;
}

} // namespace

GdbRemote::~GdbRemote() {
    disconnect();
}

bool GdbRemote::connect(const std::filesystem::path& path) {
    disconnect();
    fd_ = connectUnixSocket(path);
    if (fd_ < 0)
        return false;
    // The stub has stopped the machine for the debugger: ask why, to know it listens.
    if (!sendPacket("?") || !receiveStop()) {
        disconnect();
        return false;
    }
    return true;
}

void GdbRemote::disconnect() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    pending_.clear();
}

bool GdbRemote::interrupt() {
    return sendBytes(&kInterrupt, 1) && receiveStop();
}

bool GdbRemote::resume() {
    // No answer until the processor stops again.
    return sendPacket("c");
}

std::optional<ArmState> GdbRemote::readRegisters() {
    // Without a target description QEMU answers "g" only: r0-r15, eight
    // 12-byte FPA registers, the FPA status and the CPSR.
    constexpr size_t kCpsrAt = 16 * 8 + 8 * 24 + 8;
    std::optional<std::string> answer = request("g");
    if (!answer || answer->size() < kCpsrAt + 8)
        return std::nullopt;
    ArmState registers;
    for (size_t i = 0; i < 16; ++i) {
        std::optional<uint32_t> value = littleEndianWord(std::string_view(*answer).substr(8 * i, 8));
        if (!value)
            return std::nullopt;
        registers.r[i] = *value;
    }
    std::optional<uint32_t> cpsr = littleEndianWord(std::string_view(*answer).substr(kCpsrAt, 8));
    if (!cpsr)
        return std::nullopt;
    registers.cpsr = *cpsr;
    return registers;
}

std::optional<uint32_t> GdbRemote::readWord(uint32_t address) {
    char payload[32];
    std::snprintf(payload, sizeof payload, "m%x,4", address);
    std::optional<std::string> answer = request(payload);
    return answer ? littleEndianWord(*answer) : std::nullopt;
}

bool GdbRemote::readMemory(uint32_t address, uint8_t* out, uint32_t size) {
    // QEMU's packets hold 4096 characters: two hex digits a byte, and room to spare.
    constexpr uint32_t kChunk = 1024;
    while (size > 0) {
        uint32_t count = std::min(size, kChunk);
        char payload[32];
        std::snprintf(payload, sizeof payload, "m%x,%x", address, count);
        std::optional<std::string> answer = request(payload);
        if (!answer || !hexBytes(*answer, out, count))
            return false;
        address += count;
        out += count;
        size -= count;
    }
    return true;
}

bool GdbRemote::insertBreakpoint(uint32_t address) {
    return setBreakpoint('Z', address);
}

bool GdbRemote::removeBreakpoint(uint32_t address) {
    return setBreakpoint('z', address);
}

// 'Z' inserts a software breakpoint on a 4-byte ARM instruction, 'z' removes it.
bool GdbRemote::setBreakpoint(char command, uint32_t address) {
    char payload[32];
    std::snprintf(payload, sizeof payload, "%c0,%x,4", command, address);
    std::optional<std::string> answer = request(payload);
    return answer && *answer == "OK";
}

bool GdbRemote::runToStop() {
    return sendPacket("c") && receiveStop();
}

std::optional<std::string> GdbRemote::request(std::string_view payload) {
    if (!sendPacket(payload))
        return std::nullopt;
    for (;;) {
        std::optional<std::string> answer = receivePacket();
        if (!answer || answer->empty() || (answer->front() != 'S' && answer->front() != 'T'))
            return answer;
    }
}

bool GdbRemote::sendPacket(std::string_view payload) {
    char tail[4];
    std::snprintf(tail, sizeof tail, "#%02x", packetChecksum(payload));
    std::string packet = "$" + std::string(payload) + tail;
    return sendBytes(packet.data(), packet.size());
}

bool GdbRemote::sendBytes(const char* bytes, size_t count) {
    if (fd_ < 0)
        return false;
    if (!sendAll(fd_, bytes, count)) {
        disconnect();
        return false;
    }
    return true;
}

size_t GdbRemote::receiveBytes(char* buffer, size_t count) {
    return receiveSome(fd_, buffer, count, kAnswerMilliseconds);
}

std::optional<std::string> GdbRemote::receivePacket() {
    for (;;) {
        size_t start = pending_.find('$');
        size_t end = start == std::string::npos ? std::string::npos : pending_.find('#', start);
        if (end != std::string::npos && end + 2 < pending_.size()) {
            std::string payload = pending_.substr(start + 1, end - start - 1);
            int high = hexDigit(pending_[end + 1]);
            int low = hexDigit(pending_[end + 2]);
            pending_.erase(0, end + 3);
            if (high < 0 || low < 0 || packetChecksum(payload) != static_cast<unsigned>(high << 4 | low) ||
                !sendBytes("+", 1)) {
                disconnect();
                return std::nullopt;
            }
            return expandRuns(payload);
        }
        char buffer[512];
        size_t count = fd_ >= 0 ? receiveBytes(buffer, sizeof buffer) : 0;
        if (count == 0) {
            disconnect();
            return std::nullopt;
        }
        pending_.append(buffer, count);
    }
}

bool GdbRemote::receiveStop() {
    for (;;) {
        std::optional<std::string> packet = receivePacket();
        if (!packet)
            return false;
        if (!packet->empty() && (packet->front() == 'S' || packet->front() == 'T'))
            return true;
        // "W"/"X": the program ended; the machine is gone.
        if (!packet->empty() && (packet->front() == 'W' || packet->front() == 'X')) {
            disconnect();
            return false;
        }
    }
}

} // namespace sim
