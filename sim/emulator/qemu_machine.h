// The hand-off on QEMU, a second machine independent of Unicorn: the current
// handheld's RAM as a raw image on a QEMU board of the same processor family
// (collie for the SA-11x0, mainstone for the PXA2x0), started at the hand-off
// code of hand_off_code.h, its UART on a pipe to the handheld's serial line.
//
// QEMU runs until the kernel ends it with a semihosting exit, until the kernel
// halts (sim/emulator/halt_watch.h watches the processor through QEMU's gdb
// stub), or until the time limit; then, when asked, a picture of its display
// is taken through its monitor, and it is stopped.
#pragma once

#include "sim/emulator/hand_off_run.h"
#include "sim/hand_off.h"

#include <optional>
#include <string>

namespace sim {

struct QemuBoard {
    const char* name;
    uint32_t ram_base;
    uint32_t ram_size;
    int uart_serial_index; // which -serial is the board's UART
    bool has_lcd;          // whether QEMU models the processor's LCD controller
};

const QemuBoard& qemuBoardFor(Processor processor);
// Why QEMU has no board for the machine of `profile` (its processor's board
// is of another processor or has less RAM); none when it has one.
std::optional<std::string> qemuBoardProblem(const DeviceProfile& profile);
HandOffRun runOnQemu(const HandOff& hand_off, const HandOffLimits& limits = {});

} // namespace sim
