// The failure-injection knob of the simulated handheld: which call it fails,
// how the failed call looks to the program, and what it counts.
#include "platform/wince.h"
#include "sim/disk.h"
#include "sim/failure_injection.h"
#include "sim/physical_memory.h"
#include "support/http_servers.h"
#include "support/simulated_device.h"

#include <functional>

namespace {

using sim::FallibleCall;

class FailureInjectionTest : public SimulatedDevice {
  protected:
    sim::FailureInjection& failures() { return device().failures; }
    ce::HANDLE openFile(const char16_t* name) {
        return ce::CreateFileW(name, ce::GENERIC_READ, 0, nullptr, ce::OPEN_EXISTING, 0, nullptr);
    }
    // Opens and closes "\Storage Card\b"; false when it could not be opened.
    bool openOther() {
        ce::HANDLE file = openFile(u"\\Storage Card\\b");
        return file != ce::INVALID_HANDLE_VALUE && ce::CloseHandle(file);
    }
    bool readOne(ce::HANDLE file) {
        char byte;
        ce::DWORD done = 0;
        return ce::ReadFile(file, &byte, 1, &done, nullptr) && done == 1;
    }
};

TEST_F(FailureInjectionTest, OneCounterOverAllKindsFailsTheNthCallOnly) {
    writeFile("Storage Card/a", "abcdef");
    writeFile("Storage Card/b", "");
    failures().arm(3);
    ce::HANDLE file = openFile(u"\\Storage Card\\a"); // call 1
    ASSERT_NE(file, ce::INVALID_HANDLE_VALUE);
    EXPECT_TRUE(readOne(file)); // 2
    char byte = 0;
    ce::DWORD done = 7;
    EXPECT_FALSE(ce::ReadFile(file, &byte, 1, &done, nullptr)); // 3
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_READ_FAULT);
    EXPECT_TRUE(readOne(file)); // 4: one failure per arming
    EXPECT_EQ(failures().failed(), FallibleCall::FileRead);
    EXPECT_EQ(failures().calls(), 4u);
    EXPECT_EQ(failures().calls(FallibleCall::FileRead), 3u);
    EXPECT_EQ(failures().calls(FallibleCall::CreateFile), 1u);

    // Per kind: the second CreateFile, whatever comes between.
    failures().arm(2, FallibleCall::CreateFile);
    EXPECT_TRUE(readOne(file));
    EXPECT_TRUE(openOther());
    EXPECT_TRUE(readOne(file));
    EXPECT_FALSE(openOther());
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_ACCESS_DENIED);
    EXPECT_EQ(failures().failed(), FallibleCall::CreateFile);

    failures().disarm();
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(openOther());
    EXPECT_EQ(failures().failed(), std::nullopt);
    EXPECT_EQ(failures().calls(), 5u);
}

TEST_F(FailureInjectionTest, EveryKindFailsItsCallAsTheDeviceWould) {
    writeFile("Storage Card/a", "abc");
    writeFile("Storage Card/b", "");
    writeFile("disk.img", std::string(64 * 512, 'd'));
    ASSERT_TRUE(sim::attachDisk(2, root / "disk.img"));
    ScriptedServer server([](const std::string&) { return ScriptedServer::answer("hello"); });
    ce::WSADATA data{};
    ASSERT_EQ(ce::WSAStartup(0x0101, &data), 0);

    auto* region = static_cast<uint8_t*>(
        ce::VirtualAlloc(nullptr, 0x10000, ce::MEM_RESERVE | ce::MEM_COMMIT, ce::PAGE_READWRITE));
    auto* reserved =
        static_cast<uint8_t*>(ce::VirtualAlloc(nullptr, 0x10000, ce::MEM_RESERVE, ce::PAGE_NOACCESS));
    ce::HANDLE file = openFile(u"\\Storage Card\\a");
    ce::HANDLE disk = openFile(u"DSK2:");
    ce::SOCKET socket = ce::socket(ce::AF_INET, ce::SOCK_STREAM, 0);
    ce::sockaddr_in address{};
    address.sin_family = ce::AF_INET;
    address.sin_port = ce::htons(server.port());
    address.sin_addr.s_addr = ce::inet_addr("127.0.0.1");
    ASSERT_TRUE(region != nullptr && reserved != nullptr && file != ce::INVALID_HANDLE_VALUE &&
                disk != ce::INVALID_HANDLE_VALUE && socket != ce::INVALID_SOCKET);
    ASSERT_EQ(ce::connect(socket, reinterpret_cast<const ce::sockaddr*>(&address), sizeof(address)), 0);
    const char request_text[] = "GET / HTTP/1.0\r\n\r\n";
    ASSERT_EQ(ce::send(socket, request_text, sizeof request_text - 1, 0), int{sizeof request_text - 1});

    uint8_t sector[512];
    ce::SG_REQ request{};
    request.sr_start = 1;
    request.sr_num_sec = 1;
    request.sr_num_sg = 1;
    request.sr_sglist[0] = {sector, sizeof sector};
    struct Case {
        FallibleCall kind;
        std::function<bool()> call; // true when the call succeeded
    };
    const Case cases[] = {
        {FallibleCall::VirtualAlloc,
         [] { return ce::VirtualAlloc(nullptr, 4096, ce::MEM_RESERVE, ce::PAGE_NOACCESS) != nullptr; }},
        {FallibleCall::LockPages,
         [&] {
             ce::DWORD frame = 0;
             bool ok = sim::LockPages(region, 4096, &frame, 1);
             return ok && sim::UnlockPages(region, 4096);
         }},
        {FallibleCall::VirtualCopy,
         [&] {
             return ce::VirtualCopy(reserved, reinterpret_cast<void*>(uintptr_t{0x80050000 >> 8}), 4096,
                                    ce::PAGE_READWRITE | ce::PAGE_NOCACHE | ce::PAGE_PHYSICAL);
         }},
        {FallibleCall::FileRead,
         [&] { return readOne(file) && ce::SetFilePointer(file, 0, nullptr, 0) == 0; }},
        {FallibleCall::DiskRead,
         [&] {
             ce::DWORD returned = 0;
             request.sr_status = 0;
             return ce::DeviceIoControl(disk, ce::DISK_IOCTL_READ, &request, sizeof request, nullptr, 0,
                                        &returned, nullptr) &&
                    request.sr_status == 0;
         }},
        {FallibleCall::SocketReceive,
         [&] {
             char byte;
             return ce::recv(socket, &byte, 1, 0) == 1;
         }},
        {FallibleCall::CreateFile, [&] { return openOther(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::fallibleCallName(c.kind));
        EXPECT_EQ(sim::fallibleCallNamed(sim::fallibleCallName(c.kind)), c.kind);
        failures().arm(1, c.kind);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(ce::GetLastError(), sim::injectedError(c.kind));
        EXPECT_EQ(failures().failed(), c.kind);
        EXPECT_TRUE(c.call()) << "only one call fails";
    }
    ce::closesocket(socket);
    ce::WSACleanup();
}

} // namespace
