// A real boot of a kernel file on the simulated handheld, in this process, up
// to the jump: the hand-off is kept instead of ending the program, so a test
// can run it on an emulated machine and look at the result.
#pragma once

#include "sim/emulator/hand_off_run.h"
#include "sim/hand_off.h"
#include "support/console_page_capture.h"
#include "support/probe_output.h"
#include "support/simulated_device.h"

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct KernelBootSettings {
    const sim::DeviceProfile* profile = nullptr; // the chosen machine and the device
    std::filesystem::path kernel;                // host file, copied to "\Storage Card\"
    std::filesystem::path image;                 // with rootfs md, copied likewise
    std::string extra;                           // extra kernel options
    // Where the boot reads them from, as typed on the Main page; empty: the
    // storage card, by their file names.
    std::string dir, kernel_name, image_name;
    bool serial = false, verbose = false, single = false, ask_name = false, debugger = false;
    int serial_speed = 115200;
};

class KernelBoot : public SimulatedDevice {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Presses Boot with these settings; true when the jump was reached.
    bool bootToJump(const KernelBootSettings& settings);
    // Runs the hand-off on Unicorn and compares the memory at the kernel's
    // entry with `settings`' kernel file and image read on the host; returns
    // the kernel's serial output, the comparison's line in `placed`.
    std::string runUnicornVerified(const KernelBootSettings& settings, std::string& placed);
    // Presses Boot again with the settings of the last bootToJump.
    bool bootAgain();
    // The hand-off's page list as the second stage walks it in RAM: {next,
    // src, dst, len} a link. A link outside RAM fails the calling test.
    std::vector<std::array<uint32_t, 4>> pageListLinks();
    // Ends the program as the jump does, restores the hand-off saved at
    // `saved` on a fresh device and runs it on QEMU; the kernel's serial
    // output is in `serial` afterwards, and `on_screen` is given the board's
    // display pictures as the window's live view takes them.
    sim::HandOffRun runSnapshotOnQemu(const std::filesystem::path& saved,
                                      std::function<void(sim::RgbImage)> on_screen = nullptr);

    std::optional<sim::HandOff> hand_off;
    std::string serial; // everything sent on the serial line
    ConsolePageCapture page;
};

// The profile of a machine by name; fails the calling test when there is none.
const sim::DeviceProfile& profileNamed(const char16_t* name);
