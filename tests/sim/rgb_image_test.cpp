// Pictures on disk: PNG written and read back with libpng, and the binary PPM
// that QEMU's screendump writes, here made by ImageMagick.
#include "sim/rgb_image.h"
#include "support/run_program.h"
#include "support/ufs_disk_images.h"

#include <fstream>
#include <gtest/gtest.h>

namespace {

class RgbImageFiles : public ::testing::Test {
  protected:
    ScratchFolder folder;
};

TEST_F(RgbImageFiles, APngKeepsEveryPixel) {
    sim::RgbImage image(5, 3);
    for (size_t i = 0; i < image.rgb.size(); ++i)
        image.rgb[i] = static_cast<uint8_t>(i * 17);
    std::string error;
    std::string path = (folder.path() / "picture.png").string();
    ASSERT_TRUE(sim::writePng(path, image, error)) << error;
    sim::RgbImage back;
    ASSERT_TRUE(sim::readPng(path, back, error)) << error;
    EXPECT_EQ(back.width, 5);
    EXPECT_EQ(back.height, 3);
    EXPECT_EQ(back.rgb, image.rgb);

    EXPECT_FALSE(sim::writePng((folder.path() / "no-such-folder" / "x.png").string(), image, error));
    EXPECT_NE(error.find("can't write"), std::string::npos) << error;
    EXPECT_FALSE(sim::writePng(path, sim::RgbImage(), error));
}

TEST_F(RgbImageFiles, APpmFromAnotherProgramIsRead) {
    std::string ppm = (folder.path() / "bars.ppm").string();
    // Red above blue, 4x2, with a comment in the header.
    ProgramResult made =
        runProgram("/usr/bin/convert", {"-size", "4x1", "xc:red", "-size", "4x1", "xc:blue", "-append",
                                        "-set", "comment", "made for a test", "-depth", "8", "ppm:" + ppm});
    ASSERT_EQ(made.status, 0) << made.err;
    sim::RgbImage image;
    std::string error;
    ASSERT_TRUE(sim::readPpm(ppm, image, error)) << error;
    ASSERT_EQ(image.width, 4);
    ASSERT_EQ(image.height, 2);
    EXPECT_EQ(image.at(3, 0), (sim::Rgb{255, 0, 0}));
    EXPECT_EQ(image.at(0, 1), (sim::Rgb{0, 0, 255}));

    // Cut short, or not a PPM at all: a message, no picture.
    std::string bytes;
    {
        std::ifstream in(ppm, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::ofstream(folder.path() / "short.ppm", std::ios::binary) << bytes.substr(0, bytes.size() - 1);
    EXPECT_FALSE(sim::readPpm((folder.path() / "short.ppm").string(), image, error));
    EXPECT_NE(error.find("ends before its last pixel"), std::string::npos) << error;
    std::ofstream(folder.path() / "text.ppm") << "P3\n4 2\n255\n";
    EXPECT_FALSE(sim::readPpm((folder.path() / "text.ppm").string(), image, error));
    EXPECT_NE(error.find("is not an 8-bit binary PPM picture"), std::string::npos) << error;
    EXPECT_FALSE(sim::readPpm((folder.path() / "missing.ppm").string(), image, error));
    EXPECT_NE(error.find("can't open"), std::string::npos) << error;
}

} // namespace
