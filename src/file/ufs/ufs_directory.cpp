// Name lookup in a directory, in both entry formats: the 4.4BSD one (a type
// byte and an 8-bit name length) when maxsymlinklen > 0, else the old one
// with a 16-bit name length.
#include "file/ufs/error_numbers.h"
#include "file/ufs/little_endian.h"
#include "file/ufs/ufs_file.h"

#include <cstring>

namespace ufs {

namespace {

constexpr uint32_t kEntryHeader = dirent::kName;

} // namespace

int searchDirectory(OpenFileRecord* record, const char* name, uint32_t length, uint32_t* number) {
    UfsFile& file = *record->fs_state;
    const bool new_format = file.fs.maxsymlinklen > 0;
    // A directory has no holes: one larger than the file system is damaged.
    if (inodeSize(file) > static_cast<uint64_t>(file.fs.fragments) * file.fs.fsize)
        return EIO;
    const int32_t size = readableSize(file);
    file.seek_pointer = 0;
    while (file.seek_pointer < size) {
        uint8_t* block = nullptr;
        uint32_t count = 0;
        int error = readFileBlock(record, &block, &count);
        if (error != 0)
            return error;
        for (uint32_t at = 0; at + kEntryHeader <= count;) {
            const uint8_t* entry = block + at;
            uint32_t record_length = get16(entry + dirent::kRecordLength);
            if (record_length == 0)
                break;
            uint32_t name_length =
                new_format ? entry[dirent::kNameLength] : get16(entry + dirent::kOldNameLength);
            if (record_length < kEntryHeader || record_length > count - at ||
                name_length > record_length - kEntryHeader)
                return EIO;
            uint32_t inode = get32(entry + dirent::kInode);
            if (inode != 0 && name_length == length &&
                std::memcmp(entry + dirent::kName, name, length) == 0) {
                *number = inode;
                return 0;
            }
            at += record_length;
        }
        file.seek_pointer += static_cast<int32_t>(count);
    }
    return ENOENT;
}

} // namespace ufs
