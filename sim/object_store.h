// The object store: a host folder is the device's "\", its top-level folders
// named as storage cards report the directory and temporary attributes.
// Names are matched without regard to case, as on the device.
#pragma once

#include "platform/wince_types.h"

#include <filesystem>
#include <optional>
#include <string>

namespace sim {

// The host path of a device path ("\Storage Card\kalmor.gz"); none when the
// path leaves the store or names nothing that could exist.
std::optional<std::filesystem::path> hostPath(std::u16string_view device_path);

ce::HANDLE openStoreFile(const ce::WCHAR* name, ce::DWORD access, ce::DWORD share, ce::DWORD creation);

} // namespace sim
