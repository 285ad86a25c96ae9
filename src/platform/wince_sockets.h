// WinSock 1.1 types, constants and records of the Windows CE socket calls.
// Records have the device's field order; addresses and ports inside them are
// in network byte order, as on the wire.
#pragma once

#include "platform/wince_types.h"

#include <cstdint>

namespace ce {

using SOCKET = uintptr_t;
using u_short = uint16_t;
using u_long = uint32_t;

inline constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
constexpr int SOCKET_ERROR = -1;

constexpr int AF_INET = 2;
constexpr int SOCK_STREAM = 1;
constexpr int IPPROTO_TCP = 6;
constexpr u_long INADDR_NONE = 0xFFFFFFFFu;

// Socket options (setsockopt level SOL_SOCKET); the time-outs are a DWORD of milliseconds.
constexpr int SOL_SOCKET = 0xFFFF;
constexpr int SO_SNDTIMEO = 0x1005;
constexpr int SO_RCVTIMEO = 0x1006;

// Error codes reported by WSAGetLastError (the same as GetLastError on the device).
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;

constexpr int WSADESCRIPTION_LEN = 256;
constexpr int WSASYS_STATUS_LEN = 128;

// The version word: low byte major, high byte minor (0x0101 is 1.1).
struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};

struct in_addr {
    u_long s_addr;
};

struct sockaddr {
    u_short sa_family;
    char sa_data[14];
};

struct sockaddr_in {
    short sin_family;
    u_short sin_port;
    in_addr sin_addr;
    char sin_zero[8];
};
static_assert(sizeof(sockaddr) == 16 && sizeof(sockaddr_in) == 16, "WinSock address records are 16 bytes");

// Owned by the socket layer; valid until the next gethostbyname.
struct hostent {
    char* h_name;
    char** h_aliases;
    short h_addrtype;
    short h_length;
    char** h_addr_list; // null-terminated; each entry h_length bytes in network order
};

} // namespace ce
