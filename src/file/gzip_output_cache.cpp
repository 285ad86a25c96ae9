#include "file/gzip_output_cache.h"

#include <algorithm>
#include <cstring>
#include <new>

uint8_t* GzipOutputCache::roomAt(uint64_t at, uint32_t wanted, uint32_t* room) {
    if (!chunks_.empty()) {
        Chunk& last = chunks_.back();
        if (last.start + last.size == at && last.size < kChunkSize) {
            *room = std::min(wanted, kChunkSize - last.size);
            return last.data.get() + last.size;
        }
    }
    if ((chunks_.size() + 1) * uint64_t{kChunkSize} > limit_)
        return nullptr;
    Chunk chunk;
    chunk.start = at;
    chunk.data.reset(new (std::nothrow) uint8_t[kChunkSize]);
    if (chunk.data == nullptr)
        return nullptr;
    chunks_.push_back(std::move(chunk));
    *room = std::min(wanted, kChunkSize);
    return chunks_.back().data.get();
}

void GzipOutputCache::stored(uint32_t count) {
    chunks_.back().size += count;
}

std::vector<GzipOutputCache::Chunk>::iterator GzipOutputCache::firstChunkAfter(uint64_t at) {
    return std::upper_bound(chunks_.begin(), chunks_.end(), at,
                            [](uint64_t value, const Chunk& chunk) { return value < chunk.start; });
}

uint32_t GzipOutputCache::take(uint64_t at, void* buffer, uint32_t size) {
    auto it = firstChunkAfter(at);
    if (it == chunks_.begin())
        return 0;
    --it;
    if (at >= it->start + it->size)
        return 0;
    uint32_t offset = static_cast<uint32_t>(at - it->start);
    uint32_t count = std::min(size, it->size - offset);
    std::memcpy(buffer, it->data.get() + offset, count);
    it->delivered += count;
    // A chunk whose every byte went out is not needed again, unless it is
    // the last one and may still grow.
    if (it->delivered >= it->size && (it->size == kChunkSize || it + 1 != chunks_.end() || sealed_)) {
        chunks_.erase(it);
    }
    return count;
}

uint64_t GzipOutputCache::nextKeptAfter(uint64_t at) {
    auto it = firstChunkAfter(at);
    return it == chunks_.end() ? ~uint64_t{0} : it->start;
}
