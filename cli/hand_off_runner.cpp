#include "cli/hand_off_runner.h"

#include "cli/gdb_attach.h"
#include "cli/host_serial_line.h"
#include "sim/emulator/hand_off_code.h"
#include "sim/emulator/qemu_machine.h"
#include "sim/emulator/snapshot.h"
#include "sim/emulator/unicorn_machine.h"
#include "sim/hand_off.h"
#include "sim/handheld.h"
#include "sim/lcd.h"
#include "sim/page_list_replay.h"
#include "sim/physical_memory.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

constexpr int kHalted = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;
constexpr int kStopped = 3;
constexpr int kPlacedImageDiffers = 4;
constexpr int kTimeLimit = 5;
constexpr int kUserQuit = 6;

int statusOf(const sim::HandOffRun& run) {
    if (!run.started)
        return kStopped;
    switch (run.result.stop) {
    case sim::EmulationStop::kHalted:
        return kHalted;
    case sim::EmulationStop::kTimeLimit:
        return kTimeLimit;
    case sim::EmulationStop::kUserQuit:
        return kUserQuit;
    default:
        return kStopped;
    }
}

// Prints the comparison's one line; the exit status it calls for, or `status`.
int reportPlacement(const sim::PlacementCheck& check, int status, Terminal& terminal) {
    terminal.err("zandrel-sim: " + check.line + "\n");
    return check.ok ? status : kPlacedImageDiffers;
}

const char* hazardName(sim::ReplayHazard::Kind kind) {
    switch (kind) {
    case sim::ReplayHazard::kLinkOverwritten:
        return "a link record was overwritten before it was read";
    case sim::ReplayHazard::kSourceOverwritten:
        return "source bytes were overwritten before they were copied";
    case sim::ReplayHazard::kArgumentPageOverwritten:
        return "the argument page was overwritten";
    case sim::ReplayHazard::kDestinationOutsideRam:
        return "a destination lies outside RAM";
    }
    return "hazard";
}

// --emulator none: the memory the second stage would leave, in short. The
// RAM starts as an emulator's does, leftovers wherever the list or the
// kernel's file puts bytes that the loader does not hold: a byte the replay
// never wrote reads as a leftover, unless the loader put it in place.
int replay(const sim::HandOff& hand_off, Terminal& terminal, const sim::ExpectedPlacement* expected) {
    if (!sim::prepareHandOffRam(hand_off, expected)) {
        terminal.err("zandrel-sim: replay: no RAM page for the jump routine at " +
                     sim::hexWord(hand_off.jump_paddr) + "\n");
        return kStopped;
    }
    sim::ReplayResult result =
        sim::replayPageList(hand_off.list_paddr, hand_off.routine, hand_off.args_paddr);
    std::string text = "second stage (replayed, " + std::string(sim::jumpRoutineName(hand_off.routine)) +
                       "): " + std::to_string(result.links) + " links, " + std::to_string(result.load_links) +
                       " load, " + std::to_string(result.zero_links) + " zero-clear\n";
    for (const auto& [start, size] : result.memory.ranges())
        text += "  wrote " + sim::hexWord(start) + "-" + sim::hexWord(start + size) + " (" +
                std::to_string(size) + " bytes)\n";
    if (result.has_entry)
        text += "  kernel entry " + sim::hexWord(result.entry) + " argc " + std::to_string(result.argc) +
                " argv " + sim::hexWord(result.argv) + " bootinfo " + sim::hexWord(result.boot_info) + "\n";
    if (result.has_stack_pointer)
        text += "  stack pointer " + sim::hexWord(result.stack_pointer) + "\n";
    terminal.out(text);
    for (const sim::ReplayHazard& hazard : result.hazards)
        terminal.err("zandrel-sim: replay: link " + sim::hexWord(hazard.link) + ": " +
                     hazardName(hazard.kind) + " at " + sim::hexWord(hazard.address) + "\n");
    if (!result.ok) {
        terminal.err("zandrel-sim: replay: " + result.error + "\n");
        return kStopped;
    }
    if (expected == nullptr)
        return kHalted;
    sim::PhysicalReader kernel_view = [&result](uint32_t paddr, uint8_t* out, uint32_t size) {
        result.kernelView(paddr, out, size);
        return sim::PhysicalMemory::get().contains(paddr, size);
    };
    return reportPlacement(sim::verifyPlacement(*expected, kernel_view), kHalted, terminal);
}

