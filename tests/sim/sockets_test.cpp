#include "platform/wide_string.h"
#include "platform/wince.h"
#include "sim/device_profile.h"
#include "sim/sockets.h"
#include "support/http_servers.h"
#include "support/simulated_device.h"

#include <cstring>
#include <string>

namespace {

// The device's reset (SimulatedDevice) resets the network too.
class SimulatedSocketsTest : public SimulatedDevice {
  protected:
    void startWinSock() {
        ce::WSADATA data{};
        ASSERT_EQ(ce::WSAStartup(0x0101, &data), 0);
    }

    static ce::sockaddr_in loopbackAddress(uint16_t port) {
        ce::sockaddr_in address{};
        address.sin_family = ce::AF_INET;
        address.sin_port = ce::htons(port);
        address.sin_addr.s_addr = ce::inet_addr("127.0.0.1");
        return address;
    }

    static int connectTo(ce::SOCKET s, const ce::sockaddr_in& address) {
        return ce::connect(s, reinterpret_cast<const ce::sockaddr*>(&address), sizeof(address));
    }

    static std::string receiveAll(ce::SOCKET s) {
        std::string bytes;
        char buffer[100];
        int count;
        while ((count = ce::recv(s, buffer, sizeof(buffer), 0)) > 0)
            bytes.append(buffer, static_cast<size_t>(count));
        EXPECT_EQ(count, 0) << "error " << ce::WSAGetLastError();
        return bytes;
    }
};

TEST_F(SimulatedSocketsTest, StartupGrantsVersionOneOneAndEachCleanupEndsOneStartup) {
    ce::WSADATA data{};
    ASSERT_EQ(ce::WSAStartup(0x0202, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101); // the device offers WinSock 1.1 only
    EXPECT_EQ(data.wHighVersion, 0x0101);
    EXPECT_EQ(ce::WSACleanup(), 0);
    EXPECT_EQ(ce::WSACleanup(), ce::SOCKET_ERROR);
    EXPECT_EQ(ce::WSAGetLastError(), ce::WSANOTINITIALISED);

    sim::Network::get().highest_version = 0x0001;
    ASSERT_EQ(ce::WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0001);
    sim::Network::get().startup_error = ce::WSASYSNOTREADY;
    EXPECT_EQ(ce::WSAStartup(0x0101, &data), ce::WSASYSNOTREADY);
}

TEST_F(SimulatedSocketsTest, SocketsNeedStartupFromWindowsCE311On) {
    struct Case {
        const char16_t* machine;
        bool needs_startup;
    };
    for (const Case& c : {Case{u"HP Jornada 820", false}, Case{u"Compaq iPAQ H3600", false},
                          Case{u"Sharp W-ZERO3 (WS003SH)", true}}) {
        SCOPED_TRACE(utf16ToUtf8(c.machine));
        useProfile(*sim::findDeviceProfile(c.machine));
        ce::SOCKET s = ce::socket(ce::AF_INET, ce::SOCK_STREAM, 0);
        if (c.needs_startup) {
            EXPECT_EQ(s, ce::INVALID_SOCKET);
            EXPECT_EQ(ce::WSAGetLastError(), ce::WSANOTINITIALISED);
        } else {
            ASSERT_NE(s, ce::INVALID_SOCKET);
            EXPECT_EQ(ce::closesocket(s), 0);
        }
    }
}

TEST_F(SimulatedSocketsTest, TalksToARealPeerInNetworkByteOrder) {
    ScriptedServer server([](const std::string& request) {
        return ScriptedServer::answer("echo:" + request.substr(0, request.find('\r')));
    });
    startWinSock();
    ce::SOCKET s = ce::socket(ce::AF_INET, ce::SOCK_STREAM, 0);
    ASSERT_NE(s, ce::INVALID_SOCKET);
    ce::sockaddr_in address = loopbackAddress(server.port());
    const uint8_t* port_bytes = reinterpret_cast<const uint8_t*>(&address.sin_port);
    EXPECT_EQ(port_bytes[0], server.port() >> 8);
    EXPECT_EQ(port_bytes[1], server.port() & 0xFF);
    const uint8_t* address_bytes = reinterpret_cast<const uint8_t*>(&address.sin_addr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(address_bytes), 4), std::string("\x7f\0\0\x01", 4));

    ASSERT_EQ(connectTo(s, address), 0);
    const char request[] = "PING\r\n\r\n";
    EXPECT_EQ(ce::send(s, request, 8, 0), 8);
    EXPECT_EQ(receiveAll(s), "echo:PING");
    EXPECT_EQ(ce::closesocket(s), 0);
    EXPECT_EQ(sim::Network::get().openSockets(), 0);
    EXPECT_EQ(sim::Network::get().sent, std::vector<std::string>{"PING\r\n\r\n"});
}

TEST_F(SimulatedSocketsTest, RefusedConnectCanBeRetriedOnTheSameSocket) {
    ScriptedServer server([](const std::string&) { return ScriptedServer::answer("ok"); });
    startWinSock();
    ce::SOCKET s = ce::socket(ce::AF_INET, ce::SOCK_STREAM, 0);
    EXPECT_EQ(connectTo(s, loopbackAddress(freeLoopbackPort())), ce::SOCKET_ERROR);
    EXPECT_EQ(ce::WSAGetLastError(), ce::WSAECONNREFUSED);
    EXPECT_EQ(connectTo(s, loopbackAddress(server.port())), 0);
    ASSERT_EQ(sim::Network::get().connects.size(), 2u);
    EXPECT_FALSE(sim::Network::get().connects[0].connected);
    EXPECT_TRUE(sim::Network::get().connects[1].connected);
    EXPECT_EQ(sim::Network::get().connects[1].address, 0x7F000001u);
    ce::closesocket(s);
}

TEST_F(SimulatedSocketsTest, AddressesOutsideLoopbackAndPortZeroAreNeverReached) {
    startWinSock();
    ce::SOCKET s = ce::socket(ce::AF_INET, ce::SOCK_STREAM, 0);
    ce::sockaddr_in outside = loopbackAddress(80);
    outside.sin_addr.s_addr = ce::inet_addr("192.0.2.1");
    EXPECT_EQ(connectTo(s, outside), ce::SOCKET_ERROR);
    EXPECT_EQ(ce::WSAGetLastError(), ce::WSAENETUNREACH);
    EXPECT_EQ(connectTo(s, loopbackAddress(0)), ce::SOCKET_ERROR);
    EXPECT_EQ(ce::WSAGetLastError(), ce::WSAEADDRNOTAVAIL);
    ce::closesocket(s);
}

TEST_F(SimulatedSocketsTest, ReceiveTimeOutEndsTheWaitForASilentServer) {
    ScriptedServer server([](const std::string&) {
        return ScriptedServer::Reply{{{"HTTP/1.0 2", 0}}, true};
    });
    startWinSock();
    ce::SOCKET s = ce::socket(ce::AF_INET, ce::SOCK_STREAM, 0);
    ce::DWORD limit = 100;
    ASSERT_EQ(ce::setsockopt(s, ce::SOL_SOCKET, ce::SO_RCVTIMEO, reinterpret_cast<const char*>(&limit),
                             sizeof(limit)),
              0);
    EXPECT_EQ(sim::Network::get().last_receive_timeout, 100u);
    ASSERT_EQ(connectTo(s, loopbackAddress(server.port())), 0);
    ce::send(s, "GET\r\n\r\n", 7, 0);
    char buffer[64];
    EXPECT_EQ(ce::recv(s, buffer, sizeof(buffer), 0), 10);
    EXPECT_EQ(ce::recv(s, buffer, sizeof(buffer), 0), ce::SOCKET_ERROR);
    EXPECT_EQ(ce::WSAGetLastError(), ce::WSAETIMEDOUT);
    ce::closesocket(s);
}

TEST_F(SimulatedSocketsTest, NamesResolveFromTheDeviceHostTable) {
    startWinSock();
    sim::Network::get().hosts["kernels.test"] = {0x7F000002, 0x7F000001};
    ce::hostent* entry = ce::gethostbyname("kernels.test");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->h_length, 4);
    ASSERT_NE(entry->h_addr_list[0], nullptr);
    ASSERT_NE(entry->h_addr_list[1], nullptr);
    EXPECT_EQ(entry->h_addr_list[2], nullptr);
    EXPECT_EQ(std::string(entry->h_addr_list[0], 4), std::string("\x7f\0\0\x02", 4));
    EXPECT_EQ(std::string(entry->h_addr_list[1], 4), std::string("\x7f\0\0\x01", 4));

