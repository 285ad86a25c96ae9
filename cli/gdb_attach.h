// What zandrel-sim --gdb tells the user: the command that attaches gdb to
// QEMU's stub with the kernel's symbols. A gzipped kernel is inflated into a
// temporary folder for gdb, removed with this object; where the second stage
// runs the kernel away from its link address (the PXA2x0's SDRAM), the
// symbols are moved by as much.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

class GdbAttach {
  public:
    // `kernel`: the kernel's file on the host, or none with the reason.
    GdbAttach(const std::optional<std::filesystem::path>& kernel, const std::string& why_not);
    ~GdbAttach();
    GdbAttach(const GdbAttach&) = delete;
    GdbAttach& operator=(const GdbAttach&) = delete;

    // The lines to print once QEMU waits on `port` with the kernel entered at `entry`.
    std::string message(uint16_t port, uint32_t entry) const;

  private:
    std::optional<std::filesystem::path> elf_;
    std::optional<uint32_t> link_entry_;
    std::filesystem::path scratch_;
    std::string why_not_;
};
