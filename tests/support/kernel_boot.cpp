#include "support/kernel_boot.h"

#include "boot/boot_context.h"
#include "platform/wide_string.h"
#include "sim/emulator/qemu_machine.h"
#include "sim/emulator/snapshot.h"
#include "sim/emulator/unicorn_machine.h"
#include "sim/page_list_replay.h"
#include "sim/physical_memory.h"
#include "sim/placed_image.h"
#include "ui/menu_context.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

void KernelBoot::SetUp() {
    SimulatedDevice::SetUp();
    serial.clear();
    hand_off.reset();
}

void KernelBoot::TearDown() {
    MenuContext::instance()->console_page = nullptr;
    SimulatedDevice::TearDown();
}

bool KernelBoot::bootToJump(const KernelBootSettings& settings) {
    useProfile(*settings.profile);
    std::ifstream in(settings.kernel, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    writeFile("Storage Card/" + settings.kernel.filename().string(), bytes.str());
    if (!settings.image.empty()) {
        std::ifstream image(settings.image, std::ios::binary);
        std::ostringstream image_bytes;
        image_bytes << image.rdbuf();
        writeFile("Storage Card/" + settings.image.filename().string(), image_bytes.str());
    }

    MenuContext* menu = MenuContext::instance();
    page.attach(*menu);
    Preferences& prefs = menu->prefs;
    prefs.platform_cpu = settings.profile->cpu;
    prefs.platform_machine = settings.profile->machine;
    auto typed = [](const std::string& text, const std::string& otherwise) {
        return utf8ToUtf16(text.empty() ? otherwise : text);
    };
    wideCopy(prefs.dir_user_path, 260, typed(settings.dir, "\\Storage Card\\").c_str());
    prefs.kernel_user = 1;
    wideCopy(prefs.kernel_name, 260,
             typed(settings.kernel_name, settings.kernel.filename().string()).c_str());
    prefs.rootfs = settings.image.empty() ? kRootWd : kRootMd;
    wideCopy(prefs.rootfs_file, 260, typed(settings.image_name, settings.image.filename().string()).c_str());
    prefs.boot_serial = settings.serial;
    prefs.boot_verbose = settings.verbose;
    prefs.boot_single = settings.single;
    prefs.boot_ask_name = settings.ask_name;
    prefs.boot_debugger = settings.debugger;
    prefs.serial_speed = settings.serial_speed;
    prefs.safety_message = 0;
    prefs.pause_before_boot = 0;
    wideCopy(prefs.boot_extra, 256, utf8ToUtf16(settings.extra).c_str());

    device().serial_output = [this](const char* bytes, size_t count) { serial.append(bytes, count); };
    device().on_jump = [this](const sim::HandOff& jump) { hand_off = jump; };
    BootContext::instance();
    return bootAgain();
}

bool KernelBoot::bootAgain() {
    hand_off.reset();
    MenuContext::instance()->startBoot();
    return hand_off.has_value();
}

std::string KernelBoot::runUnicornVerified(const KernelBootSettings& settings, std::string& placed) {
    placed = "kernel entry not reached";
    std::vector<uint8_t> kernel, image;
    std::string error;
    EXPECT_TRUE(sim::readHostFile(settings.kernel, kernel, error)) << error;
    if (!settings.image.empty()) {
        EXPECT_TRUE(sim::readHostFile(settings.image, image, error)) << error;
    }
    if (!hand_off)
        return "";
    sim::ExpectedPlacement expected = sim::expectedPlacement(kernel, image, hand_off->routine);
    sim::HandOffLimits limits;
    limits.expected = &expected;
    limits.at_kernel_entry = [&](const sim::PhysicalReader& read) {
        placed = sim::verifyPlacement(expected, read).line;
    };
    serial.clear();
    sim::HandOffRun run = sim::runOnUnicorn(*hand_off, limits);
    EXPECT_EQ(run.result.stop, sim::EmulationStop::kHalted) << sim::describeStop(run);
    return serial;
}

std::vector<std::array<uint32_t, 4>> KernelBoot::pageListLinks() {
    std::vector<std::array<uint32_t, 4>> links;
    if (!hand_off)
        return links;
    // A list longer than RAM has pages is a loop.
    const size_t most = sim::PhysicalMemory::get().size() / 16;
    for (uint32_t link = hand_off->list_paddr; link != sim::kListEnd;) {
        if (links.size() == most) {
            ADD_FAILURE() << "the page list runs in a loop";
            break;
        }
        std::array<uint32_t, 4> fields{};
        if (!sim::PhysicalMemory::get().read(link, fields.data(), sizeof fields)) {
            ADD_FAILURE() << "link outside RAM at 0x" << std::hex << link;
            break;
        }
        links.push_back(fields);
        link = fields[0];
    }
    return links;
}

sim::HandOffRun KernelBoot::runSnapshotOnQemu(const std::filesystem::path& saved,
                                              std::function<void(sim::RgbImage)> on_screen) {
    // The program is gone after a hand-off; its mappings go with the device.
    BootContext::destroyInstance();
    sim::Snapshot snapshot;
    std::string error;
    sim::HandOffRun run;
    if (!sim::readSnapshot(saved, snapshot, error) || !sim::restoreSnapshot(snapshot, error)) {
        ADD_FAILURE() << error;
        return run;
    }
    serial.clear();
    sim::HandOffLimits limits;
    limits.time_limit = std::chrono::seconds(20);
    limits.on_screen = std::move(on_screen);
    return sim::runOnQemu(snapshot.hand_off, limits);
}

const sim::DeviceProfile& profileNamed(const char16_t* name) {
    const sim::DeviceProfile* profile = sim::findDeviceProfile(name);
    EXPECT_NE(profile, nullptr) << utf16ToUtf8(name);
    return profile != nullptr ? *profile : sim::defaultDeviceProfile();
}
