#include "arch/architecture.h"
#include "file/file_manager_factory.h"
#include "file/gzip_file_manager.h"
#include "file/gzip_test_files.h"
#include "file/http_file_manager.h"
#include "platform/wide_string.h"
#include "sim/device_profile.h"
#include "sim/process_heap.h"
#include "sim/sockets.h"
#include "support/http_servers.h"
#include "support/recording_console.h"
#include "support/simulated_device.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

const char kUserAgent[] = "User-Agent: ZANDREL/ZERO(1st impact; Windows CE; ARM)\r\n\r\n";

std::string pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
}

std::u16string wide(const std::string& text) {
    return utf8ToUtf16(text);
}

class HttpFileManagerTest : public SimulatedDevice {
  protected:
    void SetUp() override {
        SimulatedDevice::SetUp();
        sim::Network::get().reset();
        os_version = ce::OSVERSIONINFOW{};
        www = root / "www";
        std::filesystem::create_directories(www);
    }
    void TearDown() override {
        files.reset();
        sim::Network::get().reset();
        os_version = ce::OSVERSIONINFOW{};
        SimulatedDevice::TearDown();
    }

    void make() { files = std::make_unique<HttpFileManager>(&slot); }

    void serve(const std::string& name, const std::string& bytes) {
        std::ofstream(www / name, std::ios::binary) << bytes;
    }

    // Connects to `url`; the console is cleared afterwards.
    void connect(const std::string& url) {
        if (!files)
            make();
        ASSERT_TRUE(files->setRoot(wide(url).c_str())) << console.text();
        console.output.clear();
    }

    // The bytes read, or kFailed when the read was refused.
    std::string readAt(uint32_t size, uint32_t offset = FileManager::kCurrentPosition) {
        std::string bytes(size, '\0');
        uint32_t count = files->read(bytes.data(), size, offset);
        if (count == FileManager::kReadFailed)
            return kFailed;
        bytes.resize(count);
        return bytes;
    }
    static constexpr const char* kFailed = "(read failed)";

    // Requests as the device sent them.
    static std::vector<std::string> sent() { return sim::Network::get().sent; }

    static std::string request(const std::string& method, const std::string& name) {
        return method + " " + name + " HTTP/1.0\r\nHOST: 127.0.0.1\r\n" + kUserAgent;
    }

    RecordingConsole console;
    Console* slot = &console;
    std::unique_ptr<HttpFileManager> files;
    std::filesystem::path www;
};

TEST_F(HttpFileManagerTest, StartupChoiceFollowsTheWindowsCEVersion) {
    struct Case {
        const char16_t* machine;
        uint32_t recorded_major; // 0: systemInfo has not run yet
        uint32_t recorded_minor;
        bool platform_startup;
    };
    const Case cases[] = {
        {u"Sharp W-ZERO3 (WS003SH)", 0, 0, true}, // the first boot: the platform is asked
        {u"HP Jornada 820", 0, 0, false},         // Windows CE 2.11
        {u"Compaq iPAQ H3600", 3, 0, false},      {u"Compaq iPAQ H3600", 3, 11, true},
        {u"Compaq iPAQ H3600", 4, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf16ToUtf8(c.machine) + " " + std::to_string(c.recorded_major) + "." +
                     std::to_string(c.recorded_minor));
        useProfile(*sim::findDeviceProfile(c.machine));
        os_version = ce::OSVERSIONINFOW{};
        os_version.dwMajorVersion = c.recorded_major;
        os_version.dwMinorVersion = c.recorded_minor;
        console.output.clear();
        make();
        EXPECT_EQ(console.text(), "FileManager: HTTP\n");
        EXPECT_EQ(files->debug_level, 1);
        EXPECT_EQ(files->usesPlatformStartup(), c.platform_startup);
    }
}

TEST_F(HttpFileManagerTest, FirstBootOnANewerDeviceStartsWinSockAndCleansUp) {
    useProfile(*sim::findDeviceProfile(u"Sharp W-ZERO3 (WS003SH)"));
    ScriptedServer server([](const std::string&) { return ScriptedServer::answer(""); });
    connect(server.url());
    EXPECT_EQ(sim::Network::get().startups, 1);
    EXPECT_EQ(sim::Network::get().openSockets(), 0) << "the probe socket is closed";
    files.reset();
    EXPECT_EQ(sim::Network::get().startups, 0);
    EXPECT_EQ(sim::Network::get().cleanup_calls, 1);
}

