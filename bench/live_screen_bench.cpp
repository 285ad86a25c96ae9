// How much the window's live view of the handheld's screen slows the
// emulated kernel on Unicorn. A saved hand-off of a kernel that keeps
// drawing (moving_bands_bench) is run RUNS times each way, alternately:
//   without the window: on this thread, nothing reads the screen
//     (zandrel-sim's run, the baseline);
//   with the window: as zandrel-window runs it after the jump, the kernel on
//     a thread of its own while the desktop shows its LCD, about ten times a
//     second.
// Prints one line per run: "baseline|window SECONDS CPU_SECONDS INSTRUCTIONS
// VIEW_CPU_SECONDS": the emulation's wall time, the processor time of the
// thread that ran it, what it executed, and the processor time the rest of
// the process spent meanwhile, the view's thread and the window's waiting
// for it (0 without the window). On a machine whose other
// processor is busy, the wall time tells more of the load than of the view;
// the kernel thread's processor time and the view's own tell what the view
// costs.
//   zandrel-live-screen-bench SNAPSHOT RUNS SCRATCH_FOLDER
#include "sim/emulator/snapshot.h"
#include "sim/emulator/unicorn_machine.h"
#include "ui/window/win32.h"
#include "window/lcd_view.h"
#include "window/win_text.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

constexpr uint64_t kInstructionLimit = 4'000'000'000;

struct Measure {
    double seconds = 0;
    double cpu_seconds = 0;
    uint64_t instructions = 0;
    bool halted = false;
    double view_cpu_seconds = 0;
};

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

Measure runKernel(const sim::HandOff& hand_off) {
    sim::HandOffLimits limits;
    limits.instruction_limit = kInstructionLimit;
    double cpu = threadCpuSeconds();
    auto start = std::chrono::steady_clock::now();
    sim::HandOffRun run = sim::runOnUnicorn(hand_off, limits);
    std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    return {taken.count(), threadCpuSeconds() - cpu, run.result.instructions,
            run.started && run.result.stop == sim::EmulationStop::kHalted, 0};
}

bool report(const char* way, const Measure& measure) {
    std::printf("%s %.4f %.4f %llu %.4f\n", way, measure.seconds, measure.cpu_seconds,
                static_cast<unsigned long long>(measure.instructions), measure.view_cpu_seconds);
    std::fflush(stdout);
    if (!measure.halted)
        std::fprintf(stderr, "zandrel-live-screen-bench: the kernel did not halt\n");
    return measure.halted;
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    std::vector<std::string> args = commandLineWords();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: zandrel-live-screen-bench SNAPSHOT RUNS SCRATCH_FOLDER\n");
        return 2;
    }
    sim::Snapshot snapshot;
    std::string error;
    if (!sim::readSnapshot(args[1], snapshot, error)) {
        std::fprintf(stderr, "zandrel-live-screen-bench: %s\n", error.c_str());
        return 1;
    }
    int runs = std::atoi(args[2].c_str());
    LcdViewOptions view;
    view.last_picture = args[3] + "/last-picture.png"; // the view ends by itself
    for (int run = 0; run < runs; ++run) {
        if (!sim::restoreSnapshot(snapshot, error) || !report("baseline", runKernel(snapshot.hand_off)))
            return 1;
        Measure live;
        double view_cpu = 0;
        if (!sim::restoreSnapshot(snapshot, error))
            return 1;
        runShowingTheLcd(
            [&](const std::function<void(sim::RgbImage)>&) {
                // The process's time around the kernel's run, less the kernel thread's own.
                view_cpu = -processCpuSeconds();
                live = runKernel(snapshot.hand_off);
                view_cpu += processCpuSeconds() - live.cpu_seconds;
                return 0;
            },
            view);
        live.view_cpu_seconds = view_cpu;
        if (!report("window", live))
            return 1;
    }
    return 0;
}
