#include "arch/arm/arm_architecture.h"

#include "memory/memory_manager.h"
#include "platform/device_registers.h"

#include <cstring>

uint32_t dcache_size = kDCacheFlushAreaSize;
alignas(kDCacheLineSize) uint8_t dcache_flush_area[kDCacheFlushAreaSize];

ArmArchitecture::ArmArchitecture(Console** console, MemoryManager** memory) : Architecture(console, memory) {
    print(u"ARM architecture.\n");
}

void ArmArchitecture::systemInfo() {
    Architecture::systemInfo();

    kmode_saved_ = ce::SetKMode(ce::TRUE);
    DisableInterrupts();
    if ((GetCPSR() & kModeMask) != kSystemMode)
        print(u"can't change to System mode\n");
    print(u"Reg0 :%08x\n", ReadCP15_c0());
    print(u"Reg1 :%08x\n", ReadCP15_c1());
    print(u"Reg2 :%08x\n", ReadCP15_c2());
    print(u"Reg3 :%08x\n", ReadCP15_c3());
    print(u"Reg5 :%08x\n", ReadCP15_c5());
    print(u"Reg6 :%08x\n", ReadCP15_c6());
    print(u"Reg13:%08x\n", ReadCP15_c13());
    print(u"Reg14:%08x\n", ReadCP15_c14());
    print(u"CPSR :%08x\n", GetCPSR());
    EnableInterrupts();
    ce::SetKMode(kmode_saved_);
}

bool ArmArchitecture::initBanks(uint32_t first_bank, uint32_t bank_size, uint32_t cache_size) {
    MemoryManager& memory = **memory_;
    if (!memory.init()) {
        print(u"can't initialize memory manager.\n");
        return false;
    }
    std::vector<MemoryManager::Bank> banks = installedBanks();
    if (banks.empty()) {
        for (uint32_t i = 0; i < 4; ++i)
            banks.push_back({first_bank + i * bank_size, bank_size});
    }
    for (const MemoryManager::Bank& bank : banks)
        memory.addBank(bank.address, bank.size);
    dcache_size = cache_size;
    print(u"D-cache size = %d\n", dcache_size);
    return true;
}

bool ArmArchitecture::readPhysicalRegister(uint32_t paddr, uint32_t& value) {
    MemoryManager& memory = **memory_;
    volatile uint8_t* mapped = memory.mapPhysicalPage(paddr, 4, ce::PAGE_READONLY);
    if (mapped == nullptr)
        return false;
    value = readRegister32(mapped);
    memory.unmapPhysicalPage(mapped);
    return true;
}

bool ArmArchitecture::placeSecondStage(const uint8_t* block, size_t size) {
    MemoryManager& memory = **memory_;
    uint32_t page_size = memory.getPageSize();
    if (size > page_size) {
        print(u"2nd bootloader size(%dbyte) is larger than page size(%d).\n", static_cast<uint32_t>(size),
              page_size);
        return false;
    }
    MemoryManager::Page page{};
    if (!memory.getPageFromEnd(page)) {
        print(u"can't get page for 2nd loader.\n");
        return false;
    }
    loader_paddr_ = page.paddr;
    print(u"2nd bootloader vaddr=0x%08x paddr=0x%08x\n",
          static_cast<uint32_t>(reinterpret_cast<uintptr_t>(page.vaddr)), loader_paddr_);
    std::memcpy(page.vaddr, block, size);
    print(u"2nd bootloader copy done.\n");
    return true;
}

bool ArmArchitecture::handOver(uint32_t args_paddr, uint32_t list_paddr, JumpRoutine jump_routine) {
    MemoryManager& memory = **memory_;
    MemoryManager::Page stack{};
    if (!memory.getPageFromEnd(stack))
        return false;
    uint32_t page_size = memory.getPageSize();
    uint32_t sp = stack.paddr + page_size;
    print(u"sp for bootloader = %08x + %08x = %08x\n", stack.paddr, page_size, sp);

    // Everything written so far through the cache must be in memory before
    // the MMU and caches go off; nothing is printed from here on.
    CleanDCache();
    ce::SetKMode(ce::TRUE);
    jump_routine(args_paddr, list_paddr, sp, loader_paddr_);
    return true;
}
