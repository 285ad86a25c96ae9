#include "loader/loader_fixture.h"
#include "support/memory_file_manager.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr uint32_t kBase = 0xC0200000;

std::string pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 13 + i / 251) | 1);
    return bytes;
}

// The base Loader with segments given by the test.
class SegmentLoader : public Loader {
  public:
    struct Segment {
        uint32_t destination;
        uint32_t memory_size;
        uint32_t file_offset;
        uint32_t file_size;
    };
    using Loader::Loader;
    uint32_t memorySize() override { return 0; }
    bool load() override {
        initPageList();
        for (const Segment& s : segments)
            loadSegment(s.destination, s.memory_size, s.file_offset, s.file_size);
        return loadSucceeded();
    }
    uint32_t jumpAddr() override { return 0; }

    std::vector<Segment> segments;
};

class PageListTest : public LoaderFixture {
  protected:
    void SetUp() override {
        LoaderFixture::SetUp();
        file = std::make_unique<MemoryFileManager>(&console_slot, pattern(0x10000));
        loader = std::make_unique<SegmentLoader>(&console_slot, &memory);
        loader->setFile(file.get());
    }
    void TearDown() override {
        loader.reset();
        file.reset();
        LoaderFixture::TearDown();
    }
    // Fills every page of the region with garbage, as memory a previous user left.
    void dirtyAllPages() {
        for (int i = 0; i < memory->mappedCount(); ++i)
            std::memset(memory->table()[i].vaddr, 0xEE, kPageSize);
    }

    std::unique_ptr<MemoryFileManager> file;
    std::unique_ptr<SegmentLoader> loader;
};

struct Piece {
    bool zero;
    uint32_t offset; // destination - kBase (and file offset for loads)
    uint32_t length;
};

struct SegmentCase {
    const char* name;
    uint32_t file_size;
    uint32_t memory_size;
    std::vector<Piece> pieces;
};

class SegmentCases : public PageListTest, public ::testing::WithParamInterface<SegmentCase> {};

