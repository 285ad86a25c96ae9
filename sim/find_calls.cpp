// Searching the object store: FindFirstFileW / FindNextFileW / FindClose.
#include "platform/wide_string.h"
#include "platform/wince.h"
#include "sim/handheld.h"
#include "sim/handle_table.h"
#include "sim/object_store.h"

#include <algorithm>
#include <vector>

namespace {

char16_t upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

// '*' any run, '?' one character; "*.*" matches every name, as on the device.
bool matches(std::u16string_view pattern, std::u16string_view name) {
    if (pattern == u"*.*" || pattern == u"*")
        return true;
    if (pattern.empty())
        return name.empty();
    if (pattern[0] == u'*')
        return matches(pattern.substr(1), name) || (!name.empty() && matches(pattern, name.substr(1)));
    if (name.empty())
        return false;
    if (pattern[0] != u'?' && upper(pattern[0]) != upper(name[0]))
        return false;
    return matches(pattern.substr(1), name.substr(1));
}

class Search : public sim::KernelObject {
  public:
    std::vector<ce::WIN32_FIND_DATAW> entries;
    size_t next = 0;
};

ce::WIN32_FIND_DATAW entryFor(const std::filesystem::directory_entry& entry, bool in_root) {
    ce::WIN32_FIND_DATAW data{};
    std::u16string name = utf8ToUtf16(entry.path().filename().string());
    std::error_code ignored;
    if (entry.is_directory(ignored)) {
        data.dwFileAttributes = ce::FILE_ATTRIBUTE_DIRECTORY;
        if (in_root && sim::Handheld::get().isStorageCard(name))
            data.dwFileAttributes |= ce::FILE_ATTRIBUTE_TEMPORARY;
    } else {
        data.dwFileAttributes = ce::FILE_ATTRIBUTE_NORMAL;
        uintmax_t size = entry.file_size(ignored);
        data.nFileSizeLow = static_cast<ce::DWORD>(size);
        data.nFileSizeHigh = static_cast<ce::DWORD>(size >> 32);
    }
    wideCopy(data.cFileName, ce::MAX_PATH, name.c_str());
    return data;
}

} // namespace

namespace ce {

HANDLE FindFirstFileW(const WCHAR* pattern, WIN32_FIND_DATAW* data) {
    sim::Handheld& device = sim::Handheld::get();
    std::u16string_view text(pattern);
    size_t cut = text.find_last_of(u"\\/");
    std::u16string_view directory = cut == std::u16string_view::npos ? u"" : text.substr(0, cut);
    std::u16string_view wildcard = cut == std::u16string_view::npos ? text : text.substr(cut + 1);
    std::optional<std::filesystem::path> folder = sim::hostPath(directory);
    std::error_code error;
    if (!folder || !std::filesystem::is_directory(*folder, error)) {
        device.last_error = ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    bool in_root = sim::hostPath(u"") == folder;
    auto search = std::make_unique<Search>();
    std::vector<std::filesystem::directory_entry> found;
    for (const auto& entry : std::filesystem::directory_iterator(*folder, error))
        found.push_back(entry);
    // Directory order is the host's; sort for a stable, reproducible device.
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    for (const auto& entry : found) {
        ce::WIN32_FIND_DATAW item = entryFor(entry, in_root);
        if (matches(wildcard, item.cFileName))
            search->entries.push_back(item);
    }
    if (search->entries.empty()) {
        device.last_error = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    *data = search->entries[0];
    search->next = 1;
    device.last_error = ERROR_SUCCESS;
    return sim::HandleTable::get().add(std::move(search));
}

BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* data) {
    sim::Handheld& device = sim::Handheld::get();
    auto* search = sim::HandleTable::get().findAs<Search>(handle);
    if (search == nullptr) {
        device.last_error = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (search->next >= search->entries.size()) {
        device.last_error = ERROR_NO_MORE_FILES;
        return FALSE;
    }
    *data = search->entries[search->next++];
    return TRUE;
}

BOOL FindClose(HANDLE handle) {
    if (sim::HandleTable::get().findAs<Search>(handle) == nullptr) {
        sim::Handheld::get().last_error = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    return CloseHandle(handle);
}

} // namespace ce
