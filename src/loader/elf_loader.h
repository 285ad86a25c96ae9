// The Loader for 32-bit little-endian ARM ELF executables, with the symbol
// block ("ksyms") placed after the last loadable segment.
#pragma once

#include "loader/loader.h"

class ElfLoader : public Loader {
  public:
    ElfLoader(Console** console, MemoryManager** memory);
    ~ElfLoader() override;
    bool setFile(FileManager* file) override;
    uint32_t memorySize() override;
    bool load() override;
    uint32_t jumpAddr() override;
};
