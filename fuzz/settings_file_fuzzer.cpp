// The settings file "zandrel.cnf" of any size and content on the simulated
// handheld's storage card: loaded as at start-up, saved again as at a boot
// start, and loaded once more. Whatever the file held, the record in use has
// its texts terminated, the save writes exactly one record, and that record
// loads back unchanged.
#include "fuzz_device.h"
#include "sim/handheld.h"
#include "ui/menu_context.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

template <size_t N>
void requireTerminated(const char16_t (&text)[N]) {
    for (char16_t c : text) {
        if (c == 0)
            return;
    }
    std::abort();
}

void requireUsable(const Preferences& prefs) {
    if (prefs.magic != Preferences::kMagic || prefs.version != Preferences::kVersion ||
        prefs.size != Preferences::kSize)
        std::abort();
    requireTerminated(prefs.dir_user_path);
    requireTerminated(prefs.kernel_name);
    requireTerminated(prefs.rootfs_file);
    requireTerminated(prefs.boot_extra);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path card = makeFuzzDevice();
    std::error_code ignored;
    std::filesystem::remove(card / "zandrel.cnf.new", ignored);
    {
        std::ofstream file(card / "zandrel.cnf", std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    MenuContext::destroyInstance();
    MenuContext* menu = MenuContext::instance();
    requireUsable(menu->prefs);
    Preferences loaded = menu->prefs;
    if (!menu->save())
        std::abort();
    if (std::filesystem::file_size(card / "zandrel.cnf") != Preferences::kSize)
        std::abort();

    MenuContext::destroyInstance();
    menu = MenuContext::instance();
    if (std::memcmp(&menu->prefs, &loaded, sizeof(Preferences)) != 0)
        std::abort();
    MenuContext::destroyInstance();
    return 0;
}
