#include "boot/boot_context.h"

#include "arch/arm/pxa2x0_architecture.h"
#include "arch/arm/sa1100_architecture.h"
#include "boot/platform_table.h"
#include "console/console.h"
#include "console/uart_console.h"
#include "file/file_manager.h"
#include "file/file_manager_factory.h"
#include "loader/elf_loader.h"
#include "memory/memory_manager_lock_pages.h"
#include "platform/wide_string.h"
#include "ui/menu_context.h"

#include <new>

namespace {

BootContext* the_context = nullptr;

constexpr uint32_t kPageSize = 4096;
constexpr uint32_t kPfnShift = 0;

struct ClassPattern {
    PlatformId pattern;
    uint32_t cpu_class;
};

// The first pattern the chosen machine matches decides its architecture class.
constexpr ClassPattern kClassPatterns[] = {
    {{0x0C104000, 0}, BootContext::kClassSA11x0}, // ARM StrongARM SA1100
    {{0x0C108000, 0}, BootContext::kClassSA11x0}, // ARM StrongARM SA1110
    {{0x0C204000, 0}, BootContext::kClassPXA250}, // ARM XScale PXA250
    {{0x0C208000, 0}, BootContext::kClassPXA270}, // ARM XScale PXA270
};

} // namespace

BootContext* BootContext::instance() {
    if (the_context == nullptr) {
        MenuContext::instance()->setBootCallback(bootSequence, 0);
        the_context = new (std::nothrow) ArmBootContext;
    }
    return the_context;
}

void BootContext::destroyInstance() {
    delete the_context;
    the_context = nullptr;
}

BootContext::BootContext() : console(Console::current()) {}

BootContext::~BootContext() {
    // The UART console releases its register mapping through the memory manager.
    destroyUartConsole();
    delete memory;
    delete architecture;
    delete file_manager;
    delete loader;
}

void BootContext::print(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    console->vprint(format, args);
    va_end(args);
}

void BootContext::replaceArchitecture(Architecture* next) {
    delete architecture;
    architecture = next;
}

void BootContext::replaceMemory(MemoryManager* next) {
    delete memory;
    memory = next;
}

void BootContext::replaceFileManager(FileManager* next) {
    delete file_manager;
    file_manager = next;
}

void BootContext::replaceLoader(Loader* next) {
    delete loader;
    loader = next;
}

bool BootContext::identifyPlatform() {
    return readSettings();
}

bool BootContext::readSettings() {
    const Preferences& prefs = MenuContext::instance()->prefs;
    serial_console = prefs.boot_serial != 0 ? 1 : 0;
    if (wideContainsIgnoreCase(prefs.dir_user_path, u"http://"))
        file_kind = kHttp;
    else if (wideContains(prefs.dir_user_path, u'/'))
        file_kind = kUfsDisk;
    else
        file_kind = kLocalFiles;
    wideCopy(root_path, kPathSize, prefs.dir_user_path);
    wideCopy(kernel_file, kPathSize, prefs.kernel_name);
    has_image = prefs.rootfs == kRootMd ? 1 : 0;
    if (has_image)
        wideCopy(image_file, kPathSize, prefs.rootfs_file);
    return true;
}

bool BootContext::createComponents() {
    return createFileManager();
}

bool BootContext::createFileManager() {
    Console::setCurrent(console);
    // The previous attempt's file manager goes first: it may hold the disk or the connection.
    replaceFileManager(nullptr);
    FileManager* file = createFileManagerOfKind(file_kind, &console);
    if (file == nullptr)
        return false;
    file->setDebugLevel(0);
    file_manager = file;
    return true;
}

bool BootContext::attachLoader() {
    replaceLoader(nullptr);
    int type = Loader::probeFileType(*file_manager);
    kernel_unreadable = type == Loader::kUnreadable;
    // A kernel that cannot be read has no format to tell: its file manager has said why.
    if (kernel_unreadable)
        return false;
    if (type != Loader::kElf) {
        print(u"unknown file format.\n");
        return false;
    }
    loader = new (std::nothrow) ElfLoader(&console, &memory);
    return loader != nullptr;
}

bool ArmBootContext::identifyPlatform() {
    const Preferences& prefs = MenuContext::instance()->prefs;
    PlatformId current{prefs.platform_cpu, prefs.platform_machine};
    cpu_class = 0;
    for (const ClassPattern& row : kClassPatterns) {
        if (platformMatch(current, row.pattern) != 0) {
            cpu_class = row.cpu_class;
            break;
        }
    }
    if (cpu_class == 0)
        return false;
    mem_method = kLockPagesMethod;
    return readSettings();
}

bool ArmBootContext::createComponents() {
    // The old memory manager gives its pages back before anything new is reserved.
    replaceLoader(nullptr);
    replaceMemory(nullptr);
    switch (cpu_class) {
    case kClassSA11x0:
        replaceArchitecture(new (std::nothrow) SA1100Architecture(&console, &memory));
        break;
    case kClassPXA250:
    case kClassPXA270:
        replaceArchitecture(new (std::nothrow) PXA2x0Architecture(&console, &memory));
        break;
    default:
        replaceArchitecture(nullptr);
        print(u"Unsupported architecture.\n");
        return false;
    }
    if (architecture == nullptr)
        return false;

    ce::LockPagesProc lock_pages = architecture->lockPagesProc();
    ce::UnlockPagesProc unlock_pages = architecture->unlockPagesProc();
    if (lock_pages == nullptr || unlock_pages == nullptr) {
        print(u"couldn't find LockPages/UnlockPages.\n");
        return false;
    }
    if (mem_method != kLockPagesMethod) {
        print(u"unsupported memory address detection method.\n");
        return false;
    }
    memory =
        new (std::nothrow) MemoryManagerLockPages(lock_pages, unlock_pages, &console, kPageSize, kPfnShift);
    if (memory == nullptr)
        return false;

    console = Console::current();
    if (serial_console) {
        // What goes wrong while the UART opens is read where the boot falls back to.
        console = Console::screen();
        Console* uart = uartConsoleInstance(&memory, cpu_class);
        if (uart != nullptr && uart->open()) {
            console = uart;
        } else {
            print(u"use LCD console instead.\n");
        }
    }
    if (!createFileManager())
        return false;
    // What the file manager keeps of closed files goes when pages can't be had otherwise.
    memory->setMemoryRelease([this] { return file_manager != nullptr && file_manager->releaseMemory(); });
    return true;
}
