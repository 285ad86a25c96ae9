// The hand-off state in a file (docs/snapshot-format.md): the RAM pages the
// loader used, with their physical addresses, the jump routine's four
// arguments and the device's processor, so a hand-off can be run again
// without the loader.
#pragma once

#include "sim/hand_off.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct SnapshotPage {
    uint32_t paddr;
    std::vector<uint8_t> bytes; // one page
};

struct Snapshot {
    HandOff hand_off;
    std::vector<SnapshotPage> pages; // ascending addresses
};

constexpr uint32_t kSnapshotPageSize = 4096;
constexpr uint32_t kSnapshotHeaderSize = 64;
constexpr uint32_t kSnapshotVersion = 1;

// Every RAM frame of the current handheld that is in use, with `hand_off`.
bool writeSnapshot(const std::string& path, const HandOff& hand_off, std::string& error);
// Reads and checks a snapshot; on failure `error` says what is wrong.
bool readSnapshot(const std::string& path, Snapshot& snapshot, std::string& error);
// Makes the current handheld the snapshot's device (its profile, fresh RAM)
// and puts the pages in its RAM.
bool restoreSnapshot(const Snapshot& snapshot, std::string& error);

} // namespace sim
