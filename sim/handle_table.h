// The kernel objects behind HANDLE values: open files, devices and searches.
#pragma once

#include "platform/wince_types.h"

#include <map>
#include <memory>

namespace sim {

class KernelObject {
  public:
    virtual ~KernelObject() = default;
    // Each answers false with the error in *error when the object cannot do it.
    virtual bool read(void* buffer, ce::DWORD size, ce::DWORD* done, ce::DWORD* error);
    virtual bool write(const void* buffer, ce::DWORD size, ce::DWORD* done, ce::DWORD* error);
    virtual bool seek(ce::LONG distance, ce::DWORD method, ce::DWORD* position, ce::DWORD* error);
    virtual bool size(ce::DWORD* size, ce::DWORD* error);
    virtual bool flush(ce::DWORD* error);
};

class HandleTable {
  public:
    static HandleTable& get();
    ce::HANDLE add(std::unique_ptr<KernelObject> object);
    // Null for a handle that is not open.
    KernelObject* find(ce::HANDLE handle) const;
    template <typename T>
    T* findAs(ce::HANDLE handle) const {
        return dynamic_cast<T*>(find(handle));
    }
    bool close(ce::HANDLE handle);
    void clear();
    size_t openCount() const { return objects_.size(); }

  private:
    std::map<uintptr_t, std::unique_ptr<KernelObject>> objects_;
    uintptr_t next_ = 0x100;
};

} // namespace sim
