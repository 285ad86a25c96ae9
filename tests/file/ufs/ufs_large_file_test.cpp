// Large and sparse files: direct, single, double and triple indirect blocks,
// the address cache, and holes.
#include "file/ufs/ufs_reader.h"
#include "support/ufs_image_patch.h"
#include "ufs_disk_fixture.h"

#include <cerrno>

namespace {

constexpr uint32_t kDirect = 12;

class UfsLargeFileTest : public UfsDiskFixture, public ::testing::WithParamInterface<Geometry> {
  protected:
    void SetUp() override {
        UfsDiskFixture::SetUp();
        image = buildImage(makeLargeTree, GetParam());
    }
    uint32_t bsize() const { return GetParam().bsize; }
    uint32_t nindir() const { return GetParam().bsize / 4; }
    std::string readAt(uint32_t offset, uint32_t size) {
        std::string bytes(size, '\0');
        uint32_t residual = 0;
        EXPECT_EQ(ufsSeek(&record, static_cast<int32_t>(offset), 0), static_cast<int32_t>(offset));
        EXPECT_EQ(ufsRead(&record, bytes.data(), size, &residual), 0);
        bytes.resize(size - residual);
        return bytes;
    }

    std::filesystem::path image;
};

TEST_P(UfsLargeFileTest, ReadsAFileThatNeedsTheDoubleIndirectBlock) {
    const std::string& bytes = tree.files.at("huge");
    ASSERT_GT(bytes.size(), uint64_t{kDirect + nindir()} * bsize());
    attach(image);
    ASSERT_EQ(openDisk(), 0);
    int error = -1;
    EXPECT_TRUE(readAll("huge", &error, 65536 + 3) == bytes);
    EXPECT_EQ(error, 0);

    // Across the ends of the direct and the single indirect ranges.
    ASSERT_EQ(ufsOpen("huge", &record), 0);
    for (uint32_t block : {kDirect, kDirect + nindir()}) {
        uint32_t offset = block * bsize() - 50;
        EXPECT_TRUE(readAt(offset, 100) == bytes.substr(offset, 100)) << block;
    }
}

TEST_P(UfsLargeFileTest, ServesSixtyFourIndirectBlocksFromOneMapping) {
    attach(image);
    ASSERT_EQ(openDisk(), 0);
    ASSERT_EQ(ufsOpen("huge", &record), 0);
    const std::string& bytes = tree.files.at("huge");
    EXPECT_EQ(readAt(kDirect * bsize(), 1), bytes.substr(kDirect * bsize(), 1));

    // Blocks 13 to 75: one request each, for the data only.
    reads().clear();
    uint32_t residual = 0;
    std::string rest(63 * bsize() + bsize() - 1, '\0');
    ASSERT_EQ(ufsRead(&record, rest.data(), static_cast<uint32_t>(rest.size()), &residual), 0);
    EXPECT_TRUE(rest == bytes.substr(kDirect * bsize() + 1, rest.size()));
    EXPECT_EQ(reads().size(), 63u);
    for (const sim::DiskRead& read : reads())
        EXPECT_EQ(read.count, bsize() / 512);

    // Block 76 needs the indirect block again.
    reads().clear();
    char byte = 0;
    ASSERT_EQ(ufsRead(&record, &byte, 1, &residual), 0);
    EXPECT_EQ(reads().size(), 2u);
}

// makefs writes every block; holes are made by clearing block addresses in a
// copy of the image: direct block 3 and the fifth entry of the single
// indirect block of "sparse".
TEST_P(UfsLargeFileTest, HolesReadAsZeros) {
    UfsImagePatch patch(image);
    uint32_t sparse = patch.lookup("sparse");
    ASSERT_NE(sparse, 0u);
    patch.set32(patch.inodeField(sparse, 40 + 3 * 4), 0);
    uint32_t indirect = patch.indirectAddress(sparse, 0);
    ASSERT_NE(indirect, 0u);
    patch.set32(patch.fragment(indirect) + 5 * 4, 0);
    ASSERT_TRUE(patch.save(scratch / "sparse.img"));
    attach(scratch / "sparse.img");
    ASSERT_EQ(openDisk(), 0);

    std::string expected = tree.files.at("sparse");
    for (uint32_t block : {3u, kDirect + 5})
        expected.replace(block * bsize(), bsize(), std::string(bsize(), '\0'));
    int error = -1;
    EXPECT_TRUE(readAll("sparse", &error) == expected);
    EXPECT_EQ(error, 0);
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, UfsLargeFileTest,
                         ::testing::Values(Geometry{8192, 1024}, Geometry{4096, 512}),
                         [](const auto& info) { return "bsize" + std::to_string(info.param.bsize); });

// A triple indirect block is reached only past 4 GB with real block sizes,
// beyond a 32-bit seek pointer. With the super-block's nindir lowered to 64
// (4-KB blocks) it starts at file block 12 + 64 + 64 * 64 = 4172: the fixture
// builds a triple -> double -> single chain in free blocks at the end of the
// file system that maps the 16 data blocks of "tri" there.
class UfsTripleIndirectTest : public UfsDiskFixture {
  protected:
    static constexpr uint32_t kNindir = 64;
    static constexpr uint32_t kFirstTriple = kDirect + kNindir + kNindir * kNindir;

