// Gzipped kernels and images in whole boots: each file is inflated and
// fetched once and checked in that one pass, and a damaged stream never
// reaches the jump, from the storage card or over HTTP.
#include "boot/boot_context.h"
#include "file/fat_file_manager.h"
#include "file/gzip_file_manager.h"
#include "file/gzip_test_files.h"
#include "loader/elf_loader.h"
#include "platform/wide_string.h"
#include "platform/wince.h"
#include "sim/emulator/hand_off_code.h"
#include "sim/page_list_replay.h"
#include "sim/placed_image.h"
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
            fetched_ += count;
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

    // A kernel and an image in a web server's folder, named as the boot asks for them.
    std::filesystem::path serve(const std::string& packed_kernel, const std::string& packed_image) {
        std::filesystem::path www = folder / "www";
        std::filesystem::create_directories(www);
        std::ofstream(www / "kalmor.gz", std::ios::binary) << packed_kernel;
        std::ofstream(www / "miniroot.gz", std::ios::binary) << packed_image;
        return www;
    }

    // Settings that boot the kernel and image of `www` from `server`.
    KernelBootSettings overHttp(const std::filesystem::path& www, const ServerProcess& server) {
        KernelBootSettings boot = settings(www / "kalmor.gz", www / "miniroot.gz");
        boot.dir = server.url();
        boot.kernel_name = "/kalmor.gz";
        boot.image_name = "/miniroot.gz";
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

// The files a boot took, as the boot context's gzip layer counted them.
std::map<std::string, GzipFileManager::Traffic> trafficOfTheBoot() {
    std::map<std::string, GzipFileManager::Traffic> files;
    auto* layer = dynamic_cast<GzipFileManager*>(BootContext::instance()->file_manager);
    EXPECT_NE(layer, nullptr);
    if (layer != nullptr) {
        for (const GzipFileManager::Traffic& file : layer->traffic())
            files[utf16ToUtf8(file.name)] = file;
    }
    return files;
}

// Each file is inflated once, by its one pass from the first byte, straight
// into the pages the boot hands over, and fetched once: the kernel from the
// one pass that also reads its headers, the image from its trailer (its
// length) and its load pass. The heap never holds the files' bytes: a 4 MB
// image and the kernel stay far below 1 MB.
TEST_F(GzipBoot, KernelAndImageAreInflatedOnceAndFetchedOnce) {
    const std::string image = randomImage(4 << 20);
    const std::string packed_image = gzip_files::compress("/usr/bin/pigz", {"-c", "-6"}, image);
    CountingBootContext context;
    counting_context = &context;
    BootContext::instance();
    MenuContext::instance()->setBootCallback(countingBoot, 0);
    ASSERT_TRUE(bootToJump(settings(write("kalmor.gz", packed), write("miniroot.gz", packed_image))))
        << page.text();
    CountingFile& counting = *context.counting;
    EXPECT_EQ(counting.starts["kalmor.gz"], 1);
    EXPECT_EQ(counting.bytes["kalmor.gz"], packed.size());
    EXPECT_EQ(counting.starts["miniroot.gz"], 1);
    // The image's last 8 bytes, its trailer, are read once more when it is sized.
    EXPECT_EQ(counting.bytes["miniroot.gz"], packed_image.size() + 8);
    auto* layer = dynamic_cast<GzipFileManager*>(context.file_manager);
    ASSERT_NE(layer, nullptr);
    ASSERT_EQ(layer->traffic().size(), 2u);
    for (const GzipFileManager::Traffic& file : layer->traffic()) {
        bool is_kernel = file.name == u"kalmor.gz";
        EXPECT_EQ(file.inflated, is_kernel ? kernel.size() : image.size()) << utf16ToUtf8(file.name);
        EXPECT_EQ(file.fetched, counting.bytes[utf16ToUtf8(file.name)]) << utf16ToUtf8(file.name);
    }
    EXPECT_LT(sim::ProcessHeap::get().highWater(), 1u << 20);
    EXPECT_EQ(page.text().find("gzip:"), std::string::npos) << page.text();
    counting_context = nullptr;
}

// Over HTTP each body is downloaded once, the image's at its first open (its
// length from its trailer) and read again at its second from where it was
// kept; nothing is inflated twice.
TEST_F(GzipBoot, OverHttpEachBodyIsDownloadedOnceAndInflatedOnce) {
    const std::string image = randomImage(1 << 20);
    const std::string packed_image = gzip_files::compress("/usr/bin/gzip", {"-c", "-9"}, image);
    const std::filesystem::path www = serve(packed, packed_image);
    ServerProcess server(ServerProcess::Kind::Nginx, www.string());
    ASSERT_TRUE(server.running()) << server.log();
    KernelBootSettings boot = overHttp(www, server);
    ASSERT_TRUE(bootToJump(boot)) << page.text();
    std::map<std::string, GzipFileManager::Traffic> files = trafficOfTheBoot();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files["/kalmor.gz"].inflated, kernel.size());
    EXPECT_EQ(files["/kalmor.gz"].fetched, packed.size());
    EXPECT_EQ(files["/miniroot.gz"].inflated, image.size());
    EXPECT_EQ(files["/miniroot.gz"].fetched, packed_image.size());
    EXPECT_EQ(occurrences(page.text(), "open http://127.0.0.1/miniroot.gz - contents "), 1u) << page.text();
    std::string placed;
    runUnicornVerified(boot, placed);
    EXPECT_EQ(placed.rfind("placed image verified: ", 0), 0u) << placed;
}

