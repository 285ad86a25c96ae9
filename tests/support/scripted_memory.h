// A memory manager whose pages lie at the physical addresses the test names,
// in that order; the region itself is the simulated handheld's.
#pragma once

#include "memory/memory_manager.h"

#include <cstdint>
#include <utility>
#include <vector>

class ScriptedMemory : public MemoryManager {
  public:
    ScriptedMemory(Console** console, std::vector<uint32_t> frames)
        : MemoryManager(console, 4096), frames_(std::move(frames)) {}
    uint32_t searchPage(uint8_t*) override { return next_ < frames_.size() ? frames_[next_++] : kNotFound; }

  private:
    std::vector<uint32_t> frames_;
    size_t next_ = 0;
};
