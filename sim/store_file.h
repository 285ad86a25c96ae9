// An open file of the object store. Reads are served from a read-ahead
// buffer, as the device's file cache would serve them, so a loader that
// reads a page at a time costs one host call per buffer rather than one per
// page. Writes through any handle of the same file drop the buffers of all.
#pragma once

#include "sim/handle_table.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>

namespace sim {

class StoreFile : public KernelObject {
  public:
    static constexpr uint32_t kReadAhead = 128 * 1024;

    // Takes `fd`; `exclusive` when the file was opened without sharing.
    StoreFile(int fd, std::filesystem::path path, bool exclusive);
    ~StoreFile() override;

    // Whether any handle has `path` open, and whether one has it without sharing.
    static bool isOpen(const std::filesystem::path& path, bool* exclusive);

    bool read(void* buffer, ce::DWORD size, ce::DWORD* done, ce::DWORD* error) override;
    bool write(const void* buffer, ce::DWORD size, ce::DWORD* done, ce::DWORD* error) override;
    bool seek(ce::LONG distance, ce::DWORD method, ce::DWORD* position, ce::DWORD* error) override;
    bool size(ce::DWORD* size, ce::DWORD* error) override;
    bool flush(ce::DWORD* error) override;

    StoreFile(const StoreFile&) = delete;
    StoreFile& operator=(const StoreFile&) = delete;

  private:
    // The handles open on one host file.
    struct OpenState {
        int count = 0;
        bool exclusive = false;
        // Counts the changes of the file through any handle.
        uint64_t changes = 0;
    };

    static std::map<std::filesystem::path, OpenState>& openFiles();
    // True when the read-ahead buffer holds the byte at `position_`.
    bool buffered() const;
    // Refills the read-ahead buffer from `position_`; false on a host error.
    bool refill();

    int fd_;
    std::filesystem::path path_;
    OpenState* state_;
    uint64_t position_ = 0;
    std::vector<uint8_t> ahead_;
    uint64_t ahead_start_ = 0;
    uint64_t ahead_changes_ = 0;
};

} // namespace sim
