#include "cli/device_session.h"

#include "boot/boot_context.h"
#include "cli/boot_files.h"
#include "cli/hand_off_runner.h"
#include "file/gzip_file_manager.h"
#include "file/http_connection.h"
#include "platform/wide_string.h"
#include "sim/device_profile.h"
#include "sim/disk.h"
#include "sim/emulator/qemu_machine.h"
#include "sim/handheld.h"
#include "sim/ram_split.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

constexpr uint32_t kMB = 1024 * 1024;

std::string answerName(int answer) {
    switch (answer) {
    case ce::IDYES:
        return "Yes";
    case ce::IDNO:
        return "No";
    default:
        return "OK";
    }
}

// caption, text (line breaks escaped), style and answer, tab-separated.
std::string boxLogLine(const sim::MessageBoxRecord& box) {
    std::string text;
    for (char c : utf16ToUtf8(box.text))
        text += c == '\n' ? std::string("\\n") : std::string(1, c);
    return utf16ToUtf8(box.caption) + "\t" + text + "\t" + std::to_string(box.style) + "\t" +
           answerName(box.answer) + "\n";
}

// COM1 bytes as a terminal shows them: no carriage returns, no NUL.
std::string printable(const char* bytes, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] != '\r' && bytes[i] != 0)
            text += bytes[i];
    }
    return text;
}

} // namespace

std::string messageBoxLine(const std::string& caption, std::string text, int answer) {
    for (char& c : text) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return "[" + caption + "] " + text + " -> " + answerName(answer) + "\n";
}

const sim::DeviceProfile* profileNamed(const std::string& name) {
    return sim::findDeviceProfile(utf8ToUtf16(name));
}

void DeviceSession::endAfterHandOff(int status) {
    host_line_.reset();       // the terminal as it was
    terminal_.setProgress(0); // takes the progress bar away
    serial_log_.close();
    debug_log_.close();
    box_log_.close();
    embedded_.reset();
    std::fflush(nullptr);
    if (end_process)
        end_process(status);
    std::exit(status);
}

bool DeviceSession::setUp() {
    sim::HandheldSettings settings;
    if (options_.device) {
        settings.root = *options_.device;
        std::error_code error;
        if (!std::filesystem::is_directory(settings.root, error)) {
            std::fprintf(stderr, "zandrel-sim: device folder \"%s\" does not exist\n",
                         options_.device->c_str());
            return false;
        }
    } else {
        embedded_ = std::make_unique<EmbeddedDevice>();
        if (embedded_->root().empty()) {
            std::fprintf(stderr, "zandrel-sim: can't make a folder for the default device\n");
            return false;
        }
        settings.root = embedded_->root();
    }
    if (!options_.storage_cards.empty()) {
        settings.storage_cards.clear();
        for (const std::string& card : options_.storage_cards)
            settings.storage_cards.push_back(utf8ToUtf16(card));
    }
    const std::optional<std::string>& device_name = options_.profile ? options_.profile : options_.machine;
    if (device_name) {
        settings.profile = profileNamed(*device_name);
        if (settings.profile == nullptr) {
            std::fprintf(stderr, "zandrel-sim: no machine named \"%s\" (see --list-machines)\n",
                         device_name->c_str());
            return false;
        }
    }
    if (!objectStoreFits(*settings.profile))
        return false;
    if (options_.object_store_mb)
        settings.object_store_bytes = *options_.object_store_mb * kMB;
    sim::Handheld::get().reset(settings);
    sim::Handheld::get().memory.corrupt_load_link = options_.corrupt_load_link;
    sim::Handheld::get().memory.drop_zero_link = options_.drop_zero_link;
    http_transfer_limits = options_.http_window_ms ? HttpTransferLimits::scaledTo(*options_.http_window_ms)
                                                   : HttpTransferLimits{};
    // The embedded device's prepared card, unless an image of the user's takes its unit.
    if (embedded_ && !embedded_->diskImage().empty())
        sim::attachDisk(1, embedded_->diskImage());
    for (const auto& [unit, image] : options_.disks) {
        if (!sim::attachDisk(unit, image)) {
            std::fprintf(stderr, "zandrel-sim: disk image \"%s\" can't be read\n", image.c_str());
            return false;
        }
    }
    return true;
}

bool DeviceSession::objectStoreFits(const sim::DeviceProfile& profile) const {
    if (!options_.object_store_mb || sim::programMemoryBytes(profile, *options_.object_store_mb * kMB) > 0)
        return true;
    std::fprintf(stderr,
                 "zandrel-sim: an object store of %u MB leaves no program memory on \"%s\" (%u MB of RAM)\n",
                 *options_.object_store_mb, utf16ToUtf8(profile.name).c_str(), profile.ram_size / kMB);
    return false;
}

const sim::DeviceProfile* DeviceSession::machineFor(const char16_t* name) const {
    if (options_.profile || name == nullptr)
        return nullptr;
    return sim::findDeviceProfile(name);
}

bool DeviceSession::useMachineNamed(const char16_t* name) {
    const sim::DeviceProfile* profile = machineFor(name);
    if (profile == nullptr || profile == &sim::Handheld::get().profile())
        return true;
    if (!objectStoreFits(*profile))
        return false;
    sim::Handheld::get().setProfile(*profile);
    return true;
}

void DeviceSession::bootPressed() {
    boot_pressed_ = std::chrono::steady_clock::now();
    if (options_.fail_call)
        sim::Handheld::get().failures.arm(*options_.fail_call, options_.fail_kind);
}

