// zandrel-sim booting a gzipped kernel and a gzipped file-system image from
// real web servers on loopback. The probe kernel runs on the emulated
// processor and checks the image's CRC-32 itself.
#include "file/gzip_test_files.h"
#include "support/http_servers.h"
#include "support/kernel_boot.h"
#include "support/run_program.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <sstream>
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
        std::ofstream(www / "probe", std::ios::binary) << kernel;
        std::mt19937 random(7);
        std::string image(60000, '\0');
        for (char& c : image)
            c = static_cast<char>(random() % 16); // compresses a little
        std::ofstream(www / "miniroot.gz", std::ios::binary)
            << gzip_files::compress("/usr/bin/pigz", {"-c"}, image);
        std::ofstream(www / "miniroot", std::ios::binary) << image;
        char crc[16];
        std::snprintf(
            crc, sizeof crc, "0x%08lx",
            crc32(0, reinterpret_cast<const Bytef*>(image.data()), static_cast<uInt>(image.size())));
        image_options = "md_size=60000 md_crc32=" + std::string(crc);
    }
    void TearDown() override { std::filesystem::remove_all(device); }

    ProgramResult boot(const std::string& url, const std::string& kernel,
                       const std::string& image = "/miniroot.gz") {
        return runProgram(buildPath("zandrel-sim"),
                          {"--device", device.string(), "--quiet", "--machine", "Sharp W-ZERO3 (WS003SH)",
                           "--dir", url, "--no-pause", "--kernel", kernel, "--rootfs", "md", "--image", image,
                           "--extra", image_options});
    }
    // Serves the files of `www` by request target, each answer as a whole.
    ScriptedServer::Reply serveFromWww(const std::string& request) const {
        std::istringstream line(request);
        std::string method, target;
        line >> method >> target;
        std::ifstream file(www / target.substr(1), std::ios::binary);
        if (target.empty() || target[0] != '/' || !file)
            return ScriptedServer::answer("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        std::ostringstream body;
        body << file.rdbuf();
        std::string answer =
            "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.str().size()) + "\r\n\r\n";
        return ScriptedServer::answer(method == "GET" ? answer + body.str() : answer);
    }
    // The GET's answer for one file, made from the whole answer the server would give.
    using Damage = std::function<ScriptedServer::Reply(const std::string& header, const std::string& body)>;
    // Serves the files of `www`, the GET of `target` answered by `damage`.
    ScriptedServer::Reply serveDamaged(const std::string& request, const std::string& target,
                                       const Damage& damage) const {
        ScriptedServer::Reply whole = serveFromWww(request);
        if (request.rfind("GET " + target + " ", 0) != 0)
            return whole;
        const std::string& answer = whole.steps.front().bytes;
        size_t body = answer.find("\r\n\r\n") + 4;
        return damage(answer.substr(0, body), answer.substr(body));
    }
    static int countRequests(const std::vector<std::string>& requests, const std::string& start) {
        int count = 0;
        for (const std::string& request : requests)
            count += request.rfind(start, 0) == 0 ? 1 : 0;
        return count;
    }

    std::filesystem::path device;
    std::filesystem::path www;
    std::string image_options;
};

