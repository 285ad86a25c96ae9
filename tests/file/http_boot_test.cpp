// zandrel-sim booting a gzipped kernel and a gzipped file-system image from
// real web servers on loopback. The probe kernel runs on the emulated
// processor and checks the image's CRC-32 itself.
#include "file/gzip_test_files.h"
#include "support/http_servers.h"
#include "support/kernel_boot.h"
#include "support/run_program.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <zlib.h>

namespace {

class HttpBoot : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zandrel-http-boot-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        device = pattern;
        std::filesystem::create_directories(device / "Storage Card");
        www = device / "www";
        std::filesystem::create_directories(www);
        std::string kernel = gzip_files::kernelBytes("probe");
        ASSERT_GT(kernel.size(), 52u);
        std::ofstream(www / "probe.gz", std::ios::binary)
            << gzip_files::compress("/usr/bin/gzip", {"-c", "-9"}, kernel);
        std::mt19937 random(7);
        std::string image(60000, '\0');
        for (char& c : image)
            c = static_cast<char>(random() % 16); // compresses a little
        std::ofstream(www / "miniroot.gz", std::ios::binary)
            << gzip_files::compress("/usr/bin/pigz", {"-c"}, image);
        char crc[16];
        std::snprintf(
            crc, sizeof crc, "0x%08lx",
            crc32(0, reinterpret_cast<const Bytef*>(image.data()), static_cast<uInt>(image.size())));
        image_options = "md_size=60000 md_crc32=" + std::string(crc);
    }
    void TearDown() override { std::filesystem::remove_all(device); }

    ProgramResult boot(const std::string& url, const std::string& kernel) {
        return runProgram(buildPath("zandrel-sim"),
                          {"--device", device.string(), "--quiet", "--machine", "Sharp W-ZERO3 (WS003SH)",
                           "--dir", url, "--no-pause", "--kernel", kernel, "--rootfs", "md", "--image",
                           "/miniroot.gz", "--extra", image_options});
    }

    std::filesystem::path device;
    std::filesystem::path www;
    std::string image_options;
};

TEST_F(HttpBoot, GzippedKernelAndImageFromPythonAndNginxBootAndPassTheProbe) {
    for (ServerProcess::Kind kind : {ServerProcess::Kind::Python, ServerProcess::Kind::Nginx}) {
        SCOPED_TRACE(kind == ServerProcess::Kind::Python ? "python3 http.server" : "nginx");
        ServerProcess server(kind, www.string());
        ASSERT_TRUE(server.running()) << server.log();
        ProgramResult result = boot(server.url(), "/probe.gz");
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        EXPECT_NE(result.out.find("FileManager: HTTP\n"), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("127.0.0.1 (127.0.0.1) connected.\n"), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("PROBE: image at "), std::string::npos) << result.out;
        EXPECT_EQ(probeVerdict(result.out), "PASS") << result.out;
    }
}

TEST_F(HttpBoot, TheSameGzippedKernelAndImageBootFromTheStorageCard) {
    std::filesystem::copy_file(www / "probe.gz", device / "Storage Card/kalmor.gz");
    std::filesystem::copy_file(www / "miniroot.gz", device / "Storage Card/miniroot.gz");
    ProgramResult result = runProgram(buildPath("zandrel-sim"),
                                      {"--device", device.string(), "--quiet", "--machine", "HP Jornada 720 (US/UK)",
                                       "--dir", "\\Storage Card\\", "--no-pause", "--kernel", "kalmor.gz", "--rootfs",
                                       "md", "--image", "miniroot.gz", "--extra", image_options});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("FileManager: FAT\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("PROBE: image at "), std::string::npos) << result.out;
    EXPECT_EQ(probeVerdict(result.out), "PASS") << result.out;
}

TEST_F(HttpBoot, MissingKernelStopsTheBootWithTheServersAnswer) {
    ServerProcess server(ServerProcess::Kind::Nginx, www.string());
    ASSERT_TRUE(server.running()) << server.log();
    ProgramResult result = boot(server.url(), "/kalmor.gz");
    EXPECT_NE(result.status, 0);
    EXPECT_NE(
        result.out.find("http://127.0.0.1/kalmor.gz: the server answered \"HTTP/1.1 404 Not Found\".\n"),
        std::string::npos)
        << result.out;
    EXPECT_NE(result.err.find("[BOOT FAILED] "), std::string::npos) << result.err;
}

} // namespace