TEST_F(HttpFileManagerTest, SetRootReportsTheAddressesTriedAndTheHost) {
    ScriptedServer server([](const std::string&) { return ScriptedServer::answer(""); });
    const std::string port = std::to_string(server.port());
    sim::Network::get().hosts["kernels.test"] = {0x7F000002, 0x7F000001}; // the first refuses
    struct Case {
        std::string url;
        std::string output;
    };
    const Case cases[] = {
        {"http://127.0.0.1:" + port + "/", "127.0.0.1 (127.0.0.1) connected.\n"},
        {"http://localhost:" + port, "127.0.0.1 (localhost) connected.\n"},
        {"http://kernels.test:" + port + "/", "127.0.0.2 127.0.0.1 (kernels.test) connected.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        make();
        console.output.clear();
        EXPECT_TRUE(files->setRoot(wide(c.url).c_str()));
        EXPECT_EQ(console.text(), c.output);
        EXPECT_EQ(sim::Network::get().connects.back().port, server.port());
    }
    // A dotted quad the resolver does not know still works as a literal.
    sim::Network::get().resolve_dotted_quads = false;
    make();
    console.output.clear();
    EXPECT_TRUE(files->setRoot(wide("http://127.0.0.1:" + port + "/").c_str()));
    EXPECT_EQ(console.text(), "127.0.0.1 (127.0.0.1) connected.\n");
    EXPECT_EQ(sim::Network::get().openSockets(), 0);
}

TEST_F(HttpFileManagerTest, PortComesFromTheUrlOr80WhateverPathFollows) {
    const std::pair<const char16_t*, uint16_t> cases[] = {
        {u"http://localhost/", 80},          {u"http://localhost", 80},
        {u"http://localhost/kernels/", 80},  {u"http://localhost:8080/boot/", 8080},
        {u"http://localhost:8080", 8080},    {u"http://localhost:/", 80},
        {u"HTTP://localhost:8080/", 8080},   {u"hTtP://localhost/", 80},
        {u"http://localhost:65535/", 65535}, {u"http://localhost:1/", 1},
        {u"http://localhost:0000080/", 80},
    };
    make();
    for (const auto& [url, port] : cases) {
        SCOPED_TRACE(utf16ToUtf8(url));
        // Each root makes a connection of its own: the port read is this root's.
        size_t before = sim::Network::get().connects.size();
        files->setRoot(url);
        ASSERT_EQ(sim::Network::get().connects.size(), before + 1);
        EXPECT_EQ(sim::Network::get().connects.back().port, port);
    }
}

TEST_F(HttpFileManagerTest, BadRootsAndWinSockFailuresAreRefused) {
    struct Case {
        std::u16string root;
        void (*setup)();
        std::string output;
    };
    const Case cases[] = {
        {u"ftp://localhost/", [] {}, "\"ftp://localhost/\" is not an http:// address.\n"},
        {u"httpx://localhost/", [] {}, "\"httpx://localhost/\" is not an http:// address.\n"},
        {u"http://", [] {}, "no server in \"http://\".\n"},
        {u"http://localhost:70000/", [] {}, "port \"70000\" is not a number from 1 to 65535.\n"},
        {u"http://localhost:65536/", [] {}, "port \"65536\" is not a number from 1 to 65535.\n"},
        {u"http://localhost:8080x/", [] {}, "port \"8080x\" is not a number from 1 to 65535.\n"},
        {u"http://localhost:word/", [] {}, "port \"word\" is not a number from 1 to 65535.\n"},
        {u"http://localhost:0/", [] {}, "port \"0\" is not a number from 1 to 65535.\n"},
        {u"http://localhost:-80/", [] {}, "port \"-80\" is not a number from 1 to 65535.\n"},
        {u"http://localhost:+80/", [] {}, "port \"+80\" is not a number from 1 to 65535.\n"},
        {u"http://localhost: 80/", [] {}, "port \" 80\" is not a number from 1 to 65535.\n"},
        {u"http://localhost:99999999999999999999/", [] {},
         "port \"99999999999999999999\" is not a number from 1 to 65535.\n"},
        {u"http://unknown.test/", [] {}, "can't get host by name.\n"},
        {u"http://localhost:" + wide(std::to_string(freeLoopbackPort())) + u"/", [] {},
         "127.0.0.1 can't connect server.\n"},
        {u"http://localhost/", [] { sim::Network::get().startup_error = ce::WSASYSNOTREADY; },
         "WinSock initialize failed.\n"},
        {u"http://localhost/", [] { sim::Network::get().highest_version = 0x0001; },
         "can't use WinSock DLL.\n"},
        {u"http://localhost/", [] { sim::Network::get().socket_error = ce::WSAEMFILE; },
         "can't open socket. cause=10024\n"},
    };
    useProfile(*sim::findDeviceProfile(u"Sharp W-ZERO3 (WS003SH)"));
    for (const Case& c : cases) {
        SCOPED_TRACE(utf16ToUtf8(c.root) + " -> " + c.output);
        sim::Network::get().reset();
        c.setup();
        make();
        console.output.clear();
        EXPECT_FALSE(files->setRoot(c.root.c_str()));
        EXPECT_EQ(console.text(), c.output);
        EXPECT_EQ(sim::Network::get().openSockets(), 0);
    }
}

TEST_F(HttpFileManagerTest, OpenAsksWithOneHeadAndTheFirstReadDownloadsOnce) {
    ScriptedServer server([](const std::string&) {
        return ScriptedServer::answer("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello");
    });
    connect("http://127.0.0.1:" + std::to_string(server.port()) + "/");
    ASSERT_TRUE(files->open(u"/kalmor.gz", 3));
    EXPECT_EQ(sent(), std::vector<std::string>{request("HEAD", "/kalmor.gz")});
    EXPECT_EQ(files->size(), 5u);
    EXPECT_EQ(readAt(5, 0), "hello");
    EXPECT_EQ(readAt(5, 0), "hello");
    ASSERT_TRUE(files->open(u"kalmor", 3));
    EXPECT_EQ(readAt(2, 3), "lo");
    const std::vector<std::string> expected = {request("HEAD", "/kalmor.gz"), request("GET", "/kalmor.gz"),
                                               request("HEAD", "/kalmor"), request("GET", "/kalmor")};
    EXPECT_EQ(sent(), expected);
    EXPECT_EQ(server.requests(), expected);
    EXPECT_EQ(console.text(), "open http://127.0.0.1/kalmor.gz - header 38 byte contents 5 byte\n"
                              "open http://127.0.0.1/kalmor - header 38 byte contents 5 byte\n");
    EXPECT_EQ(sim::Network::get().last_receive_timeout, HttpTransferLimits{}.silence_ms);
    EXPECT_EQ(sim::Network::get().openSockets(), 0);
}

// A file closed after it was read whole is opened again from the body kept in
// its own heap, without a request; given up for memory (releaseMemory, which
// gives the heap's pages back), it is fetched again, which is said.
TEST_F(HttpFileManagerTest, AClosedFilesBodyServesItsNextOpenUntilItIsGivenUpForMemory) {
    ScriptedServer server([](const std::string& request) {
        bool image = request.find(" /miniroot.gz ") != std::string::npos;
        return ScriptedServer::answer(image ? "HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nimage!"
                                            : "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello");
    });
    connect("http://127.0.0.1:" + std::to_string(server.port()) + "/");
    sim::ProcessHeap& heaps = sim::ProcessHeap::get();
    const size_t heaps_before = heaps.heapCount();
    ASSERT_TRUE(files->open(u"miniroot.gz", 3));
    EXPECT_EQ(readAt(6, 0), "image!");
    files->close();
    EXPECT_EQ(heaps.heapCount(), heaps_before + 1) << "the body stays in its heap";
    // Another file in between, read and closed: both bodies are kept.
    ASSERT_TRUE(files->open(u"kalmor.gz", 3));
    EXPECT_EQ(readAt(5, 0), "hello");
    files->close();
    console.output.clear();
    ASSERT_TRUE(files->open(u"miniroot.gz", 3));
    EXPECT_EQ(files->size(), 6u);
    EXPECT_EQ(readAt(3, 3), "ge!");
    files->close();
    EXPECT_EQ(console.text(),
              "open http://127.0.0.1/miniroot.gz - contents 6 byte, kept since it was fetched\n");
    const std::vector<std::string> once = {request("HEAD", "/miniroot.gz"), request("GET", "/miniroot.gz"),
                                           request("HEAD", "/kalmor.gz"), request("GET", "/kalmor.gz")};
    EXPECT_EQ(server.requests(), once);

    // Given up for memory: the heaps go, and the next open fetches the file again, saying so.
    EXPECT_TRUE(files->releaseMemory());
    EXPECT_EQ(heaps.heapCount(), heaps_before);
    EXPECT_FALSE(files->releaseMemory()) << "nothing is left to give";
    console.output.clear();
    ASSERT_TRUE(files->open(u"miniroot.gz", 3));
    EXPECT_EQ(readAt(6, 0), "image!");
    EXPECT_EQ(console.text(), "http://127.0.0.1/miniroot.gz was given up for memory: it is fetched again.\n"
                              "open http://127.0.0.1/miniroot.gz - header 38 byte contents 6 byte\n");
    std::vector<std::string> twice = once;
    twice.push_back(request("HEAD", "/miniroot.gz"));
    twice.push_back(request("GET", "/miniroot.gz"));
    EXPECT_EQ(server.requests(), twice);
    EXPECT_EQ(files->fetched(), 6u + 5u + 6u);
}

TEST_F(HttpFileManagerTest, TheRequestTargetIsTheRootsPathAndTheNameJoinedByOneSlash) {
    ScriptedServer server([](const std::string&) {
        return ScriptedServer::answer("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
    });
    const std::string at = "http://127.0.0.1:" + std::to_string(server.port());
    struct Case {
        std::string root;
        const char16_t* name;
        std::string target;
    };
    const Case cases[] = {
        {at + "/", u"kalmor.gz", "/kalmor.gz"},
        {at, u"kalmor.gz", "/kalmor.gz"},
        {at + "/", u"/kalmor.gz", "/kalmor.gz"},
        {at + "/boot/", u"kalmor.gz", "/boot/kalmor.gz"},
        {at + "/boot/", u"/kalmor.gz", "/boot/kalmor.gz"},
        {at + "/kernels", u"kalmor", "/kernels/kalmor"},
        {at + "/a/b/", u"sub/k", "/a/b/sub/k"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.root + " " + utf16ToUtf8(c.name));
        sim::Network::get().sent.clear();
        files.reset();
        connect(c.root);
        ASSERT_TRUE(files->open(c.name, 3));
        EXPECT_EQ(readAt(2, 0), "ok");
        EXPECT_EQ(sent(), (std::vector<std::string>{request("HEAD", c.target), request("GET", c.target)}));
        EXPECT_EQ(console.text(), "open http://127.0.0.1" + c.target + " - header 38 byte contents 2 byte\n");
    }
}

TEST_F(HttpFileManagerTest, RealServersDeliverTheFileAndRefuseMissingOnes) {
    const std::string body = pattern(300000);
    serve("kalmor", body);
    for (ServerProcess::Kind kind : {ServerProcess::Kind::Python, ServerProcess::Kind::Nginx}) {
        SCOPED_TRACE(ServerProcess::name(kind));
        ServerProcess server(kind, www.string());
        ASSERT_TRUE(server.running()) << server.log();
        sim::Network::get().sent.clear();
        files.reset();
        connect(server.url());

        ASSERT_TRUE(files->open(u"kalmor", 3));
        EXPECT_EQ(files->size(), body.size());
        EXPECT_EQ(readAt(100, 1000), body.substr(1000, 100));
        EXPECT_EQ(readAt(100, 10), body.substr(10, 100));
        EXPECT_EQ(readAt(100, 299950), body.substr(299950));
        EXPECT_EQ(readAt(100, 300000), "");
        // Reads at the current position advance by the size asked, even past the end.
        files->seek(299900);
        EXPECT_EQ(readAt(100), body.substr(299900));
        EXPECT_EQ(readAt(100), "");
        EXPECT_EQ(readAt(100), "");
        files->seek(299900);
        EXPECT_EQ(readAt(100), body.substr(299900));
        EXPECT_EQ(sent().size(), 2u) << "one HEAD to open, one GET for the contents";
        EXPECT_NE(console.text().find("open http://127.0.0.1/kalmor - header "), std::string::npos)
            << console.text();
        EXPECT_NE(console.text().find("contents 300000 byte\n"), std::string::npos) << console.text();

        console.output.clear();
        sim::Network::get().sent.clear();
        EXPECT_FALSE(files->open(u"/missing", 3));
        EXPECT_EQ(readAt(100, 0), kFailed);
        EXPECT_EQ(files->size(), 0u);
        EXPECT_NE(console.text().find("http://127.0.0.1/missing: the server answered \"HTTP/1."),
                  std::string::npos)
            << console.text();
        EXPECT_NE(console.text().find(" 404 "), std::string::npos) << console.text();
        EXPECT_EQ(sent().size(), 1u) << "the refusal of the HEAD is the answer";
        EXPECT_EQ(sim::Network::get().openSockets(), 0);
    }
}

const ServerProcess::Kind kEveryServer[] = {
    ServerProcess::Kind::Python, ServerProcess::Kind::Nginx, ServerProcess::Kind::PythonRefusingHead,
    ServerProcess::Kind::NginxRefusingHead, ServerProcess::Kind::NginxWithoutLength};

TEST_F(HttpFileManagerTest, RealServersServeNamesBelowTheRootsPathWithWhatAPathMayNotHoldEncoded) {
    std::filesystem::create_directories(www / "boot");
    std::filesystem::create_directories(www / "boot dir");
    serve("boot/kalmor.gz", "boot data");
    serve("kalmor.gz", "top data");
    serve("boot dir/k #1?.gz", "spaced data");
    serve("100%.gz", "percent data");
    serve("a+b&c=d;e,f@g:h~i.gz", "sub-delimiter data");
    struct Case {
        std::string path;
        const char16_t* name;
        std::string contents;
        std::string target;
    };
    const Case cases[] = {
        {"", u"kalmor.gz", "top data", "/kalmor.gz"},
        {"boot/", u"kalmor.gz", "boot data", "/boot/kalmor.gz"},
        {"boot", u"/kalmor.gz", "boot data", "/boot/kalmor.gz"},
        {"boot dir/", u"k #1?.gz", "spaced data", "/boot%20dir/k%20%231%3F.gz"},
        // Escapes typed by the user stay as they are.
        {"boot%20dir", u"k%20%231%3F.gz", "spaced data", "/boot%20dir/k%20%231%3F.gz"},
        {"", u"100%.gz", "percent data", "/100%25.gz"},
        {"", u"a+b&c=d;e,f@g:h~i.gz", "sub-delimiter data", "/a+b&c=d;e,f@g:h~i.gz"},
    };
    for (ServerProcess::Kind kind : kEveryServer) {
        ServerProcess server(kind, www.string());
        ASSERT_TRUE(server.running()) << server.log();
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(ServerProcess::name(kind)) + " " + c.path + " " + utf16ToUtf8(c.name));
            files.reset();
            sim::Network::get().sent.clear();
            connect(server.url() + c.path);
            ASSERT_TRUE(files->open(c.name, 3)) << console.text();
            EXPECT_EQ(readAt(100, 0), c.contents) << console.text();
            EXPECT_EQ(files->size(), c.contents.size());
            ASSERT_EQ(sent().size(), 2u);
            EXPECT_EQ(sent()[0], request("HEAD", c.target));
            EXPECT_EQ(sent()[1], request("GET", c.target));
        }
    }
}

