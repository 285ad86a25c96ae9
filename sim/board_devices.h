// The hardware of the simulated boards the loader reaches, as device models:
// the SA-11x0 serial port 3 and memory controller, the PXA2x0 full-function
// UART, GPIO block and memory controller.
// They are attached to the physical memory of every new device of a matching
// processor, so the loader's VirtualCopy mappings and the emulated processor
// after the hand-off reach the same registers. Transmitted bytes go to the
// handheld's serial line (Handheld::serial_output).
#pragma once

#include "sim/device_model.h"
#include "sim/device_profile.h"
#include "sim/physical_memory.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class SerialInput;

constexpr uint32_t kSa1100SerialBase = 0x80050000; // serial port 3 (the UART)
constexpr uint32_t kPxa2x0FfuartBase = 0x40100000;
constexpr uint32_t kPxa2x0BtuartBase = 0x40200000;
constexpr uint32_t kPxa2x0StuartBase = 0x40700000;
constexpr uint32_t kPxa2x0GpioBase = 0x40E00000;
constexpr uint32_t kSerialBlockSize = 0x100;
constexpr uint32_t kGpioBlockSize = 0x1000;

// Registers of one serial device as seen by the program, in order.
struct RegisterWrite {
    uint32_t offset;
    uint32_t value;
    bool operator==(const RegisterWrite&) const = default;
};

class SerialDevice : public DeviceModel {
  public:
    // A device not on the host's line (a PXA2x0's Bluetooth and standard
    // UARTs, wired to other parts than the serial cable) sends to nobody and
    // never receives.
    explicit SerialDevice(bool on_host_line = true) : on_host_line_(on_host_line) {}
    // Everything sent on the line since the device was made.
    const std::string& transmitted() const { return transmitted_; }
    const std::vector<RegisterWrite>& writes() const { return writes_; }
    // Knob: this many status reads report the transmitter busy first.
    int busy_status_reads = 0;
    int status_reads = 0;
    // Whether the kernel enabled the receive interrupt, and whether the
    // device asks for it now (bytes wait in the receive FIFO).
    virtual bool receiveInterruptEnabled() = 0;
    virtual bool interruptPending() { return receiveInterruptEnabled() && receivedBytes() != 0; }

  protected:
    void send(uint8_t byte);
    // True while the knob still holds the transmitter busy (counts one read).
    bool busyRead();
    // The receive FIFO: the first bytes of the host line (Handheld::
    // serial_input), at most `fifo_size`; a byte leaves it when the kernel
    // reads the data register.
    size_t receiveFifo(size_t fifo_size);
    uint8_t receive();
    // A status read that tells the kernel whether anything came: a kernel
    // that keeps finding the receiver empty waits a few milliseconds for the
    // host line at each look, so that its polling loop costs the host nothing.
    bool receiverReady();
    // Bytes in the receive FIFO while the receiver is on.
    virtual size_t receivedBytes() = 0;

    std::string transmitted_;
    std::vector<RegisterWrite> writes_;

  private:
    // The host's line, or null for a device not on it.
    SerialInput* hostInput() const;

    bool on_host_line_;
    int empty_polls_ = 0;
};

// SA-11x0 serial port 3: control registers UTCR0..3 at 0x00..0x0C, data
// register UTDR at 0x14, status UTSR0 at 0x1C and UTSR1 at 0x20. A byte is
// sent only while the transmitter is enabled (UTCR3 bit 1), as Windows CE's
// serial driver leaves it, and received while the receiver is (bit 0): UTDR
// reads the 12-entry receive FIFO, UTSR1 bit 1 tells it is not empty, UTSR0
// bit 1 that it holds 4 or more, and bit 2 (receiver idle) that bytes came:
// that bit stays set, the FIFO emptied or not, until the kernel writes a one
// to it. Either asks for the port's interrupt when UTCR3 bit 3 enables it, so
// a kernel that never answers the receiver-idle bit keeps being interrupted,
// as on the chip.
class Sa1100SerialPort : public SerialDevice {
  public:
    static constexpr uint32_t kUtcr3 = 0x0C;
    static constexpr uint32_t kUtdr = 0x14;
    static constexpr uint32_t kUtsr0 = 0x1C;
    static constexpr uint32_t kUtsr1 = 0x20;
    static constexpr uint32_t kUtsr0TransmitService = 0x01; // TFS
    static constexpr uint32_t kUtsr0ReceiveService = 0x02;  // RFS
    static constexpr uint32_t kUtsr0ReceiverIdle = 0x04;    // RID
    static constexpr uint32_t kUtsr1Busy = 0x01;            // TBY
    static constexpr uint32_t kUtsr1ReceiveNotEmpty = 0x02; // RNE
    static constexpr uint32_t kUtsr1NotFull = 0x04;         // TNF
    static constexpr uint32_t kUtcr3ReceiveEnable = 0x01;
    static constexpr uint32_t kUtcr3TransmitEnable = 0x02;
    static constexpr uint32_t kUtcr3ReceiveInterrupt = 0x08;
    static constexpr size_t kReceiveFifo = 12;

    uint8_t read8(uint32_t offset) override { return static_cast<uint8_t>(read32(offset & ~3u)); }
    void write8(uint32_t offset, uint8_t value) override { write32(offset & ~3u, value); }
    uint32_t read32(uint32_t offset) override;
    void write32(uint32_t offset, uint32_t value) override;
    bool receiveInterruptEnabled() override;
    bool interruptPending() override;

