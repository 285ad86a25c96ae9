// The second stage's walk as the replay performs it, on hand-built lists:
// whole words, the PXA2x0 address translation, the stack pointer rule, and
// what overlaps and broken lists look like.
#include "loader/loader_fixture.h"
#include "sim/page_list_replay.h"

#include <gtest/gtest.h>

namespace {

using sim::ReplayHazard;
using sim::SecondStageVariant;

class PageListReplayTest : public LoaderFixture {
  protected:
    // SA-1110 RAM is 0xC0000000..0xC2000000.
    static constexpr uint32_t kList = 0xC1000000;
    static constexpr uint32_t kSource = 0xC1001000;
    static constexpr uint32_t kDestination = 0xC0200000;

    void SetUp() override {
        LoaderFixture::SetUp();
        useDevice(kSaDevice);
    }

    static void writeLink(uint32_t at, PageLink link) {
        ASSERT_TRUE(sim::PhysicalMemory::get().write(at, &link, 16));
    }
    static void writeBytes(uint32_t at, const std::vector<uint8_t>& bytes) {
        ASSERT_TRUE(sim::PhysicalMemory::get().write(at, bytes.data(), static_cast<uint32_t>(bytes.size())));
    }
    static std::vector<uint8_t> counting(size_t size, uint8_t first = 1) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<uint8_t>(first + i);
        return bytes;
    }
};

TEST_F(PageListReplayTest, LoadLinksStoreWholeWordsPastAnOddLength) {
    writeBytes(kSource, counting(16));
    writeLink(kList, {PageLink::kEnd, kSource, kDestination, 6});
    sim::ReplayResult result = sim::replayPageList(kList, SecondStageVariant::kSa11x0);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.load_links, 1u);
    // Six bytes asked for, two whole words stored: the 2 bytes after come along.
    EXPECT_TRUE(result.memory.written(kDestination, 8));
    EXPECT_FALSE(result.memory.touched(kDestination + 8, 8));
    EXPECT_EQ(result.memory.read(kDestination, 8), counting(8));
}

TEST_F(PageListReplayTest, AnOddNumberOfWordsStopsAfterTheFirstWordOfTheLastPair) {
    writeBytes(kSource, counting(16));
    writeLink(kList, {PageLink::kEnd, kSource, kDestination, 12});
    sim::ReplayResult result = sim::replayPageList(kList, SecondStageVariant::kSa11x0);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.memory.written(kDestination, 12));
    EXPECT_FALSE(result.memory.touched(kDestination + 12, 4));
}

TEST_F(PageListReplayTest, AZeroClearStartingInsideAWordClearsThatWholeWord) {
    // Why the loader starts its zero-clear ranges at a word boundary: the
    // processor stores to the word below, over the last copied bytes.
    writeBytes(kSource, std::vector<uint8_t>(8, 0xFF));
    writeLink(kList, {kList + 16, kSource, kDestination, 6});
    writeLink(kList + 16, {PageLink::kEnd, PageLink::kZeroClear, kDestination + 6, 10});
    sim::ReplayResult result = sim::replayPageList(kList, SecondStageVariant::kSa11x0);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.zero_links, 1u);
    EXPECT_EQ(result.memory.read(kDestination, 8),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
    EXPECT_TRUE(result.memory.written(kDestination, 16));
}

TEST_F(PageListReplayTest, StackPointerLiesEightKilobytesAboveTheLastRangeOnAPageBoundary) {
    writeLink(kList, {PageLink::kEnd, PageLink::kZeroClear, 0xC0345000, 0x678});
    sim::ReplayResult result = sim::replayPageList(kList, SecondStageVariant::kSa11x0);
    ASSERT_TRUE(result.ok);
    ASSERT_TRUE(result.has_stack_pointer);
    EXPECT_EQ(result.stack_pointer, 0xC0347000u);
}

