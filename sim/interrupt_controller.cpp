#include "sim/interrupt_controller.h"

namespace sim {

uint32_t InterruptController::pending() {
    uint32_t bits = 0;
    for (const Source& source : sources_) {
        if (source.device->interruptPending())
            bits |= 1u << source.number;
    }
    return bits;
}

uint32_t InterruptController::requested() {
    uint32_t bits = 0;
    for (const Source& source : sources_) {
        uint32_t bit = 1u << source.number;
        if ((mask_ & bit) != 0 && source.device->interruptPending())
            bits |= bit;
    }
    return bits;
}

bool InterruptController::interruptEnabled() {
    for (const Source& source : sources_) {
        if ((mask_ >> source.number & 1) != 0 && source.device->receiveInterruptEnabled())
            return true;
    }
    return false;
}

uint32_t InterruptController::read32(uint32_t offset) {
    if (offset == layout_.icmr)
        return mask_;
    if (offset == layout_.iclr)
        return level_;
    if (offset == layout_.icpr)
        return pending();
    if (offset == layout_.icip)
        return lines().irq;
    if (offset == layout_.icfp)
        return lines().fiq;
    return 0;
}

void InterruptController::write32(uint32_t offset, uint32_t value) {
    if (offset == layout_.icmr)
        mask_ = value;
    else if (offset == layout_.iclr)
        level_ = value;
}

} // namespace sim
