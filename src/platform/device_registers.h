// Access to device registers mapped with MemoryManager::mapPhysicalPage.
// Every register read and write of the system goes through these, so the
// device sees exactly one access of the given width, in program order.
// `address` is the register itself (mapping + register offset); 32-bit
// registers are word-aligned.
#pragma once

#include <cstdint>

uint8_t readRegister8(volatile uint8_t* address);
void writeRegister8(volatile uint8_t* address, uint8_t value);
uint32_t readRegister32(volatile uint8_t* address);
void writeRegister32(volatile uint8_t* address, uint32_t value);
