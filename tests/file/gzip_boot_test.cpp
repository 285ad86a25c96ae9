// Gzipped kernels and images in whole boots: each file is checked in one pass
// and read again from its access points, and a damaged stream never reaches
// the jump, from the storage card or over HTTP.
#include "boot/boot_context.h"
#include "file/fat_file_manager.h"
#include "file/gzip_file_manager.h"
#include "file/gzip_test_files.h"
#include "platform/wide_string.h"
#include "sim/process_heap.h"
#include "support/http_servers.h"
#include "support/kernel_boot.h"
#include "support/run_program.h"
#include "support/ufs_disk_images.h"
#include "ui/menu_context.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <sstream>

namespace {

// A local file manager that counts, per file, the reads from the first byte
// (a pass over the file starts with one) and the bytes it delivered.
class CountingFile : public FileManager {
  public:
    explicit CountingFile(Console** console) : FileManager(console), fat_(console) {}
    bool setRoot(const char16_t* root) override { return fat_.setRoot(root); }
    bool open(const char16_t* name, uint32_t mode) override {
        name_ = utf16ToUtf8(name);
        position_ = 0;
        return fat_.open(name, mode);
    }
    uint32_t size() override { return fat_.size(); }
    bool close() override { return fat_.close(); }
    uint32_t read(void* buffer, uint32_t size, uint32_t offset = kCurrentPosition) override {
        if (offset != kCurrentPosition)
            position_ = offset;
        if (position_ == 0)
            ++starts[name_];
        uint32_t count = fat_.read(buffer, size, offset);
        if (count <= size) {
            bytes[name_] += count;
            position_ += count;
        }
        return count;
    }
    uint32_t write(const void*, uint32_t, uint32_t) override { return 0; }
    bool seek(uint32_t offset) override {
        position_ = offset;
        return fat_.seek(offset);
    }

    std::map<std::string, int> starts;
    std::map<std::string, uint64_t> bytes;

  private:
    FatFileManager fat_;
    std::string name_;
    uint32_t position_ = 0;
};

class CountingBootContext : public ArmBootContext {
  public:
    bool createComponents() override {
        if (!ArmBootContext::createComponents())
            return false;
        counting = new CountingFile(&console);
        replaceFileManager(
            new GzipFileManager(&console, counting, GzipAccessIndex::kDefaultSpacing, max_output));
        return true;
    }
    CountingFile* counting = nullptr;
    uint64_t max_output = GzipStream::kMaxOutput;
};

CountingBootContext* counting_context = nullptr;

int countingBoot(uint32_t, MenuContext* menu) {
    runBootSequence(*menu, *counting_context);
    return 0;
}

std::string randomImage(size_t size) {
    std::mt19937 random(11);
    std::string image(size, '\0');
    for (char& c : image)
        c = static_cast<char>(random() % 16); // compresses a little
    return image;
}

class GzipBoot : public KernelBoot {
  protected:
    void SetUp() override {
        KernelBoot::SetUp();
        ASSERT_FALSE(scratch.path().empty());
        kernel = gzip_files::kernelBytes("probe");
        ASSERT_GT(kernel.size(), 52u);
        packed = gzip_files::compress("/usr/bin/gzip", {"-c", "-9"}, kernel);
    }

