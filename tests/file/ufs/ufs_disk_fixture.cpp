#include "ufs_disk_fixture.h"

#include "file/ufs/ufs_reader.h"
#include "file/ufs/winblk.h"
#include "sim/disk.h"

void UfsDiskFixture::SetUp() {
    SimulatedDevice::SetUp();
    ASSERT_FALSE(scratch.path().empty());
    record.device = &winblk;
}

void UfsDiskFixture::TearDown() {
    ufsClose(&record);
    winblkClose(&record);
    SimulatedDevice::TearDown();
}

std::filesystem::path UfsDiskFixture::buildImage(TestTree (*make)(const std::filesystem::path&),
                                                 Geometry geometry, const std::string& name) {
    std::filesystem::path source = scratch / ("tree" + std::to_string(trees_++));
    tree = make(source);
    std::filesystem::path image = scratch / name;
    std::string problem = makeUfs(image, source, geometry.bsize, geometry.fsize);
    EXPECT_EQ(problem, "");
    return image;
}

std::filesystem::path UfsDiskFixture::buildDisk(const std::filesystem::path& image, const std::string& name) {
    std::filesystem::path disk = scratch / name;
    EXPECT_EQ(makeLabelledDisk(disk, image), "");
    return disk;
}

void UfsDiskFixture::attach(const std::filesystem::path& image, int unit) {
    ASSERT_TRUE(sim::attachDisk(unit, image)) << image;
}

int UfsDiskFixture::openDisk(int unit) {
    return winblkOpen(&record, "DSK", unit, 0);
}

std::string UfsDiskFixture::readAll(const std::string& path, int* error, uint32_t chunk) {
    std::string bytes;
    *error = ufsOpen(path.c_str(), &record);
    if (*error != 0)
        return bytes;
    std::string part(chunk, '\0');
    for (;;) {
        uint32_t residual = 0;
        *error = ufsRead(&record, part.data(), chunk, &residual);
        bytes.append(part, 0, chunk - residual);
        if (*error != 0 || residual == chunk)
            break;
    }
    ufsClose(&record);
    return bytes;
}
