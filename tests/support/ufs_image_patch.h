// Hand patches of a UFS1 image made by makefs, for damaged and unusual file
// systems no tool makes: finds inodes and directory entries by following the
// directories' direct blocks (enough for the small test trees) and writes
// little-endian fields in place.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class UfsImagePatch {
  public:
    // The image's bytes; the file system starts at `fs_offset`.
    explicit UfsImagePatch(const std::filesystem::path& image, uint64_t fs_offset = 0);
    bool save(const std::filesystem::path& image) const;

    uint32_t get32(uint64_t offset) const;
    void set32(uint64_t offset, uint32_t value);
    void set16(uint64_t offset, uint16_t value);
    void set64(uint64_t offset, uint64_t value);
    uint8_t& byte(uint64_t offset) { return bytes_.at(offset); }

    uint64_t superBlock(uint32_t field) const { return fs_offset_ + 8192 + field; }
    uint32_t superBlock32(uint32_t field) const { return get32(superBlock(field)); }
    uint32_t bsize() const { return superBlock32(48); }
    uint32_t fsize() const { return superBlock32(52); }

    // Byte offset of inode `number`.
    uint64_t inode(uint32_t number) const;
    uint64_t inodeField(uint32_t number, uint32_t field) const { return inode(number) + field; }
    // Byte offset of fragment `address`.
    uint64_t fragment(uint32_t address) const;
    uint32_t directAddress(uint32_t number, uint32_t index) const;
    uint32_t indirectAddress(uint32_t number, uint32_t level) const;
    uint32_t size32(uint32_t number) const { return get32(inodeField(number, 8)); }

    // Inode number of `path` ('/'-separated, directories only); 0 when absent.
    uint32_t lookup(const std::string& path) const;
    // Byte offset of the directory entry `name` in directory inode `directory`; 0 when absent.
    uint64_t entry(uint32_t directory, const std::string& name) const;
    // Every directory below `directory` gets the old entry format (16-bit name lengths).
    void convertToOldDirectories(uint32_t directory);

    // Fragment addresses of `count` blocks at the end of the file system that hold only zeros.
    std::vector<uint32_t> freeBlocksAtEnd(uint32_t count) const;

  private:
    // Byte offsets of the entries of a directory (its direct blocks).
    std::vector<uint64_t> entries(uint32_t directory) const;

    std::vector<uint8_t> bytes_;
    uint64_t fs_offset_;
};
