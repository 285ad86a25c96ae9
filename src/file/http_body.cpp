#include "file/http_body.h"

#include "platform/wince.h"

#include <algorithm>
#include <cstring>
#include <utility>

HttpBody::~HttpBody() {
    clear();
}

void HttpBody::clear() {
    // Destroying the heap frees its blocks and gives its pages back.
    if (heap_ != nullptr)
        ce::HeapDestroy(heap_);
    heap_ = nullptr;
    blocks_.clear();
    capacity_ = 0;
    size_ = 0;
}

void HttpBody::swap(HttpBody& other) {
    std::swap(heap_, other.heap_);
    std::swap(blocks_, other.blocks_);
    std::swap(capacity_, other.capacity_);
    std::swap(size_, other.size_);
}

uint32_t HttpBody::blockLength(uint32_t index) const {
    uint64_t before = uint64_t{index} * kBlockSize;
    return static_cast<uint32_t>(std::min<uint64_t>(kBlockSize, capacity_ - before));
}

bool HttpBody::addBlock(uint32_t size) {
    if (heap_ == nullptr)
        heap_ = ce::HeapCreate(0, 0, 0);
    auto* block = heap_ != nullptr ? static_cast<uint8_t*>(ce::HeapAlloc(heap_, 0, size)) : nullptr;
    if (block == nullptr)
        return false;
    if (!blocks_.push_back(block)) {
        ce::HeapFree(heap_, 0, block);
        return false;
    }
    capacity_ += size;
    return true;
}

bool HttpBody::reserve(uint32_t size) {
    if (size > kLargest)
        return false;
    // Blocks are whole until the last one, which keeps only what is left.
    while (capacity_ < size) {
        uint64_t left = size - capacity_;
        if (!addBlock(static_cast<uint32_t>(std::min<uint64_t>(left, kBlockSize))))
            return false;
    }
    return true;
}

uint8_t* HttpBody::space(uint32_t* room) {
    uint32_t wanted = std::min(*room, kLargest - size_);
    *room = 0;
    if (wanted == 0)
        return nullptr;
    if (size_ == capacity_) {
        // A body reserved to its length ends in a short block: it is full.
        if (capacity_ % kBlockSize != 0 || !addBlock(kBlockSize))
            return nullptr;
    }
    uint32_t index = size_ / kBlockSize;
    uint32_t offset = size_ % kBlockSize;
    *room = std::min(wanted, blockLength(index) - offset);
    return blocks_[index] + offset;
}

void HttpBody::grow(uint32_t count) {
    size_ += count;
}

bool HttpBody::append(const uint8_t* bytes, uint32_t count) {
    while (count > 0) {
        uint32_t room = count;
        uint8_t* to = space(&room);
        if (to == nullptr)
            return false;
        std::memcpy(to, bytes, room);
        grow(room);
        bytes += room;
        count -= room;
    }
    return true;
}

uint32_t HttpBody::copy(void* buffer, uint32_t count, uint32_t offset) const {
    if (offset >= size_)
        return 0;
    count = std::min(count, size_ - offset);
    auto* out = static_cast<uint8_t*>(buffer);
    for (uint32_t done = 0; done < count;) {
        uint32_t at = offset + done;
        uint32_t index = at / kBlockSize;
        uint32_t within = at % kBlockSize;
        uint32_t piece = std::min(count - done, blockLength(index) - within);
        std::memcpy(out + done, blocks_[index] + within, piece);
        done += piece;
    }
    return count;
}
