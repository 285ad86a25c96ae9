#include "sim/hand_off.h"

#include <cstdio>

namespace sim {

const char* jumpRoutineName(JumpRoutine routine) {
    return routine == JumpRoutine::kPxa2x0 ? "FlatJump_pxa2x0" : "FlatJump_sa11x0";
}

std::string hexWord(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

} // namespace sim
