#include "console/uart_console.h"

#include "console/console.h"

// This build drives no UART directly yet: there is no instance for any
// class, and the boot context falls back to the screen console.
Console* uartConsoleInstance(MemoryManager**, uint32_t) { return nullptr; }

void destroyUartConsole() {}
