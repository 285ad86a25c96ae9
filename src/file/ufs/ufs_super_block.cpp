// The super-block check: beyond the magic number and the block size, every
// value that later sizes a copy or a shift must agree with the others, so a
// damaged super-block cannot lead a read outside the reader's buffers.
#include "file/ufs/error_numbers.h"
#include "file/ufs/little_endian.h"
#include "file/ufs/ufs_file.h"

namespace ufs {

namespace {

bool isPowerOfTwo(uint32_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

uint32_t log2Of(uint32_t n) {
    uint32_t shift = 0;
    while ((1u << shift) < n)
        ++shift;
    return shift;
}

UfsGeometry decode(const uint8_t* sb) {
    UfsGeometry fs{};
    fs.bsize = get32(sb + sb::kBsize);
    fs.bshift = get32(sb + sb::kBshift);
    fs.fragshift = get32(sb + sb::kFragshift);
    fs.fsbtodb = get32(sb + sb::kFsbtodb);
    fs.nindir = get32(sb + sb::kNindir);
    fs.inopb = get32(sb + sb::kInopb);
    fs.ipg = get32(sb + sb::kIpg);
    fs.fpg = get32(sb + sb::kFpg);
    fs.iblkno = get32(sb + sb::kIblkno);
    fs.cgoffset = get32(sb + sb::kCgoffset);
    fs.cgmask = get32(sb + sb::kCgmask);
    fs.ncg = get32(sb + sb::kNcg);
    fs.fragments = get32(sb + sb::kSize);
    fs.maxsymlinklen = getSigned32(sb + sb::kMaxsymlinklen);
    fs.qbmask = get64(sb + sb::kQbmask);
    fs.qfmask = get64(sb + sb::kQfmask);
    // The 32-bit mask, widened with its sign as the reader uses it on 64-bit sizes.
    fs.fmask = static_cast<uint64_t>(static_cast<int64_t>(getSigned32(sb + sb::kFmask)));
    return fs;
}

bool consistent(const UfsGeometry& fs) {
    if (fs.bshift >= 32 || (1u << fs.bshift) != fs.bsize || fs.fragshift > 3 || fs.bshift < fs.fragshift + 9)
        return false;
    uint32_t fsize = fs.bsize >> fs.fragshift;
    if (fs.qbmask != fs.bsize - 1u || fs.qfmask != fsize - 1u ||
        fs.fmask != ~static_cast<uint64_t>(fsize - 1u))
        return false;
    if (fs.fsbtodb >= 32 || (512u << fs.fsbtodb) != fsize)
        return false;
    // Indirect entries and inodes are taken from one block; the address cache spans 64 entries.
    if (fs.nindir < UfsFile::kIndirectCacheSize || fs.nindir > fs.bsize / 4 ||
        fs.inopb > fs.bsize / di::kSize)
        return false;
    return fs.maxsymlinklen <= static_cast<int32_t>(di::kLinkAreaSize) && fs.ncg != 0 && fs.fpg != 0 &&
           fs.fragments != 0;
}

} // namespace

int readSuperBlock(OpenFileRecord* record) {
    UfsFile& file = *record->fs_state;
    uint32_t count = 0;
    int error = record->device->strategy(record->device_state, 1, kSuperBlockSector, kSuperBlockSize,
                                         file.super_block, &count);
    if (error != 0)
        return error;
    const uint8_t* sb = file.super_block;
    if (count != kSuperBlockSize || get32(sb + sb::kMagicOffset) != kMagic)
        return EINVAL;
    UfsGeometry fs = decode(sb);
    if (fs.bsize < kMinBlockSize || fs.bsize > kMaxBlockSize || !isPowerOfTwo(fs.nindir) || fs.ipg == 0 ||
        fs.inopb == 0 || !consistent(fs))
        return EINVAL;
    fs.fsize = fs.bsize >> fs.fragshift;
    file.fs = fs;
    file.indirect_shift = log2Of(fs.nindir);
    return 0;
}

} // namespace ufs
