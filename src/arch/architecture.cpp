#include "arch/architecture.h"

#include "boot/frame_buffer_info.h"
#include "console/console.h"
#include "loader/placement_check.h"
#include "memory/memory_manager.h"
#include "ui/menu_context.h"

#include <cstdarg>

ce::OSVERSIONINFOW os_version{};

Architecture::Architecture(Console** console, MemoryManager** memory) : console_(console), memory_(memory) {}

Architecture::~Architecture() {
    if (coredll_ != nullptr)
        ce::FreeLibrary(coredll_);
}

void Architecture::print(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    slotVprint(console_, format, args);
    va_end(args);
}

ce::FARPROC Architecture::coreProc(const char16_t* name) {
    if (coredll_ == nullptr)
        coredll_ = ce::LoadLibraryW(u"coredll.dll");
    if (coredll_ == nullptr) {
        MenuContext::instance()->messageBox(u"Can't load coredll.dll.", u"WARNING", ce::MB_ICONEXCLAMATION);
        return nullptr;
    }
    return ce::GetProcAddressW(coredll_, name);
}

ce::LockPagesProc Architecture::lockPagesProc() {
    return reinterpret_cast<ce::LockPagesProc>(coreProc(u"LockPages"));
}

ce::UnlockPagesProc Architecture::unlockPagesProc() {
    return reinterpret_cast<ce::UnlockPagesProc>(coreProc(u"UnlockPages"));
}

bool Architecture::allocateMemory(uint32_t size) {
    MemoryManager* memory = *memory_;
    uint32_t page_size = memory->getPageSize();
    uint32_t payload = page_size - MemoryManager::kLinkSize;
    uint64_t bytes = (static_cast<uint64_t>(size) + payload - 1) / payload * page_size;
    bytes += uint64_t{MemoryManager::kBootPages} * page_size;
    bytes = MemoryManager::roundRegion(bytes);
    if (bytes > UINT32_MAX) {
        print(u"memory request too large (%u bytes).\n", size);
        return false;
    }
    return memory->reservePages(static_cast<uint32_t>(bytes));
}

bool Architecture::placeKernel(const std::vector<Loader::Destination>& ranges) {
    MemoryManager* memory = *memory_;
    std::vector<MemoryManager::Stretch> moved =
        finalRanges(ranges, [this](uint32_t address) { return finalAddress(address); });
    // A place the kernel may still take is only room kept: it may reach past the banks.
    std::vector<MemoryManager::Stretch> decided;
    std::vector<size_t> index;
    for (size_t k = 0; k < moved.size(); ++k) {
        if (!ranges[k].undecided) {
            decided.push_back(moved[k]);
            index.push_back(k);
        }
    }
    size_t outside = memory->firstOutsideBanks(decided);
    if (outside < decided.size()) {
        size_t i = index[outside];
        print(u"destination 0x%08x-0x%08x goes to 0x%08x-0x%08x, outside the memory banks.\n",
              ranges[i].start, static_cast<uint32_t>(ranges[i].end - 1),
              static_cast<uint32_t>(moved[i].start), static_cast<uint32_t>(moved[i].end - 1));
        return false;
    }
    std::vector<MemoryManager::KernelRange> kernel;
    kernel.reserve(moved.size());
    for (size_t k = 0; k < moved.size(); ++k)
        kernel.push_back({moved[k], ranges[k].zero_fill, ranges[k].undecided});
    memory->placeKernel(std::move(kernel), [this](uint32_t address) { return finalAddress(address); });
    return true;
}

KernelPlacement Architecture::kernelPlacement() const {
    return {[this](uint32_t address) { return finalAddress(address); }, kernelWindows()};
}

void Architecture::systemInfo() {
    print(u"_WIN32_WCE = %d\n", kTargetWindowsCE);

    os_version = ce::OSVERSIONINFOW{};
    os_version.dwOSVersionInfoSize = sizeof(os_version);
    auto get_version_ex = reinterpret_cast<ce::GetVersionExProc>(coreProc(u"GetVersionEx"));
    if (get_version_ex != nullptr) {
        get_version_ex(&os_version);
        print(u"GetVersionEx\n");
    } else {
        ce::GetVersionExW(&os_version);
        print(u"GetVersionExW\n");
    }
    print(u"Windows CE %d.%d\n", os_version.dwMajorVersion, os_version.dwMinorVersion);

    ce::SYSTEM_INFO info{};
    ce::GetSystemInfo(&info);
    print(u"GetSystemInfo:\n");
    print(u"wProcessorArchitecture      0x%x\n", static_cast<uint32_t>(info.wProcessorArchitecture));
    print(u"wProcessorLevel             0x%x\n", static_cast<uint32_t>(info.wProcessorLevel));
    print(u"wProcessorRevision          0x%x\n", static_cast<uint32_t>(info.wProcessorRevision));
    print(u"dwPageSize                  0x%x\n", info.dwPageSize);
    print(u"dwAllocationGranularity     0x%08x\n", info.dwAllocationGranularity);
    print(u"dwProcessorType             0x%x\n", info.dwProcessorType);

    FrameBufferInfo display(PlatformId{0, 0});
    print(u"Display: %dx%d %dbpp\n", display.width(), display.height(), display.bpp());
}
