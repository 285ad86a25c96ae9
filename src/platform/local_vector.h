// A growing array of plain records on the platform heap (LocalAlloc), for
// tables whose length is only known as they fill.
#pragma once

#include "platform/local_memory.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

template <typename T>
class LocalVector {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
    // False when the heap refuses the room: the vector stays as it was.
    bool push_back(const T& value) {
        if (size_ == capacity_ && !grow())
            return false;
        data_[size_++] = value;
        return true;
    }
    void clear() {
        data_.reset();
        size_ = capacity_ = 0;
    }
    // Room for `capacity` elements at once; false when the heap refuses it.
    bool reserve(uint32_t capacity) { return capacity <= capacity_ || growTo(capacity); }
    // Keeps the first `size` elements.
    void truncate(uint32_t size) {
        if (size < size_)
            size_ = size;
    }
    void pop_back() { --size_; }
    T& back() { return data_[size_ - 1]; }

    uint32_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T* begin() { return data_.get(); }
    T* end() { return data_.get() + size_; }
    const T* begin() const { return data_.get(); }
    const T* end() const { return data_.get() + size_; }
    T& operator[](uint32_t i) { return data_[i]; }
    const T& operator[](uint32_t i) const { return data_[i]; }

  private:
    bool grow() { return growTo(capacity_ == 0 ? 64 : capacity_ * 2); }
    bool growTo(uint32_t capacity) {
        LocalArray<T> bigger = localArray<T>(capacity);
        if (bigger == nullptr)
            return false;
        if (size_ != 0)
            std::memcpy(bigger.get(), data_.get(), size_ * sizeof(T));
        data_ = std::move(bigger);
        capacity_ = capacity;
        return true;
    }

    LocalArray<T> data_;
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
};
