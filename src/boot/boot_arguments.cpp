// The argument page: entry, argc, argv and BootInfo for the kernel.
#include "arch/architecture.h"
#include "boot/boot_info.h"
#include "console/console.h"
#include "loader/loader.h"
#include "memory/memory_manager.h"
#include "ui/menu_context.h"

#include <cstring>

namespace {

void storeWord(uint8_t* page, uint32_t offset, uint32_t value) {
    std::memcpy(page + offset, &value, sizeof(value));
}

} // namespace

uint32_t Architecture::setupBootArguments(Loader& loader) {
    MemoryManager* memory = *memory_;
    MenuContext* menu = MenuContext::instance();
    MemoryManager::Page page{};
    if (menu == nullptr || memory == nullptr || !memory->getPageFromEnd(page)) {
        print(u"no page left for the boot arguments.\n");
        return PageLink::kEnd;
    }
    uint32_t limit = memory->getPageSize() - argument_page::kTailReserve;
    if (limit < argument_page::kStrings) {
        print(u"page too small for the boot arguments.\n");
        return PageLink::kEnd;
    }
    boot_args_ = page.vaddr;
    std::memset(page.vaddr, 0, limit);

    uint32_t argc =
        menu->setupKernelArgs(reinterpret_cast<uint32_t*>(page.vaddr + argument_page::kVector),
                              page.paddr + argument_page::kVector, limit - argument_page::kVector);
    storeWord(page.vaddr, argument_page::kArgc, argc);
    storeWord(page.vaddr, argument_page::kArgv, page.paddr + argument_page::kVector);

    BootInfo* info = reinterpret_cast<BootInfo*>(page.vaddr + argument_page::kBootInfo);
    menu->setupBootInfo(info);
    info->console_type = *console_ != nullptr ? (*console_)->kind() : 0;
    storeWord(page.vaddr, argument_page::kBootInfoPointer, page.paddr + argument_page::kBootInfo);
    storeWord(page.vaddr, argument_page::kEntry, loader.jumpAddr());

    print(u"framebuffer: %dx%d type=%d linebytes=%d addr=0x%08x\n", info->fb_width, info->fb_height,
          info->fb_type, info->fb_line_bytes, info->fb_addr);
    print(u"console = %d\n", info->console_type);
    return page.paddr;
}