void DeviceSession::reportFileTraffic() {
    const auto* files = dynamic_cast<const GzipFileManager*>(BootContext::instance()->file_manager);
    if (files == nullptr)
        return;
    for (const GzipFileManager::Traffic& file : files->traffic()) {
        char line[400];
        std::snprintf(line, sizeof line, "zandrel-sim: %s: %llu bytes inflated, %llu bytes fetched\n",
                      utf16ToUtf8(file.name).c_str(), static_cast<unsigned long long>(file.inflated),
                      static_cast<unsigned long long>(file.fetched));
        terminal_.err(line);
    }
}

void DeviceSession::reportFailedCall() {
    if (!options_.fail_call)
        return;
    const sim::FailureInjection& failures = sim::Handheld::get().failures;
    std::optional<sim::FallibleCall> failed = failures.failed();
    uint64_t calls = options_.fail_kind ? failures.calls(*options_.fail_kind) : failures.calls();
    char line[160];
    if (failed)
        std::snprintf(line, sizeof line, "zandrel-sim: --fail-call %llu made a %s call fail\n",
                      *options_.fail_call, sim::fallibleCallName(*failed));
    else
        std::snprintf(line, sizeof line,
                      "zandrel-sim: --fail-call %llu made no call fail: the boot made %llu\n",
                      *options_.fail_call, static_cast<unsigned long long>(calls));
    terminal_.err(line);
}

bool DeviceSession::emulatorFits() const {
    if (options_.emulator != "qemu")
        return true;
    std::optional<std::string> problem = sim::qemuBoardProblem(sim::Handheld::get().profile());
    if (problem)
        std::fprintf(stderr, "zandrel-sim: %s\n", problem->c_str());
    return !problem;
}

DiskFileFolders DeviceSession::diskFiles() const {
    // The embedded device's card was made from files of the build, unless an image of the user's took its
    // unit.
    DiskFileFolders disk_files;
    bool own_disk_one = std::any_of(options_.disks.begin(), options_.disks.end(),
                                    [](const auto& disk) { return disk.first == 1; });
    if (embedded_ && !embedded_->diskFiles().empty() && !own_disk_one)
        disk_files[1] = embedded_->diskFiles();
    return disk_files;
}

std::optional<sim::ExpectedPlacement> DeviceSession::placementToVerify(const sim::HandOff& hand_off) {
    if (!options_.verify.value_or(options_.emulator != "qemu"))
        return std::nullopt;
    std::string why_not;
    sim::ExpectedPlacement expected;
    if (expectedPlacementOfBoot(hand_off.routine, expected, why_not, diskFiles()))
        return expected;
    terminal_.err("zandrel-sim: placed image not verified: " + why_not + "\n");
    return std::nullopt;
}

void DeviceSession::connectOutputs() {
    sim::Handheld& device = sim::Handheld::get();
    device.yes_no_answer = options_.answer_yes ? ce::IDYES : ce::IDNO;
    for (bool yes : options_.answers)
        device.scripted_answers.push_back(yes ? ce::IDYES : ce::IDNO);
    if (options_.box_log)
        box_log_.open(*options_.box_log, std::ios::binary);
    device.on_message_box = [this](const sim::MessageBoxRecord& box) {
        terminal_.err(messageBoxLine(utf16ToUtf8(box.caption), utf16ToUtf8(box.text), box.answer));
        if (box_log_.is_open())
            box_log_ << boxLogLine(box) << std::flush;
    };
    if (options_.serial_log) {
        serial_log_.open(*options_.serial_log, std::ios::binary);
        device.serial_output = [this](const char* bytes, size_t count) {
            serial_log_.write(bytes, static_cast<std::streamsize>(count));
            serial_log_.flush();
        };
    } else {
        device.serial_output = [this](const char* bytes, size_t count) {
            terminal_.out(printable(bytes, count));
        };
    }
    if (options_.debug_log) {
        debug_log_.open(*options_.debug_log, std::ios::binary);
        device.debug_output = [this](std::u16string_view text) {
            debug_log_ << utf16ToUtf8(text);
            debug_log_.flush();
        };
    }
    if (options_.timezone_bias)
        device.timezone_bias = *options_.timezone_bias;
    device.on_jump = [this](const sim::HandOff& hand_off) {
        if (at_jump)
            at_jump();
        // From here on a kernel runs and reads what the user sends it.
        if (options_.emulator != "none")
            host_line_ = connectStandardInput(terminal_);
        reportFailedCall();
        if (options_.timing) {
            std::chrono::duration<double> taken = std::chrono::steady_clock::now() - boot_pressed_;
            char line[80];
            std::snprintf(line, sizeof(line), "zandrel-sim: Boot to the jump took %.6f s\n", taken.count());
            terminal_.err(line);
            reportFileTraffic();
        }
        std::optional<sim::ExpectedPlacement> expected = placementToVerify(hand_off);
        KernelHostFile kernel;
        if (options_.gdb_port)
            kernel.path = kernelHostFile(kernel.why_not, diskFiles());
        HandOffTask task = [&](const std::function<void(sim::RgbImage)>& on_screen) {
            return runHandOff(hand_off, options_, terminal_, expected ? &*expected : nullptr, on_screen,
                              kernel);
        };
        endAfterHandOff(run_hand_off ? run_hand_off(task) : task({}));
    };
}
