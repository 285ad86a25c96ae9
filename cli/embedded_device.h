// The device used when no --device folder is given: a fresh object store in
// a temporary folder, removed again at exit.
#pragma once

#include <filesystem>

class EmbeddedDevice {
  public:
    EmbeddedDevice();
    ~EmbeddedDevice();
    EmbeddedDevice(const EmbeddedDevice&) = delete;
    EmbeddedDevice& operator=(const EmbeddedDevice&) = delete;

    // Empty when the folder could not be made.
    const std::filesystem::path& root() const { return root_; }

  private:
    std::filesystem::path root_;
};