  private:
    size_t receivedBytes() override;
    // UTSR0's receiver-idle bit, set once bytes are seen in the FIFO.
    bool receiverIdle();

    // UTCR0: 8 data bits; UTCR1/2: 9600 bit/s at 3.6864 MHz; UTCR3: receiver and transmitter on.
    std::array<uint32_t, 4> control_{0x08, 0x00, 0x17, 0x03};
    bool receiver_idle_ = false;
};

// PXA2x0 UART (full-function, Bluetooth or standard): 16550 registers on
// 32-bit boundaries. Bytes are sent while the divisor latch is off and the
// unit is enabled (IER bit 6), and received into the receive buffer register
// (RBR, read at 0x00), one byte with the FIFOs off and 64 with them on (FCR
// bit 0); LSR bit 0 tells data is ready, and with IER bit 0 set the UART asks
// for its interrupt, which IIR names (received data available).
class Pxa2x0Uart : public SerialDevice {
  public:
    using SerialDevice::SerialDevice;
    static constexpr uint32_t kThr = 0x00; // DLL while the latch is on
    static constexpr uint32_t kIer = 0x04; // DLH while the latch is on
    static constexpr uint32_t kIir = 0x08; // FCR on write
    static constexpr uint32_t kLcr = 0x0C;
    static constexpr uint32_t kMcr = 0x10;
    static constexpr uint32_t kLsr = 0x14;
    static constexpr uint32_t kLcrLatch = 0x80;
    static constexpr uint32_t kIerReceiveInterrupt = 0x01; // RAVIE
    static constexpr uint32_t kIerUnitEnable = 0x40;
    static constexpr uint32_t kFcrFifoEnable = 0x01;
    static constexpr uint32_t kIirNoInterrupt = 0x01;
    static constexpr uint32_t kIirReceivedData = 0x04;
    static constexpr uint32_t kIirFifosOn = 0xC0;
    static constexpr uint32_t kLsrDataReady = 0x01;     // DR
    static constexpr uint32_t kLsrTransmitReady = 0x20; // TDRQ
    static constexpr uint32_t kLsrTransmitEmpty = 0x40; // TEMT

    uint8_t read8(uint32_t offset) override { return static_cast<uint8_t>(read32(offset & ~3u)); }
    void write8(uint32_t offset, uint8_t value) override { write32(offset & ~3u, value); }
    uint32_t read32(uint32_t offset) override;
    void write32(uint32_t offset, uint32_t value) override;

    bool receiveInterruptEnabled() override;

    uint32_t divisor() const { return dll_ | (dlh_ << 8); }
    int iir_reads = 0;

  private:
    size_t receivedBytes() override;

    // As Windows CE's serial driver leaves it: 9600 bit/s, 8N1, unit enabled.
    uint32_t dll_ = 96, dlh_ = 0, ier_ = kIerUnitEnable, fcr_ = 0, lcr_ = 0x03, mcr_ = 0x03, spr_ = 0;
};

// PXA2x0 GPIO block: plain 32-bit registers.
class Pxa2x0Gpio : public WordRegisters {
  public:
    static constexpr uint32_t kGafr1L = 0x6C;

    uint32_t read32(uint32_t offset) override { return registers_[(offset & (kGpioBlockSize - 1)) / 4]; }
    void write32(uint32_t offset, uint32_t value) override {
        registers_[(offset & (kGpioBlockSize - 1)) / 4] = value;
    }

  private:
    std::array<uint32_t, kGpioBlockSize / 4> registers_{};
};

// A memory controller as the loader reads it: the DRAM configuration
// register at offset 0; the other registers read 0 and writes are ignored.
class MemoryController : public WordRegisters {
  public:
    static constexpr uint32_t kSize = 0x1000;

    uint32_t read32(uint32_t offset) override { return offset == 0 ? configuration_ : 0; }
    void write32(uint32_t, uint32_t) override {}

  protected:
    uint32_t configuration_ = 0;
};

// PXA2x0 memory controller: MDCNFG describes the profile's RAM as the SDRAM
// the board has, 64 MB partitions filled from 0xA0000000. A RAM size the
// register cannot describe reads as no partition enabled.
class Pxa2x0MemoryController : public MemoryController {
  public:
    static constexpr uint32_t kBase = 0x48000000;

    explicit Pxa2x0MemoryController(uint32_t ram_size);
    uint32_t mdcnfg() const { return configuration_; }
};

// SA-11x0 memory controller: MDCNF as the board's boot ROM writes it for the
// DRAM parts of the profile's banks (sim/sa11x0_dram.h). Banks no part here
// gives read as not enabled.
class Sa11x0MemoryController : public MemoryController {
  public:
    static constexpr uint32_t kBase = 0xA0000000;

    Sa11x0MemoryController(Processor processor, const std::vector<RamBank>& banks);
    uint32_t mdcnf() const { return configuration_; }
};

// Attaches the hardware of `profile`'s processor and its display (sim/lcd.h) to `memory`.
void attachBoardDevices(PhysicalMemory& memory, const DeviceProfile& profile);

// The device model of the current handheld at `base` as `Model`, or null.
template <typename Model>
Model* boardDevice(uint32_t base) {
    uint32_t offset = 0;
    return dynamic_cast<Model*>(PhysicalMemory::get().deviceAt(base, &offset));
}

} // namespace sim
