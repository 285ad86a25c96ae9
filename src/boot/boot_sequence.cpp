// The eighteen steps from the user's settings to the jump into the kernel.
#include "arch/architecture.h"
#include "boot/boot_context.h"
#include "console/console.h"
#include "file/file_manager.h"
#include "loader/loader.h"
#include "loader/placement_check.h"
#include "memory/memory_manager.h"
#include "ui/menu_context.h"

#include <optional>

namespace {

constexpr int kBuildNumber = 15;
constexpr uint32_t kReadMode = 3;
// Reports one failed step: the open file is closed first where the step says so.
struct Failure {
    const char16_t* text = nullptr;
    bool close_file = false;
};

const char16_t* platformNameOf(MenuContext& menu) {
    const char16_t* name = menu.platformName(menu.platformIndex());
    return name != nullptr ? name : u"";
}

// Runs the steps; returns only on failure, with the failure to report.
Failure runSteps(MenuContext& menu, BootContext& boot) {
    // The Main page stores a speed that is not a number as 0, and the driver refuses it.
    if (openComPort() == ce::INVALID_HANDLE_VALUE && menu.prefs.serial_speed <= 0)
        Console::current()->print(u"serial speed %d is not a bit rate: COM1 is not opened\n",
                                  menu.prefs.serial_speed);
    menu.progress("0");

    if (!boot.identifyPlatform())
        return {u"Architecture not supported.\n"};
    menu.progress("1");

    if (!boot.createComponents())
        return {u"Architecture ops. not found.\n"};

    Console::current()->print(u"zandrel build number: %d\n", kBuildNumber);
    Console::current()->print(u"%s (cpu=0x%08x machine=0x%08x)\n", platformNameOf(menu),
                              menu.prefs.platform_cpu, menu.prefs.platform_machine);
    menu.progress("2");

    Architecture& architecture = *boot.architecture;
    FileManager& file = *boot.file_manager;
    if (!architecture.init())
        return {u"Architecture initialize failed.\n"};
    architecture.systemInfo();
    menu.progress("3");

    if (!file.setRoot(boot.root_path))
        return {u"Can't set root directory.\n"};

    uint32_t image_size = 0;
    if (boot.has_image) {
        if (!file.open(boot.image_file, kReadMode))
            return {u"Can't open file system image.\n"};
        // A gzipped image's length comes from its trailer; its one load pass checks it.
        uint32_t image_bytes = file.claimedSize();
        file.close();
        // An image that cannot be read to its end has no size to make room for.
        if (image_bytes == FileManager::kReadFailed)
            return {u"Can't open file system image.\n"};
        image_size = boot.memory->roundPage(image_bytes);
    }
    menu.progress("4");

    if (!file.open(boot.kernel_file, kReadMode))
        return {u"Can't open kernel image.\n"};
    menu.progress("5");

    // A kernel that cannot be read (a download refused, cut or damaged) is
    // not one of an unknown format: the box says which it was.
    if (!boot.attachLoader())
        return {boot.kernel_unreadable ? u"Can't read kernel image.\n" : u"Can't attach loader.\n", true};
    Loader& loader = *boot.loader;
    loader.prepareBoot(&architecture, image_size);
    if (!loader.setFile(&file))
        return {u"Can't initialize loader.\n", true};
    menu.progress("6");

    // A kernel (or kernel and image) beyond 32 bits cannot be placed at all.
    uint32_t kernel_size = loader.memorySize();
    uint32_t need = boot.memory->roundPage(kernel_size) + image_size;
    bool too_large = kernel_size > 0xFFFFFFFFu - boot.memory->getPageSize() || need < image_size;
    // The pages Windows CE gives the loader where the kernel goes carry its
    // bytes in place, or are held back where it is cleared.
    if (too_large || !architecture.placeKernel(loader.plannedDestinations(image_size)) ||
        !architecture.allocateMemory(need))
        return {u"Can't allocate memory.\n", true};
    menu.progress("7");

    if (!architecture.setupLoader())
        return {u"Can't set up loader.\n", true};
    menu.progress("8");

    // A layout that could only fault after the jump is refused before
    // anything is loaded; the kernel's stream is read to its end and checked
    // before anything of it runs.
    if (!loader.checkLayout(architecture.kernelPlacement(), image_size) || !loader.load() ||
        file.realsize() == FileManager::kReadFailed)
        return {u"Can't load kernel image to memory.\n", true};
    menu.progress("9");
    file.close();

    if (boot.has_image) {
        if (!file.open(boot.image_file, kReadMode))
            return {u"Can't open file system image.\n"};
        if (!loader.loadExtraData())
            return {u"Can't load file system image to memory.\n", true};
        file.close();
    }

    loader.endPageList();
    uint32_t boot_args = architecture.setupBootArguments(loader);
    if (boot_args == PageLink::kEnd)
        return {u"Can't set up boot arguments.\n"};
    // Pages inside the kernel's final place would be stored over before the
    // second stage has read them; the memory manager kept them out of the
    // table, so this only asserts it.
    std::optional<PlacementConflict> conflict =
        findPlacementConflict(*boot.memory, loader.destinations(), [&architecture](uint32_t address) {
            return architecture.finalAddress(address);
        });
    if (conflict) {
        Console::current()->print(u"page 0x%08x lies where the kernel goes (0x%08x-0x%08x).\n",
                                  conflict->page, conflict->destination_first, conflict->destination_last);
        return {u"Kernel would overwrite loader pages.\n"};
    }
    menu.progress("10");

    if (menu.prefs.pause_before_boot) {
        if (menu.messageBox(u"Push YES to boot.", u"Last chance...", ce::MB_YESNO | ce::MB_ICONEXCLAMATION) !=
            ce::IDYES)
            return {u"Canceled by user.\n"};
    }

    architecture.jump(boot_args, loader.pageListHead());
    return {u"Can't jump to the kernel.\n"};
}

} // namespace

void runBootSequence(MenuContext& menu, BootContext& boot) {
    Failure failure = runSteps(menu, boot);
    if (failure.close_file && boot.file_manager != nullptr)
        boot.file_manager->close();
    menu.messageBox(failure.text != nullptr ? failure.text : u"Unknown error?\n", u"BOOT FAILED",
                    ce::MB_OK | ce::MB_ICONSTOP);
    menu.resetProgress();
}

int bootSequence(uint32_t, MenuContext* menu) {
    runBootSequence(*menu, *BootContext::instance());
    return 0;
}
