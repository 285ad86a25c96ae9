// Feeds arbitrary bytes to the ELF loader as a kernel file: setFile,
// memorySize, checkLayout, load and endPageList over a LockPages memory manager on the
// simulated handheld.
#include "console/console.h"
#include "fuzz_device.h"
#include "loader/elf_loader.h"
#include "memory/memory_manager_lock_pages.h"
#include "platform/wide_format.h"
#include "sim/handheld.h"
#include "sim/physical_memory.h"
#include "support/memory_file_manager.h"
#include "support/recording_console.h"
#include "ui/menu_context.h"

#include <cstdlib>
#include <filesystem>

namespace {

// Formats every message, as a real console would, and drops it.
// Larger kernels only cost time: the loader's handling of sizes is the same.
constexpr uint32_t kMostMemory = 4 * 1024 * 1024;

void makeDevice() {
    makeFuzzDevice();
    sim::Handheld::get().yes_no_answer = 6;
    MenuContext::instance()->prefs.safety_message = 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool made = (makeDevice(), true);
    (void)made;
    sim::Handheld::get().message_boxes.clear();

    DiscardingConsole console;
    Console* console_slot = &console;
    MemoryManager* memory =
        new MemoryManagerLockPages(sim::LockPages, sim::UnlockPages, &console_slot, 4096, 0);
    MemoryFileManager file(&console_slot, std::string(reinterpret_cast<const char*>(data), size));
    {
        ElfLoader loader(&console_slot, &memory);
        if (loader.setFile(&file)) {
            uint32_t need = loader.memorySize();
            // As a PXA2x0 places a kernel, with a page of image after it.
            const KernelPlacement placement{[](uint32_t a) { return (a & 0x0FFFFFFFu) | 0xA0000000u; },
                                            {{0xA0000000, 0xB0000000}, {0xC0000000, 0xD0000000}}};
            loader.checkLayout(placement, 4096);
            if (need <= kMostMemory) {
                uint32_t pages = MemoryManager::roundRegion(
                    memory->estimateTaggedPageSize(memory->roundPage(need)) + 4 * memory->getPageSize());
                if (memory->reservePages(pages) && loader.load())
                    loader.endPageList();
            }
            loader.jumpAddr();
        }
    }
    delete memory;
    return 0;
}
