#include "sim/hand_off.h"

namespace sim {

const char* jumpRoutineName(JumpRoutine routine) {
    return routine == JumpRoutine::kPxa2x0 ? "FlatJump_pxa2x0" : "FlatJump_sa11x0";
}

} // namespace sim
