#include "console/uart_console.h"

#include "boot/boot_context.h"
#include "memory/memory_manager.h"
#include "platform/device_registers.h"
#include "ui/menu_context.h"

#include <new>

namespace {

UartConsole* the_instance = nullptr;

constexpr uint32_t kSerialBlockSize = 256;
constexpr uint32_t kGpioBlockSize = 4096;

} // namespace

UartConsole* UartConsole::instance(MemoryManager** memory, uint32_t cpu_class) {
    if (the_instance != nullptr)
        return the_instance;
    switch (cpu_class) {
    case BootContext::kClassSA11x0:
        the_instance = new (std::nothrow) SA1100UartConsole(memory);
        break;
    case BootContext::kClassPXA250:
    case BootContext::kClassPXA270:
        the_instance = new (std::nothrow) PXA2x0UartConsole(memory);
        break;
    default:
        break;
    }
    return the_instance;
}

void UartConsole::destroyInstance() {
    UartConsole* console = the_instance;
    the_instance = nullptr;
    if (console == nullptr)
        return;
    // The registry must not keep a deleted console: start it afresh.
    if (Console::current() == console) {
        Console::releaseCurrent();
        Console::setCurrent(nullptr);
    }
    delete console;
}

UartConsole::UartConsole(MemoryManager** memory) : memory_(memory) {}

// The variants release their registers; nothing is left mapped here.
UartConsole::~UartConsole() = default;

volatile uint8_t* UartConsole::mapRegisters(uint32_t paddr, uint32_t size) {
    MemoryManager* memory = *memory_;
    if (memory == nullptr)
        return nullptr;
    return memory->mapPhysicalPage(paddr, size, ce::PAGE_READWRITE);
}

void UartConsole::releaseRegisters(volatile uint8_t*& mapping) {
    if (mapping == nullptr)
        return;
    MemoryManager* memory = *memory_;
    if (memory != nullptr) {
        memory->unmapPhysicalPage(mapping);
    } else {
        // The memory manager is gone; the mapping is the process's own.
        uintptr_t page = reinterpret_cast<uintptr_t>(mapping) & ~uintptr_t{0xFFF};
        ce::VirtualFree(reinterpret_cast<void*>(page), 0, ce::MEM_RELEASE);
    }
    mapping = nullptr;
}

bool UartConsole::remapUartRegisters(uint32_t paddr) {
    volatile uint8_t* fresh = mapRegisters(paddr, kSerialBlockSize);
    if (fresh == nullptr)
        return false;
    releaseRegisters(uart_regs_);
    uart_regs_ = fresh;
    uart_paddr_ = paddr;
    stalled_ = false;
    return true;
}

bool UartConsole::waitUntilReady(uint32_t offset, uint8_t mask, uint8_t ready) {
    if (stalled_)
        return false;
    for (uint32_t poll = 0; poll < kReadyPolls; ++poll) {
        if ((readRegister8(uart_regs_ + offset) & mask) == ready)
            return true;
    }
    stalled_ = true;
    printOnScreen(u"UART at 0x%08x does not become ready: no more output on the serial console\n",
                  uart_paddr_);
    return false;
}

SA1100UartConsole::~SA1100UartConsole() {
    releaseRegisters(uart_regs_);
}

bool SA1100UartConsole::open() {
    if (!ComPortConsole::open())
        return false;
    return remapUartRegisters(kRegisters);
}

void SA1100UartConsole::putChar(uint8_t byte) {
    if (uart_regs_ == nullptr)
        return;
    // Transmitter not busy (bit 0 clear) and FIFO not full (bit 2 set).
    if (waitUntilReady(kStatus1, 0x05, 0x04))
        writeRegister8(uart_regs_ + kData, byte);
}

PXA2x0UartConsole::~PXA2x0UartConsole() {
    releaseRegisters(uart_regs_);
}

uint32_t PXA2x0UartConsole::divisorFor(int32_t speed) {
    switch (speed) {
    case 19200:
        return 48;
    case 38400:
        return 24;
    case 57600:
        return 16;
    case 115200:
        return 8;
    default:
        return 96;
    }
}

bool PXA2x0UartConsole::open() {
    // Without its GPIO alternate functions the UART reaches no pins: no console.
    volatile uint8_t* gpio = mapRegisters(kGpioRegisters, kGpioBlockSize);
    if (gpio == nullptr)
        return false;
    writeRegister32(gpio + kGpioAlternateFunction, readRegister32(gpio + kGpioAlternateFunction) | 0xF0);
    releaseRegisters(gpio);

    if (!remapUartRegisters(kRegisters))
        return false;
    uint32_t divisor = divisorFor(MenuContext::instance()->prefs.serial_speed);
    writeRegister8(uart_regs_ + kLcr, 0x80); // divisor latch on
    writeRegister8(uart_regs_ + kThr, static_cast<uint8_t>(divisor));
    writeRegister8(uart_regs_ + kIer, 0);
    writeRegister8(uart_regs_ + kLcr, 0x03); // 8 bits, no parity, 1 stop bit; latch off
    writeRegister8(uart_regs_ + kMcr, 0x03);
    writeRegister8(uart_regs_ + kFcr, 0);    // FIFOs off
    writeRegister8(uart_regs_ + kIer, 0x40); // unit enable
    return true;
}

void PXA2x0UartConsole::putChar(uint8_t byte) {
    if (uart_regs_ == nullptr)
        return;
    if (!waitUntilReady(kLsr, 0x20, 0x20))
        return;
    writeRegister8(uart_regs_ + kThr, byte);
    if (waitUntilReady(kLsr, 0x20, 0x20))
        static_cast<void>(readRegister8(uart_regs_ + kIir));
}

Console* uartConsoleInstance(MemoryManager** memory, uint32_t cpu_class) {
    return UartConsole::instance(memory, cpu_class);
}

void destroyUartConsole() {
    UartConsole::destroyInstance();
}
