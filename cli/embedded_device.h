// The device used when no --device folder is given: a fresh object store in
// a temporary folder (zandrel-device-PID-XXXXXX), removed again at exit, and
// at the next start when a killed run left it behind, whose storage card holds the
// demo kernel (kalmor.gz, kalmor) and miniroot.fs, and a prepared card as
// DSK1: (kalmor.gz and miniroot.fs on a UFS partition), both built with the
// program.
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
    // The card's disk image; empty when the build made none.
    std::filesystem::path diskImage() const;
    // The host folder whose files the disk's file system was made from;
    // empty when the build made no disk.
    std::filesystem::path diskFiles() const;

  private:
    std::filesystem::path root_;
};
