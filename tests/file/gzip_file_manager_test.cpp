#include "file/fat_file_manager.h"
#include "file/file_manager_factory.h"
#include "file/gzip_file_manager.h"
#include "file/gzip_test_files.h"
#include "file/http_file_manager.h"
#include "file/ufs/ufs_file_manager.h"
#include "support/memory_file_manager.h"
#include "support/recording_console.h"
#include "support/simulated_device.h"

#include <memory>
#include <string>

namespace {

constexpr uint32_t kAllOnes = 0xFFFFFFFFu;

class GzipFileManagerTest : public SimulatedDevice {
  protected:
    void SetUp() override {
        SimulatedDevice::SetUp();
        files = std::make_unique<GzipFileManager>(&slot, 0);
        ASSERT_TRUE(files->setRoot(u"\\Storage Card\\"));
        console.output.clear();
    }
    void TearDown() override {
        files.reset();
        SimulatedDevice::TearDown();
    }

    void openBytes(const std::string& bytes) {
        writeFile("Storage Card/kalmor.gz", bytes);
        ASSERT_TRUE(files->open(u"kalmor.gz", 3));
    }

    std::string readAt(uint32_t size, uint32_t offset = FileManager::kCurrentPosition) {
        std::string bytes(size, '\0');
        uint32_t count = files->read(bytes.data(), size, offset);
        if (count == kAllOnes)
            return "<corrupt>";
        bytes.resize(count);
        return bytes;
    }

    // Reads in 4000-byte steps to the end: the bytes delivered, and whether the data ended corrupt.
    std::string readToEnd(bool* corrupt) {
        std::string all;
        *corrupt = false;
        for (int guard = 0; guard < 1000; ++guard) {
            std::string piece(4000, '\0');
            uint32_t count = files->read(piece.data(), 4000);
            if (count == kAllOnes) {
                *corrupt = true;
                break;
            }
            if (count == 0)
                break;
            all += piece.substr(0, count);
        }
        return all;
    }

