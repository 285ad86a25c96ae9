#include "ui/settings_file.h"

#include "platform/wide_format.h"
#include "platform/wide_string.h"
#include "platform/wince.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

constexpr uint32_t kHeaderSize = 12; // magic, version, size

// The file, and the new file a save writes first.
bool settingsPath(char16_t* path, const char16_t* suffix) {
    char16_t directory[ce::MAX_PATH];
    if (!findTemporaryDirectory(directory))
        return false;
    return wsprintfW(path, ce::MAX_PATH, u"\\%s\\zandrel.cnf%s", directory, suffix) <
           static_cast<int>(ce::MAX_PATH) - 1;
}

uint32_t readWord(const uint8_t* bytes) {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// The record's fields after the signature, each judged on its own by the
// bytes the file holds: a number when all its bytes are there, a text when
// its end (a zero character) is. A stored directory or kernel name goes with
// the flag before it, which says it was stored.
struct Field {
    uint32_t offset;
    uint32_t size;
    bool text;
    // The flag that goes with a text, or kNoFlag.
    uint32_t flag;
};
constexpr uint32_t kNoFlag = 0;

#define NUMBER(name)                                                                                         \
    { offsetof(Preferences, name), sizeof(Preferences::name), false, kNoFlag }
#define TEXT(name, flag)                                                                                     \
    { offsetof(Preferences, name), sizeof(Preferences::name), true, flag }
constexpr Field kFields[] = {
    NUMBER(reserved),
    TEXT(dir_user_path, offsetof(Preferences, dir_user)),
    TEXT(kernel_name, offsetof(Preferences, kernel_user)),
    NUMBER(platform_cpu),
    NUMBER(platform_machine),
    NUMBER(rootfs),
    TEXT(rootfs_file, kNoFlag),
    NUMBER(boot_serial),
    NUMBER(boot_verbose),
    NUMBER(boot_single),
    NUMBER(boot_ask_name),
    NUMBER(boot_debugger),
    NUMBER(auto_boot),
    NUMBER(reverse_video),
    NUMBER(pause_before_boot),
    NUMBER(load_debug_info),
    NUMBER(safety_message),
    NUMBER(serial_speed),
    TEXT(boot_extra, kNoFlag),
};
#undef NUMBER
#undef TEXT

// Whether the `count` bytes read hold the field whole.
bool holdsWhole(const Field& field, const uint8_t* bytes, uint32_t count) {
    if (field.flag != kNoFlag && field.flag + 4 > count)
        return false;
    if (field.offset + field.size <= count)
        return true;
    if (!field.text)
        return false;
    for (uint32_t at = field.offset; at + 2 <= count; at += 2) {
        if (bytes[at] == 0 && bytes[at + 1] == 0)
            return true;
    }
    return false;
}

// Copies into `record` each field that the `count` bytes read hold whole.
void takeWholeFields(Preferences& record, const uint8_t* bytes, uint32_t count) {
    auto* target = reinterpret_cast<uint8_t*>(&record);
    std::memcpy(target, bytes, kHeaderSize);
    for (const Field& field : kFields) {
        if (!holdsWhole(field, bytes, count))
            continue;
        uint32_t size = std::min(field.size, count - field.offset);
        std::memcpy(target + field.offset, bytes + field.offset, size);
        if (field.flag != kNoFlag)
            std::memcpy(target + field.flag, bytes + field.flag, 4);
    }
}

// Reads the record from `path` into `bytes`: at most the 2152 bytes of this
// layout, however many the size field names (a damaged size field must not
// hide settings the file holds). Returns the bytes read, 0 when the file is
// unusable; the length of the whole file goes to `file_size` when asked for.
uint32_t readRecord(const char16_t* path, uint8_t* bytes, uint32_t* file_size = nullptr) {
    ce::HANDLE file = ce::CreateFileW(path, ce::GENERIC_READ, 0, nullptr, ce::OPEN_EXISTING,
                                      ce::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == ce::INVALID_HANDLE_VALUE)
        return 0;
    ce::DWORD done = 0;
    uint32_t size = 0;
    if (ce::ReadFile(file, bytes, Preferences::kSize, &done, nullptr) && done >= kHeaderSize &&
        readWord(bytes) == Preferences::kMagic)
        size = done;
    if (file_size != nullptr)
        *file_size = ce::GetFileSize(file, nullptr);
    ce::CloseHandle(file);
    return size;
}

// Text fields always end inside their arrays, whatever the file held.
void terminateTexts(Preferences& record) {
    record.dir_user_path[259] = 0;
    record.kernel_name[259] = 0;
    record.rootfs_file[259] = 0;
    record.boot_extra[255] = 0;
}

} // namespace

