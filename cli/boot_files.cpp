#include "cli/boot_files.h"

#include "boot/boot_context.h"
#include "platform/wide_string.h"
#include "sim/object_store.h"

namespace {

bool readStoreFile(const char16_t* root, const char16_t* name, std::vector<uint8_t>& bytes,
                   std::string& why_not) {
    std::u16string path = root;
    if (!path.empty() && path.back() != u'\\')
        path += u'\\';
    path += name;
    std::optional<std::filesystem::path> host = sim::hostPath(path);
    if (!host) {
        why_not = "\"" + utf16ToUtf8(path) + "\" is not in the device's store";
        return false;
    }
    return sim::readHostFile(*host, bytes, why_not);
}

} // namespace

bool expectedPlacementOfBoot(sim::JumpRoutine routine, sim::ExpectedPlacement& expected,
                             std::string& why_not) {
    const BootContext& boot = *BootContext::instance();
    if (boot.file_kind != BootContext::kLocalFiles) {
        why_not = "the kernel was not read from the device's store";
        return false;
    }
    std::vector<uint8_t> kernel, image;
    if (!readStoreFile(boot.root_path, boot.kernel_file, kernel, why_not) ||
        (boot.has_image != 0 && !readStoreFile(boot.root_path, boot.image_file, image, why_not)))
        return false;
    expected = sim::expectedPlacement(kernel, image, routine);
    return true;
}