TEST_P(SegmentCases, ChunksAndZeroClearLinks) {
    const SegmentCase& c = GetParam();
    ASSERT_TRUE(reserveFor(0x20000));
    dirtyAllPages();
    loader->segments = {{kBase, c.memory_size, 0, c.file_size}};
    ASSERT_TRUE(loader->load());
    loader->endPageList();

    std::vector<ChainEntry> links = chain(loader->pageListHead());
    ASSERT_EQ(links.size(), c.pieces.size());
    int loads = 0, zeros = 0;
    for (size_t i = 0; i < links.size(); ++i) {
        const PageLink& link = links[i].link;
        const Piece& piece = c.pieces[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(link.dst, kBase + piece.offset);
        EXPECT_EQ(link.len, piece.length);
        if (piece.zero) {
            ++zeros;
            EXPECT_EQ(link.src, PageLink::kZeroClear);
            continue;
        }
        ++loads;
        EXPECT_EQ(readPhysical(link.src, link.len), file->bytes.substr(piece.offset, piece.length));
        // The words the second stage copies beyond the chunk are zeros, not old page contents.
        uint32_t tail = (4 - link.len % 4) % 4;
        EXPECT_EQ(readPhysical(link.src + link.len, tail), std::string(tail, '\0'));
    }
    EXPECT_EQ(links.back().link.next, PageLink::kEnd);
    EXPECT_EQ(loader->loadLinks(), loads);
    EXPECT_EQ(loader->zeroLinks(), zeros);
    EXPECT_EQ(loader->kernelEnd(), kBase + c.memory_size);
}

INSTANTIATE_TEST_SUITE_P(
    PageList, SegmentCases,
    ::testing::Values(SegmentCase{"OnePageExactly", 4080, 4080, {{false, 0, 4080}}},
                      SegmentCase{"OneByteMore", 4081, 4081, {{false, 0, 4080}, {false, 4080, 1}}},
                      SegmentCase{"OnlyZeros", 0, 0x2000, {{true, 0, 0x2000}}},
                      SegmentCase{"WordsThenZeros", 8, 16, {{false, 0, 8}, {true, 8, 8}}},
                      // The zero-clear range starts at the next word boundary: a
                      // store at +4083 would land on the word at +4080.
                      SegmentCase{"WordTail",
                                  4083,
                                  0x10F8,
                                  {{false, 0, 4080}, {false, 4080, 3}, {true, 4084, 0x10F8 - 4084}}},
                      // Zeros up to +7 come with the copied word; nothing is left to clear.
                      SegmentCase{"WordTailCoversAllZeros", 5, 7, {{false, 0, 5}}},
                      SegmentCase{"WordTailOneWordOfZeros", 5, 12, {{false, 0, 5}, {true, 8, 4}}}),
    [](const ::testing::TestParamInfo<SegmentCase>& info) { return std::string(info.param.name); });

TEST_F(PageListTest, TwoSegmentsChainThroughPagesAndTheSparePool) {
    ASSERT_TRUE(reserveFor(0x20000));
    loader->segments = {{kBase, 0x300, 0x1000, 100}, {0xC0300000, 5000, 0x2000, 5000}};
    console.output.clear();
    ASSERT_TRUE(loader->load());
    loader->endPageList();

    std::vector<ChainEntry> links = chain(loader->pageListHead());
    ASSERT_EQ(links.size(), 4u);
    const uint32_t head = loader->pageListHead();
    // head -> segment 1 chunk; its page's slot -> zero link; the first spare slot -> segment 2's chunks.
    EXPECT_EQ(links[0].at, head);
    EXPECT_EQ(links[0].link.dst, kBase);
    EXPECT_EQ(links[0].link.src, links[0].link.next + 16);
    EXPECT_EQ(links[1].at, links[0].link.next);
    EXPECT_EQ(links[1].link.src, PageLink::kZeroClear);
    EXPECT_EQ(links[1].link.dst, kBase + 100);
    EXPECT_EQ(links[1].link.len, 0x300u - 100);
    EXPECT_EQ(links[2].at, head + 16);
    EXPECT_EQ(links[2].link.dst, 0xC0300000u);
    EXPECT_EQ(links[2].link.len, 4080u);
    EXPECT_EQ(readPhysical(links[2].link.src, 4080), file->bytes.substr(0x2000, 4080));
    EXPECT_EQ(links[3].link.dst, 0xC0300000u + 4080);
    EXPECT_EQ(links[3].link.len, 5000u - 4080);
    EXPECT_EQ(links[3].link.next, PageLink::kEnd);

    EXPECT_EQ(console.text(), "\t->load 0xc0200000+0x00000300=0xc0200300 ofs=0x00001000+0x64\n"
                              "\t->zero 0xc0200064+0x0000029c=0xc0200300\n"
                              "\t->load 0xc0300000+0x00001388=0xc0301388 ofs=0x00002000+0x1388\n"
                              "load link 3, zero clear link 1\n");
}

TEST_F(PageListTest, AnImageWithoutRangesEndsInTheListHead) {
    ASSERT_TRUE(reserveFor(0x10000));
    console.output.clear();
    ASSERT_TRUE(loader->load());
    loader->endPageList();
    PageLink head = readLink(loader->pageListHead());
    EXPECT_EQ(head.next, PageLink::kEnd);
    EXPECT_EQ(head.src, 0u);
    EXPECT_EQ(head.dst, 0u);
    EXPECT_EQ(head.len, 0u);
    EXPECT_EQ(console.text(), "load link 0, zero clear link 0\n");
}

TEST_F(PageListTest, FileSystemImageStartsAtTheNextPageBoundaryAfterTheKernel) {
    struct Case {
        uint32_t kernel_end;
        uint32_t image_at;
    };
    for (Case c :
         {Case{0xC0201001, 0xC0202000}, Case{0xC0202000, 0xC0202000}, Case{0xC0201FFF, 0xC0202000}}) {
        SCOPED_TRACE(c.kernel_end);
        delete memory;
        memory = nullptr;
        useDevice(kSaDevice);
        ASSERT_TRUE(reserveFor(0x20000));
        loader = std::make_unique<SegmentLoader>(&console_slot, &memory);
        loader->setFile(file.get());
        loader->segments = {{kBase, c.kernel_end - kBase, 0, 0x100}};
        ASSERT_TRUE(loader->load());
        console.output.clear();
        file->bytes = pattern(5000);
        ASSERT_TRUE(loader->loadExtraData());
        loader->endPageList();

        char expected[160];
        std::snprintf(expected, sizeof expected,
                      "[file system image]\n\t->load 0x%08x+0x00001388=0x%08x ofs=0x00000000+0x1388\n",
                      c.image_at, c.image_at + 5000);
        EXPECT_EQ(console.text().substr(0, std::strlen(expected)), expected);
        std::vector<ChainEntry> links = chain(loader->pageListHead());
        ASSERT_GE(links.size(), 2u);
        EXPECT_EQ(links[links.size() - 2].link.dst, c.image_at);
        EXPECT_EQ(links.back().link.dst, c.image_at + 4080);
        EXPECT_EQ(readPhysical(links.back().link.src, 5000 - 4080), file->bytes.substr(4080));
        file->bytes = pattern(0x10000);
    }
}

TEST_F(PageListTest, PageShortageIsReportedOnceAndFailsTheLoad) {
    ASSERT_TRUE(memory->reservePages(3 * kPageSize));
    loader->segments = {{kBase, 0x8000, 0, 0x8000}}; // 9 chunks, 2 pages left after the list head
    console.output.clear();
    EXPECT_FALSE(loader->load());
    std::string text = console.text();
    size_t first = text.find("page insufficient.\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("page insufficient.\n", first + 1), std::string::npos);
    EXPECT_EQ(loader->loadLinks(), 2);
}

TEST_F(PageListTest, FailedOrShortReadsFailTheLoadAndLeaveNoStaleBytes) {
    struct Case {
        const char* name;
        uint32_t fail_from; // the reader fails (all ones) from here on
        size_t file_length; // bytes the file really has
        const char* message;
    };
    for (Case c :
         {Case{"failed read", 0x1000 + 4080, 0x10000, "short read at offset 0x1ff0: 0x0 of 0x10 bytes.\n"},
          Case{"file too short", MemoryFileManager::kNever, 0x1000 + 4090,
               "short read at offset 0x1ff0: 0xa of 0x10 bytes.\n"}}) {
        SCOPED_TRACE(c.name);
        delete memory;
        memory = nullptr;
        useDevice(kSaDevice);
        ASSERT_TRUE(reserveFor(0x20000));
        dirtyAllPages();
        file->bytes = pattern(c.file_length);
        file->fail_from = c.fail_from;
        loader = std::make_unique<SegmentLoader>(&console_slot, &memory);
        loader->setFile(file.get());
        loader->segments = {{kBase, 4096, 0x1000, 4096}};
        console.output.clear();
        EXPECT_FALSE(loader->load());
        EXPECT_NE(console.text().find(c.message), std::string::npos) << console.text();
        loader->endPageList();
        std::vector<ChainEntry> links = chain(loader->pageListHead());
        ASSERT_EQ(links.size(), 2u);
        std::string got = readPhysical(links[1].link.src, 16);
        // What the reader delivered, then zeros.
        std::string expected =
            c.fail_from == MemoryFileManager::kNever ? file->bytes.substr(0x1000 + 4080) : "";
        expected.resize(16, '\0');
        EXPECT_EQ(got, expected);
    }
}

TEST_F(PageListTest, TheSparePoolHolds255ZeroClearLinks) {
    ASSERT_TRUE(reserveFor(0x10000));
    for (uint32_t i = 0; i < 256; ++i)
        loader->segments.push_back({kBase + i * 0x100, 0x100, 0, 0});
    console.output.clear();
    EXPECT_FALSE(loader->load());
    EXPECT_EQ(loader->zeroLinks(), 255);
    EXPECT_NE(console.text().find("no spare link left for zero clear.\n"), std::string::npos);
}

TEST_F(PageListTest, ProbeRecognisesTheElfMagicOnly) {
    struct Case {
        std::string bytes;
        int type;
    };
    for (const Case& c : {Case{std::string("\x7f"
                                           "ELF") +
                                   std::string(60, '\0'),
                               Loader::kElf},
                          Case{std::string("\x7f"
                                           "ELF"),
                               Loader::kElf},
                          Case{std::string("\x7f"
                                           "EL"),
                               Loader::kUnknown},
                          Case{std::string("\x1f\x8b\x08\x00") + std::string(60, '\0'), Loader::kUnknown},
                          Case{"", Loader::kUnknown}}) {
        MemoryFileManager probe(&console_slot, c.bytes);
        EXPECT_EQ(Loader::probeFileType(probe), c.type) << c.bytes.size();
        ASSERT_FALSE(probe.reads.empty());
        EXPECT_EQ(probe.reads[0].offset, 0u);
        EXPECT_EQ(probe.reads[0].size, 52u);
    }
    MemoryFileManager failing(&console_slot, std::string("\x7f"
                                                         "ELF") +
                                                 std::string(60, '\0'));
    failing.fail_from = 0;
    EXPECT_EQ(Loader::probeFileType(failing), Loader::kUnreadable);
}

} // namespace
