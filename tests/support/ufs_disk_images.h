// Disks with UFS file systems made at test time by the real tools: makefs
// for the file system, sfdisk for the MBR, fdisk's BSD mode for the label.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct ShellResult {
    int status = -1;
    std::string output; // stdout and stderr
};

// Runs `command` with /bin/sh, the system folders on its PATH.
ShellResult runShell(const std::string& command);
std::string shellQuote(const std::string& text);

// A temporary folder, removed with everything in it.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// Bytes that differ at every offset of a file, and from file to file.
std::string patternBytes(size_t size, uint32_t seed);
void writeHostFile(const std::filesystem::path& path, const std::string& bytes);
std::string readHostFile(const std::filesystem::path& path);

// makefs -t ffs -B le -o version=1,bsize=B,fsize=F with room for `source`;
// `options` adds to -o. Returns makefs's output on failure, "" on success.
std::string makeUfs(const std::filesystem::path& image, const std::filesystem::path& source, uint32_t bsize,
                    uint32_t fsize, const std::string& options = "", const std::string& endian = "le");

struct MbrSlot {
    int number; // 1 to 4
    uint32_t start;
    uint32_t sectors;
    uint8_t type;
};

// A zero-filled disk of `sectors` sectors with the MBR entries written by sfdisk.
// The disk's file name must not end in a digit.
std::string makeDisk(const std::filesystem::path& disk, uint32_t sectors, const std::vector<MbrSlot>& slots);
// fdisk's BSD label in the disk's BSD partition, entry a from `first` to
// `last` (absolute sectors). It also clears the first 8 KB of that partition.
std::string writeBsdLabel(const std::filesystem::path& disk, uint32_t first, uint32_t last);
// Copies a file-system image to absolute sector `start` of the disk, leaving
// its first 8 KB (where the label lives) alone.
std::string copyFileSystem(const std::filesystem::path& disk, const std::filesystem::path& image,
                           uint32_t start);

// The usual prepared card: one 0xA9 partition at 2048 with a label whose
// entry a covers it, holding `image`.
std::string makeLabelledDisk(const std::filesystem::path& disk, const std::filesystem::path& image);
constexpr uint32_t kLabelledDiskStart = 2048;
