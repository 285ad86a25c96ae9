#include "support/simulated_device.h"

#include "arch/architecture.h"
#include "boot/boot_context.h"
#include "console/console.h"
#include "ui/menu_context.h"

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

void forgetProcessState() {
    BootContext::destroyInstance();
    MenuContext::destroyInstance();
    Console::releaseCurrent();
    resetComPort();
    // The version record is the process's: a device of an earlier test must not answer for this one.
    os_version = {};
}

} // namespace

void SimulatedDevice::SetUp() {
    forgetProcessState();
    char pattern[] = "/tmp/zandrel-device-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    std::filesystem::create_directories(root / "Storage Card");
    sim::HandheldSettings settings;
    settings.root = root;
    sim::Handheld::get().reset(settings);
}

void SimulatedDevice::TearDown() {
    forgetProcessState();
    sim::Handheld::get().reset(sim::HandheldSettings{});
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

void SimulatedDevice::useProfile(const sim::DeviceProfile& profile) {
    sim::Handheld::get().setProfile(profile);
}

void SimulatedDevice::writeFile(const std::string& relative_path, const std::string& bytes) {
    std::filesystem::path path = root / relative_path;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string SimulatedDevice::readFile(const std::string& relative_path) const {
    std::ifstream in(root / relative_path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
