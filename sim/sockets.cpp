// The WinSock calls of the platform contract on the simulated handheld.
#include "sim/sockets.h"

#include "platform/wince.h"
#include "sim/device_work.h"
#include "sim/failure_injection.h"
#include "sim/handheld.h"
#include "sim/sockets_host.h"

#include <bit>
#include <cstring>
#include <map>

namespace {

// Socket numbers as WinSock hands them out: small multiples of four, never 0.
struct SocketTable {
    std::map<ce::SOCKET, int> host_sockets;
    ce::SOCKET next = 0x100;
};

SocketTable& sockets() {
    static SocketTable table;
    return table;
}

// The storage gethostbyname answers from, as WinSock's per-thread record.
struct HostRecord {
    ce::hostent entry{};
    std::string name;
    std::vector<uint32_t> addresses; // network byte order
    std::vector<char*> address_list;
    char* no_aliases = nullptr;
};

HostRecord& hostRecord() {
    static HostRecord record;
    return record;
}

int fail(int error) {
    sim::Handheld::get().last_error = static_cast<ce::DWORD>(error);
    return ce::SOCKET_ERROR;
}

bool ready() {
    if (sim::Network::get().startupNeeded()) {
        fail(ce::WSANOTINITIALISED);
        return false;
    }
    return true;
}

// The host socket behind `s`, or -1 with WSAENOTSOCK.
int hostSocket(ce::SOCKET s) {
    auto found = sockets().host_sockets.find(s);
    if (found == sockets().host_sockets.end()) {
        fail(ce::WSAENOTSOCK);
        return -1;
    }
    return found->second;
}

// The host socket for a transfer of `size` bytes at `buffer` on `s`, or -1
// with the error set.
int transferSocket(ce::SOCKET s, const void* buffer, int size) {
    if (!ready())
        return -1;
    int fd = hostSocket(s);
    if (fd >= 0 && (size < 0 || (buffer == nullptr && size > 0))) {
        fail(ce::WSAEFAULT);
        return -1;
    }
    return fd;
}

// Network byte order in memory <-> a number in host order.
uint32_t fromNetwork(ce::u_long address) {
    uint8_t bytes[4];
    std::memcpy(bytes, &address, 4);
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

ce::u_long toNetwork(uint32_t address) {
    uint8_t bytes[4] = {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                        static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    ce::u_long value;
    std::memcpy(&value, bytes, 4);
    return value;
}

bool isLoopback(uint32_t address) {
    return (address >> 24) == 127;
}

} // namespace

namespace sim {

Network& Network::get() {
    static Network network;
    return network;
}

void Network::reset() {
    for (auto& [handle, fd] : sockets().host_sockets)
        host::closeSocket(fd);
    sockets() = SocketTable{};
    *this = Network();
}

int Network::openSockets() const {
    return static_cast<int>(sockets().host_sockets.size());
}

bool Network::startupNeeded() const {
    if (startups > 0)
        return false;
    switch (startup_rule) {
    case StartupRule::Required:
        return true;
    case StartupRule::NotRequired:
        return false;
    case StartupRule::ByVersion:
        break;
    }
    const DeviceProfile& profile = Handheld::get().profile();
    return profile.ce_major > 3 || (profile.ce_major == 3 && profile.ce_minor >= 11);
}

} // namespace sim

namespace ce {

int WSAStartup(WORD version, WSADATA* data) {
    sim::Network& network = sim::Network::get();
    ++network.startup_calls;
    if (network.startup_error != 0)
        return network.startup_error;
    if (data == nullptr)
        return WSAEFAULT;
    // Versions compare minor (high byte) after major (low byte).
    auto order = [](WORD v) { return (v & 0xFF) << 8 | v >> 8; };
    if ((version & 0xFF) == 0)
        return WSAVERNOTSUPPORTED;
    *data = WSADATA{};
    data->wVersion = order(version) < order(network.highest_version) ? version : network.highest_version;
    data->wHighVersion = network.highest_version;
    std::strcpy(data->szDescription, "Simulated WinSock");
    std::strcpy(data->szSystemStatus, "Running");
    data->iMaxSockets = 64;
    data->iMaxUdpDg = 1472;
    ++network.startups;
    return 0;
}

int WSACleanup() {
    sim::Network& network = sim::Network::get();
    ++network.cleanup_calls;
    if (network.startups == 0)
        return fail(WSANOTINITIALISED);
    --network.startups;
    return 0;
}

int WSAGetLastError() {
    return static_cast<int>(sim::Handheld::get().last_error);
}

SOCKET socket(int family, int type, int protocol) {
    sim::DeviceWork device_work;
    if (!ready())
        return INVALID_SOCKET;
    if (family != AF_INET) {
        fail(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (type != SOCK_STREAM || (protocol != 0 && protocol != IPPROTO_TCP)) {
        fail(WSAEINVAL);
        return INVALID_SOCKET;
    }
    if (sim::Network::get().socket_error != 0) {
        fail(sim::Network::get().socket_error);
        return INVALID_SOCKET;
    }
    int error = 0;
    int fd = sim::host::openTcpSocket(&error);
    if (fd < 0) {
        fail(error);
        return INVALID_SOCKET;
    }
    SocketTable& table = sockets();
    SOCKET handle = table.next;
    table.next += 4;
    table.host_sockets[handle] = fd;
    return handle;
}

int connect(SOCKET s, const sockaddr* address, int address_size) {
    sim::DeviceWork device_work;
    if (!ready())
        return SOCKET_ERROR;
    int fd = hostSocket(s);
    if (fd < 0)
        return SOCKET_ERROR;
    if (address == nullptr || address_size < static_cast<int>(sizeof(sockaddr_in)))
        return fail(WSAEFAULT);
    sockaddr_in peer;
    std::memcpy(&peer, address, sizeof(peer));
    if (peer.sin_family != AF_INET)
        return fail(WSAEAFNOSUPPORT);
    uint32_t host_address = fromNetwork(peer.sin_addr.s_addr);
    uint16_t port = static_cast<uint16_t>(htons(peer.sin_port));
    sim::ConnectAttempt attempt{host_address, port, false};
    int error = WSAENETUNREACH;
    // The simulated device's network ends at the host's loopback range.
    if (isLoopback(host_address) && port != 0)
        attempt.connected = sim::host::connectTo(fd, host_address, port, &error);
    else if (isLoopback(host_address))
        error = WSAEADDRNOTAVAIL;
    sim::Network::get().connects.push_back(attempt);
    if (!attempt.connected)
        return fail(error);
    sim::Handheld::get().last_error = 0;
    return 0;
}

int send(SOCKET s, const char* buffer, int size, int) {
    sim::DeviceWork device_work;
    int fd = transferSocket(s, buffer, size);
    if (fd < 0)
        return SOCKET_ERROR;
    int error = 0;
    long sent = sim::host::sendBytes(fd, buffer, static_cast<size_t>(size), &error);
    if (sent < 0)
        return fail(error);
    sim::Network::get().sent.emplace_back(buffer, static_cast<size_t>(sent));
    return static_cast<int>(sent);
}

int recv(SOCKET s, char* buffer, int size, int) {
    sim::DeviceWork device_work;
    int fd = transferSocket(s, buffer, size);
    if (fd < 0)
        return SOCKET_ERROR;
    if (sim::injectFailure(sim::FallibleCall::SocketReceive))
        return SOCKET_ERROR;
    int error = 0;
    long received = sim::host::receiveBytes(fd, buffer, static_cast<size_t>(size), &error);
    if (received < 0)
        return fail(error);
    return static_cast<int>(received);
}

int setsockopt(SOCKET s, int level, int option, const char* value, int value_size) {
    if (!ready())
        return SOCKET_ERROR;
    int fd = hostSocket(s);
    if (fd < 0)
        return SOCKET_ERROR;
    if (level != SOL_SOCKET || (option != SO_RCVTIMEO && option != SO_SNDTIMEO))
        return fail(WSAEINVAL);
    if (value == nullptr || value_size < static_cast<int>(sizeof(DWORD)))
        return fail(WSAEFAULT);
    DWORD milliseconds;
    std::memcpy(&milliseconds, value, sizeof(milliseconds));
    int error = 0;
    if (!sim::host::setTimeout(fd, option == SO_RCVTIMEO, milliseconds, &error))
        return fail(error);
    if (option == SO_RCVTIMEO)
        sim::Network::get().last_receive_timeout = milliseconds;
    return 0;
}

int closesocket(SOCKET s) {
    sim::DeviceWork device_work;
    if (!ready())
        return SOCKET_ERROR;
    int fd = hostSocket(s);
    if (fd < 0)
        return SOCKET_ERROR;
    sim::host::closeSocket(fd);
    sockets().host_sockets.erase(s);
    return 0;
}

hostent* gethostbyname(const char* name) {
    sim::DeviceWork device_work;
    if (!ready())
        return nullptr;
    if (name == nullptr) {
        fail(WSAEFAULT);
        return nullptr;
    }
    const sim::Network& network = sim::Network::get();
    std::vector<uint32_t> found;
    auto known = network.hosts.find(name);
    uint32_t literal = 0;
    if (known != network.hosts.end())
        found = known->second;
    else if (network.resolve_dotted_quads && sim::host::parseDottedQuad(name, &literal))
        found.push_back(literal);
    if (found.empty()) {
        fail(WSAHOST_NOT_FOUND);
        return nullptr;
    }
    HostRecord& record = hostRecord();
    record.name = name;
    record.addresses.clear();
    for (uint32_t address : found)
        record.addresses.push_back(toNetwork(address));
    record.address_list.clear();
    for (uint32_t& address : record.addresses)
        record.address_list.push_back(reinterpret_cast<char*>(&address));
    record.address_list.push_back(nullptr);
    record.entry.h_name = record.name.data();
    record.entry.h_aliases = &record.no_aliases;
    record.entry.h_addrtype = AF_INET;
    record.entry.h_length = 4;
    record.entry.h_addr_list = record.address_list.data();
    return &record.entry;
}

u_long inet_addr(const char* text) {
    uint32_t address = 0;
    if (text == nullptr || !sim::host::parseDottedQuad(text, &address))
        return INADDR_NONE;
    return toNetwork(address);
}

// Parenthesised: some host headers make htons a macro.
u_short(htons)(u_short value) {
    if constexpr (std::endian::native == std::endian::big)
        return value;
    return static_cast<u_short>((value >> 8) | (value << 8));
}

} // namespace ce
