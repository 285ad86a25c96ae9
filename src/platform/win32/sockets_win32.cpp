// The socket calls of the platform contract on desktop Windows: WinSock
// itself. Records are copied field by field, since the 64-bit WSADATA orders
// its fields differently. This file is compiled only by the Windows build.
#include "platform/wince.h"

#include <cstring>

// After the contract: the WinSock headers define INVALID_SOCKET, AF_INET and
// the like as macros, so the code below uses only their values.
#include <winsock2.h>

namespace {

static_assert(sizeof(::sockaddr_in) == sizeof(ce::sockaddr_in));

void copyText(char* to, size_t capacity, const char* from) {
    std::strncpy(to, from, capacity - 1);
    to[capacity - 1] = '\0';
}

} // namespace

namespace ce {

int WSAStartup(WORD version, WSADATA* data) {
    ::WSADATA granted{};
    int result = ::WSAStartup(version, &granted);
    if (result == 0 && data != nullptr) {
        *data = WSADATA{};
        data->wVersion = granted.wVersion;
        data->wHighVersion = granted.wHighVersion;
        copyText(data->szDescription, sizeof(data->szDescription), granted.szDescription);
        copyText(data->szSystemStatus, sizeof(data->szSystemStatus), granted.szSystemStatus);
        data->iMaxSockets = granted.iMaxSockets;
        data->iMaxUdpDg = granted.iMaxUdpDg;
    }
    return result;
}

int WSACleanup() {
    return ::WSACleanup();
}
int WSAGetLastError() {
    return ::WSAGetLastError();
}

SOCKET socket(int family, int type, int protocol) {
    return ::socket(family, type, protocol);
}

int connect(SOCKET s, const sockaddr* address, int address_size) {
    ::sockaddr_in peer{};
    std::memcpy(&peer, address, sizeof(peer));
    return ::connect(s, reinterpret_cast<const ::sockaddr*>(&peer), address_size);
}

int send(SOCKET s, const char* buffer, int size, int flags) {
    return ::send(s, buffer, size, flags);
}
int recv(SOCKET s, char* buffer, int size, int flags) {
    return ::recv(s, buffer, size, flags);
}

int setsockopt(SOCKET s, int level, int option, const char* value, int value_size) {
    return ::setsockopt(s, level, option, value, value_size);
}

int closesocket(SOCKET s) {
    return ::closesocket(s);
}

hostent* gethostbyname(const char* name) {
    // WinSock's record has the same fields in the same order.
    static hostent entry;
    ::hostent* found = ::gethostbyname(name);
    if (found == nullptr)
        return nullptr;
    entry.h_name = found->h_name;
    entry.h_aliases = found->h_aliases;
    entry.h_addrtype = found->h_addrtype;
    entry.h_length = found->h_length;
    entry.h_addr_list = found->h_addr_list;
    return &entry;
}

u_long inet_addr(const char* text) {
    return ::inet_addr(text);
}
u_short htons(u_short value) {
    return ::htons(value);
}

} // namespace ce
