#include "file/ufs/disklabel.h"

#include "file/ufs/little_endian.h"

namespace disklabel {

uint16_t entryCount(const uint8_t* label) {
    return ufs::get16(label + kCountOffset);
}

uint16_t diskLabelChecksum(const uint8_t* label) {
    uint32_t count = entryCount(label);
    if (count > kMaxEntries)
        return 0xFFFF;
    uint16_t sum = 0;
    for (uint32_t at = 0; at < kPartitionsOffset + count * kEntrySize; at += 2)
        sum ^= ufs::get16(label + at);
    return sum;
}

bool isValid(const uint8_t* label) {
    return ufs::get32(label + kMagicOffset) == kMagic && ufs::get32(label + kMagic2Offset) == kMagic &&
           entryCount(label) <= kMaxEntries && diskLabelChecksum(label) == 0;
}

} // namespace disklabel