// One file as a scripted server answers its HEAD and its GET.
struct Exchange {
    const char* name;
    ScriptedServer::Reply head;
    ScriptedServer::Reply get;
    bool opens;           // the answer to the HEAD of `open` lets the file be asked for
    std::string contents; // or kFailed
    std::string message;
};

// The same answer to both requests (HEAD answers carry a body here only when a test wants one).
Exchange both(const char* name, const ScriptedServer::Reply& reply, bool opens, std::string contents,
              std::string message) {
    return {name, reply, reply, opens, std::move(contents), std::move(message)};
}

ScriptedServer::Reply reply(const std::string& bytes) {
    return ScriptedServer::answer(bytes);
}

TEST_F(HttpFileManagerTest, ScriptedAnswersAreTakenOrRefusedSoundly) {
    const std::string pad = "X-Pad: " + std::string(200, 'p') + "\r\n";
    const std::string ok5 = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n";
    const std::string no_length = "HTTP/1.0 200 OK\r\nServer: tiny\r\n\r\n";
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string refused405 = "HTTP/1.0 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n";
    const std::string refused501 = "HTTP/1.0 501 Not Implemented\r\n\r\n";
    const Exchange cases[] = {
        both("Content-Length split across two arrivals",
             {{{"HTTP/1.0 200 OK\r\n" + pad + "Conte", 0}, {"nt-Length: 5\r\n\r\nhello", 50}}, false}, true,
             "hello", "contents 5 byte\n"),
        both("field name in any letter case, no space after the colon",
             reply("HTTP/1.0 200 OK\r\ncOnTeNt-LeNgTh:7\r\n\r\nkalmor!"), true, "kalmor!",
             "contents 7 byte\n"),
        both("the identity transfer coding is the body as it is",
             reply("HTTP/1.0 200 OK\r\nTransfer-Encoding: identity\r\nContent-Length: 5\r\n\r\nhello"), true,
             "hello", "contents 5 byte\n"),
        {"no Content-Length: the body ends at the close", reply(no_length), reply(no_length + "body"), true,
         "body",
         "open http://127.0.0.1/k - header 33 byte, no Content-Length\n"
         "http://127.0.0.1/k: contents 4 byte, read until the server closed.\n"},
        {"no Content-Length and nothing before the close", reply(no_length), reply(no_length), true, "",
         "http://127.0.0.1/k: contents 0 byte, read until the server closed.\n"},
        {"HEAD refused with 405, the GET tells the length", reply(refused405), reply(ok5 + "hello"), true,
         "hello",
         "http://127.0.0.1/k: HEAD refused (\"HTTP/1.0 405 Method Not Allowed\"), the length comes with the "
         "contents.\nhttp://127.0.0.1/k: contents 5 byte.\n"},
        {"HEAD refused with 501, the GET tells no length", reply(refused501), reply(no_length + "body"), true,
         "body", "HEAD refused (\"HTTP/1.0 501 Not Implemented\")"},
        {"HEAD without a length, the GET with one", reply(no_length), reply(ok5 + "hello"), true, "hello",
         "http://127.0.0.1/k: contents 5 byte.\n"},
        // The body of a GET without a length ends at the close; it must be as long as the HEAD said.
        {"a GET without a length ends before the HEAD's length", reply(ok5), reply(no_length + "hel"), true,
         kFailed, "contents of http://127.0.0.1/k end at 3 byte, the HEAD said 5 byte.\n"},
        {"a GET without a length goes on beyond the HEAD's length", reply(ok5),
         reply(no_length + "hello, you"), true, kFailed,
         "contents of http://127.0.0.1/k go on beyond the HEAD's length of 5 byte.\n"},
        {"a GET whose length differs from the HEAD's", reply(ok5),
         reply("HTTP/1.0 200 OK\r\nContent-Length: 8\r\n\r\nhello, y"), true, kFailed,
         "http://127.0.0.1/k: the contents are 8 byte, the HEAD said 5 byte.\n"},
        both("more bytes than the Content-Length before the close", reply(ok5 + "hello, you"), true, kFailed,
             "contents of http://127.0.0.1/k go on beyond its Content-Length of 5 byte.\n"),
        {"more bytes than the Content-Length, arriving after a pause",
         reply(ok5),
         {{{ok5 + "hello", 0}, {"!", 50}}, false},
         true,
         kFailed,
         "contents of http://127.0.0.1/k go on beyond its Content-Length of 5 byte.\n"},
        {"more bytes than a GET's own length after a HEAD without one", reply(no_length),
         reply(ok5 + "hello, you"), true, kFailed,
         "contents of http://127.0.0.1/k go on beyond its Content-Length of 5 byte.\n"},
        {"HEAD refused, the GET not found", reply(refused405),
         reply("HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"), true, kFailed,
         "http://127.0.0.1/k: the server answered \"HTTP/1.0 404 Not Found\".\n"},
        {"a chunked GET after a plain HEAD", reply(ok5), reply(chunked + "5\r\nhello\r\n0\r\n\r\n"), true,
         kFailed,
         "http://127.0.0.1/k: the server sent the contents with \"Transfer-Encoding: chunked\", which an "
         "HTTP/1.0 request does not allow.\n"},
        both("chunked answers to both", reply(chunked + "0\r\n\r\n"), false, kFailed,
             "\"Transfer-Encoding: chunked\", which an HTTP/1.0 request does not allow.\n"),
        {"no Content-Length, the server goes silent inside the body",
         reply(no_length),
         {{{no_length + "abc", 0}}, true},
         true,
         kFailed,
         "server stopped answering (200 ms without data).\n"},
        {"no Content-Length, the connection reset inside the body",
         reply(no_length),
         {{{no_length + "abc", 0}}, false, true},
         true,
         kFailed,
         "receive failed. cause="},
        both("body shorter than its Content-Length",
             reply("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(40, 'b')), true, kFailed,
             "contents of http://127.0.0.1/k are short: 40 of 100 byte.\n"),
        both("Content-Length beyond 32 bits", reply("HTTP/1.0 200 OK\r\nContent-Length: 4294967296\r\n\r\n"),
             false, kFailed, "bad response for http://127.0.0.1/k: Content-Length beyond 4 GB.\n"),
        both("HEAD forbidden is no refusal of the method",
             reply("HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\n\r\n"), false, kFailed,
             "http://127.0.0.1/k: the server answered \"HTTP/1.0 403 Forbidden\".\n"),
        both("server error with a body",
             reply("HTTP/1.0 500 Internal Server Error\r\nContent-Length: 4\r\n\r\noops"), false, kFailed,
             "http://127.0.0.1/k: the server answered \"HTTP/1.0 500 Internal Server Error\".\n"),
        both("not HTTP at all", reply("SSH-2.0-OpenSSH\r\n\r\n"), false, kFailed,
             "bad response for http://127.0.0.1/k: no status line.\n"),
        both("header never ends", reply("HTTP/1.0 200 OK\r\nContent-Length: 4\r\n"), false, kFailed,
             "response header of http://127.0.0.1/k is incomplete (36 byte).\n"),
        both("endless header", reply("HTTP/1.0 200 OK\r\n" + std::string(9000, 'h')), false, kFailed,
             "response header of http://127.0.0.1/k is longer than 8192 byte.\n"),
        {"server goes silent inside the body",
         reply("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n"),
         {{{"HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc", 0}}, true},
         true,
         kFailed,
         "server stopped answering (200 ms without data).\n"},
        both("server never answers", {{}, true}, false, kFailed,
             "server stopped answering (200 ms without data).\n"),
        both("server closes without an answer", reply(""), false, kFailed,
             "response header of http://127.0.0.1/k is incomplete (0 byte).\n"),
    };
    for (const Exchange& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(
            [&](const std::string& request) { return request.rfind("HEAD ", 0) == 0 ? c.head : c.get; });
        files.reset();
        connect(server.url());
        HttpTransferLimits limits;
        limits.silence_ms = 200;
        files->setLimits(limits);
        sim::Network::get().sent.clear();
        ASSERT_EQ(files->open(u"/k", 3), c.opens) << console.text();
        EXPECT_EQ(readAt(100, 0), c.contents);
        EXPECT_EQ(readAt(100, 0), c.contents) << "a second read asks no more";
        uint32_t expected_size = c.contents == kFailed ? FileManager::kReadFailed : c.contents.size();
        EXPECT_EQ(files->size(), c.opens ? expected_size : 0u);
        const std::vector<std::string> requests = {request("HEAD", "/k"), request("GET", "/k")};
        EXPECT_EQ(sent(), std::vector<std::string>(requests.begin(), requests.begin() + (c.opens ? 2 : 1)));
        EXPECT_NE(console.text().find(c.message), std::string::npos) << console.text();
        EXPECT_EQ(sim::Network::get().openSockets(), 0);
    }
}

// `bytes` in pieces of `piece` bytes, `pause_ms` before each.
ScriptedServer::Reply trickle(const std::string& bytes, size_t piece, int pause_ms) {
    ScriptedServer::Reply reply;
    for (size_t at = 0; at < bytes.size(); at += piece)
        reply.steps.push_back({bytes.substr(at, piece), pause_ms});
    return reply;
}

// The progress lines' byte counts, in order.
std::vector<uint32_t> progressCounts(const std::string& text) {
    std::vector<uint32_t> counts;
    const std::string prefix = "http://127.0.0.1/k: ";
    for (size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1)) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at + prefix.size(), end - at - prefix.size());
        if (line.ends_with(" of 1000 byte received"))
            counts.push_back(static_cast<uint32_t>(std::stoul(line)));
    }
    return counts;
}