    void SetUp() override {
        UfsDiskFixture::SetUp();
        std::filesystem::path image = buildImage(makeLargeTree, {4096, 512});
        UfsImagePatch patch(image);
        patch.set32(patch.superBlock(116), kNindir);
        uint32_t tri = patch.lookup("tri");
        ASSERT_NE(tri, 0u);
        std::vector<uint32_t> data;
        for (uint32_t i = 0; i < kDirect; ++i)
            data.push_back(patch.directAddress(tri, i));
        for (uint32_t i = 0; i < 4; ++i)
            data.push_back(patch.get32(patch.fragment(patch.indirectAddress(tri, 0)) + 4 * i));
        std::vector<uint32_t> chain = patch.freeBlocksAtEnd(3);
        ASSERT_EQ(chain.size(), 3u);
        for (uint32_t i = 0; i < data.size(); ++i)
            patch.set32(patch.fragment(chain[2]) + 4 * i, data[i]);
        patch.set32(patch.fragment(chain[1]), chain[2]);
        patch.set32(patch.fragment(chain[0]), chain[1]);
        for (uint32_t i = 0; i < kDirect; ++i)
            patch.set32(patch.inodeField(tri, 40 + 4 * i), 0);
        patch.set32(patch.inodeField(tri, 88), 0);
        patch.set32(patch.inodeField(tri, 92), 0);
        patch.set32(patch.inodeField(tri, 96), chain[0]);
        patch.set64(patch.inodeField(tri, 8), uint64_t{kFirstTriple + 16} * 4096);
        ASSERT_TRUE(patch.save(scratch / "triple.img"));
        attach(scratch / "triple.img");
        ASSERT_EQ(openDisk(), 0);
        ASSERT_EQ(ufsOpen("tri", &record), 0);
    }
    int readAt(uint32_t offset, std::string& bytes) {
        uint32_t residual = 0;
        ufsSeek(&record, static_cast<int32_t>(offset), 0);
        int error = ufsRead(&record, bytes.data(), static_cast<uint32_t>(bytes.size()), &residual);
        bytes.resize(bytes.size() - residual);
        return error;
    }
};

TEST_F(UfsTripleIndirectTest, MapsBlocksThroughTheTripleIndirectBlock) {
    std::string bytes(16 * 4096, '\0');
    EXPECT_EQ(readAt(kFirstTriple * 4096, bytes), 0);
    EXPECT_TRUE(bytes == tree.files.at("tri"));
    // Everything before is a hole.
    std::string start(8192, 'x');
    EXPECT_EQ(readAt(0, start), 0);
    EXPECT_EQ(start, std::string(8192, '\0'));
}

TEST_F(UfsTripleIndirectTest, BlocksBeyondTripleIndirectionAreEFBIG) {
    // Triple indirection ends at block 4172 + 64^3; 1.5 GB lies beyond it.
    UfsImagePatch patch(scratch / "triple.img");
    uint32_t tri = patch.lookup("tri");
    patch.set64(patch.inodeField(tri, 8), 0x7FFFFFFF);
    ASSERT_TRUE(patch.save(scratch / "triple.img"));
    ufsClose(&record);
    ASSERT_EQ(ufsOpen("tri", &record), 0);
    std::string bytes(100, '\0');
    EXPECT_EQ(readAt(0x60000000, bytes), EFBIG);
    EXPECT_EQ(bytes, "");
}

} // namespace
