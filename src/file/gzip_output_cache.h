// Decompressed bytes that were inflated on the way to a later offset but not
// yet delivered: a reader that jumps ahead (to an ELF file's section headers
// at its end) and then comes back takes them from here instead of inflating
// them again. Each run of bytes is dropped once all of it has been delivered;
// bytes beyond the limit, or that memory cannot be found for, are not kept.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class GzipOutputCache {
  public:
    static constexpr uint32_t kChunkSize = 1u << 20;
    // Enough to keep all of a 32 MB kernel while its section headers are read first.
    static constexpr uint64_t kDefaultLimit = 32ull << 20;

    explicit GzipOutputCache(uint64_t limit = kDefaultLimit) : limit_(limit) {}

    // Room to store up to `wanted` bytes that belong at output offset `at`,
    // directly after what was stored last or in a new chunk; null when no
    // room can be had. `room` gets its size.
    uint8_t* roomAt(uint64_t at, uint32_t wanted, uint32_t* room);
    // `count` bytes were written into the room last given.
    void stored(uint32_t count);
    // Nothing more will be stored.
    void seal() { sealed_ = true; }

    // Copies what is kept from `at` on (at most `size` bytes, up to the first
    // byte not kept) and counts it as delivered; returns the count.
    uint32_t take(uint64_t at, void* buffer, uint32_t size);
    // The first kept offset above `at`, or all ones.
    uint64_t nextKeptAfter(uint64_t at);

  private:
    struct Chunk {
        uint64_t start = 0;
        uint32_t size = 0;
        uint32_t delivered = 0;
        std::unique_ptr<uint8_t[]> data;
    };

    uint64_t limit_;
    bool sealed_ = false;
    std::vector<Chunk> chunks_;

    // The chunk after the one that may hold `at`: chunks are in output order.
    std::vector<Chunk>::iterator firstChunkAfter(uint64_t at);
};