// An image's body kept since it was sized is given up when the kernel's pages
// can't be had otherwise, and the kernel's body, kept once it is loaded, when
// the image's is fetched again: program memory holds the pages and either
// body, not both. The console says the image is fetched again; it is still
// inflated once.
TEST_F(GzipBoot, AnImageBodyGivenUpForMemoryIsFetchedAgainAndSaid) {
    const std::string big = gzip_files::kernelBytes("probe_20m");
    const std::string packed_big = gzip_files::compress("/usr/bin/gzip", {"-c", "-1"}, big);
    const std::string image = randomImage(8 << 20);
    const std::string packed_image = gzip_files::compress("/usr/bin/gzip", {"-c", "-9"}, image);
    const std::filesystem::path www = serve(packed_big, packed_image);
    ServerProcess server(ServerProcess::Kind::Nginx, www.string());
    ASSERT_TRUE(server.running()) << server.log();
    KernelBootSettings boot = overHttp(www, server);
    boot.profile = &profileNamed(u"Sharp Advanced/W-ZERO3[es] (WS011SH)");
    // Program memory for the pages (with their link slots), the kernel's body
    // and half the image's; the object store takes the rest.
    useProfile(*boot.profile);
    ce::MEMORYSTATUS status{};
    ce::GlobalMemoryStatus(&status);
    const uint64_t pages = (big.size() + image.size()) / 4080 * 4096;
    const uint64_t wanted = pages + packed_big.size() + packed_image.size() / 2 + (256 << 10);
    ASSERT_GT(status.dwTotalPhys, wanted);
    device().setObjectStore(device().objectStoreBytes(*boot.profile) +
                            static_cast<uint32_t>(status.dwTotalPhys - wanted));
    ASSERT_TRUE(bootToJump(boot)) << page.text();
    EXPECT_EQ(occurrences(page.text(),
                          "http://127.0.0.1/miniroot.gz was given up for memory: it is fetched again.\n"),
              1u)
        << page.text();
    std::map<std::string, GzipFileManager::Traffic> files = trafficOfTheBoot();
    EXPECT_EQ(files["/miniroot.gz"].fetched, 2 * packed_image.size());
    EXPECT_EQ(files["/miniroot.gz"].inflated, image.size());
    EXPECT_EQ(files["/kalmor.gz"].fetched, packed_big.size());
    EXPECT_EQ(files["/kalmor.gz"].inflated, big.size());
}

