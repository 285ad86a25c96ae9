// The body of one HTTP response, kept whole in blocks of a heap of its own
// (HeapCreate), where the device charges it to program memory and which
// gives every page back when the body is cleared. Reads at any offset are
// served from it. A body whose length the server announced takes its blocks
// before the first byte arrives; one read until the server closes takes them
// as the bytes come.
#pragma once

#include "platform/local_vector.h"
#include "platform/wince.h"

#include <cstdint>

class HttpBody {
  public:
    static constexpr uint32_t kBlockSize = 256 * 1024;
    // The longest body: a length of all ones is the file interface's read failure.
    static constexpr uint32_t kLargest = 0xFFFFFFFEu;

    HttpBody() = default;
    ~HttpBody();

    HttpBody(const HttpBody&) = delete;
    HttpBody& operator=(const HttpBody&) = delete;

    // Takes the blocks for `size` bytes at once; false when the heap refuses them.
    bool reserve(uint32_t size);
    // Where the next bytes go: at most *room bytes (never more than asked,
    // never past kLargest), in the last block or in a new one. Null when the
    // heap refuses a new block or the body has reached kLargest.
    uint8_t* space(uint32_t* room);
    // The first `count` bytes at `space` now belong to the body.
    void grow(uint32_t count);
    // Copies `count` bytes to the end; false when there is no room for them.
    bool append(const uint8_t* bytes, uint32_t count);

    uint32_t size() const { return size_; }
    // Exchanges the bytes (and the heap holding them) with `other`.
    void swap(HttpBody& other);
    // Copies what the body holds of [offset, offset + count); returns the bytes copied.
    uint32_t copy(void* buffer, uint32_t count, uint32_t offset) const;
    void clear();

  private:
    bool addBlock(uint32_t size);
    uint32_t blockLength(uint32_t index) const;

    ce::HANDLE heap_ = nullptr; // made with the first block
    LocalVector<uint8_t*> blocks_;
    // Bytes in all blocks, and bytes of the body.
    uint64_t capacity_ = 0;
    uint32_t size_ = 0;
};
