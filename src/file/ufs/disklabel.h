// The BSD disklabel, at byte 0 of sector 1 of its MBR partition.
#pragma once

#include <cstdint>

namespace disklabel {

constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kMagic = 0x82564557;

constexpr uint32_t kMagicOffset = 0;
constexpr uint32_t kMagic2Offset = 132;
constexpr uint32_t kChecksumOffset = 136; // 16 bits
constexpr uint32_t kCountOffset = 138;    // 16 bits
constexpr uint32_t kPartitionsOffset = 148;
constexpr uint32_t kEntrySize = 16;
// Entry fields: size and start in sectors, the start absolute on the disk.
constexpr uint32_t kEntrySectors = 0;
constexpr uint32_t kEntryStart = 4;

// As many entries as one sector holds after the header.
constexpr uint32_t kMaxEntries = (kSectorSize - kPartitionsOffset) / kEntrySize;

// The number of entries the label declares.
uint16_t entryCount(const uint8_t* label);
// XOR of the label's 16-bit words up to the end of its declared entries; 0
// for a valid label. `label` holds one whole sector; a label declaring more
// entries than that sector holds is never valid.
uint16_t diskLabelChecksum(const uint8_t* label);
// Both magic numbers, a count the sector holds and a zero checksum.
bool isValid(const uint8_t* label);

} // namespace disklabel