// A kernel at the capacity limit is inflated once too: the 21 MB probe on the
// 64 MB W-ZERO3 with the object store grown until 64 KB more of it leaves
// too little program memory. The kernel is then more than half of program
// memory, which no copy of its bytes beside its pages could hold.
TEST_F(GzipBoot, AKernelAtTheCapacityLimitIsInflatedOnceToo) {
    const std::string big = gzip_files::kernelBytes("probe_20m");
    const std::string packed_big = gzip_files::compress("/usr/bin/gzip", {"-c", "-1"}, big);
    const std::filesystem::path path = write("kalmor.gz", packed_big);
    constexpr uint32_t kStep = 64 * 1024;
    auto bootsWithObjectStore = [&](uint32_t bytes) {
        TearDown();
        SetUp();
        device().setObjectStore(bytes);
        return bootToJump(settings(path));
    };
    // Boots with `low` bytes of object store, not with `high`.
    uint32_t low = 32 << 20, high = 48 << 20;
    ASSERT_TRUE(bootsWithObjectStore(low)) << page.text();
    ASSERT_FALSE(bootsWithObjectStore(high));
    while (high - low > kStep) {
        uint32_t middle = (low + high) / 2 / kStep * kStep;
        (bootsWithObjectStore(middle) ? low : high) = middle;
    }
    EXPECT_FALSE(bootsWithObjectStore(high));
    EXPECT_EQ(failures(), std::vector<std::string>{"Can't allocate memory.\n"});
    ASSERT_TRUE(bootsWithObjectStore(low)) << page.text();
    ce::MEMORYSTATUS status{};
    ce::GlobalMemoryStatus(&status);
    EXPECT_GT(big.size(), status.dwTotalPhys / 2);
    std::map<std::string, GzipFileManager::Traffic> files = trafficOfTheBoot();
    EXPECT_EQ(files["kalmor.gz"].inflated, big.size());
    EXPECT_EQ(files["kalmor.gz"].fetched, packed_big.size());
}

