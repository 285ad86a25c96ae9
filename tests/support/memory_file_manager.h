// A FileManager over bytes in memory, for loader tests and fuzzing: every
// open names the same bytes; reads can be made to fail from an offset on.
#pragma once

#include "file/file_manager.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

class MemoryFileManager : public FileManager {
  public:
    static constexpr uint32_t kNever = 0xFFFFFFFFu;

    struct Read {
        uint32_t offset;
        uint32_t size;
    };

    MemoryFileManager(Console** console, std::string contents)
        : FileManager(console), bytes(std::move(contents)) {}

    bool setRoot(const char16_t*) override { return true; }
    bool open(const char16_t*, uint32_t) override {
        position_ = 0;
        return true;
    }
    uint32_t size() override { return static_cast<uint32_t>(bytes.size()); }
    bool close() override { return true; }
    uint32_t read(void* buffer, uint32_t size, uint32_t offset = kCurrentPosition) override {
        if (offset != kCurrentPosition)
            position_ = offset;
        reads.push_back({position_, size});
        if (position_ >= fail_from || (size > 0 && uint64_t{position_} + size - 1 >= fail_from))
            return failure_result;
        uint64_t available = position_ < bytes.size() ? bytes.size() - position_ : 0;
        uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(size, available));
        if (count > 0)
            std::memcpy(buffer, bytes.data() + position_, count);
        position_ += count;
        return count;
    }
    uint32_t write(const void*, uint32_t, uint32_t = kCurrentPosition) override { return 0; }
    bool seek(uint32_t offset) override {
        position_ = offset;
        return true;
    }

    std::string bytes;
    // A read touching this offset or beyond returns `failure_result`, as the
    // gzip layer does (all ones) once the data is found corrupt.
    uint32_t fail_from = kNever;
    uint32_t failure_result = 0xFFFFFFFFu;
    std::vector<Read> reads;

  private:
    uint32_t position_ = 0;
};