    std::filesystem::path write(const std::string& name, const std::string& bytes) {
        std::filesystem::path path = scratch / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    KernelBootSettings settings(const std::filesystem::path& kernel_path,
                                const std::filesystem::path& image = {}) {
        KernelBootSettings boot;
        boot.profile = &profileNamed(u"Sharp W-ZERO3 (WS003SH)");
        boot.kernel = kernel_path;
        boot.image = image;
        return boot;
    }

    // The texts of the "BOOT FAILED" boxes shown.
    std::vector<std::string> failures() {
        std::vector<std::string> texts;
        for (const sim::MessageBoxRecord& box : device().message_boxes) {
            if (box.caption == u"BOOT FAILED")
                texts.push_back(utf16ToUtf8(box.text));
        }
        return texts;
    }

    ScratchFolder scratch;
    const std::filesystem::path& folder = scratch.path();
    std::string kernel;
    std::string packed;
};

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Each file is inflated and checked by one pass from its first byte; what the
// loader reads later is inflated again from the access points, so the heap
// never holds the files' bytes: a 4 MB image and the kernel stay far below 1 MB.
TEST_F(GzipBoot, KernelAndImageAreCheckedInOnePassAndReadAgainFromTheirAccessPoints) {
    const std::string image = randomImage(4 << 20);
    const std::string packed_image = gzip_files::compress("/usr/bin/pigz", {"-c", "-6"}, image);
    CountingBootContext context;
    counting_context = &context;
    BootContext::instance();
    MenuContext::instance()->setBootCallback(countingBoot, 0);
    ASSERT_TRUE(bootToJump(settings(write("kalmor.gz", packed), write("miniroot.gz", packed_image))))
        << page.text();
    CountingFile& counting = *context.counting;
    // One pass from the first byte; the second starts at the first access
    // point, after the header, and reads no more than the file again. (The
    // probe is smaller than zlib's window: the front's window serves it all.)
    EXPECT_EQ(counting.starts["kalmor.gz"], 1);
    EXPECT_LE(counting.bytes["kalmor.gz"], 2 * packed.size());
    EXPECT_EQ(counting.starts["miniroot.gz"], 1);
    EXPECT_GT(counting.bytes["miniroot.gz"], packed_image.size());
    EXPECT_LE(counting.bytes["miniroot.gz"], 2 * packed_image.size());
    EXPECT_LT(sim::ProcessHeap::get().highWater(), 1u << 20);
    EXPECT_EQ(page.text().find("gzip:"), std::string::npos) << page.text();
    counting_context = nullptr;
}

struct KernelDamage {
    const char* name;
    std::string (*damage)(const std::string& packed, const std::string& kernel);
    const char* message; // null: any one "gzip: " message
    const char* box;     // the BOOT FAILED box's text
};

std::string flipped(std::string bytes, size_t at, uint8_t mask) {
    bytes[at] = static_cast<char>(bytes[at] ^ mask);
    return bytes;
}

const KernelDamage kKernelDamages[] = {
    // The first block's type becomes the reserved one; its header ends with the file's name.
    {"corrupt deflate data",
     [](const std::string& p, const std::string&) {
         std::string bytes = p;
         bytes[p.find('\0', 10) + 1] |= 0x06;
         return bytes;
     },
     "gzip: compressed data is damaged: invalid block type.\n", "Can't read kernel image.\n"},
    // Bytes changed halfway: depending on what they decode to, a deflate error or a CRC error.
    // The loader reads the stream to its end before it looks for the symbol tables: damage
    // anywhere after the ELF header fails its set-up.
    {"damaged data halfway",
     [](const std::string& p, const std::string&) { return flipped(p, p.size() / 2, 0x5A); }, nullptr,
     "Can't initialize loader.\n"},
    {"wrong CRC", [](const std::string& p, const std::string&) { return flipped(p, p.size() - 8, 0x01); },
     "gzip: CRC error", "Can't initialize loader.\n"},
    {"wrong length", [](const std::string& p, const std::string&) { return flipped(p, p.size() - 4, 0x01); },
     "gzip: length error", "Can't initialize loader.\n"},
    {"cut trailer", [](const std::string& p, const std::string&) { return p.substr(0, p.size() - 3); },
     "gzip: compressed data is truncated.\n", "Can't initialize loader.\n"},
    {"bad second member",
     [](const std::string&, const std::string& k) {
         std::string second = gzip_files::compress("/usr/bin/gzip", {"-c", "-n"}, k.substr(k.size() / 2));
         return gzip_files::compress("/usr/bin/gzip", {"-c", "-n"}, k.substr(0, k.size() / 2)) +
                flipped(second, second.size() - 8, 0x10);
     },
     "gzip: CRC error", "Can't initialize loader.\n"},
};

TEST_F(GzipBoot, DamagedKernelsFromTheStorageCardNeverReachTheJump) {
    for (const KernelDamage& damage : kKernelDamages) {
        SCOPED_TRACE(damage.name);
        device().message_boxes.clear();
        page.box.clear();
        EXPECT_FALSE(bootToJump(settings(write("kalmor.gz", damage.damage(packed, kernel)))));
        const std::string console = page.text();
        if (damage.message != nullptr) {
            EXPECT_EQ(occurrences(console, damage.message), 1u) << console;
        }
        EXPECT_EQ(occurrences(console, "gzip: "), 1u) << console;
        std::vector<std::string> boxes = failures();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], damage.box);
    }
    // The next attempt in the same process boots.
    device().message_boxes.clear();
    EXPECT_TRUE(bootToJump(settings(write("kalmor.gz", packed)))) << page.text();
}

