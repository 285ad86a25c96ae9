#include "sim/emulator/unicorn_machine.h"

#include "sim/board_devices.h"
#include "sim/emulator/hand_off_code.h"
#include "sim/hand_off.h"
#include "sim/handheld.h"
#include "sim/interrupt_controller.h"
#include "sim/lcd.h"
#include "sim/physical_memory.h"

#include <cstdio>

namespace sim {

namespace {

constexpr uint32_t kDevicePage = 0x1000;

} // namespace

std::string describeStop(const HandOffRun& run) {
    const EmulationResult& result = run.result;
    std::string line = run.machine + ": " + result.reason;
    if (!run.started)
        return line;
    if (result.stop == EmulationStop::kFault && result.has_fault_address &&
        result.reason.find(hexWord(result.fault_address)) == std::string::npos)
        line += ", fault address " + hexWord(result.fault_address);
    if (result.state.r[15] != 0 || result.state.cpsr != 0)
        line +=
            std::string(", pc ") + hexWord(result.state.r[15]) + ", mode " + armModeName(result.state.cpsr);
    return line;
}

HandOffRun runOnUnicorn(const HandOff& hand_off, const HandOffLimits& limits) {
    HandOffRun run;
    run.machine = std::string("Unicorn ") + processorName(hand_off.processor);
    PhysicalMemory& ram = PhysicalMemory::get();
    if (ram.base() != hand_off.ram_base || ram.size() != hand_off.ram_size) {
        run.result.reason = "the hand-off's RAM is not the device's";
        return run;
    }
    ram.settle();
    if (!prepareHandOffRam(hand_off, limits.expected)) {
        run.result.reason = "no RAM page for the jump routine at " + hexWord(hand_off.jump_paddr);
        return run;
    }

    ArmEmulator cpu(hand_off.processor);
    // Every bank at its address, and nothing between them.
    bool mapped = cpu.ok();
    for (const RamBank& bank : ram.banks())
        mapped = mapped && cpu.mapHostMemory(bank.base, bank.size, ram.fileBytes(bank.base));
    bool xscale = isXScale(hand_off.processor);
    const uint32_t pxa_devices[] = {kPxa2x0FfuartBase,
                                    kPxa2x0BtuartBase,
                                    kPxa2x0StuartBase,
                                    kPxa2x0GpioBase,
                                    InterruptController::kPxa2x0Base,
                                    Pxa2x0MemoryController::kBase};
    const uint32_t sa_devices[] = {kSa1100SerialBase, InterruptController::kSa11x0Base,
                                   Sa11x0MemoryController::kBase};
    if (xscale) {
        for (uint32_t base : pxa_devices)
            mapped = mapped && cpu.mapDevices(base, kDevicePage);
    } else {
        for (uint32_t base : sa_devices)
            mapped = mapped && cpu.mapDevices(base, kDevicePage);
    }
    for (const DisplayRange& range : displayRanges(Handheld::get().profile()))
        mapped = mapped && (range.host != nullptr ? cpu.mapHostMemory(range.base, range.size, range.host)
                                                  : cpu.mapDevices(range.base, range.size));
    if (!mapped) {
        run.result.reason = cpu.ok() ? "can't map the device's memory" : cpu.error();
        return run;
    }
    run.started = true;

    auto observe = [&cpu](EntryState& entry) {
        return [&cpu, &entry] {
            if (entry.reached)
                return;
            entry.reached = true;
            entry.state = cpu.state();
            entry.control = cpu.cp15(1);
        };
    };
    cpu.onExecute(hand_off.code_paddr, observe(run.second_stage));
    auto at_kernel = observe(run.kernel);
    cpu.onExecute(kernelEntry(hand_off), [&run, &limits, &ram, at_kernel] {
        bool first = !run.kernel.reached;
        at_kernel();
        if (first && limits.at_kernel_entry)
            limits.at_kernel_entry(
                [&ram](uint32_t paddr, uint8_t* out, uint32_t size) { return ram.read(paddr, out, size); });
    });

    // Windows CE's kernel mode with interrupts masked.
    cpu.setCpsr(0xDF);
    RunLimits run_limits;
    run_limits.instructions = limits.instruction_limit;
    if (limits.time_limit)
        run_limits.time = *limits.time_limit;
    run_limits.quit = limits.quit;
    // A wait for interrupt ends when a UART has bytes for the kernel and asks for its interrupt.
    auto* controller = boardDevice<InterruptController>(xscale ? InterruptController::kPxa2x0Base
                                                               : InterruptController::kSa11x0Base);
    SerialInput* input = Handheld::get().serial_input;
    if (controller != nullptr && input != nullptr) {
        run_limits.wake = [controller, input] {
            if (controller->interruptRequested())
                return RunLimits::Wake::kNow;
            // After the end of the input the kernel waits on, as on a quiet line.
            return controller->interruptEnabled() ? RunLimits::Wake::kLater : RunLimits::Wake::kNever;
        };
        run_limits.idle = [input] { input->wait(std::chrono::milliseconds(5)); };
    }
    if (controller != nullptr) {
        run_limits.interrupt_lines = [controller] {
            InterruptController::Lines lines = controller->lines();
            return RunLimits::Lines{lines.irq != 0, lines.fiq != 0};
        };
        run_limits.interrupt_mask = controller->mask();
    }
    run.result = cpu.run(hand_off.jump_paddr, run_limits);
    if (limits.picture_screen)
        run.screen = renderLcd();
    return run;
}

} // namespace sim
