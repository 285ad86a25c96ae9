#include "sim/board_devices.h"

#include "sim/handheld.h"
#include "sim/lcd.h"
#include "sim/sa11x0_dram.h"

#include <memory>

namespace sim {

void SerialDevice::send(uint8_t byte) {
    transmitted_ += static_cast<char>(byte);
    Handheld& device = Handheld::get();
    if (device.serial_output) {
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

uint32_t Sa1100SerialPort::read32(uint32_t offset) {
    switch (offset) {
    case 0x00:
    case 0x04:
    case 0x08:
    case kUtcr3:
        return control_[offset / 4];
    case kUtsr0:
        return 0x01; // transmit FIFO service request: room for more
    case kUtsr1:
        return busyRead() ? kUtsr1Busy : kUtsr1NotFull;
    default:
        return 0; // nothing is ever received
    }
}

void Sa1100SerialPort::write32(uint32_t offset, uint32_t value) {
    writes_.push_back({offset, value});
    if (offset <= kUtcr3)
        control_[offset / 4] = value;
    else if (offset == kUtdr && (control_[3] & kUtcr3TransmitEnable) != 0)
        send(static_cast<uint8_t>(value));
}

uint32_t Pxa2x0Uart::read32(uint32_t offset) {
    bool latch = (lcr_ & kLcrLatch) != 0;
    switch (offset) {
    case kThr:
        return latch ? dll_ : 0;
    case kIer:
        return latch ? dlh_ : ier_;
    case kIir:
        ++iir_reads;
        return 0x01; // no interrupt pending
    case kLcr:
        return lcr_;
    case kMcr:
        return mcr_;
    case kLsr:
        return busyRead() ? 0 : kLsrTransmitReady | kLsrTransmitEmpty;
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
    if (isXScale(profile.processor)) {
        memory.attachDevice(Pxa2x0MemoryController::kBase, Pxa2x0MemoryController::kSize,
                            std::make_shared<Pxa2x0MemoryController>(profile.ram_size));
        memory.attachDevice(kPxa2x0FfuartBase, kSerialBlockSize, std::make_shared<Pxa2x0Uart>());
        memory.attachDevice(kPxa2x0GpioBase, kGpioBlockSize, std::make_shared<Pxa2x0Gpio>());
    } else {
        memory.attachDevice(Sa11x0MemoryController::kBase, Sa11x0MemoryController::kSize,
                            std::make_shared<Sa11x0MemoryController>(profile.processor, ramBanks(profile)));
        memory.attachDevice(kSa1100SerialBase, kSerialBlockSize, std::make_shared<Sa1100SerialPort>());
    }
    attachLcd(memory, profile);
}

} // namespace sim