// --screen-png: the picture, or one line why there is none; the exit status stays.
void saveScreen(const std::optional<sim::RgbImage>& screen, const std::string& no_screen,
                const CliOptions& options, Terminal& terminal) {
    std::string error = no_screen;
    if (screen && sim::writePng(*options.screen_png, *screen, error)) {
        terminal.err("zandrel-sim: screen saved in \"" + *options.screen_png + "\" (" +
                     std::to_string(screen->width) + "x" + std::to_string(screen->height) + ")\n");
        return;
    }
    terminal.err("zandrel-sim: no picture of the screen: " + error + "\n");
}

} // namespace

int runHandOff(const sim::HandOff& hand_off, const CliOptions& options, Terminal& terminal,
               const sim::ExpectedPlacement* expected, const std::function<void(sim::RgbImage)>& on_screen,
               const KernelHostFile& kernel) {
    if (options.snapshot) {
        std::string error;
        if (sim::writeSnapshot(*options.snapshot, hand_off, error))
            terminal.err("zandrel-sim: hand-off saved in \"" + *options.snapshot + "\"\n");
        else
            terminal.err("zandrel-sim: " + error + "\n");
    }
    if (options.emulator == "none") {
        // No kernel runs: the screen is as Windows CE left it.
        if (options.screen_png)
            saveScreen(sim::renderLcd(), "", options, terminal);
        return replay(hand_off, terminal, expected);
    }

    sim::HandOffLimits limits;
    limits.instruction_limit = options.instruction_limit;
    if (options.time_limit)
        limits.time_limit = std::chrono::seconds(*options.time_limit);
    if (sim::SerialInput* input = sim::Handheld::get().serial_input)
        limits.quit = &input->quitRequested();
    std::optional<GdbAttach> gdb;
    if (options.gdb_port) {
        gdb.emplace(kernel.path, kernel.why_not);
        limits.gdb_port = *options.gdb_port;
        limits.on_gdb_ready = [&gdb, &terminal, &hand_off](uint16_t port) {
            terminal.err(gdb->message(port, sim::kernelEntry(hand_off)));
        };
    }
    limits.picture_screen = options.screen_png.has_value();
    limits.on_screen = on_screen;
    std::optional<sim::PlacementCheck> placement;
    limits.expected = expected;
    if (expected != nullptr) {
        limits.at_kernel_entry = [&placement, expected](const sim::PhysicalReader& read) {
            placement = sim::verifyPlacement(*expected, read);
        };
    }
    sim::HandOffRun run =
        options.emulator == "qemu" ? sim::runOnQemu(hand_off, limits) : sim::runOnUnicorn(hand_off, limits);
    int status = statusOf(run);
    if (status == kHalted) {
        std::string note = "zandrel-sim: " + run.machine + ": " + run.result.reason;
        if (run.result.instructions != 0)
            note += " after " + std::to_string(run.result.instructions) + " instructions";
        terminal.err(note + "\n");
    } else {
        terminal.err("zandrel-sim: " + sim::describeStop(run) + "\n");
        if (run.started && run.result.stop == sim::EmulationStop::kFault && run.result.instructions != 0)
            terminal.err("zandrel-sim: registers: " + sim::describeArmState(run.result.state) + "\n");
    }
    if (options.screen_png)
        saveScreen(run.screen, run.started ? run.no_screen : "the machine did not start", options, terminal);
    if (expected == nullptr)
        return status;
    if (!placement) {
        terminal.err("zandrel-sim: placed image not verified: the kernel's entry was never reached\n");
        return status;
    }
    return reportPlacement(*placement, status, terminal);
}

int runSnapshot(const CliOptions& options, Terminal& terminal) {
    sim::Snapshot snapshot;
    std::string error;
    if (!sim::readSnapshot(*options.from_snapshot, snapshot, error) ||
        !sim::restoreSnapshot(snapshot, error)) {
        terminal.err("zandrel-sim: " + error + "\n");
        return kFailed;
    }
    // The snapshot's machine is known only now: QEMU may have no board for it.
    if (options.emulator == "qemu") {
        if (std::optional<std::string> problem = sim::qemuBoardProblem(sim::Handheld::get().profile())) {
            terminal.err("zandrel-sim: " + *problem + "\n");
            return kUsageError;
        }
    }
    CliOptions run_options = options;
    run_options.snapshot.reset();
    std::unique_ptr<HostSerialLine> line;
    if (options.emulator != "none")
        line = connectStandardInput(terminal);
    return runHandOff(snapshot.hand_off, run_options, terminal);
}
