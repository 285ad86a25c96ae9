// The steps that carry a range of the kernel, with frames in place: the
// loader takes them to load, the memory manager to count its pages, so a
// wrong step is a page too few (or a byte in the wrong place).
#include "memory/load_steps.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kPage = 4096;
constexpr uint32_t kChunk = 4080;

struct Step {
    uint64_t offset;
    uint64_t size;
    LoadStep kind;
    bool operator==(const Step&) const = default;
};

std::vector<Step> steps(uint64_t start, uint64_t size, const std::set<uint64_t>& in_place) {
    std::vector<Step> out;
    forEachLoadStep(
        start, size, kChunk, kPage, [&](uint64_t frame) { return in_place.count(frame) != 0; },
        [&](uint64_t offset, uint64_t length, LoadStep kind) {
            out.push_back({offset, length, kind});
        });
    return out;
}

TEST(LoadSteps, ChunksEndBeforeFramesInPlaceAndOnlyTheCutOnesArePacked) {
    using K = LoadStep;
    struct Case {
        const char* what;
        uint64_t start;
        uint64_t size;
        std::set<uint64_t> in_place;
        std::vector<Step> expected;
    };
    const Case cases[] = {
        {"no frame in place: chunks as always, the last one short",
         0x1000,
         10000,
         {},
         {{0, 4080, K::Chunk}, {4080, 4080, K::Chunk}, {8160, 1840, K::Chunk}}},
        {"a frame in place in the middle",
         0x1000,
         3 * kPage,
         {0x2000},
         {{0, 4080, K::Chunk},
          {4080, 16, K::Packed},
          {4096, 4096, K::InPlace},
          {8192, 4080, K::Chunk},
          {12272, 16, K::Chunk}}},
        {"starting inside a frame in place",
         0x1800,
         0x1000,
         {0x1000},
         {{0, 0x800, K::InPlace}, {0x800, 0x800, K::Chunk}}},
        {"a chunk that ends right at a frame in place, more to come",
         0x1010,
         4080 + 100,
         {0x2000},
         {{0, 4080, K::Chunk}, {4080, 100, K::InPlace}}},
        {"a frame in place right after the range", 0x1000, 100, {0x2000}, {{0, 100, K::Chunk}}},
        {"two frames in place with one between",
         0x0,
         3 * kPage,
         {0x0, 0x2000},
         {{0, 4096, K::InPlace}, {4096, 4080, K::Chunk}, {8176, 16, K::Packed}, {8192, 4096, K::InPlace}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Step> got = steps(c.start, c.size, c.in_place);
        EXPECT_EQ(got, c.expected);
        uint64_t covered = 0;
        for (const Step& step : got) {
            EXPECT_EQ(step.offset, covered);
            covered += step.size;
            // No chunk reaches into a frame in place.
            if (step.kind != K::InPlace) {
                uint64_t first = (c.start + step.offset) & ~uint64_t{kPage - 1};
                uint64_t last = (c.start + step.offset + step.size - 1) & ~uint64_t{kPage - 1};
                EXPECT_FALSE(c.in_place.count(first) || c.in_place.count(last)) << step.offset;
            }
        }
        EXPECT_EQ(covered, c.size);
    }
}

TEST(LoadSteps, PackedPiecesShareWordAlignedRoomAfterTheirSlotsAndSplitAtAPagesEnd) {
    struct Part {
        bool new_page;
        uint32_t at;
        uint32_t offset;
        uint32_t size;
        bool operator==(const Part&) const = default;
    };
    PiecePacker packer(kChunk);
    std::vector<Part> parts;
    auto pack = [&](uint32_t size) {
        packer.pack(size, [&](bool new_page, uint32_t at, uint32_t offset, uint32_t part) {
            parts.push_back({new_page, at, offset, part});
        });
    };
    pack(16);   // 16 + 16
    pack(1001); // 16 + 1004
    pack(3100); // 16 + 3100 would pass 4080: split
    pack(4);
    const uint32_t first_part = (kChunk - 1052 - 16) & ~3u; // the rest of the page, in words
    const std::vector<Part> expected = {
        {true, 0, 0, 16},
        {false, 32, 0, 1001},
        {false, 1052, 0, first_part},
        {true, 0, first_part, 3100 - first_part},
        {false, 16 + ((3100 - first_part + 3) & ~3u), 0, 4},
    };
    EXPECT_EQ(parts, expected);
    for (const Part& part : parts)
        EXPECT_LE(part.at + PiecePacker::kSlot + part.size, kChunk);
}

} // namespace