TEST_F(HttpFileManagerTest, ASlowTransferShowsItsProgressAndOneBelowTheFloorStops) {
    const std::string body = pattern(1000);
    const std::string header = "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n";
    // 512 bytes a second over 200 ms: at least 103 bytes in each window.
    HttpTransferLimits limits;
    limits.silence_ms = 2000;
    limits.window_ms = 200;
    limits.progress_ms = 60;
    struct Case {
        const char* name;
        ScriptedServer::Reply get;
        std::string contents;
        std::string message;
    };
    ScriptedServer::Reply slow_header = trickle(header, 1, 10);
    slow_header.steps.push_back({body, 0});
    ScriptedServer::Reply slow_body = trickle(body, 1, 10);
    slow_body.steps.insert(slow_body.steps.begin(), {header, 0});
    ScriptedServer::Reply fast_enough = trickle(body, 20, 10); // 2,000 byte a second for 500 ms
    fast_enough.steps.insert(fast_enough.steps.begin(), {header, 0});
    const Case cases[] = {
        {"a body of 100 byte a second", slow_body, kFailed, " ms, less than 512 byte a second.\n"},
        {"a header of 100 byte a second", slow_header, kFailed, " ms, less than 512 byte a second.\n"},
        {"a body of 2,000 byte a second", fast_enough, body, "http://127.0.0.1/k: contents 1000 byte.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server([&](const std::string& request) {
            return request.rfind("HEAD ", 0) == 0 ? reply("HTTP/1.0 200 OK\r\n\r\n") : c.get;
        });
        files.reset();
        connect(server.url());
        files->setLimits(limits);
        ASSERT_TRUE(files->open(u"/k", 3));
        EXPECT_EQ(readAt(1000, 0), c.contents);
        EXPECT_NE(console.text().find(c.message), std::string::npos) << console.text();
        if (c.get.steps.front().bytes == header) {
            // A slow body is seen to move.
            std::vector<uint32_t> counts = progressCounts(console.text());
            EXPECT_GE(counts.size(), 2u) << console.text();
            EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end())) << console.text();
            EXPECT_LT(counts.front(), 1000u);
        }
        EXPECT_EQ(sim::Network::get().openSockets(), 0);
    }
}