bool findTemporaryDirectory(char16_t* buffer) {
    wideCopy(buffer, ce::MAX_PATH, u"\\*.*");
    ce::WIN32_FIND_DATAW entry{};
    ce::HANDLE search = ce::FindFirstFileW(buffer, &entry);
    if (search == ce::INVALID_HANDLE_VALUE)
        return false;
    constexpr ce::DWORD kWanted = ce::FILE_ATTRIBUTE_DIRECTORY | ce::FILE_ATTRIBUTE_TEMPORARY;
    bool found = false;
    do {
        if ((entry.dwFileAttributes & kWanted) == kWanted) {
            wideCopy(buffer, ce::MAX_PATH, entry.cFileName);
            found = true;
            break;
        }
    } while (ce::FindNextFileW(search, &entry));
    ce::FindClose(search);
    return found;
}

void applyDefaults(Preferences& record) {
    record.magic = Preferences::kMagic;
    record.reserved = 0;
    record.dir_user = 0;
    record.kernel_user = 0;
    record.platform_cpu = 0;
    record.platform_machine = 0;
    record.rootfs = kRootWd;
    wideCopy(record.rootfs_file, 260, u"miniroot.fs");
    record.boot_serial = 0;
    record.boot_verbose = 0;
    record.boot_single = 0;
    record.boot_ask_name = 0;
    record.boot_debugger = 0;
    record.boot_extra[0] = 0;
    record.auto_boot = 0;
    record.reverse_video = 0;
    record.pause_before_boot = 1;
    record.safety_message = 1;
    record.serial_speed = 19200;
}

bool loadSettingsFile(Preferences& record) {
    char16_t path[ce::MAX_PATH];
    char16_t fresh[ce::MAX_PATH];
    if (!settingsPath(path, u"") || !settingsPath(fresh, u".new"))
        return false;
    alignas(Preferences) uint8_t bytes[Preferences::kSize];
    uint32_t size = readRecord(path, bytes);
    // A save interrupted between putting the old file away and the new one in place.
    if (size == 0)
        size = readRecord(fresh, bytes);
    if (size == 0)
        return false;
    takeWholeFields(record, bytes, size);
    terminateTexts(record);
    return true;
}

bool saveSettingsFile(const Preferences& record) {
    char16_t path[ce::MAX_PATH];
    char16_t fresh[ce::MAX_PATH];
    if (!settingsPath(path, u"") || !settingsPath(fresh, u".new"))
        return false;
    uint32_t size = record.size <= Preferences::kSize ? record.size : Preferences::kSize;
    // Settings that did not change are not written again: storage cards wear
    // with every write, and every Boot saves.
    alignas(Preferences) uint8_t stored[Preferences::kSize];
    uint32_t stored_size = 0;
    if (readRecord(path, stored, &stored_size) == size && stored_size == size &&
        std::memcmp(stored, &record, size) == 0)
        return true;
    ce::HANDLE file = ce::CreateFileW(fresh, ce::GENERIC_WRITE, 0, nullptr, ce::CREATE_ALWAYS,
                                      ce::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == ce::INVALID_HANDLE_VALUE)
        return false;
    ce::DWORD written = 0;
    ce::WriteFile(file, &record, size, &written, nullptr);
    bool complete = written == size && ce::FlushFileBuffers(file);
    ce::CloseHandle(file);
    if (!complete) {
        ce::DeleteFileW(fresh);
        return false;
    }
    ce::DeleteFileW(path);
    return ce::MoveFileW(fresh, path) != ce::FALSE;
}
