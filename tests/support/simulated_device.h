// A fresh simulated handheld for each test: an object store in a temporary
// folder with one storage card, default settings and no open handles.
#pragma once

#include "sim/device_profile.h"
#include "sim/handheld.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

class SimulatedDevice : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Switches the device to `profile` (files and state stay).
    void useProfile(const sim::DeviceProfile& profile);
    // Writes a host file below the object store ("Storage Card/kalmor").
    void writeFile(const std::string& relative_path, const std::string& bytes);
    std::string readFile(const std::string& relative_path) const;
    sim::Handheld& device() { return sim::Handheld::get(); }

    std::filesystem::path root;
};
