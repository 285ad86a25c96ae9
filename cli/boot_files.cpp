#include "cli/boot_files.h"

#include "boot/boot_context.h"
#include "file/ufs/ufs_file_manager.h"
#include "platform/wide_string.h"
#include "sim/object_store.h"

namespace {

bool readStoreFile(const char16_t* root, const char16_t* name, std::vector<uint8_t>& bytes,
                   std::string& why_not) {
    // As the local file manager names it: the root and the name, joined as they stand.
    std::u16string path = std::u16string(root) + name;
    std::optional<std::filesystem::path> host = sim::hostPath(path);
    if (!host) {
        why_not = "\"" + utf16ToUtf8(path) + "\" is not in the device's store";
        return false;
    }
    return sim::readHostFile(*host, bytes, why_not);
}

// A file by its path from the root of a file system made from `folder`.
bool readDiskFile(const std::filesystem::path& folder, const char16_t* name, std::vector<uint8_t>& bytes,
                  std::string& why_not) {
    std::filesystem::path relative = std::filesystem::path(utf16ToUtf8(name)).relative_path();
    for (const std::filesystem::path& part : relative) {
        if (part == "..") {
            why_not = "\"" + utf16ToUtf8(name) + "\" leaves the disk's file system";
            return false;
        }
    }
    return sim::readHostFile(folder / relative, bytes, why_not);
}

} // namespace

bool expectedPlacementOfBoot(sim::JumpRoutine routine, sim::ExpectedPlacement& expected, std::string& why_not,
                             const DiskFileFolders& disk_files) {
    const BootContext& boot = *BootContext::instance();
    std::vector<uint8_t> kernel, image;
    if (boot.file_kind == BootContext::kLocalFiles) {
        if (!readStoreFile(boot.root_path, boot.kernel_file, kernel, why_not) ||
            (boot.has_image != 0 && !readStoreFile(boot.root_path, boot.image_file, image, why_not)))
            return false;
    } else if (boot.file_kind == BootContext::kUfsDisk) {
        int unit = ufsDiskUnit(boot.root_path);
        auto folder = disk_files.find(unit);
        if (folder == disk_files.end()) {
            why_not = "the files of the disk DSK" + std::to_string(unit) + ": are not known on the host";
            return false;
        }
        if (!readDiskFile(folder->second, boot.kernel_file, kernel, why_not) ||
            (boot.has_image != 0 && !readDiskFile(folder->second, boot.image_file, image, why_not)))
            return false;
    } else {
        why_not = "the kernel was read from a web server";
        return false;
    }
    expected = sim::expectedPlacement(kernel, image, routine);
    return true;
}
