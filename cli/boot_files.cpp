#include "cli/boot_files.h"

#include "boot/boot_context.h"
#include "file/ufs/ufs_file_manager.h"
#include "platform/wide_string.h"
#include "sim/object_store.h"

namespace {

// A file of the boot by its name, on the host: in the device's store under
// the boot's root, or by its path from the root of a disk's file system made
// from a host folder.
std::optional<std::filesystem::path> hostFileOfBoot(const char16_t* name, std::string& why_not,
                                                    const DiskFileFolders& disk_files) {
    const BootContext& boot = *BootContext::instance();
    if (boot.file_kind == BootContext::kLocalFiles) {
        // As the local file manager names it: the root and the name, joined as they stand.
        std::u16string path = std::u16string(boot.root_path) + name;
        std::optional<std::filesystem::path> host = sim::hostPath(path);
        if (!host)
            why_not = "\"" + utf16ToUtf8(path) + "\" is not in the device's store";
        return host;
    }
    if (boot.file_kind == BootContext::kUfsDisk) {
        int unit = ufsDiskUnit(boot.root_path);
        auto folder = disk_files.find(unit);
        if (folder == disk_files.end()) {
            why_not = "the files of the disk DSK" + std::to_string(unit) + ": are not known on the host";
            return std::nullopt;
        }
        std::filesystem::path relative = std::filesystem::path(utf16ToUtf8(name)).relative_path();
        for (const std::filesystem::path& part : relative) {
            if (part == "..") {
                why_not = "\"" + utf16ToUtf8(name) + "\" leaves the disk's file system";
                return std::nullopt;
            }
        }
        return folder->second / relative;
    }
    why_not = "the kernel was read from a web server";
    return std::nullopt;
}

bool readFileOfBoot(const char16_t* name, std::vector<uint8_t>& bytes, std::string& why_not,
                    const DiskFileFolders& disk_files) {
    std::optional<std::filesystem::path> host = hostFileOfBoot(name, why_not, disk_files);
    return host && sim::readHostFile(*host, bytes, why_not);
}

} // namespace

std::optional<std::filesystem::path> kernelHostFile(std::string& why_not, const DiskFileFolders& disk_files) {
    return hostFileOfBoot(BootContext::instance()->kernel_file, why_not, disk_files);
}

bool expectedPlacementOfBoot(sim::JumpRoutine routine, sim::ExpectedPlacement& expected, std::string& why_not,
                             const DiskFileFolders& disk_files) {
    const BootContext& boot = *BootContext::instance();
    std::vector<uint8_t> kernel, image;
    if (!readFileOfBoot(boot.kernel_file, kernel, why_not, disk_files) ||
        (boot.has_image != 0 && !readFileOfBoot(boot.image_file, image, why_not, disk_files)))
        return false;
    expected = sim::expectedPlacement(kernel, image, routine);
    return true;
}