    EXPECT_EQ(ce::gethostbyname("unknown.test"), nullptr);
    EXPECT_EQ(ce::WSAGetLastError(), ce::WSAHOST_NOT_FOUND);
    EXPECT_NE(ce::gethostbyname("127.0.0.3"), nullptr);
    sim::Network::get().resolve_dotted_quads = false;
    EXPECT_EQ(ce::gethostbyname("127.0.0.3"), nullptr);

    EXPECT_EQ(ce::inet_addr("nonsense"), ce::INADDR_NONE);
    ce::u_long literal = ce::inet_addr("127.0.0.3");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&literal), 4), std::string("\x7f\0\0\x03", 4));
}

TEST_F(SimulatedSocketsTest, UnknownOrClosedSocketsAreRefused) {
    startWinSock();
    ce::SOCKET s = ce::socket(ce::AF_INET, ce::SOCK_STREAM, 0);
    EXPECT_EQ(sim::Network::get().openSockets(), 1);
    EXPECT_EQ(ce::closesocket(s), 0);
    EXPECT_EQ(ce::closesocket(s), ce::SOCKET_ERROR);
    EXPECT_EQ(ce::WSAGetLastError(), ce::WSAENOTSOCK);
    char byte;
    EXPECT_EQ(ce::recv(s, &byte, 1, 0), ce::SOCKET_ERROR);
    sim::Network::get().socket_error = ce::WSAEMFILE;
    EXPECT_EQ(ce::socket(ce::AF_INET, ce::SOCK_STREAM, 0), ce::INVALID_SOCKET);
    EXPECT_EQ(ce::GetLastError(), static_cast<ce::DWORD>(ce::WSAEMFILE));
    EXPECT_EQ(sim::Network::get().openSockets(), 0);
}

} // namespace
