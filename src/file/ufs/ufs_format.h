// The on-disk records of the UFS1 file system that the reader uses: the
// super-block, the 128-byte inode and the directory entry.
#pragma once

#include <cstdint>

namespace ufs {

constexpr uint32_t kSuperBlockSector = 16; // byte 8192 of the partition
constexpr uint32_t kSuperBlockSize = 8192;
constexpr uint32_t kMagic = 0x011954;
constexpr uint32_t kMinBlockSize = 1376;
constexpr uint32_t kMaxBlockSize = 65536;
constexpr uint32_t kRootInode = 2;

// Super-block fields, 32-bit unless stated.
namespace sb {
constexpr uint32_t kIblkno = 16;
constexpr uint32_t kCgoffset = 24;
constexpr uint32_t kCgmask = 28;
constexpr uint32_t kSize = 36; // fragments in the file system
constexpr uint32_t kNcg = 44;  // cylinder groups
constexpr uint32_t kBsize = 48;
constexpr uint32_t kFmask = 76;
constexpr uint32_t kBshift = 80;
constexpr uint32_t kFragshift = 96;
constexpr uint32_t kFsbtodb = 100;
constexpr uint32_t kNindir = 116;
constexpr uint32_t kInopb = 120;
constexpr uint32_t kIpg = 184;
constexpr uint32_t kFpg = 188;
constexpr uint32_t kMaxsymlinklen = 1320;
constexpr uint32_t kQbmask = 1336; // 64-bit
constexpr uint32_t kQfmask = 1344; // 64-bit
constexpr uint32_t kMagicOffset = 1372;
} // namespace sb

// Inode fields.
namespace di {
constexpr uint32_t kSize = 128;
constexpr uint32_t kMode = 0;     // 16-bit
constexpr uint32_t kFileSize = 8; // 64-bit
constexpr uint32_t kDirect = 40;
constexpr uint32_t kIndirect = 88;
constexpr uint32_t kUid = 112;
constexpr uint32_t kGid = 116;
constexpr uint32_t kDirectCount = 12;
constexpr uint32_t kIndirectCount = 3;
// The address area, where a short symbolic link keeps its target.
constexpr uint32_t kLinkArea = kDirect;
constexpr uint32_t kLinkAreaSize = (kDirectCount + kIndirectCount) * 4;
} // namespace di

constexpr uint16_t kTypeMask = 0xF000;
constexpr uint16_t kTypeDirectory = 0x4000;
constexpr uint16_t kTypeSymlink = 0xA000;

// Directory entry fields.
namespace dirent {
constexpr uint32_t kInode = 0;
constexpr uint32_t kRecordLength = 4;  // 16-bit
constexpr uint32_t kOldNameLength = 6; // 16-bit, old format
constexpr uint32_t kNameLength = 7;    // 8-bit, 4.4BSD format
constexpr uint32_t kName = 8;
} // namespace dirent

} // namespace ufs
