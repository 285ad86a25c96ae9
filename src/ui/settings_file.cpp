#include "ui/settings_file.h"

#include "platform/wide_format.h"
#include "platform/wide_string.h"
#include "platform/wince.h"

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

// Where each field of the record ends, in order: a stored directory or kernel
// name ends together with the flag before it, which says it was stored.
constexpr uint32_t kFieldEnds[] = {
    offsetof(Preferences, reserved) + 4,
    offsetof(Preferences, kernel_user),
    offsetof(Preferences, platform_cpu),
    offsetof(Preferences, platform_machine),
    offsetof(Preferences, rootfs),
    offsetof(Preferences, rootfs_file),
    offsetof(Preferences, boot_serial),
    offsetof(Preferences, boot_verbose),
    offsetof(Preferences, boot_single),
    offsetof(Preferences, boot_ask_name),
    offsetof(Preferences, boot_debugger),
    offsetof(Preferences, auto_boot),
    offsetof(Preferences, reverse_video),
    offsetof(Preferences, pause_before_boot),
    offsetof(Preferences, load_debug_info),
    offsetof(Preferences, safety_message),
    offsetof(Preferences, serial_speed),
    offsetof(Preferences, boot_extra),
    Preferences::kSize,
};

// The bytes of the fields that `count` bytes from the start hold whole.
uint32_t wholeFields(uint32_t count) {
    uint32_t whole = kHeaderSize;
    for (uint32_t end : kFieldEnds) {
        if (end > count)
            break;
        whole = end;
    }
    return whole;
}

// Reads one record from `path` into `bytes`: of a newer, larger layout only
// the part this layout knows, of a shorter one (or a file cut short) the
// fields it holds whole. Returns the bytes of those fields, 0 when the file
// is unusable; the length of the whole file goes to `file_size` when asked for.
uint32_t readRecord(const char16_t* path, uint8_t* bytes, uint32_t* file_size = nullptr) {
    ce::HANDLE file = ce::CreateFileW(path, ce::GENERIC_READ, 0, nullptr, ce::OPEN_EXISTING,
                                      ce::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == ce::INVALID_HANDLE_VALUE)
        return 0;
    ce::DWORD done = 0;
    uint32_t size = 0;
    if (ce::ReadFile(file, bytes, kHeaderSize, &done, nullptr) && done == kHeaderSize &&
        readWord(bytes) == Preferences::kMagic) {
        uint32_t stored = readWord(bytes + 8);
        uint32_t wanted = stored < Preferences::kSize ? stored : Preferences::kSize;
        if (wanted >= kHeaderSize && ce::SetFilePointer(file, 0, nullptr, ce::FILE_BEGIN) == 0 &&
            ce::ReadFile(file, bytes, wanted, &done, nullptr) && done >= kHeaderSize)
            size = wholeFields(done);
    }
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
    std::memcpy(&record, bytes, size);
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