TEST_F(HttpBoot, KernelAndImageFromEveryServerBootAndPassTheProbe) {
    const ServerProcess::Kind kinds[] = {
        ServerProcess::Kind::Python, ServerProcess::Kind::Nginx, ServerProcess::Kind::PythonRefusingHead,
        ServerProcess::Kind::NginxRefusingHead, ServerProcess::Kind::NginxWithoutLength};
    for (ServerProcess::Kind kind : kinds) {
        ServerProcess server(kind, www.string());
        ASSERT_TRUE(server.running()) << server.log();
        // Gzipped, and as they are: a plain image is measured by its length alone.
        for (const auto& [kernel, image] :
             {std::pair{"/probe.gz", "/miniroot.gz"}, std::pair{"probe", "miniroot"}}) {
            SCOPED_TRACE(std::string(ServerProcess::name(kind)) + " " + kernel + " " + image);
            ProgramResult result = boot(server.url(), kernel, image);
            EXPECT_EQ(result.status, 0) << result.out << result.err;
            EXPECT_NE(result.out.find("FileManager: HTTP\n"), std::string::npos) << result.out;
            EXPECT_NE(result.out.find("127.0.0.1 (127.0.0.1) connected.\n"), std::string::npos) << result.out;
            // The probe checks the image's size and CRC-32 itself.
            EXPECT_NE(result.out.find("PROBE: image at "), std::string::npos) << result.out;
            EXPECT_EQ(probeVerdict(result.out), "PASS") << result.out;
            if (kind == ServerProcess::Kind::NginxWithoutLength) {
                const std::string read_to_close =
                    image[0] == '/'
                        ? "read until the server closed.\n"
                        : "http://127.0.0.1/miniroot: contents 60000 byte, read until the server closed.\n";
                EXPECT_NE(result.out.find(read_to_close), std::string::npos) << result.out;
            }
            if (kind == ServerProcess::Kind::PythonRefusingHead ||
                kind == ServerProcess::Kind::NginxRefusingHead) {
                EXPECT_NE(result.out.find("HEAD refused (\"HTTP/1."), std::string::npos) << result.out;
            }
        }
    }
}

TEST_F(HttpBoot, TheSameGzippedKernelAndImageBootFromTheStorageCard) {
    std::filesystem::copy_file(www / "probe.gz", device / "Storage Card/kalmor.gz");
    std::filesystem::copy_file(www / "miniroot.gz", device / "Storage Card/miniroot.gz");
    ProgramResult result =
        runProgram(buildPath("zandrel-sim"),
                   {"--device", device.string(), "--quiet", "--machine", "HP Jornada 720 (US/UK)", "--dir",
                    "\\Storage Card\\", "--no-pause", "--kernel", "kalmor.gz", "--rootfs", "md", "--image",
                    "miniroot.gz", "--extra", image_options});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("FileManager: FAT\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("PROBE: image at "), std::string::npos) << result.out;
    EXPECT_EQ(probeVerdict(result.out), "PASS") << result.out;
}

TEST_F(HttpBoot, NamesAsTypedAndRootsWithAPathBootFromPythonAndNginx) {
    std::filesystem::create_directories(www / "boot");
    std::filesystem::copy_file(www / "probe.gz", www / "boot/kalmor.gz");
    std::filesystem::copy_file(www / "miniroot.gz", www / "boot/miniroot.gz");
    std::filesystem::create_directories(www / "boot dir");
    std::filesystem::copy_file(www / "probe.gz", www / "boot dir/kalmor #2.gz");
    std::filesystem::copy_file(www / "miniroot.gz", www / "boot dir/mini root.gz");
    for (ServerProcess::Kind kind : {ServerProcess::Kind::Python, ServerProcess::Kind::Nginx}) {
        ServerProcess server(kind, www.string());
        ASSERT_TRUE(server.running()) << server.log();
        struct Case {
            std::string root, kernel, image, shown;
        };
        const Case cases[] = {
            {server.url(), "probe.gz", "miniroot.gz", "http://127.0.0.1/probe.gz"},
            {server.url() + "boot/", "kalmor.gz", "miniroot.gz", "http://127.0.0.1/boot/kalmor.gz"},
            {server.url() + "boot", "/kalmor.gz", "/miniroot.gz", "http://127.0.0.1/boot/kalmor.gz"},
            {server.url() + "boot dir/", "kalmor #2.gz", "mini root.gz",
             "http://127.0.0.1/boot%20dir/kalmor%20%232.gz"},
            {"HTTP" + server.url().substr(4) + "boot/", "kalmor.gz", "miniroot.gz",
             "http://127.0.0.1/boot/kalmor.gz"}};
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(ServerProcess::name(kind)) + " " + c.root + " " + c.kernel);
            ProgramResult result = boot(c.root, c.kernel, c.image);
            EXPECT_EQ(result.status, 0) << result.out << result.err;
            EXPECT_NE(result.out.find("open " + c.shown + " - header "), std::string::npos) << result.out;
            EXPECT_EQ(probeVerdict(result.out), "PASS") << result.out;
            // The kernel's name as typed is its first argument.
            EXPECT_NE(result.out.find("PROBE: argv[0] \"" + c.kernel + "\""), std::string::npos)
                << result.out;
        }
    }
}

