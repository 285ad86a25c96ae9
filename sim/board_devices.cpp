#include "sim/board_devices.h"

#include "sim/handheld.h"
#include "sim/interrupt_controller.h"
#include "sim/lcd.h"
#include "sim/sa11x0_dram.h"

#include <memory>

namespace sim {

namespace {

// Empty looks in a row after which each look waits for the host line, and how long.
constexpr int kPollsBeforeWaiting = 64;
constexpr std::chrono::milliseconds kPollWait{5};

} // namespace

void SerialDevice::send(uint8_t byte) {
    empty_polls_ = 0;
    transmitted_ += static_cast<char>(byte);
    Handheld& device = Handheld::get();
    if (on_host_line_ && device.serial_output) {
        char c = static_cast<char>(byte);
        device.serial_output(&c, 1);
    }
}

bool SerialDevice::busyRead() {
    ++status_reads;
    if (busy_status_reads <= 0)
        return false;
    --busy_status_reads;
    return true;
}

SerialInput* SerialDevice::hostInput() const {
    return on_host_line_ ? Handheld::get().serial_input : nullptr;
}

size_t SerialDevice::receiveFifo(size_t fifo_size) {
    SerialInput* input = hostInput();
    return input != nullptr ? input->available(fifo_size) : 0;
}

uint8_t SerialDevice::receive() {
    SerialInput* input = hostInput();
    std::optional<uint8_t> byte = input != nullptr ? input->take() : std::nullopt;
    if (byte)
        empty_polls_ = 0;
    return byte.value_or(0);
}

bool SerialDevice::receiverReady() {
    SerialInput* input = hostInput();
    if (input == nullptr)
        return false;
    if (input->available(1) != 0) {
        empty_polls_ = 0;
        return true;
    }
    if (++empty_polls_ < kPollsBeforeWaiting)
        return false;
    input->wait(kPollWait);
    return input->available(1) != 0;
}

size_t Sa1100SerialPort::receivedBytes() {
    return (control_[3] & kUtcr3ReceiveEnable) != 0 ? receiveFifo(kReceiveFifo) : 0;
}

bool Sa1100SerialPort::receiveInterruptEnabled() {
    return (control_[3] & kUtcr3ReceiveInterrupt) != 0;
}

uint32_t Sa1100SerialPort::read32(uint32_t offset) {
    switch (offset) {
    case 0x00:
    case 0x04:
    case 0x08:
    case kUtcr3:
        return control_[offset / 4];
    case kUtdr:
        return receivedBytes() != 0 ? receive() : 0;
    case kUtsr0: {
        // The transmit FIFO always has room.
        uint32_t status = kUtsr0TransmitService;
        if ((control_[3] & kUtcr3ReceiveEnable) != 0 && receiverReady() && receivedBytes() >= 4)
            status |= kUtsr0ReceiveService;
        return status | (receiverIdle() ? kUtsr0ReceiverIdle : 0);
    }
    case kUtsr1: {
        uint32_t status = busyRead() ? kUtsr1Busy : kUtsr1NotFull;
        if ((control_[3] & kUtcr3ReceiveEnable) != 0 && receiverReady())
            status |= kUtsr1ReceiveNotEmpty;
        return status;
    }
    default:
        return 0;
    }
}

bool Sa1100SerialPort::receiverIdle() {
    if (receivedBytes() != 0)
        receiver_idle_ = true;
    return receiver_idle_;
}

bool Sa1100SerialPort::interruptPending() {
    return receiveInterruptEnabled() && (receiverIdle() || receivedBytes() >= 4);
}

void Sa1100SerialPort::write32(uint32_t offset, uint32_t value) {
    writes_.push_back({offset, value});
    if (offset == kUtsr0 && (value & kUtsr0ReceiverIdle) != 0)
        receiver_idle_ = false;
    if (offset <= kUtcr3)
        control_[offset / 4] = value;
    else if (offset == kUtdr && (control_[3] & kUtcr3TransmitEnable) != 0)
        send(static_cast<uint8_t>(value));
}

size_t Pxa2x0Uart::receivedBytes() {
    if ((ier_ & kIerUnitEnable) == 0)
        return 0;
    return receiveFifo((fcr_ & kFcrFifoEnable) != 0 ? 64 : 1);
}

bool Pxa2x0Uart::receiveInterruptEnabled() {
    return (ier_ & kIerReceiveInterrupt) != 0;
}

uint32_t Pxa2x0Uart::read32(uint32_t offset) {
    bool latch = (lcr_ & kLcrLatch) != 0;
    switch (offset) {
    case kThr:
        return latch ? dll_ : receivedBytes() != 0 ? receive() : 0;
    case kIer:
        return latch ? dlh_ : ier_;
    case kIir: {
        ++iir_reads;
        uint32_t fifos = (fcr_ & kFcrFifoEnable) != 0 ? kIirFifosOn : 0;
        return fifos | (interruptPending() ? kIirReceivedData : kIirNoInterrupt);
    }
    case kLcr:
        return lcr_;
    case kMcr:
        return mcr_;
    case kLsr: {
        uint32_t status = busyRead() ? 0 : kLsrTransmitReady | kLsrTransmitEmpty;
        if ((ier_ & kIerUnitEnable) != 0 && receiverReady())
            status |= kLsrDataReady;
        return status;
    }
    case 0x1C:
        return spr_;
    default:
        return 0;
    }
}

void Pxa2x0Uart::write32(uint32_t offset, uint32_t value) {
    writes_.push_back({offset, value});
    bool latch = (lcr_ & kLcrLatch) != 0;
    value &= 0xFF;
    switch (offset) {
    case kThr:
        if (latch)
            dll_ = value;
        else if ((ier_ & kIerUnitEnable) != 0)
            send(static_cast<uint8_t>(value));
        break;
    case kIer:
        (latch ? dlh_ : ier_) = value;
        break;
    case kIir:
        fcr_ = value;
        break;
    case kLcr:
        lcr_ = value;
        break;
    case kMcr:
        mcr_ = value;
        break;
    case 0x1C:
        spr_ = value;
        break;
    default:
        break;
    }
}

namespace {

// MDCNFG's fields for one pair of 64 MB partitions (the low half; the pair of
// partitions 2 and 3 has them 16 bits higher): enable bits 1..0, 16-bit bus
// bit 2, column bits - 8 in 4..3, row bits - 11 in 6..5, four internal banks
// bit 7. 0 when `size` is no SDRAM geometry of a 32-bit bus; the most rows
// first, as the larger chips have.
uint32_t pairFields(uint32_t size, uint32_t partitions) {
    for (uint32_t rows = 13; rows >= 11; --rows) {
        for (uint32_t columns = 8; columns <= 11; ++columns) {
            if ((uint64_t{1} << (rows + columns)) * 4 * 4 == size)
                return (partitions == 2 ? 0x3u : 0x1u) | (columns - 8) << 3 | (rows - 11) << 5 | 1u << 7;
        }
    }
    return 0;
}

} // namespace

Pxa2x0MemoryController::Pxa2x0MemoryController(uint32_t ram_size) {
    constexpr uint32_t kPartition = 0x04000000;
    uint32_t partitions = ram_size / kPartition;
    if (ram_size < kPartition) {
        configuration_ = pairFields(ram_size, 1);
    } else if (ram_size % kPartition == 0 && partitions <= 4) {
        configuration_ = pairFields(kPartition, partitions >= 2 ? 2 : 1);
        if (partitions > 2)
            configuration_ |= pairFields(kPartition, partitions - 2) << 16;
    }
}

Sa11x0MemoryController::Sa11x0MemoryController(Processor processor, const std::vector<RamBank>& banks) {
    configuration_ = sa11x0Mdcnf(processor, banks);
}

void attachBoardDevices(PhysicalMemory& memory, const DeviceProfile& profile) {
    using IC = InterruptController;
    if (isXScale(profile.processor)) {
        memory.attachDevice(Pxa2x0MemoryController::kBase, Pxa2x0MemoryController::kSize,
                            std::make_shared<Pxa2x0MemoryController>(profile.ram_size));
        // The serial cable is on the FFUART.
        std::vector<IC::Source> uarts = {{IC::kPxa2x0Ffuart, std::make_shared<Pxa2x0Uart>()},
                                         {IC::kPxa2x0Btuart, std::make_shared<Pxa2x0Uart>(false)},
                                         {IC::kPxa2x0Stuart, std::make_shared<Pxa2x0Uart>(false)}};
        const uint32_t bases[] = {kPxa2x0FfuartBase, kPxa2x0BtuartBase, kPxa2x0StuartBase};
        for (size_t i = 0; i < uarts.size(); ++i)
            memory.attachDevice(bases[i], kSerialBlockSize, uarts[i].device);
        memory.attachDevice(IC::kPxa2x0Base, IC::kSize, std::make_shared<IC>(IC::kPxa2x0, uarts));
        memory.attachDevice(kPxa2x0GpioBase, kGpioBlockSize, std::make_shared<Pxa2x0Gpio>());
    } else {
        memory.attachDevice(Sa11x0MemoryController::kBase, Sa11x0MemoryController::kSize,
                            std::make_shared<Sa11x0MemoryController>(profile.processor, ramBanks(profile)));
        auto port = std::make_shared<Sa1100SerialPort>();
        memory.attachDevice(kSa1100SerialBase, kSerialBlockSize, port);
        memory.attachDevice(
            IC::kSa11x0Base, IC::kSize,
            std::make_shared<IC>(IC::kSa11x0, std::vector<IC::Source>{{IC::kSa11x0Serial3, port}}));
    }
    attachLcd(memory, profile);
}

} // namespace sim
