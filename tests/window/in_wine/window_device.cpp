#include "window_device.h"

#include "platform/wide_string.h"
#include "sim/emulator/unicorn_machine.h"
#include "sim/handheld.h"
#include "support/probe_output.h"
#include "support/process_state.h"
#include "ui/settings_file.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace window_device {
namespace {

std::filesystem::path root;
std::string serial;
bool jump_reached = false;
ShownKernel shown;

} // namespace

void make() {
    forgetProcessState();
    char pattern[] = "/tmp/zandrel-window-device-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        std::abort();
    root = pattern;
    std::filesystem::create_directories(root / "Storage Card");
    sim::HandheldSettings settings;
    settings.root = root;
    sim::Handheld::get().reset(settings);
    serial.clear();
    jump_reached = false;
    shown = ShownKernel{};
    sim::Handheld::get().serial_output = [](const char* bytes, size_t count) { serial.append(bytes, count); };
}

void remove() {
    forgetProcessState();
    sim::Handheld::get().reset(sim::HandheldSettings{});
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

void writeSettings(const Preferences& prefs) {
    std::ofstream(root / "Storage Card" / "zandrel.cnf", std::ios::binary)
        .write(reinterpret_cast<const char*>(&prefs), sizeof(prefs));
}

bool readSettings(Preferences& prefs) {
    std::ifstream in(root / "Storage Card" / "zandrel.cnf", std::ios::binary);
    return in.read(reinterpret_cast<char*>(&prefs), sizeof(prefs)).gcount() == sizeof(prefs);
}

Preferences defaults() {
    Preferences prefs{};
    applyDefaults(prefs);
    prefs.version = Preferences::kVersion;
    prefs.size = Preferences::kSize;
    return prefs;
}

std::string readFile(const std::string& relative_path) {
    std::ifstream in(root / relative_path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool fileExists(const std::string& relative_path) {
    return std::filesystem::exists(root / relative_path);
}

void addKernel(const std::string& build_name, const std::string& name) {
    std::filesystem::copy_file(std::filesystem::path(ZANDREL_BUILD_DIR) / "kernels" / build_name,
                               root / "Storage Card" / name,
                               std::filesystem::copy_options::overwrite_existing);
}

void addProbeKernel(const std::string& name) {
    addKernel("probe.elf", name);
}

void runKernelAtJump() {
    sim::Handheld::get().on_jump = [](const sim::HandOff& hand_off) {
        jump_reached = true;
        sim::runOnUnicorn(hand_off, sim::HandOffLimits{});
    };
}

void showKernelAtJump(std::function<int(const HandOffTask& task)> show) {
    sim::Handheld::get().on_jump = [show](const sim::HandOff& hand_off) {
        jump_reached = true;
        // Shared with the task, which may outlive `show` when the view fails to wait for it.
        auto ended = std::make_shared<std::atomic<bool>>(false);
        auto stopped = std::make_shared<std::atomic<bool>>(false);
        // The serial line whose quit ends the run, as zandrel-window's standard input.
        auto line = std::make_shared<sim::SerialInput>();
        sim::Handheld::get().serial_input = line.get();
        auto off = std::make_shared<sim::HandOff>(hand_off);
        HandOffTask task = [off, ended, stopped, line](const std::function<void(sim::RgbImage)>&) {
            sim::HandOffLimits limits;
            limits.quit = &line->quitRequested();
            sim::HandOffRun run = sim::runOnUnicorn(*off, limits);
            *stopped = run.result.stop == sim::EmulationStop::kUserQuit;
            *ended = true;
            return run.result.stop == sim::EmulationStop::kHalted ? 0 : 3;
        };
        shown.status = show(task);
        shown.ended_before = *ended;
        shown.stopped_from_outside = *stopped;
        sim::Handheld::get().serial_input = nullptr;
    };
}

ShownKernel shownKernel() {
    return shown;
}

bool jumped() {
    return jump_reached;
}

std::string serialOutput() {
    return serial;
}

void clearSerialOutput() {
    serial.clear();
}

std::string probeVerdict() {
    return ::probeVerdict(serial);
}

std::string handheldMachine() {
    return utf16ToUtf8(sim::Handheld::get().profile().name);
}

namespace {

void useProfile(Preferences& prefs, const sim::DeviceProfile& profile) {
    sim::Handheld::get().setProfile(profile);
    prefs.platform_cpu = profile.cpu;
    prefs.platform_machine = profile.machine;
}

} // namespace

void useDefaultMachine(Preferences& prefs) {
    useProfile(prefs, sim::defaultDeviceProfile());
}

void useMachine(Preferences& prefs, const char16_t* name) {
    if (const sim::DeviceProfile* profile = sim::findDeviceProfile(name))
        useProfile(prefs, *profile);
}

} // namespace window_device