    RecordingConsole console;
    Console* slot = &console;
    std::unique_ptr<GzipFileManager> files;
};

TEST_F(GzipFileManagerTest, UncompressedKernelPassesThroughWithSeeksBothWays) {
    const std::string kernel = gzip_files::kernelBytes();
    ASSERT_GT(kernel.size(), 2000u);
    openBytes(kernel);
    EXPECT_FALSE(files->compressed());
    EXPECT_EQ(files->realsize(), kernel.size());
    EXPECT_EQ(files->size(), kernel.size());
    EXPECT_EQ(readAt(52, 0), kernel.substr(0, 52));
    EXPECT_EQ(readAt(100, 1500), kernel.substr(1500, 100));
    EXPECT_EQ(readAt(100, 10), kernel.substr(10, 100));
    EXPECT_EQ(readAt(100), kernel.substr(110, 100));
    bool corrupt = false;
    files->seek(0);
    EXPECT_EQ(readToEnd(&corrupt), kernel);
    EXPECT_FALSE(corrupt);
    EXPECT_EQ(console.text(),
              "open file \"\\Storage Card\\kalmor.gz\"(" + std::to_string(kernel.size()) + " byte).\n");
}

TEST_F(GzipFileManagerTest, FilesThatOnlyLookLikeGzipPassThroughWhole) {
    for (const std::string& bytes : {std::string("\x1f"
                                                 "ABC"),
                                     std::string("\x1f"), std::string("\x8b\x1f\x08")}) {
        openBytes(bytes);
        EXPECT_EQ(readAt(10), bytes);
        EXPECT_EQ(files->realsize(), bytes.size());
    }
}

TEST_F(GzipFileManagerTest, EmptyFileReadsAsNothing) {
    openBytes("");
    EXPECT_EQ(files->realsize(), 0u);
    EXPECT_EQ(readAt(10, 0), "");
}

struct Producer {
    const char* name;
    std::string (*make)(const std::string& plain);
    // Header flags the tool is expected to have written.
    uint8_t flags;
};

const Producer kProducers[] = {
    {"gzip (name stored)",
     [](const std::string& p) {
         return gzip_files::compress("/usr/bin/gzip", {"-c", "-9"}, p);
     },
     0x08},
    {"gzip -n -1",
     [](const std::string& p) {
         return gzip_files::compress("/usr/bin/gzip", {"-c", "-n", "-1"}, p);
     },
     0x00},
    {"pigz with comment",
     [](const std::string& p) {
         return gzip_files::compress("/usr/bin/pigz", {"-c", "-p", "2", "-b", "32", "-C", "a comment"}, p);
     },
     0x18},
    {"two members by gzip",
     [](const std::string& p) {
         return gzip_files::compress("/usr/bin/gzip", {"-c", "-n"}, p.substr(0, 70000)) +
                gzip_files::compress("/usr/bin/gzip", {"-c"}, p.substr(70000));
     },
     0x00},
    {"extra, name, comment and header CRC",
     [](const std::string& p) { return gzip_files::withAllHeaderFields(p); }, 0x1E},
};

TEST_F(GzipFileManagerTest, GzipFilesFromRealToolsReadAsTheirContents) {
    const std::string plain = gzip_files::plainData();
    for (const Producer& producer : kProducers) {
        SCOPED_TRACE(producer.name);
        const std::string packed = producer.make(plain);
        ASSERT_GT(packed.size(), 10u);
        EXPECT_EQ(static_cast<uint8_t>(packed[3]), producer.flags);
        openBytes(packed);
        EXPECT_TRUE(files->compressed());
        EXPECT_EQ(files->size(), packed.size());
        EXPECT_EQ(files->realsize(), plain.size());
        EXPECT_EQ(readAt(52, 0), plain.substr(0, 52));
        // Forward, backward (back to an access point) and forward again, across the member boundary of the
        // two-member file.
        EXPECT_EQ(readAt(300, 1000), plain.substr(1000, 300));
        EXPECT_EQ(readAt(20, 10), plain.substr(10, 20));
        EXPECT_EQ(readAt(5000, 69000), plain.substr(69000, 5000));
        EXPECT_EQ(readAt(100), plain.substr(74000, 100));
        EXPECT_EQ(readAt(5000, 68000), plain.substr(68000, 5000));
        files->seek(0);
        bool corrupt = true;
        EXPECT_EQ(readToEnd(&corrupt), plain);
        EXPECT_FALSE(corrupt);
        EXPECT_EQ(readAt(10, static_cast<uint32_t>(plain.size()) + 5), "");
        EXPECT_FALSE(files->seek(static_cast<uint32_t>(plain.size()) + 1));
        EXPECT_TRUE(files->close());
        EXPECT_EQ(console.text().find("gzip:"), std::string::npos) << console.text();
    }
}

struct Damage {
    const char* name;
    std::string (*damage)(const std::string& good);
    const char* message;
};

std::string setByte(std::string bytes, size_t at, char value) {
    bytes[at] = value;
    return bytes;
}

const Damage kDamages[] = {
    {"method other than deflate", [](const std::string& g) { return setByte(g, 2, 7); },
     "gzip: unknown compression method 7.\n"},
    {"reserved flag", [](const std::string& g) { return setByte(g, 3, static_cast<char>(g[3] | 0x40)); },
     "gzip: reserved header flags 0x48.\n"},
    {"header cut short", [](const std::string& g) { return g.substr(0, 7); }, "gzip: header is truncated.\n"},
    {"name without its end", [](const std::string& g) { return g.substr(0, 14); },
     "gzip: header is truncated.\n"},
    {"extra field longer than the file",
     [](const std::string&) {
         return std::string("\x1f\x8b\x08\x04\0\0\0\0\0\x03\xff\xff"
                            "abc",
                            15);
     },
     "gzip: header is truncated.\n"},
    {"wrong header CRC",
     [](const std::string&) { return gzip_files::withAllHeaderFields(gzip_files::plainData(), false); },
     "gzip: header CRC mismatch.\n"},
    {"invalid deflate block type",
     [](const std::string& g) { return setByte(g, g.find('\0', 10) + 1, 0x07); },
     "gzip: compressed data is damaged: invalid block type.\n"},
    {"trailer CRC",
     [](const std::string& g) { return setByte(g, g.size() - 8, static_cast<char>(g[g.size() - 8] ^ 1)); },
     "gzip: CRC error"},
    {"trailer length",
     [](const std::string& g) { return setByte(g, g.size() - 4, static_cast<char>(g[g.size() - 4] + 1)); },
     "gzip: length error"},
    {"second member with a bad method", [](const std::string& g) { return g + setByte(g, 2, 9); },
     "gzip: unknown compression method 9.\n"},
    {"second member cut inside its header", [](const std::string& g) { return g + g.substr(0, 5); },
     "gzip: header is truncated.\n"},
    {"member cut inside the data", [](const std::string& g) { return g.substr(0, g.size() / 2); },
     "gzip: compressed data is truncated.\n"},
    {"member cut inside the trailer", [](const std::string& g) { return g.substr(0, g.size() - 3); },
     "gzip: compressed data is truncated.\n"},
};

TEST_F(GzipFileManagerTest, DamagedFilesFailCleanlyWithAMessage) {
    const std::string plain = gzip_files::plainData();
    const std::string good = gzip_files::compress("/usr/bin/gzip", {"-c"}, plain); // with a name field
    for (const Damage& damage : kDamages) {
        SCOPED_TRACE(damage.name);
        console.output.clear();
        openBytes(damage.damage(good));
        EXPECT_EQ(files->realsize(), kAllOnes);
        files->seek(0);
        bool corrupt = false;
        std::string delivered = readToEnd(&corrupt);
        EXPECT_TRUE(corrupt);
        EXPECT_EQ(delivered, plain.substr(0, delivered.size())) << "only good data is delivered";
        EXPECT_EQ(readAt(10), "<corrupt>") << "and it stays corrupt";
        EXPECT_NE(console.text().find(damage.message), std::string::npos) << console.text();
        files->close();
    }
}

TEST_F(GzipFileManagerTest, BytesAfterTheLastMemberAreIgnoredZerosSilently) {
    const std::string plain = gzip_files::plainData();
    const std::string good = gzip_files::compress("/usr/bin/gzip", {"-c", "-n"}, plain);
    struct Case {
        const char* name;
        std::string tail;
        const char* note;
    };
    const Case cases[] = {
        {"zeros of a padded flash image", std::string(4000, '\0'), ""},
        {"one zero", std::string(1, '\0'), ""},
        {"text", "garbage after the member", "gzip: 24 bytes after the compressed data ignored.\n"},
        {"zeros, then something", std::string(100, '\0') + "x",
         "gzip: 101 bytes after the compressed data ignored.\n"},
        {"a lone magic byte", "\x1f", "gzip: 1 bytes after the compressed data ignored.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        console.output.clear();
        openBytes(good + c.tail);
        EXPECT_EQ(files->realsize(), plain.size());
        bool corrupt = true;
        EXPECT_EQ(readToEnd(&corrupt), plain);
        EXPECT_FALSE(corrupt);
        const std::string text = console.text();
        const std::string gzip_lines = text.substr(std::min(text.find("gzip:"), text.size()));
        EXPECT_EQ(gzip_lines, c.note);
        files->close();
    }
}

TEST_F(GzipFileManagerTest, CorruptTrailerStillDeliversTheLastDataThenAllOnes) {
    const std::string plain = "short kernel text";
    std::string packed = gzip_files::compress("/usr/bin/gzip", {"-c", "-n"}, plain);
    packed[packed.size() - 8] ^= 0x55;
    openBytes(packed);
    EXPECT_EQ(readAt(100, 0), plain);
    EXPECT_EQ(readAt(100), "<corrupt>");
    // A backward seek reads the data again, up to the trailer.
    EXPECT_EQ(readAt(5, 0), plain.substr(0, 5));
}

// The wrapped file stops giving bytes partway: an early end (0) reads as a cut
// stream, a refused read (all ones) as a failed read. Either way the bytes before
// it are delivered and then the layer's corrupt value.
TEST_F(GzipFileManagerTest, ReadFailureOfTheWrappedFileEndsInCorruptData) {
    const std::string plain = gzip_files::plainData();
    const std::string packed = gzip_files::compress("/usr/bin/gzip", {"-c", "-n"}, plain);
    ASSERT_GT(packed.size(), 70000u) << "the file is read in pieces of 64 KB";
    const std::pair<uint32_t, const char*> cases[] = {
        {0, "gzip: compressed data is truncated.\n"},
        {FileManager::kReadFailed, "gzip: can't read the file.\n"},
    };
    for (const auto& [failure_result, message] : cases) {
        SCOPED_TRACE(message);
        console.output.clear();
        auto* memory = new MemoryFileManager(&slot, packed);
        memory->fail_from = 70000;
        memory->failure_result = failure_result;
        GzipFileManager layer(&slot, memory);
        ASSERT_TRUE(layer.open(u"any", 3));
        std::string out(plain.size(), '\0');
        uint32_t count = layer.read(out.data(), static_cast<uint32_t>(out.size()), 0);
        EXPECT_LT(count, plain.size());
        EXPECT_EQ(out.substr(0, count), plain.substr(0, count));
        EXPECT_EQ(layer.read(out.data(), 10), kAllOnes);
        EXPECT_NE(console.text().find(message), std::string::npos) << console.text();
    }
}

// A file whose very first read is refused is not known to be gzip: the
// console says it can't be read, without calling it a gzip failure (the
// boot's box names the kernel or image that could not be read).
TEST_F(GzipFileManagerTest, AFileUnreadableFromItsStartIsNotCalledGzip) {
    const std::string packed = gzip_files::compress("/usr/bin/gzip", {"-c", "-n"}, gzip_files::plainData());
    for (const std::string& contents : {packed, gzip_files::plainData()}) {
        console.output.clear();
        auto* memory = new MemoryFileManager(&slot, contents);
        memory->fail_from = 0;
        GzipFileManager layer(&slot, memory);
        ASSERT_TRUE(layer.open(u"any", 3));
        char out[16];
        EXPECT_EQ(layer.read(out, sizeof out, 0), kAllOnes);
        EXPECT_NE(console.text().find("can't read the file.\n"), std::string::npos) << console.text();
        EXPECT_EQ(console.text().find("gzip:"), std::string::npos) << console.text();
    }
}

TEST_F(GzipFileManagerTest, OpeningAgainWithoutCloseStartsTheNewFileCleanly) {
    const std::string first = "first file contents";
    const std::string second = gzip_files::plainData();
    writeFile("Storage Card/first.gz", gzip_files::compress("/usr/bin/gzip", {"-c"}, first));
    writeFile("Storage Card/second.gz", gzip_files::compress("/usr/bin/pigz", {"-c"}, second));
    ASSERT_TRUE(files->open(u"first.gz", 3));
    EXPECT_EQ(readAt(5, 0), "first");
    ASSERT_TRUE(files->open(u"second.gz", 3));
    EXPECT_EQ(files->realsize(), second.size());
    EXPECT_EQ(readAt(64, 100), second.substr(100, 64));
    EXPECT_FALSE(files->open(u"missing.gz", 3));
}

TEST_F(GzipFileManagerTest, FactoryWrapsTheVariantOfTheKind) {
    RecordingConsole other;
    Console* other_slot = &other;
    std::unique_ptr<FileManager> local(createFileManagerOfKind(0, &other_slot));
    auto* layer = dynamic_cast<GzipFileManager*>(local.get());
    ASSERT_NE(layer, nullptr);
    EXPECT_NE(dynamic_cast<FatFileManager*>(layer->inner()), nullptr);
    std::unique_ptr<FileManager> http(createFileManagerOfKind(2, &other_slot));
    layer = dynamic_cast<GzipFileManager*>(http.get());
    ASSERT_NE(layer, nullptr);
    EXPECT_NE(dynamic_cast<HttpFileManager*>(layer->inner()), nullptr);
    EXPECT_EQ(other.text(), "FileManager: FAT\nFileManager: HTTP\n");
    // Every other kind is a UFS disk.
    std::unique_ptr<FileManager> other_kind(createFileManagerOfKind(7, &other_slot));
    layer = dynamic_cast<GzipFileManager*>(other_kind.get());
    ASSERT_NE(layer, nullptr);
    EXPECT_NE(dynamic_cast<UfsFileManager*>(layer->inner()), nullptr);
}

} // namespace

namespace {

// Nothing inflated is kept beyond zlib's window: once the front has passed
// them, bytes are taken from the window when they are among its last 32 KB,
// else inflated again from the access point before them.
TEST_F(GzipFileManagerTest, BytesBehindTheFrontComeFromItsWindowOrTheNearestAccessPoint) {
    constexpr uint64_t kSpacing = 16 * 1024;
    std::string plain = gzip_files::plainData();
    plain += plain.substr(0, 150000); // long matches across access points
    // gzip -9 and -1, pigz -6 in 32 KB blocks, two members, all header fields.
    for (const Producer& producer : kProducers) {
        SCOPED_TRACE(producer.name);
        const std::string packed = producer.make(plain);
        auto* inner = new MemoryFileManager(&slot, packed);
        GzipFileManager layer(&slot, inner, kSpacing);
        ASSERT_TRUE(layer.open(u"any", 3));
        EXPECT_EQ(layer.realsize(), plain.size());
        const GzipAccessIndex& index = *layer.index();
        EXPECT_GE(index.pointCount(), 4u);

        // The last bytes, from the window: the file is not read again.
        inner->reads.clear();
        std::string tail(3000, '\0');
        ASSERT_EQ(layer.read(tail.data(), 3000, static_cast<uint32_t>(plain.size() - 3000)), 3000u);
        EXPECT_EQ(tail, plain.substr(plain.size() - 3000));
        EXPECT_TRUE(inner->reads.empty());

        // All of it again: a second pass from the first point.
        std::string all(plain.size(), '\0');
        ASSERT_EQ(layer.read(all.data(), static_cast<uint32_t>(all.size()), 0), plain.size());
        EXPECT_EQ(all, plain);
        ASSERT_FALSE(inner->reads.empty());
        EXPECT_EQ(inner->reads.front().offset, index.before(0)->input);

        for (int64_t offset = static_cast<int64_t>(plain.size()) - 40000; offset > 3000; offset -= 23456) {
            SCOPED_TRACE(offset);
            const GzipAccessIndex::Point* point = index.before(static_cast<uint64_t>(offset));
            ASSERT_NE(point, nullptr);
            inner->reads.clear();
            std::string piece(3000, '\0');
            ASSERT_EQ(layer.read(piece.data(), 3000, static_cast<uint32_t>(offset)), 3000u);
            EXPECT_EQ(piece, plain.substr(offset, 3000));
            ASSERT_FALSE(inner->reads.empty());
            EXPECT_EQ(inner->reads.front().offset, point->input - (point->bits != 0 ? 1 : 0));
        }
        EXPECT_EQ(console.text().find("gzip:"), std::string::npos) << console.text();
    }
}

} // namespace

namespace {

// A stream whose output passes what 32-bit offsets and sizes can carry is
// refused with a message, never read as its length modulo 2^32 (a lower
// limit stands in for 4 GB here: inflating 4 GB takes seconds). The stream
// is refused at the member where it passes, and its end is never reached.
TEST_F(GzipFileManagerTest, AStreamPastItsLongestIsRefused) {
    const std::string plain = gzip_files::plainData();
    const std::string member = gzip_files::compress("/usr/bin/gzip", {"-c", "-9", "-n"}, plain);
    const uint64_t limit = plain.size() * 2 + 1000;
    for (int members : {2, 3}) {
        SCOPED_TRACE(members);
        console.output.clear();
        std::string packed;
        for (int i = 0; i < members; ++i)
            packed += member;
        auto* inner = new MemoryFileManager(&slot, packed);
        GzipFileManager layer(&slot, inner, GzipAccessIndex::kDefaultSpacing, limit);
        ASSERT_TRUE(layer.open(u"any", 3));
        if (members == 2) {
            EXPECT_EQ(layer.realsize(), 2 * plain.size());
            EXPECT_EQ(console.text(), "");
            continue;
        }
        EXPECT_EQ(layer.realsize(), kAllOnes);
        char text[80];
        std::snprintf(text, sizeof text, "gzip: the uncompressed data passes 0x%x bytes.\n",
                      static_cast<uint32_t>(limit));
        EXPECT_EQ(console.text(), text);
        EXPECT_FALSE(layer.seek(static_cast<uint32_t>(limit + 10)));
    }
}

} // namespace