TEST_F(HttpBoot, EachFileIsAskedForAndDownloadedOnce) {
    ScriptedServer server([this](const std::string& request) { return serveFromWww(request); });
    ProgramResult result = boot(server.url(), "probe.gz", "miniroot.gz");
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(probeVerdict(result.out), "PASS") << result.out;
    std::vector<std::string> requests = server.requests();
    EXPECT_EQ(countRequests(requests, "HEAD /probe.gz "), 1);
    EXPECT_EQ(countRequests(requests, "GET /probe.gz "), 1);
    // The image is opened twice, measured before the memory is reserved and
    // loaded after the kernel: the body fetched at the first open serves the
    // second, which asks the server nothing.
    EXPECT_EQ(countRequests(requests, "HEAD /miniroot.gz "), 1);
    EXPECT_EQ(countRequests(requests, "GET /miniroot.gz "), 1);
    EXPECT_EQ(requests.size(), 4u);
    EXPECT_NE(result.out.find("open http://127.0.0.1/miniroot.gz - contents "), std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find("fetched again"), std::string::npos) << result.out;
}

TEST_F(HttpBoot, AKernelTheServerRefusesFailsAtItsOpenRightAfterTheAnswer) {
    ServerProcess server(ServerProcess::Kind::Nginx, www.string());
    ASSERT_TRUE(server.running()) << server.log();
    ProgramResult result = boot(server.url(), "kalmor.gz");
    EXPECT_EQ(result.status, 1);
    const std::string answer =
        "http://127.0.0.1/kalmor.gz: the server answered \"HTTP/1.1 404 Not Found\".\n";
    size_t answered = result.out.find(answer);
    ASSERT_NE(answered, std::string::npos) << result.out;
    // Nothing more happens for that file: no download, no guess at its format.
    EXPECT_EQ(result.out.find("unknown file format."), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("[progress] 5"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("[BOOT FAILED] Can't open kernel image."), std::string::npos) << result.err;
}

TEST_F(HttpBoot, AnImageWhoseHeadFailsStopsTheBootAtTheImage) {
    struct Case {
        const char* name;
        ScriptedServer::Reply image_reply;
        const char* shown;
    };
    const Case cases[] = {
        {"404", ScriptedServer::answer("HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"),
         "http://127.0.0.1/miniroot.gz: the server answered \"HTTP/1.0 404 Not Found\".\n"},
        {"no answer", ScriptedServer::answer(""),
         "response header of http://127.0.0.1/miniroot.gz is incomplete (0 byte).\n"},
        {"garbage", ScriptedServer::answer("\x16\x03\x01 garbage\r\n\r\n"),
         "bad response for http://127.0.0.1/miniroot.gz: no status line.\n"},
        {"reset", ScriptedServer::Reply{{}, false, true}, "receive failed. cause="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server([&](const std::string& request) {
            return request.find(" /miniroot.gz ") != std::string::npos ? c.image_reply
                                                                       : serveFromWww(request);
        });
        ProgramResult result = boot(server.url(), "probe.gz", "miniroot.gz");
        EXPECT_EQ(result.status, 1) << result.out << result.err;
        size_t shown = result.out.find(c.shown);
        ASSERT_NE(shown, std::string::npos) << result.out;
        EXPECT_EQ(result.out.find("[progress] 4"), std::string::npos) << result.out;
        EXPECT_NE(result.err.find("[BOOT FAILED] Can't open file system image."), std::string::npos)
            << result.err;
        for (const std::string& request : server.requests())
            EXPECT_EQ(request.rfind("GET ", 0), std::string::npos) << request;
    }
}

TEST_F(HttpBoot, FilesThatFailToArriveFailTheBootWhereTheyAreRead) {
    const std::string no_length = "HTTP/1.0 200 OK\r\n\r\n";
    const Damage reset_half_way = [&](const std::string&, const std::string& body) {
        return ScriptedServer::Reply{{{no_length + body.substr(0, body.size() / 2), 0}}, false, true};
    };
    const Damage chunked = [](const std::string&, const std::string& body) {
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", body.size());
        return ScriptedServer::answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                      std::string(size) + body + "\r\n0\r\n\r\n");
    };
    const Damage closed_half_way = [&](const std::string&, const std::string& body) {
        return ScriptedServer::answer(no_length + body.substr(0, body.size() / 2));
    };
    const Damage short_of_its_length = [](const std::string& header, const std::string& body) {
        return ScriptedServer::answer(header + body.substr(0, body.size() / 2));
    };
    struct Case {
        const char* name;
        std::string kernel, image;
        std::string damaged; // the request target whose GET is damaged
        Damage damage;
        std::string shown;
        std::string box;
        std::string mark_not_reached;
    };
    const std::string transfer_coded = "the server sent the contents with \"Transfer-Encoding: chunked\"";
    const Case cases[] = {
        {"gzipped image, no length, reset half way", "probe.gz", "miniroot.gz", "/miniroot.gz",
         reset_half_way, "receive failed. cause=", "Can't open file system image.", "[progress] 4"},
        {"gzipped image, chunked", "probe.gz", "miniroot.gz", "/miniroot.gz", chunked, transfer_coded,
         "Can't open file system image.", "[progress] 4"},
        {"plain image, chunked", "probe.gz", "miniroot", "/miniroot", chunked, transfer_coded,
         "Can't open file system image.", "[progress] 4"},
        // The HEAD told the length the GET does not repeat.
        {"plain image, no length, closed half way", "probe.gz", "miniroot", "/miniroot", closed_half_way,
         "contents of http://127.0.0.1/miniroot end at 30000 byte, the HEAD said 60000 byte.",
         "Can't open file system image.", "[progress] 4"},
        // A kernel that never arrived is not one of an unknown format.
        {"gzipped kernel, chunked", "probe.gz", "miniroot.gz", "/probe.gz", chunked, transfer_coded,
         "Can't read kernel image.", "[progress] 6"},
        {"gzipped kernel, no length, reset half way", "probe.gz", "miniroot.gz", "/probe.gz", reset_half_way,
         "receive failed. cause=", "Can't read kernel image.", "[progress] 6"},
        {"plain kernel, short of its length", "probe", "miniroot.gz", "/probe", short_of_its_length,
         "contents of http://127.0.0.1/probe are short: ", "Can't read kernel image.", "[progress] 6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(
            [&](const std::string& request) { return serveDamaged(request, c.damaged, c.damage); });
        ProgramResult result = boot(server.url(), c.kernel, c.image);
        EXPECT_EQ(result.status, 1) << result.out << result.err;
        EXPECT_NE(result.out.find(c.shown), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find(c.mark_not_reached), std::string::npos) << result.out;
        EXPECT_NE(result.err.find("[BOOT FAILED] " + c.box), std::string::npos) << result.err;
        EXPECT_EQ(result.out.find("PROBE"), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find("unknown file format."), std::string::npos) << result.out;
    }
}

TEST_F(HttpBoot, AFileLongerOrShorterThanItsLengthNeverBootsCut) {
    // Answers for one file made from its bytes: the HEAD's and the GET's.
    using Answers = std::function<std::pair<std::string, std::string>(const std::string& body)>;
    auto header = [](std::optional<size_t> length) {
        return "HTTP/1.0 200 OK\r\n" +
               (length ? "Content-Length: " + std::to_string(*length) + "\r\n" : std::string()) + "\r\n";
    };
    const Answers head_shorter_get_without_length = [&](const std::string& body) {
        return std::pair{header(body.size() / 2), header(std::nullopt) + body};
    };
    const Answers head_longer_get_without_length = [&](const std::string& body) {
        return std::pair{header(body.size() + 4096), header(std::nullopt) + body};
    };
    const Answers length_1000_short = [&](const std::string& body) {
        return std::pair{header(body.size() - 1000), header(body.size() - 1000) + body};
    };
    const Answers extra_5000_after_the_length = [&](const std::string& body) {
        return std::pair{header(body.size()), header(body.size()) + body + std::string(5000, 'x')};
    };
    const Answers get_length_differs = [&](const std::string& body) {
        return std::pair{header(body.size() / 2), header(body.size()) + body};
    };
    struct Case {
        const char* name;
        std::string kernel, image, damaged;
        Answers answers;
        std::string shown, box;
    };
    const std::string kernel_box = "Can't read kernel image.";
    const std::string image_box = "Can't open file system image.";
    const Case cases[] = {
        {"plain image, the HEAD shorter than the GET's body without a length", "probe.gz", "miniroot",
         "/miniroot", head_shorter_get_without_length,
         "contents of http://127.0.0.1/miniroot go on beyond the HEAD's length of 30000 byte.", image_box},
        {"plain kernel, the HEAD shorter than the GET's body without a length", "probe", "miniroot.gz",
         "/probe", head_shorter_get_without_length, "go on beyond the HEAD's length of ", kernel_box},
        {"gzipped kernel, the HEAD shorter than the GET's body without a length", "probe.gz", "miniroot.gz",
         "/probe.gz", head_shorter_get_without_length, "go on beyond the HEAD's length of ", kernel_box},
        {"plain image, the HEAD longer than the GET's body without a length", "probe.gz", "miniroot",
         "/miniroot", head_longer_get_without_length,
         "contents of http://127.0.0.1/miniroot end at 60000 byte, the HEAD said 64096 byte.", image_box},
        {"plain image, a Content-Length 1000 byte short", "probe.gz", "miniroot", "/miniroot",
         length_1000_short,
         "contents of http://127.0.0.1/miniroot go on beyond its Content-Length of 59000 byte.", image_box},
        {"plain image, 5000 byte after the Content-Length", "probe.gz", "miniroot", "/miniroot",
         extra_5000_after_the_length,
         "contents of http://127.0.0.1/miniroot go on beyond its Content-Length of 60000 byte.", image_box},
        {"plain kernel, 5000 byte after the Content-Length", "probe", "miniroot", "/probe",
         extra_5000_after_the_length, "go on beyond its Content-Length of ", kernel_box},
        {"plain image, the GET's length not the HEAD's", "probe.gz", "miniroot", "/miniroot",
         get_length_differs,
         "http://127.0.0.1/miniroot: the contents are 60000 byte, the HEAD said 30000 byte.", image_box},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server([&](const std::string& request) {
            if (request.find(" " + c.damaged + " ") == std::string::npos)
                return serveFromWww(request);
            std::ifstream file(www / c.damaged.substr(1), std::ios::binary);
            std::ostringstream body;
            body << file.rdbuf();
            auto [head, get] = c.answers(body.str());
            return ScriptedServer::answer(request.rfind("HEAD ", 0) == 0 ? head : get);
        });
        ProgramResult result = boot(server.url(), c.kernel, c.image);
        EXPECT_EQ(result.status, 1) << result.out << result.err;
        EXPECT_NE(result.out.find(c.shown), std::string::npos) << result.out;
        EXPECT_NE(result.err.find("[BOOT FAILED] " + c.box), std::string::npos) << result.err;
        EXPECT_EQ(result.out.find("PROBE"), std::string::npos) << result.out;
    }
}

// A server that trickles: the download shows its bytes as they come and stops
// below the floor (on a time scale of 600 ms instead of 30 s).
TEST_F(HttpBoot, ATricklingServerIsSeenToMoveAndStoppedBelowTheFloor) {
    struct Case {
        const char* name;
        std::string target;
        std::string box;
    };
    const Case cases[] = {
        {"the kernel", "/probe.gz", "Can't read kernel image."},
        {"the image", "/miniroot.gz", "Can't open file system image."},
    };
    // 50 byte a second, far below the floor of 512.
    const Damage trickle = [](const std::string& header, const std::string& body) {
        ScriptedServer::Reply reply{{{header, 0}}};
        for (size_t at = 0; at < body.size() && at < 100; ++at)
            reply.steps.push_back({body.substr(at, 1), 20});
        return reply;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(
            [&](const std::string& request) { return serveDamaged(request, c.target, trickle); });
        ProgramResult result =
            runProgram(buildPath("zandrel-sim"),
                       {"--device", device.string(), "--quiet", "--machine", "Sharp W-ZERO3 (WS003SH)",
                        "--dir", server.url(), "--no-pause", "--kernel", "probe.gz", "--rootfs", "md",
                        "--image", "miniroot.gz", "--extra", image_options, "--http-window", "600"});
        EXPECT_EQ(result.status, 1) << result.out << result.err;
        const std::string slow = "http://127.0.0.1" + c.target + ": transfer too slow, ";
        EXPECT_NE(result.out.find(slow), std::string::npos) << result.out;
        EXPECT_NE(result.out.find(" ms, less than 512 byte a second.\n"), std::string::npos) << result.out;
        // Progress every 40 ms on this scale: the bytes are seen to come.
        size_t lines = 0;
        for (size_t at = result.out.find(" byte received\n"); at != std::string::npos;
             at = result.out.find(" byte received\n", at + 1))
            ++lines;
        EXPECT_GE(lines, 3u) << result.out;
        EXPECT_NE(result.err.find("[BOOT FAILED] " + c.box), std::string::npos) << result.err;
        EXPECT_EQ(result.out.find("PROBE"), std::string::npos) << result.out;
    }
}

// A kernel download the heap cannot hold: the reason is the file manager's,
// and the boot says it could not read the kernel, not that its format is unknown.
TEST_F(HttpBoot, AKernelTooLargeForTheHeapNamesTheMemoryAsTheCause) {
    std::filesystem::copy_file(buildPath("kernels/probe_20m.elf"), www / "large.elf");
    ServerProcess server(ServerProcess::Kind::Python, www.string());
    ASSERT_TRUE(server.running()) << server.log();
    // 16 MB of program memory left for a 20 MB kernel.
    ProgramResult result = runProgram(
        buildPath("zandrel-sim"),
        {"--device", device.string(), "--quiet", "--machine", "Sharp W-ZERO3 (WS003SH)", "--object-store",
         "48", "--dir", server.url(), "--no-pause", "--kernel", "large.elf", "--rootfs", "wd"});
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_NE(result.out.find(" byte for http://127.0.0.1/large.elf.\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("can't allocate "), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("unknown file format."), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("[BOOT FAILED] Can't read kernel image."), std::string::npos) << result.err;
}

TEST_F(HttpBoot, RootsWithABadPortStopTheBootAtTheRoot) {
    for (const std::string port : {"8080x", "word", "0", "65536", "99999999999"}) {
        SCOPED_TRACE(port);
        ProgramResult result = boot("http://127.0.0.1:" + port + "/", "probe.gz");
        EXPECT_EQ(result.status, 1) << result.out << result.err;
        EXPECT_NE(result.out.find("port \"" + port + "\" is not a number from 1 to 65535.\n"),
                  std::string::npos)
            << result.out;
        EXPECT_NE(result.err.find("[BOOT FAILED] Can't set root directory."), std::string::npos)
            << result.err;
    }
}

} // namespace