TEST_F(HttpFileManagerTest, ABodyTheHeapCannotHoldFailsAndGivesItsBlocksBack) {
    sim::ProcessHeap& heap = sim::ProcessHeap::get();
    const std::string fits = pattern(600000);
    const std::string too_large = pattern(2 << 20);
    auto with_length = [](const std::string& body) {
        return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    };
    const std::string no_length = "HTTP/1.0 200 OK\r\n\r\n";
    struct Case {
        const char* name;
        std::string answer;
        std::string contents;
        std::string message;
    };
    const Case cases[] = {
        {"a body that fits, with its length", with_length(fits), fits, "contents 600000 byte\n"},
        {"a body that fits, read to the close", no_length + fits, fits, "contents 600000 byte, read until"},
        {"a length beyond the heap", with_length(too_large), kFailed,
         "can't allocate 2097152 byte for http://127.0.0.1/k.\n"},
        {"4,000,000,000 bytes announced", "HTTP/1.0 200 OK\r\nContent-Length: 4000000000\r\n\r\nxx", kFailed,
         "contents 4000000000 byte\ncan't allocate 4000000000 byte for http://127.0.0.1/k.\n"},
        {"a body beyond the heap without its length", no_length + too_large, kFailed,
         "can't allocate memory for http://127.0.0.1/k after 786432 byte.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server([&](const std::string& request) {
            return reply(request.rfind("HEAD ", 0) == 0 ? c.answer.substr(0, c.answer.find("\r\n\r\n") + 4)
                                                        : c.answer);
        });
        files.reset();
        uint64_t before = heap.bytesInUse();
        // A handheld with 1 MB of program memory left for the heap.
        heap.charge = [before](uint64_t bytes) { return bytes <= before + (1u << 20); };
        connect(server.url());
        ASSERT_TRUE(files->open(u"k", 3));
        std::string all(c.contents == kFailed ? 16 : c.contents.size(), '\0');
        uint32_t count = files->read(all.data(), static_cast<uint32_t>(all.size()), 0);
        EXPECT_EQ(count == FileManager::kReadFailed ? std::string(kFailed) : all.substr(0, count),
                  c.contents);
        EXPECT_NE(console.text().find(c.message), std::string::npos) << console.text();
        if (c.contents == kFailed) {
            EXPECT_EQ(heap.bytesInUse(), before) << "what was taken for the body is given back";
        }
        files.reset();
        EXPECT_EQ(heap.bytesInUse(), before);
    }
}

