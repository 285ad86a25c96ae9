// On the handheld a mapped register is plain uncached memory.
#include "platform/device_registers.h"

uint8_t readRegister8(volatile uint8_t* address) {
    return *address;
}

void writeRegister8(volatile uint8_t* address, uint8_t value) {
    *address = value;
}

uint32_t readRegister32(volatile uint8_t* address) {
    return *reinterpret_cast<volatile uint32_t*>(address);
}

void writeRegister32(volatile uint8_t* address, uint32_t value) {
    *reinterpret_cast<volatile uint32_t*>(address) = value;
}
