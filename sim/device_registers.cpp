// Register accesses on the simulated handheld: an address inside a mapping of
// a device range reaches the device model registered there (an unmodelled
// device reads 0 and ignores writes); any other address is plain memory.
#include "platform/device_registers.h"

#include "sim/physical_memory.h"
#include "sim/process_memory.h"

namespace {

sim::DeviceModel* deviceFor(volatile uint8_t* address, uint32_t* offset, bool* is_device) {
    uint32_t paddr = 0;
    *is_device = sim::ProcessMemory::get().deviceAddress(address, &paddr);
    return *is_device ? sim::PhysicalMemory::get().deviceAt(paddr, offset) : nullptr;
}

} // namespace

uint8_t readRegister8(volatile uint8_t* address) {
    uint32_t offset = 0;
    bool is_device = false;
    sim::DeviceModel* model = deviceFor(address, &offset, &is_device);
    if (!is_device)
        return *address;
    return model != nullptr ? model->read8(offset) : 0;
}

void writeRegister8(volatile uint8_t* address, uint8_t value) {
    uint32_t offset = 0;
    bool is_device = false;
    sim::DeviceModel* model = deviceFor(address, &offset, &is_device);
    if (!is_device)
        *address = value;
    else if (model != nullptr)
        model->write8(offset, value);
}

uint32_t readRegister32(volatile uint8_t* address) {
    uint32_t offset = 0;
    bool is_device = false;
    sim::DeviceModel* model = deviceFor(address, &offset, &is_device);
    if (!is_device)
        return *reinterpret_cast<volatile uint32_t*>(address);
    return model != nullptr ? model->read32(offset) : 0;
}

void writeRegister32(volatile uint8_t* address, uint32_t value) {
    uint32_t offset = 0;
    bool is_device = false;
    sim::DeviceModel* model = deviceFor(address, &offset, &is_device);
    if (!is_device)
        *reinterpret_cast<volatile uint32_t*>(address) = value;
    else if (model != nullptr)
        model->write32(offset, value);
}