// With the safety messages on, a damaged stream is a read failure: the boot
// asks its question and then shows one box, never first the notice of a
// kernel without symbols.
TEST_F(GzipBoot, TheDemoKernelDamagedShowsTheQuestionAndThenOneBox) {
    std::ifstream demo(buildPath("default-device/card/kalmor.gz"), std::ios::binary);
    std::ostringstream read;
    read << demo.rdbuf();
    const std::string sound = read.str();
    ASSERT_GT(sound.size(), 4100u);
    struct Case {
        const char* name;
        std::string bytes;
        const char* cause;
    };
    std::string xored = sound;
    for (size_t at = 4000; at < 4100; ++at)
        xored[at] = static_cast<char>(xored[at] ^ 0x55);
    const Case cases[] = {
        {"bytes 4000-4099 XORed with 0x55", xored, "gzip: "},
        {"wrong CRC", flipped(sound, sound.size() - 8, 0x01), "gzip: CRC error"},
        {"cut trailer", sound.substr(0, sound.size() - 3), "gzip: compressed data is truncated.\n"},
    };
    std::filesystem::create_directories(folder / "device/Storage Card");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(folder / "device/Storage Card/kalmor.gz", std::ios::binary) << c.bytes;
        ProgramResult result =
            runProgram(buildPath("zandrel-sim"),
                       {"--device", (folder / "device").string(), "--quiet", "--dir", "\\Storage Card\\",
                        "--kernel", "kalmor.gz", "--rootfs", "wd", "--safety", "--no-pause"});
        EXPECT_EQ(result.status, 1) << result.out << result.err;
        std::vector<std::string> boxes;
        std::istringstream lines(result.err);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("[", 0) == 0)
                boxes.push_back(line.substr(0, line.find("] ") + 1));
        }
        EXPECT_EQ(boxes, (std::vector<std::string>{"[WARNING]", "[BOOT FAILED]"})) << result.err;
        EXPECT_EQ(occurrences(result.out, c.cause), 1u) << result.out;
        EXPECT_EQ(result.out.find("PROBE"), std::string::npos) << "the kernel ran";
    }
}

TEST_F(GzipBoot, DamagedKernelsOverHttpNeverReachTheJump) {
    std::filesystem::path www = folder / "www";
    std::filesystem::create_directories(www);
    std::filesystem::create_directories(folder / "device/Storage Card");
    ServerProcess server(ServerProcess::Kind::Nginx, www.string());
    ASSERT_TRUE(server.running()) << server.log();
    for (const KernelDamage& damage : kKernelDamages) {
        SCOPED_TRACE(damage.name);
        std::ofstream(www / "kalmor.gz", std::ios::binary) << damage.damage(packed, kernel);
        ProgramResult result = runProgram(buildPath("zandrel-sim"),
                                          {"--device", (folder / "device").string(), "--quiet", "--machine",
                                           "Sharp W-ZERO3 (WS003SH)", "--dir", server.url(), "--no-pause",
                                           "--kernel", "/kalmor.gz", "--rootfs", "wd"});
        EXPECT_EQ(result.status, 1) << result.out << result.err;
        EXPECT_EQ(occurrences(result.out, damage.message != nullptr ? damage.message : "gzip: "), 1u)
            << result.out;
        EXPECT_EQ(occurrences(result.err, "[BOOT FAILED] "), 1u) << result.err;
        EXPECT_EQ(result.out.find("PROBE"), std::string::npos) << "the kernel ran";
    }
}

