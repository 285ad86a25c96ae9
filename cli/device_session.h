// The simulated handheld of one run of a front end (zandrel-sim, and the
// window's zandrel-window): the device from the command line, its outputs
// connected to the terminal and the log files, and the hand-off after the
// jump, which ends the process with the hand-off's exit status.
#pragma once

#include "cli/boot_files.h"
#include "cli/embedded_device.h"
#include "cli/host_serial_line.h"
#include "cli/options.h"
#include "cli/terminal.h"
#include "sim/placed_image.h"
#include "sim/rgb_image.h"

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace sim {
struct DeviceProfile;
struct HandOff;
} // namespace sim

class DeviceSession {
  public:
    DeviceSession(const CliOptions& options, Terminal& terminal) : options_(options), terminal_(terminal) {}

    // Makes the device the options name; false (with the reason on standard error) when it can't.
    bool setUp();
    // Serial line, debugger output, message-box log and the jump.
    void connectOutputs();
    // The handheld is the machine the Main page holds, unless --profile fixed
    // it: the profile of the machine of this name, or null when the handheld
    // stays as it is (--profile given, or no machine of that name).
    const sim::DeviceProfile* machineFor(const char16_t* name) const;
    // The handheld becomes the machine of this name, by the rule above; only
    // while nothing of the device is mapped. False (with the reason on
    // standard error) when --object-store leaves that machine no program memory.
    bool useMachineNamed(const char16_t* name);
    // Boot was pressed: the start of --timing's measure, and of --fail-call's count.
    void bootPressed();
    // With --fail-call: which call failed, or that none did (at the jump, or
    // when the boot has failed).
    void reportFailedCall();
    // With --timing: for each file the boot read, the bytes inflated and fetched.
    void reportFileTraffic();
    // False (with the reason on standard error) when --emulator qemu or --gdb
    // asks for a QEMU board the handheld's machine has none of.
    bool emulatorFits() const;

    // How the process ends after the hand-off; std::exit unless set.
    std::function<void(int status)> end_process;
    // Called at the jump, before the hand-off runs.
    std::function<void()> at_jump;
    // Runs the hand-off, which answers the exit status and hands QEMU's
    // pictures of its display to its argument (runHandOff); by default on
    // this thread. The window runs it on a thread of its own and shows the
    // screen on this one meanwhile.
    using HandOffTask = std::function<int(const std::function<void(sim::RgbImage)>& on_screen)>;
    std::function<int(const HandOffTask& task)> run_hand_off;

  private:
    // False (with the reason on standard error) when --object-store leaves
    // `profile` no program memory.
    bool objectStoreFits(const sim::DeviceProfile& profile) const;
    // After the hand-off the program is gone, as on the handheld: the process ends.
    [[noreturn]] void endAfterHandOff(int status);
    // The files of this boot as --verify compares them; none when not verifying.
    std::optional<sim::ExpectedPlacement> placementToVerify(const sim::HandOff& hand_off);
    // The host folders the disks' file systems were made from.
    DiskFileFolders diskFiles() const;

    const CliOptions& options_;
    Terminal& terminal_;
    std::unique_ptr<EmbeddedDevice> embedded_;
    std::unique_ptr<HostSerialLine> host_line_;
    std::ofstream serial_log_;
    std::ofstream debug_log_;
    std::ofstream box_log_;
    std::chrono::steady_clock::time_point boot_pressed_;
};

// "[CAPTION] text -> answer" (Yes, No or OK for IDYES, IDNO and the rest),
// line breaks in the text as spaces: a message box as the terminal shows it.
std::string messageBoxLine(const std::string& caption, std::string text, int answer);
// The profile of a machine or device by name; null when there is none.
const sim::DeviceProfile* profileNamed(const std::string& name);
