#include "sim/handle_table.h"

namespace sim {

bool KernelObject::read(void*, ce::DWORD, ce::DWORD* done, ce::DWORD* error) {
    *done = 0;
    *error = ce::ERROR_INVALID_HANDLE;
    return false;
}

bool KernelObject::write(const void*, ce::DWORD, ce::DWORD* done, ce::DWORD* error) {
    *done = 0;
    *error = ce::ERROR_INVALID_HANDLE;
    return false;
}

bool KernelObject::seek(ce::LONG, ce::DWORD, ce::DWORD*, ce::DWORD* error) {
    *error = ce::ERROR_INVALID_HANDLE;
    return false;
}

bool KernelObject::size(ce::DWORD*, ce::DWORD* error) {
    *error = ce::ERROR_INVALID_HANDLE;
    return false;
}

bool KernelObject::flush(ce::DWORD* error) {
    *error = ce::ERROR_INVALID_HANDLE;
    return false;
}

HandleTable& HandleTable::get() {
    static HandleTable table;
    return table;
}

ce::HANDLE HandleTable::add(std::unique_ptr<KernelObject> object) {
    uintptr_t key = next_;
    next_ += 4;
    objects_[key] = std::move(object);
    return reinterpret_cast<ce::HANDLE>(key);
}

KernelObject* HandleTable::find(ce::HANDLE handle) const {
    auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
    return it == objects_.end() ? nullptr : it->second.get();
}

bool HandleTable::close(ce::HANDLE handle) {
    return objects_.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
}

void HandleTable::clear() {
    objects_.clear();
}

} // namespace sim
