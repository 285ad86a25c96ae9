#include "sim/object_store.h"

#include "platform/wide_string.h"
#include "platform/wince.h"
#include "sim/handheld.h"
#include "sim/handle_table.h"
#include "sim/store_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sim {

namespace {

char16_t foldCase(char16_t c) {
    if (c >= u'a' && c <= u'z')
        return static_cast<char16_t>(c - u'a' + u'A');
    if (c >= 0xFF41 && c <= 0xFF5A) // full-width letters
        return static_cast<char16_t>(c - 0x20);
    return c;
}

bool sameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (foldCase(a[i]) != foldCase(b[i]))
            return false;
    }
    return true;
}

std::vector<std::u16string> splitPath(std::u16string_view path) {
    std::vector<std::u16string> parts;
    std::u16string part;
    for (char16_t c : path) {
        if (c == u'\\' || c == u'/') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

ce::DWORD errorOf(int host_errno) {
    switch (host_errno) {
    case ENOENT:
        return ce::ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ce::ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ce::ERROR_ACCESS_DENIED;
    case EEXIST:
        return 80; // ERROR_FILE_EXISTS
    default:
        return ce::ERROR_INVALID_PARAMETER;
    }
}

} // namespace

std::optional<std::filesystem::path> hostPath(std::u16string_view device_path) {
    std::filesystem::path path = Handheld::get().root();
    for (const std::u16string& part : splitPath(device_path)) {
        if (part == u"." || part == u"..")
            return std::nullopt;
        std::filesystem::path next = path / utf16ToUtf8(part);
        std::error_code ignored;
        if (!std::filesystem::exists(next, ignored) && std::filesystem::is_directory(path, ignored)) {
            for (const auto& entry : std::filesystem::directory_iterator(path, ignored)) {
                if (sameName(utf8ToUtf16(entry.path().filename().string()), part)) {
                    next = entry.path();
                    break;
                }
            }
        }
        path = next;
    }
    return path;
}

ce::HANDLE openStoreFile(const ce::WCHAR* name, ce::DWORD access, ce::DWORD share, ce::DWORD creation) {
    Handheld& device = Handheld::get();
    std::optional<std::filesystem::path> path = hostPath(name);
    if (!path) {
        device.last_error = ce::ERROR_PATH_NOT_FOUND;
        return ce::INVALID_HANDLE_VALUE;
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(*path, ignored)) {
        device.last_error = ce::ERROR_ACCESS_DENIED;
        return ce::INVALID_HANDLE_VALUE;
    }
    // A file open without sharing can't be opened again, and an open file
    // can't be opened without sharing.
    bool exclusive = false;
    if (StoreFile::isOpen(*path, &exclusive) && (exclusive || share == 0)) {
        device.last_error = ce::ERROR_SHARING_VIOLATION;
        return ce::INVALID_HANDLE_VALUE;
    }

    int flags = (access & ce::GENERIC_WRITE) ? ((access & ce::GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
    switch (creation) {
    case ce::CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case ce::CREATE_ALWAYS:
        flags |= O_CREAT | O_TRUNC;
        break;
    case ce::OPEN_ALWAYS:
        flags |= O_CREAT;
        break;
    case 5: // TRUNCATE_EXISTING
        flags |= O_TRUNC;
        break;
    default:
        break;
    }
    int fd = ::open(path->c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        // A missing folder on the way is a missing path, not a missing file.
        int error = errno;
        bool no_folder = error == ENOENT && !std::filesystem::is_directory(path->parent_path(), ignored);
        device.last_error = no_folder ? ce::ERROR_PATH_NOT_FOUND : errorOf(error);
        return ce::INVALID_HANDLE_VALUE;
    }
    device.last_error = ce::ERROR_SUCCESS;
    return HandleTable::get().add(std::make_unique<StoreFile>(fd, *path, share == 0));
}

} // namespace sim