// Gzipped kernels of every shape go into their pages in one pass, their
// segments read in file order and linked in program-header order, as the
// page list of a boot of the file itself has them (reversed_segments has its
// second segment first in the file): the kernel finds the same bytes,
// replayed as the second stage copies them.
TEST_F(GzipBoot, KernelsOfEveryShapeInOnePass) {
    for (const char* name : {"probe", "three_segments", "three_segments_stripped", "word_tail",
                             "probe_big_bss", "reversed_segments"}) {
        SCOPED_TRACE(name);
        const std::string plain = gzip_files::kernelBytes(name);
        const std::string image = randomImage(70000);
        KernelBootSettings boot =
            settings(write("kalmor.gz", gzip_files::compress("/usr/bin/gzip", {"-c", "-9"}, plain)),
                     write("miniroot.gz", gzip_files::compress("/usr/bin/gzip", {"-c"}, image)));
        boot.profile = &profileNamed(u"Sharp Advanced/W-ZERO3[es] (WS011SH)");
        page.box.clear();
        ASSERT_TRUE(bootToJump(boot)) << page.text();
        auto* loader = dynamic_cast<ElfLoader*>(BootContext::instance()->loader);
        ASSERT_NE(loader, nullptr);
        EXPECT_TRUE(loader->loadedInOnePass());
        std::map<std::string, GzipFileManager::Traffic> files = trafficOfTheBoot();
        EXPECT_EQ(files["kalmor.gz"].inflated, plain.size());
        EXPECT_EQ(files["miniroot.gz"].inflated, image.size());

        std::vector<uint8_t> kernel_bytes(plain.begin(), plain.end()),
            image_bytes(image.begin(), image.end());
        sim::ExpectedPlacement expected =
            sim::expectedPlacement(kernel_bytes, image_bytes, hand_off->routine);
        ASSERT_TRUE(sim::prepareHandOffRam(*hand_off, &expected));
        sim::ReplayResult replay =
            sim::replayPageList(hand_off->list_paddr, hand_off->routine, hand_off->args_paddr);
        ASSERT_TRUE(replay.ok) << replay.error;
        sim::PlacementCheck check =
            sim::verifyPlacement(expected, [&](uint32_t paddr, uint8_t* out, uint32_t size) {
                replay.kernelView(paddr, out, size);
                return true;
            });
        EXPECT_TRUE(check.ok) << check.line;
    }
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

// A gzipped image takes its length from its trailer and is checked in its
// one load pass: damage of its CRC or its length fails that pass with one
// message and the image's box, and nothing reaches the jump. A trailer that
// can't be the one member's (padding after it, a length no deflate data of
// that size can give) is sized by inflating the image, as a file of several
// members found out in its load pass is in the next boot.
TEST_F(GzipBoot, ImagesAreCheckedAgainstTheirTrailerInTheirOneLoadPass) {
    const std::string image = randomImage(50000);
    const std::string packed_image = gzip_files::compress("/usr/bin/gzip", {"-c", "-n"}, image);
    auto withLength = [&](uint32_t length) {
        std::string bytes = packed_image;
        for (int i = 0; i < 4; ++i)
            bytes[bytes.size() - 4 + i] = static_cast<char>(length >> (8 * i));
        return bytes;
    };
    struct Case {
        const char* name;
        std::string image;
        const char* message;
        const char* box;
    };
    const Case cases[] = {
        {"CRC", flipped(packed_image, packed_image.size() - 6, 0x01), "gzip: CRC error",
         "Can't load file system image to memory.\n"},
        {"length one more", withLength(50001), "gzip: length error: data 50000 byte, trailer 50001 byte.\n",
         "Can't load file system image to memory.\n"},
        {"length one less", withLength(49999),
         "gzip: the data holds more than the 49999 bytes its trailer gives.\n",
         "Can't load file system image to memory.\n"},
        {"length ten times as long", withLength(500000),
         "gzip: length error: data 50000 byte, trailer 500000 byte.\n",
         "Can't load file system image to memory.\n"},
        {"a length no deflate data of its size gives", withLength(0x7FFFFFFF),
         "gzip: length error: data 50000 byte, trailer 2147483647 byte.\n",
         "Can't open file system image.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device().message_boxes.clear();
        page.box.clear();
        EXPECT_FALSE(bootToJump(settings(write("kalmor.gz", packed), write("miniroot.gz", c.image))));
        const std::string console = page.text();
        EXPECT_EQ(occurrences(console, c.message), 1u) << console;
        EXPECT_EQ(occurrences(console, "gzip: "), 1u) << console;
        EXPECT_EQ(failures(), std::vector<std::string>{c.box});
    }

    // Sound images of one member boot, and so do those whose trailer is not
    // the member's; one of two members fails its one pass, then boots.
    const std::string two_members =
        gzip_files::compress("/usr/bin/gzip", {"-c", "-n"}, image.substr(0, 20000)) +
        gzip_files::compress("/usr/bin/gzip", {"-c", "-n"}, image.substr(20000));
    struct Sound {
        const char* name;
        std::string image;
        bool first_boot;
    };
    const Sound sound[] = {
        {"one member", packed_image, true},
        {"zeros after the member", packed_image + std::string(1000, '\0'), true},
        {"two members", two_members, false},
    };
    for (const Sound& c : sound) {
        SCOPED_TRACE(c.name);
        device().message_boxes.clear();
        page.box.clear();
        KernelBootSettings boot = settings(write("kalmor.gz", packed), write("miniroot.gz", c.image));
        EXPECT_EQ(bootToJump(boot), c.first_boot) << page.text();
        if (!c.first_boot) {
            EXPECT_EQ(occurrences(page.text(), "gzip: the data is more than one member long"), 1u)
                << page.text();
            EXPECT_EQ(failures(), std::vector<std::string>{"Can't load file system image to memory.\n"});
            page.box.clear();
            EXPECT_TRUE(bootAgain()) << page.text();
        }
        std::string placed;
        runUnicornVerified(boot, placed);
        EXPECT_EQ(placed.rfind("placed image verified: ", 0), 0u) << placed;
    }
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
