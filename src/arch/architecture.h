// The processor-and-board object of one boot, with the OS services the rest
// of the loader needs: coredll look-ups, the system-information report and
// the memory reservation for the kernel.
#pragma once

#include "loader/loader.h"
#include "platform/wince.h"

#include <cstdint>
#include <vector>

class Console;
class MemoryManager;

// The Windows CE version record, filled by the first `systemInfo` of the process.
extern ce::OSVERSIONINFOW os_version;

class Architecture {
  public:
    // The Windows CE version the program is built for.
    static constexpr int kTargetWindowsCE = 420;

    Architecture(Console** console, MemoryManager** memory);
    virtual ~Architecture();

    virtual bool init() = 0;
    virtual void systemInfo();
    virtual bool setupLoader() = 0;
    // Returns only on failure.
    virtual void jump(uint32_t args_paddr, uint32_t list_paddr) = 0;

    ce::FARPROC coreProc(const char16_t* name);
    ce::LockPagesProc lockPagesProc();
    ce::UnlockPagesProc unlockPagesProc();
    // Virtual, like setupBootArguments, so that a test can stand in for the machine.
    virtual bool allocateMemory(uint32_t size);
    // Fills the argument page; returns its physical address (PageLink::kEnd when no page is left).
    virtual uint32_t setupBootArguments(Loader& loader);
    // Where the second stage puts a link that starts at `address`; the link
    // is then written on linearly from there.
    virtual uint32_t finalAddress(uint32_t address) const { return address; }
    // How the second stage places the kernel's pieces, for Loader::checkLayout.
    KernelPlacement kernelPlacement() const;
    // Moves the kernel's ranges (Loader::plannedDestinations) as the second
    // stage will and tells the memory manager where they go, so that the
    // pages whose frames lie there carry the kernel's bytes in place or are
    // held back. False, with the reason printed, when a range would go
    // outside the memory banks.
    bool placeKernel(const std::vector<Loader::Destination>& ranges);

    uint32_t loaderPaddr() const { return loader_paddr_; }
    uint8_t* bootArgs() const { return boot_args_; }

  protected:
    void print(const char16_t* format, ...);
    // The addresses a kernel's pieces may have, as its file names them: the
    // ranges the second stage's translation is made for. Empty: any the
    // memory banks hold.
    virtual std::vector<MemoryManager::Stretch> kernelWindows() const { return {}; }

    ce::HMODULE coredll_ = nullptr;
    Console** console_;
    MemoryManager** memory_;
    uint32_t loader_paddr_ = 0;
    uint8_t* boot_args_ = nullptr;
};
