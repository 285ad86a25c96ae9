#include "support/ufs_image_patch.h"

#include <cstring>
#include <fstream>
#include <iterator>

UfsImagePatch::UfsImagePatch(const std::filesystem::path& image, uint64_t fs_offset) : fs_offset_(fs_offset) {
    std::ifstream in(image, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool UfsImagePatch::save(const std::filesystem::path& image) const {
    std::ofstream out(image, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
    return static_cast<bool>(out);
}

uint32_t UfsImagePatch::get32(uint64_t offset) const {
    return bytes_.at(offset) | (bytes_.at(offset + 1) << 8) | (bytes_.at(offset + 2) << 16) |
           (static_cast<uint32_t>(bytes_.at(offset + 3)) << 24);
}

void UfsImagePatch::set16(uint64_t offset, uint16_t value) {
    bytes_.at(offset) = static_cast<uint8_t>(value);
    bytes_.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

void UfsImagePatch::set32(uint64_t offset, uint32_t value) {
    set16(offset, static_cast<uint16_t>(value));
    set16(offset + 2, static_cast<uint16_t>(value >> 16));
}

void UfsImagePatch::set64(uint64_t offset, uint64_t value) {
    set32(offset, static_cast<uint32_t>(value));
    set32(offset + 4, static_cast<uint32_t>(value >> 32));
}

uint64_t UfsImagePatch::fragment(uint32_t address) const {
    return fs_offset_ + uint64_t{address} * fsize();
}

uint64_t UfsImagePatch::inode(uint32_t number) const {
    uint32_t ipg = superBlock32(184), fpg = superBlock32(188), inopb = superBlock32(120);
    uint32_t iblkno = superBlock32(16), fragshift = superBlock32(96);
    uint32_t group = number / ipg;
    uint32_t address = fpg * group + iblkno + (((number % ipg) / inopb) << fragshift);
    return fragment(address) + (number % inopb) * 128;
}

uint32_t UfsImagePatch::directAddress(uint32_t number, uint32_t index) const {
    return get32(inodeField(number, 40 + 4 * index));
}

uint32_t UfsImagePatch::indirectAddress(uint32_t number, uint32_t level) const {
    return get32(inodeField(number, 88 + 4 * level));
}

std::vector<uint64_t> UfsImagePatch::entries(uint32_t directory) const {
    std::vector<uint64_t> offsets;
    uint32_t size = size32(directory);
    for (uint32_t block = 0; block * bsize() < size && block < 12; ++block) {
        uint64_t start = fragment(directAddress(directory, block));
        uint32_t length = size - block * bsize() < bsize() ? size - block * bsize() : bsize();
        for (uint32_t at = 0; at + 8 <= length;) {
            uint32_t record_length = bytes_.at(start + at + 4) | (bytes_.at(start + at + 5) << 8);
            if (record_length == 0)
                break;
            offsets.push_back(start + at);
            at += record_length;
        }
    }
    return offsets;
}

uint64_t UfsImagePatch::entry(uint32_t directory, const std::string& name) const {
    for (uint64_t offset : entries(directory)) {
        uint32_t length = bytes_.at(offset + 7);
        if (get32(offset) != 0 && length == name.size() &&
            std::memcmp(&bytes_.at(offset + 8), name.data(), length) == 0)
            return offset;
    }
    return 0;
}

uint32_t UfsImagePatch::lookup(const std::string& path) const {
    uint32_t number = 2;
    size_t start = 0;
    while (start < path.size()) {
        size_t slash = path.find('/', start);
        std::string name = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        start = slash == std::string::npos ? path.size() : slash + 1;
        if (name.empty())
            continue;
        uint64_t offset = entry(number, name);
        if (offset == 0)
            return 0;
        number = get32(offset);
    }
    return number;
}

void UfsImagePatch::convertToOldDirectories(uint32_t directory) {
    for (uint64_t offset : entries(directory)) {
        uint8_t type = bytes_.at(offset + 6);
        uint8_t length = bytes_.at(offset + 7);
        bool dot = (length == 1 && bytes_.at(offset + 8) == '.') ||
                   (length == 2 && bytes_.at(offset + 8) == '.' && bytes_.at(offset + 9) == '.');
        // The 16-bit length replaces the type byte and the 8-bit length.
        set16(offset + 6, length);
        if (type == 4 && !dot && get32(offset) != 0)
            convertToOldDirectories(get32(offset));
    }
}

std::vector<uint32_t> UfsImagePatch::freeBlocksAtEnd(uint32_t count) const {
    uint32_t frag = bsize() / fsize();
    uint32_t fragments = superBlock32(36) / frag * frag;
    std::vector<uint32_t> blocks;
    for (uint32_t address = fragments - frag; blocks.size() < count && address >= frag; address -= frag) {
        uint64_t start = fragment(address);
        bool zero = true;
        for (uint32_t i = 0; i < bsize() && zero; ++i)
            zero = bytes_.at(start + i) == 0;
        if (zero)
            blocks.push_back(address);
    }
    return blocks;
}
