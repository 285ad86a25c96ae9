// The hardware UART consoles: the loader's messages written straight to the
// processor's serial port registers, mapped through the memory manager.
#pragma once

#include "console/console.h"

#include <cstdint>

class MemoryManager;

class UartConsole : public ComPortConsole {
  public:
    // The reads a wait for the transmitter may take. One byte at 9600 bit/s
    // takes about a millisecond, a few thousand reads of a device register;
    // this bound is hundreds of byte times on any of the processors.
    static constexpr uint32_t kReadyPolls = 1000000;

    // The process-wide UART console, made on first use for `cpu_class`; null
    // (remembering nothing) for a class without one. Once made it is
    // returned whatever the arguments.
    static UartConsole* instance(MemoryManager** memory, uint32_t cpu_class);
    static void destroyInstance();

    ~UartConsole() override;

  protected:
    explicit UartConsole(MemoryManager** memory);
    void putChar(uint8_t byte) override = 0;
    // Maps `size` bytes of registers at `paddr`; null when refused.
    volatile uint8_t* mapRegisters(uint32_t paddr, uint32_t size);
    void releaseRegisters(volatile uint8_t*& mapping);
    // Maps the UART's registers afresh. The earlier mapping stays in use until
    // the new one is made: the memory manager reports a refusal through the
    // console slot, which may still hold this console.
    bool remapUartRegisters(uint32_t paddr);
    // Polls the 8-bit register at `offset` until the bits of `mask` read as
    // `ready`. The wait is bounded by a count of reads, not by time: the
    // register dump is printed with interrupts masked, when the tick count
    // stands still. A UART that never becomes ready (a machine picked that is
    // not the device) ends this console's output with a message on the screen;
    // false then and for every later byte until the next open.
    bool waitUntilReady(uint32_t offset, uint8_t mask, uint8_t ready);
    // The console's output ended: the UART did not become ready.
    bool stalled() const { return stalled_; }

    MemoryManager** memory_;
    volatile uint8_t* uart_regs_ = nullptr; // nothing mapped
    uint32_t uart_paddr_ = 0;

  private:
    bool stalled_ = false;
};

// Serial port 3 of the SA-11x0 at 0x80050000.
class SA1100UartConsole : public UartConsole {
  public:
    static constexpr uint32_t kRegisters = 0x80050000;
    static constexpr uint32_t kData = 0x14;
    static constexpr uint32_t kStatus1 = 0x20;

    explicit SA1100UartConsole(MemoryManager** memory) : UartConsole(memory) {}
    // Releases the registers while putChar still works: the memory manager
    // may report through this very console.
    ~SA1100UartConsole() override;
    // COM1 through the driver sets speed and frame; then the registers are mapped.
    bool open() override;

  protected:
    void putChar(uint8_t byte) override;
};

// The full-function UART of the PXA2x0 at 0x40100000.
class PXA2x0UartConsole : public UartConsole {
  public:
    static constexpr uint32_t kRegisters = 0x40100000;
    static constexpr uint32_t kGpioRegisters = 0x40E00000;
    static constexpr uint32_t kGpioAlternateFunction = 0x6C;
    static constexpr uint32_t kThr = 0x00, kIer = 0x04, kFcr = 0x08, kIir = 0x08, kLcr = 0x0C, kMcr = 0x10,
                              kLsr = 0x14;

    explicit PXA2x0UartConsole(MemoryManager** memory) : UartConsole(memory) {}
    ~PXA2x0UartConsole() override;
    // Routes the UART's pins and programs it for the `serial_speed` preference.
    bool open() override;
    // 921600 / divisor is the bit rate; 96 (9600 bit/s) for speeds not in the table.
    static uint32_t divisorFor(int32_t speed);

  protected:
    void putChar(uint8_t byte) override;
};

// The boot context's interface to the above.
Console* uartConsoleInstance(MemoryManager** memory, uint32_t cpu_class);
void destroyUartConsole();