TEST_F(HttpFileManagerTest, NamesThatDoNotFitTheRequestAreRefused) {
    ScriptedServer server(
        [](const std::string&) { return ScriptedServer::answer("HTTP/1.0 200 OK\r\n\r\n"); });
    connect(server.url());
    // "HEAD " + name + " HTTP/1.0\r\nHOST: " + "127.0.0.1" + user agent + NUL = 260 bytes.
    const size_t fitting = 260 - 5 - 17 - 9 - 59 - 1;
    // The leading "/" counts whether typed or added.
    ASSERT_TRUE(files->open(wide("/" + std::string(fitting - 1, 'n')).c_str(), 3));
    EXPECT_EQ(sent().back().size(), 259u);
    ASSERT_TRUE(files->open(wide(std::string(fitting - 1, 'n')).c_str(), 3));
    EXPECT_EQ(sent().back().size(), 259u);
    console.output.clear();
    size_t requests = sent().size();
    EXPECT_FALSE(files->open(wide("/" + std::string(fitting, 'n')).c_str(), 3));
    EXPECT_FALSE(files->open(wide(std::string(fitting, 'n')).c_str(), 3));
    EXPECT_EQ(console.text(), "request too long. 261 > 260\nrequest too long. 261 > 260\n");
    // What is sent counts: a blank becomes three bytes.
    console.output.clear();
    EXPECT_FALSE(files->open(wide(std::string(57, ' ')).c_str(), 3));
    EXPECT_EQ(console.text(), "request too long. 263 > 260\n");
    // So does the root's path.
    files.reset();
    connect(server.url() + "pp");
    EXPECT_FALSE(files->open(wide(std::string(fitting - 3, 'n')).c_str(), 3));
    EXPECT_EQ(console.text(), "request too long. 261 > 260\n");
    EXPECT_EQ(sent().size(), requests);
}

