#include "cli/session.h"

#include "boot/boot_context.h"
#include "cli/embedded_device.h"
#include "cli/hand_off_runner.h"
#include "cli/headless_window.h"
#include "cli/terminal.h"
#include "console/console.h"
#include "platform/wide_string.h"
#include "sim/device_profile.h"
#include "sim/disk.h"
#include "sim/handheld.h"
#include "ui/menu_context.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace {

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

// "[CAPTION] text -> answer", line breaks in the text as spaces.
std::string messageBoxLine(const sim::MessageBoxRecord& box) {
    std::string text = utf16ToUtf8(box.text);
    for (char& c : text) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return "[" + utf16ToUtf8(box.caption) + "] " + text + " -> " + answerName(box.answer) + "\n";
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

void listMachines() {
    for (const sim::DeviceProfile& profile : sim::deviceProfiles())
        std::printf("%s\n", utf16ToUtf8(profile.name).c_str());
}

const sim::DeviceProfile* profileNamed(const std::string& name) {
    return sim::findDeviceProfile(utf8ToUtf16(name));
}

void setText(std::u16string& field, const std::optional<std::string>& value) {
    if (value)
        field = utf8ToUtf16(*value);
}

void setFlag(bool& field, const std::optional<bool>& value) {
    if (value)
        field = *value;
}

void applyToPages(const CliOptions& options, MainPageForm& main, OptionPageForm& option) {
    setText(main.directory, options.dir);
    setText(main.kernel, options.kernel);
    if (options.machine)
        main.platform_selection = main.findPlatform(utf8ToUtf16(*options.machine));
    if (options.rootfs)
        main.rootfs_checked = *options.rootfs;
    setText(main.rootfs_file, options.image);
    setFlag(main.verbose, options.verbose);
    setFlag(main.single, options.single);
    setFlag(main.ask_name, options.ask_name);
    setFlag(main.debugger, options.debugger);
    setFlag(main.serial, options.serial);
    if (options.serial_speed)
        main.speed_text = utf8ToUtf16(std::to_string(*options.serial_speed));
    setText(option.boot_extra, options.extra);
    setFlag(option.pause_before_boot, options.pause);
    setFlag(option.safety_message, options.safety);
    setFlag(option.reverse_video, options.reverse_video);
}

// The Boot button: read the pages, the safety question, then the boot.
void pressBoot(MenuContext& menu, HeadlessRootWindow& window) {
    menu.readPages();
    if (menu.prefs.safety_message) {
        ce::UINT icon = menu.prefs.pause_before_boot ? ce::MB_ICONQUESTION : ce::MB_ICONEXCLAMATION;
        if (menu.messageBox(u"Data in memory will be lost.\nAre you sure?", u"WARNING",
                            ce::MB_YESNO | icon) != ce::IDYES)
            return;
    }
    window.resetProgress();
    menu.print(u"BOOT START\n");
    menu.readPages();
    menu.save();
    menu.startBoot();
}

class Session {
  public:
    explicit Session(const CliOptions& options) : options_(options), terminal_(!options.quiet) {}
    int run();

  private:
    bool setUpDevice();
    void connectDeviceOutputs();
    // After the hand-off the program is gone, as on the handheld: the process ends.
    [[noreturn]] void endAfterHandOff(int status);
    // With --fail-call: which call failed, or that none did (at the jump, or
    // when the boot has failed).
    void reportFailedCall();

    const CliOptions& options_;
    Terminal terminal_;
    std::unique_ptr<EmbeddedDevice> embedded_;
    std::ofstream serial_log_;
    std::ofstream debug_log_;
    std::ofstream box_log_;
    std::chrono::steady_clock::time_point boot_pressed_;
};

void Session::endAfterHandOff(int status) {
    terminal_.setProgress(0); // takes the progress bar away
    serial_log_.close();
    debug_log_.close();
    box_log_.close();
    embedded_.reset();
    std::fflush(nullptr);
    std::exit(status);
}

void Session::reportFailedCall() {
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

bool Session::setUpDevice() {
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
    sim::Handheld::get().reset(settings);
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

void Session::connectDeviceOutputs() {
    sim::Handheld& device = sim::Handheld::get();
    device.yes_no_answer = options_.answer_yes ? ce::IDYES : ce::IDNO;
    for (bool yes : options_.answers)
        device.scripted_answers.push_back(yes ? ce::IDYES : ce::IDNO);
    if (options_.box_log)
        box_log_.open(*options_.box_log, std::ios::binary);
    device.on_message_box = [this](const sim::MessageBoxRecord& box) {
        terminal_.err(messageBoxLine(box));
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
        reportFailedCall();
        if (options_.timing) {
            std::chrono::duration<double> taken = std::chrono::steady_clock::now() - boot_pressed_;
            char line[80];
            std::snprintf(line, sizeof(line), "zandrel-sim: Boot to the jump took %.6f s\n", taken.count());
            terminal_.err(line);
        }
        endAfterHandOff(runHandOff(hand_off, options_, terminal_));
    };
}

int Session::run() {
    if (options_.list_machines) {
        listMachines();
        return 0;
    }
    if (options_.machine && profileNamed(*options_.machine) == nullptr) {
        std::fprintf(stderr, "zandrel-sim: no machine named \"%s\" (see --list-machines)\n",
                     options_.machine->c_str());
        return 2;
    }
    if (!setUpDevice())
        return 2;
    connectDeviceOutputs();
    if (options_.from_snapshot)
        return runSnapshot(options_, terminal_);

    // The program's entry, in its order: settings, screen console, window, boot context.
    MenuContext* menu = MenuContext::instance();
    Console::current();
    HeadlessRootWindow window(terminal_);
    HeadlessConsolePage console_page(terminal_);
    HeadlessMainPage main_page(*menu);
    HeadlessOptionPage option_page(*menu);
    menu->root_window = &window;
    menu->main_page = &main_page;
    menu->option_page = &option_page;
    menu->console_page = &console_page.output;
    BootContext::instance();

    applyToPages(options_, main_page.form, option_page.form);
    // Without a chosen device, the handheld is the machine the Main page names.
    if (!options_.profile && !options_.machine) {
        int selection = main_page.form.platform_selection;
        if (selection >= 0) {
            if (const sim::DeviceProfile* profile =
                    sim::findDeviceProfile(main_page.form.platforms[selection].name))
                sim::Handheld::get().setProfile(*profile);
        }
    }

    boot_pressed_ = std::chrono::steady_clock::now();
    if (options_.fail_call)
        sim::Handheld::get().failures.arm(*options_.fail_call, options_.fail_kind);
    pressBoot(*menu, window);
    reportFailedCall();

    // Back here only when the boot failed or was cancelled.
    BootContext::destroyInstance();
    menu->root_window = nullptr;
    menu->main_page = nullptr;
    menu->option_page = nullptr;
    menu->console_page = nullptr;
    Console::releaseCurrent();
    MenuContext::destroyInstance();
    return 1;
}

} // namespace

int runSession(const CliOptions& options) {
    Session session(options);
    return session.run();
}
