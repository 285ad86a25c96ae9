#include "cli/embedded_device.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

constexpr char kFolderPrefix[] = "zandrel-device-";

// Folders of runs that ended without removing theirs (killed): their names
// carry the process id, and a process that no longer exists has none to keep.
void removeLeftovers(const std::filesystem::path& folder) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(kFolderPrefix, 0) != 0)
            continue;
        char* end = nullptr;
        long pid = std::strtol(name.c_str() + sizeof(kFolderPrefix) - 1, &end, 10);
        if (pid <= 0 || *end != '-' || kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;
        std::filesystem::remove_all(entry.path(), ignored);
    }
}

} // namespace

EmbeddedDevice::EmbeddedDevice() {
    const char* tmp = std::getenv("TMPDIR");
    std::filesystem::path folder = tmp != nullptr && *tmp != 0 ? tmp : "/tmp";
    removeLeftovers(folder);
    std::string pattern = (folder / (kFolderPrefix + std::to_string(getpid()) + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr)
        return;
    root_ = pattern;
    std::error_code ignored;
    for (const char* folder : {"Storage Card", "My Documents", "Windows"})
        std::filesystem::create_directories(root_ / folder, ignored);
#ifdef ZANDREL_DEFAULT_CARD
    // The storage card holds the demo kernel too, gzipped and plain, and its image.
    for (const auto& entry : std::filesystem::directory_iterator(ZANDREL_DEFAULT_CARD, ignored)) {
        if (entry.is_regular_file(ignored))
            std::filesystem::copy_file(entry.path(), root_ / "Storage Card" / entry.path().filename(),
                                       ignored);
    }
#endif
}

EmbeddedDevice::~EmbeddedDevice() {
    if (!root_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
}

std::filesystem::path EmbeddedDevice::diskImage() const {
#ifdef ZANDREL_DEFAULT_DISK
    std::error_code error;
    std::filesystem::path image = ZANDREL_DEFAULT_DISK;
    if (std::filesystem::is_regular_file(image, error))
        return image;
#endif
    return {};
}

std::filesystem::path EmbeddedDevice::diskFiles() const {
#ifdef ZANDREL_DEFAULT_DISK_FILES
    std::error_code error;
    std::filesystem::path files = ZANDREL_DEFAULT_DISK_FILES;
    if (!diskImage().empty() && std::filesystem::is_directory(files, error))
        return files;
#endif
    return {};
}
