// The hardware UART consoles: the loader's messages written straight to the
// processor's serial port registers.
#pragma once

#include <cstdint>

class Console;
class MemoryManager;

// The process-wide UART console for an architecture class, created on first
// use; null when the class has none.
Console* uartConsoleInstance(MemoryManager** memory, uint32_t cpu_class);
void destroyUartConsole();