TEST_F(PageListReplayTest, Pxa2x0MovesDestinationsAndEntryIntoSdramKeepingTheirOffset) {
    useDevice(kPxaDevice); // 0xA0000000..0xA4000000
    constexpr uint32_t list = 0xA2000000, source = 0xA2001000, arguments = 0xA2002000;
    writeBytes(source, counting(8));
    writeLink(list, {list + 16, source, 0xC0200000, 8});
    writeLink(list + 16, {PageLink::kEnd, source, 0xA0300000, 8});
    writeBytes(arguments,
               {0x00, 0x00, 0x20, 0xC0, 2, 0, 0, 0, 0x10, 0x20, 0x00, 0xA2, 0x00, 0x21, 0x00, 0xA2});
    sim::ReplayResult result = sim::replayPageList(list, SecondStageVariant::kPxa2x0, arguments);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.memory.written(0xA0200000, 8));
    EXPECT_TRUE(result.memory.written(0xA0300000, 8));
    EXPECT_FALSE(result.memory.touched(0xC0200000, 8));
    EXPECT_EQ(result.stack_pointer, 0xA0302000u);
    ASSERT_TRUE(result.has_entry);
    EXPECT_EQ(result.entry, 0xA0200000u);
    EXPECT_EQ(result.argc, 2u);
    EXPECT_EQ(result.argv, 0xA2002010u);
    EXPECT_EQ(result.boot_info, 0xA2002100u);

    EXPECT_EQ(sim::secondStageAddress(0xC0200000, SecondStageVariant::kSa11x0), 0xC0200000u);
    // The offset within the 256 MB SDRAM region is kept, also beyond 16 MB.
    const std::pair<uint32_t, uint32_t> moves[] = {{0xC0200000, 0xA0200000},
                                                   {0xC1400000, 0xA1400000},
                                                   {0xCFFFFFFC, 0xAFFFFFFC},
                                                   {0xA3000000, 0xA3000000}};
    for (const auto& [address, moved] : moves)
        EXPECT_EQ(sim::secondStageAddress(address, SecondStageVariant::kPxa2x0), moved)
            << std::hex << address;
}

TEST_F(PageListReplayTest, ADestinationOverAnUnreadSourceIsReportedAndCopiedAsTheDeviceWould) {
    writeBytes(kSource, counting(8, 0x10));
    writeBytes(kSource + 0x100, counting(8, 0x40));
    // The first link stores over the second link's source before it is read.
    writeLink(kList, {kList + 16, kSource, kSource + 0x100, 8});
    writeLink(kList + 16, {PageLink::kEnd, kSource + 0x100, kDestination, 8});
    sim::ReplayResult result = sim::replayPageList(kList, SecondStageVariant::kSa11x0);
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(result.hazards.size(), 1u);
    EXPECT_EQ(result.hazards[0].kind, ReplayHazard::kSourceOverwritten);
    EXPECT_EQ(result.hazards[0].link, kList + 16);
    EXPECT_EQ(result.memory.read(kDestination, 8), counting(8, 0x10));
    // The RAM as the loader left it is untouched.
    std::vector<uint8_t> ram(8);
    sim::PhysicalMemory::get().read(kSource + 0x100, ram.data(), 8);
    EXPECT_EQ(ram, counting(8, 0x40));
}

TEST_F(PageListReplayTest, OverwrittenLinkRecordsAreReported) {
    writeLink(kList, {kList + 16, PageLink::kZeroClear, kList + 16, 16});
    writeLink(kList + 16, {PageLink::kEnd, PageLink::kZeroClear, kDestination, 4});
    sim::ReplayResult result = sim::replayPageList(kList, SecondStageVariant::kSa11x0);
    ASSERT_FALSE(result.hazards.empty());
    EXPECT_EQ(result.hazards[0].kind, ReplayHazard::kLinkOverwritten);
    // The cleared record now says: next 0, a load link from 0 - outside RAM.
    EXPECT_FALSE(result.ok);
}

TEST_F(PageListReplayTest, BrokenListsEndTheWalkWithAReason) {
    struct Case {
        const char* name;
        PageLink link;
        const char* error;
    };
    for (Case c :
         {Case{"circle", {kList, PageLink::kZeroClear, kDestination, 4}, "circle"},
          Case{"source outside RAM", {PageLink::kEnd, 0x10000000, kDestination, 4}, "source outside RAM"},
          Case{"next outside RAM", {0x10000000, PageLink::kZeroClear, kDestination, 4}, "link record"},
          Case{"length beyond RAM",
               {PageLink::kEnd, PageLink::kZeroClear, kDestination, 0x80000000},
               "length larger than RAM"}}) {
        SCOPED_TRACE(c.name);
        writeLink(kList, c.link);
        sim::ReplayResult result = sim::replayPageList(kList, SecondStageVariant::kSa11x0);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
    }
}

TEST_F(PageListReplayTest, AnEmptyListStoresNothingAndGivesNoStackPointer) {
    sim::ReplayResult result = sim::replayPageList(PageLink::kEnd, SecondStageVariant::kSa11x0);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.links, 0u);
    EXPECT_FALSE(result.has_stack_pointer);
    EXPECT_EQ(result.memory.pageCount(), 0u);
}

TEST_F(PageListReplayTest, DestinationsOutsideRamAreStoredAndReported) {
    writeLink(kList, {PageLink::kEnd, PageLink::kZeroClear, 0x00001000, 8});
    sim::ReplayResult result = sim::replayPageList(kList, SecondStageVariant::kSa11x0);
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(result.hazards.size(), 1u);
    EXPECT_EQ(result.hazards[0].kind, ReplayHazard::kDestinationOutsideRam);
    EXPECT_TRUE(result.memory.written(0x1000, 8));
}

} // namespace