TEST_F(GzipBoot, DamagedImageFailsWhenItIsSizedWithOneMessage) {
    std::string packed_image = gzip_files::compress("/usr/bin/gzip", {"-c", "-n"}, randomImage(50000));
    packed_image[packed_image.size() - 6] ^= 0x01; // its CRC
    EXPECT_FALSE(bootToJump(settings(write("kalmor.gz", packed), write("miniroot.gz", packed_image))));
    const std::string console = page.text();
    EXPECT_EQ(occurrences(console, "gzip: CRC error"), 1u) << console;
    EXPECT_EQ(occurrences(console, "gzip: "), 1u) << console;
    // Failed while the image was sized, before the kernel was opened.
    EXPECT_EQ(console.find("kalmor.gz"), std::string::npos) << console;
    EXPECT_EQ(failures(), std::vector<std::string>{"Can't open file system image.\n"});
}

// A stream longer than the file interface can carry stops the boot with one
// message and the box of the step that found it, never loaded as its length
// modulo 2^32 (a lower limit stands in for 4 GB, which takes seconds to inflate).
TEST_F(GzipBoot, StreamsPastTheirLongestStopTheBootWithOneMessage) {
    const std::string image = randomImage(300000);
    const std::string packed_image = gzip_files::compress("/usr/bin/gzip", {"-c", "-n"}, image);
    // The kernel's stream goes on after the kernel: its tail is read only when the loader, before
    // it looks for the symbol tables, reads the stream to its end.
    const std::string long_kernel = packed + packed_image;
    struct Case {
        const char* name;
        std::string kernel;
        std::string image;
        const char* box;
    };
    const Case cases[] = {
        {"the image, when it is sized", packed, packed_image, "Can't open file system image.\n"},
        {"the kernel, when its end is checked", long_kernel, "", "Can't initialize loader.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device().message_boxes.clear();
        page.box.clear();
        CountingBootContext context;
        context.max_output = 200000;
        counting_context = &context;
        BootContext::instance();
        MenuContext::instance()->setBootCallback(countingBoot, 0);
        std::filesystem::path image_path =
            c.image.empty() ? std::filesystem::path() : write("miniroot.gz", c.image);
        EXPECT_FALSE(bootToJump(settings(write("kalmor.gz", c.kernel), image_path)));
        EXPECT_EQ(occurrences(page.text(), "gzip: the uncompressed data passes 0x30d40 bytes.\n"), 1u)
            << page.text();
        EXPECT_EQ(occurrences(page.text(), "gzip: "), 1u) << page.text();
        EXPECT_EQ(failures(), std::vector<std::string>{c.box});
        counting_context = nullptr;
    }
}

TEST_F(GzipBoot, KernelsPaddedAfterTheLastMemberBoot) {
    struct Case {
        const char* name;
        std::string tail;
        size_t notes;
    };
    const Case cases[] = {
        {"zeros to a 64 KB boundary", std::string(65536 - packed.size() % 65536, '\0'), 0},
        {"other bytes", "padding\xff\xff\xff\xff", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        page.box.clear();
        device().message_boxes.clear();
        EXPECT_TRUE(bootToJump(settings(write("kalmor.gz", packed + c.tail)))) << page.text();
        EXPECT_EQ(occurrences(page.text(), "bytes after the compressed data ignored.\n"), c.notes)
            << page.text();
        EXPECT_EQ(occurrences(page.text(), "gzip: "), c.notes) << page.text();
    }
}

} // namespace
