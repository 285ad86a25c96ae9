// A simulated handheld with UFS images made by makefs attached as raw disks,
// and an OpenFileRecord on the winblk driver to read them with.
#pragma once

#include "file/ufs/open_file_record.h"
#include "support/simulated_device.h"
#include "support/ufs_disk_images.h"
#include "ufs_test_trees.h"

#include <string>

struct Geometry {
    uint32_t bsize;
    uint32_t fsize;
};

class UfsDiskFixture : public SimulatedDevice {
  protected:
    void SetUp() override;
    void TearDown() override;

    // makefs's image of the tree `make` puts in a fresh folder; `tree` holds its files.
    std::filesystem::path buildImage(TestTree (*make)(const std::filesystem::path&), Geometry geometry,
                                     const std::string& name = "fs.img");
    // A disk with the image in a labelled 0xA9 partition.
    std::filesystem::path buildDisk(const std::filesystem::path& image, const std::string& name = "disk.img");
    // The image as a whole disk, without a partition table, on DSK<unit>.
    void attach(const std::filesystem::path& image, int unit = 1);
    int openDisk(int unit = 1);
    // The whole file through ufsOpen and ufsRead in `chunk`-byte reads; the
    // first error in *error.
    std::string readAll(const std::string& path, int* error, uint32_t chunk = 1000);
    std::vector<sim::DiskRead>& reads(int unit = 1) { return device().disks.at(unit).reads; }

    ScratchFolder scratch;
    TestTree tree;
    OpenFileRecord record;
    int trees_ = 0;
};
