#include "support/simulated_device.h"

#include "support/process_state.h"

#include <fstream>
#include <sstream>
#include <unistd.h>

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
