// The file and handle calls of the platform contract.
#include "platform/wide_string.h"
#include "platform/wince.h"
#include "sim/device_work.h"
#include "sim/devices.h"
#include "sim/failure_injection.h"
#include "sim/handheld.h"
#include "sim/handle_table.h"
#include "sim/object_store.h"

#include <algorithm>
#include <vector>

namespace {

sim::KernelObject* objectOf(ce::HANDLE handle) {
    sim::KernelObject* object = sim::HandleTable::get().find(handle);
    if (object == nullptr)
        sim::Handheld::get().last_error = ce::ERROR_INVALID_HANDLE;
    return object;
}

ce::BOOL succeeded(bool ok, ce::DWORD error) {
    sim::Handheld::get().last_error = ok ? ce::ERROR_SUCCESS : error;
    return ok ? ce::TRUE : ce::FALSE;
}

} // namespace

namespace ce {

HANDLE CreateFileW(const WCHAR* name, DWORD access, DWORD share, void*, DWORD creation, DWORD, HANDLE) {
    sim::DeviceWork device_work;
    if (name == nullptr) {
        sim::Handheld::get().last_error = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    if (sim::injectFailure(sim::FallibleCall::CreateFile))
        return INVALID_HANDLE_VALUE;
    if (sim::isDeviceName(name))
        return sim::openDevice(name, access);
    return sim::openStoreFile(name, access, share, creation);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* done, void*) {
    sim::DeviceWork device_work;
    DWORD count = 0;
    DWORD error = 0;
    sim::KernelObject* object = objectOf(file);
    if (object != nullptr && sim::injectFailure(sim::FallibleCall::FileRead)) {
        if (done != nullptr)
            *done = 0;
        return FALSE;
    }
    bool ok = object != nullptr && object->read(buffer, size, &count, &error);
    if (done != nullptr)
        *done = count;
    return object == nullptr ? FALSE : succeeded(ok, error);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* done, void*) {
    sim::DeviceWork device_work;
    DWORD count = 0;
    DWORD error = 0;
    sim::KernelObject* object = objectOf(file);
    bool ok = object != nullptr && object->write(buffer, size, &count, &error);
    if (done != nullptr)
        *done = count;
    return object == nullptr ? FALSE : succeeded(ok, error);
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG*, DWORD method) {
    sim::KernelObject* object = objectOf(file);
    if (object == nullptr)
        return INVALID_SET_FILE_POINTER;
    DWORD position = 0;
    DWORD error = 0;
    bool ok = object->seek(distance, method, &position, &error);
    succeeded(ok, error);
    return ok ? position : INVALID_SET_FILE_POINTER;
}

DWORD GetFileSize(HANDLE file, DWORD* high) {
    if (high != nullptr)
        *high = 0;
    sim::KernelObject* object = objectOf(file);
    if (object == nullptr)
        return INVALID_FILE_SIZE;
    DWORD size = 0;
    DWORD error = 0;
    bool ok = object->size(&size, &error);
    succeeded(ok, error);
    return ok ? size : INVALID_FILE_SIZE;
}

BOOL FlushFileBuffers(HANDLE file) {
    sim::KernelObject* object = objectOf(file);
    DWORD error = 0;
    return object == nullptr ? FALSE : succeeded(object->flush(&error), error);
}

BOOL CloseHandle(HANDLE object) {
    sim::DeviceWork device_work;
    return succeeded(sim::HandleTable::get().close(object), ERROR_INVALID_HANDLE);
}

DWORD GetLastError() {
    return sim::Handheld::get().last_error;
}

void SetLastError(DWORD error) {
    sim::Handheld::get().last_error = error;
}

} // namespace ce

namespace ce {

BOOL MoveFileW(const WCHAR* existing, const WCHAR* new_name) {
    sim::Handheld& device = sim::Handheld::get();
    std::optional<std::filesystem::path> from = sim::hostPath(existing);
    std::optional<std::filesystem::path> to = sim::hostPath(new_name);
    std::error_code error;
    if (!from || !to || !std::filesystem::exists(*from, error)) {
        device.last_error = ERROR_FILE_NOT_FOUND;
        return FALSE;
    }
    if (std::filesystem::exists(*to, error)) {
        device.last_error = 183; // ERROR_ALREADY_EXISTS
        return FALSE;
    }
    std::filesystem::rename(*from, *to, error);
    return succeeded(!error, ERROR_ACCESS_DENIED);
}

BOOL DeleteFileW(const WCHAR* name) {
    std::optional<std::filesystem::path> path = sim::hostPath(name);
    std::error_code error;
    if (!path || !std::filesystem::is_regular_file(*path, error))
        return succeeded(false, ERROR_FILE_NOT_FOUND);
    return succeeded(std::filesystem::remove(*path, error), ERROR_ACCESS_DENIED);
}

} // namespace ce