TEST_F(HttpFileManagerTest, DebugLevelsShowTheReceivesAndTheHeaderTokens) {
    ScriptedServer server([](const std::string&) {
        return ScriptedServer::answer("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
    });
    connect(server.url());
    files->setDebugLevel(3);
    ASSERT_TRUE(files->open(u"/k", 3));
    EXPECT_EQ(files->size(), 2u);
    const std::string text = console.text();
    EXPECT_NE(text.find("+token: HTTP/1.0\n+token: 200\n+token: OK\n+token: Content-Length\n"
                        "*token: Content-Length\n*content-length=2\n+token: 2\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("size 255 readed 40 byte(+40)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("total read 40 byte\n"), std::string::npos) << text;
}

TEST_F(HttpFileManagerTest, GzipLayerOverHttpGivesTheExactKernelBytes) {
    const std::string kernel = gzip_files::kernelBytes();
    ASSERT_GT(kernel.size(), 52u);
    serve("kernel.gz", gzip_files::compress("/usr/bin/gzip", {"-c", "-9"}, kernel));
    ServerProcess server(ServerProcess::Kind::Nginx, www.string());
    ASSERT_TRUE(server.running()) << server.log();
    std::unique_ptr<FileManager> layer(createFileManagerOfKind(2, &slot));
    ASSERT_NE(layer, nullptr);
    ASSERT_TRUE(layer->setRoot(wide(server.url()).c_str()));
    ASSERT_TRUE(layer->open(u"/kernel.gz", 3));
    EXPECT_TRUE(static_cast<GzipFileManager*>(layer.get())->compressed());
    EXPECT_EQ(layer->realsize(), kernel.size());
    std::string first(52, '\0');
    ASSERT_EQ(layer->read(first.data(), 52, 0), 52u);
    EXPECT_EQ(first, kernel.substr(0, 52));
    std::string all(kernel.size() + 10, '\0');
    EXPECT_EQ(layer->read(all.data(), static_cast<uint32_t>(all.size()), 0), kernel.size());
    all.resize(kernel.size());
    EXPECT_EQ(all, kernel);
    EXPECT_EQ(sim::Network::get().sent.size(), 2u) << "downloaded once, read from memory after";
}

} // namespace
