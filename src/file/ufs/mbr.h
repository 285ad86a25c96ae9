// The MBR partition table: four 16-byte entries at byte 446 of sector 0.
#pragma once

#include <cstdint>

namespace mbr {

constexpr uint32_t kTableOffset = 446;
constexpr uint32_t kEntryCount = 4;
constexpr uint32_t kEntrySize = 16;
constexpr uint32_t kTableSize = kEntryCount * kEntrySize;

// Entry fields.
constexpr uint32_t kBootFlag = 0;
constexpr uint32_t kStartHead = 1;
constexpr uint32_t kStartSector = 2; // with the cylinder's high bits
constexpr uint32_t kStartCylinder = 3;
constexpr uint32_t kType = 4;
constexpr uint32_t kEndHead = 5;
constexpr uint32_t kEndSector = 6;
constexpr uint32_t kEndCylinder = 7;
constexpr uint32_t kFirstSector = 8; // 32 bits, absolute
constexpr uint32_t kSectorCount = 12;

constexpr uint8_t kTypeKalmor = 0xA9;
constexpr uint8_t kTypeFreeBsd = 0xA5;

} // namespace mbr
