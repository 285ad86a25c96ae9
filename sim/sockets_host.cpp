#include "sim/sockets_host.h"

#include "platform/wince_sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

int winsockError(int error) {
    switch (error) {
    case ECONNREFUSED:
        return ce::WSAECONNREFUSED;
    case ETIMEDOUT:
        return ce::WSAETIMEDOUT;
    case EAGAIN:
        // A receive or send time-out: WinSock reports it as a time-out.
        return ce::WSAETIMEDOUT;
    case ECONNRESET:
    case EPIPE:
        return ce::WSAECONNRESET;
    case ECONNABORTED:
        return ce::WSAECONNABORTED;
    case ENETUNREACH:
        return ce::WSAENETUNREACH;
    case EHOSTUNREACH:
        return ce::WSAEHOSTUNREACH;
    case EADDRNOTAVAIL:
        return ce::WSAEADDRNOTAVAIL;
    case EISCONN:
        return ce::WSAEISCONN;
    case ENOTCONN:
        return ce::WSAENOTCONN;
    case EMFILE:
    case ENFILE:
        return ce::WSAEMFILE;
    case ENOBUFS:
    case ENOMEM:
        return ce::WSAENOBUFS;
    case EBADF:
        return ce::WSAENOTSOCK;
    case EINTR:
        return ce::WSAEINTR;
    default:
        return ce::WSAEINVAL;
    }
}

} // namespace

namespace sim::host {

int openTcpSocket(int* error) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        *error = winsockError(errno);
    return fd;
}

bool connectTo(int socket, uint32_t address, uint16_t port, int* error) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(address);
    int result;
    do {
        result = ::connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer));
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        *error = winsockError(errno);
        return false;
    }
    return true;
}

long sendBytes(int socket, const void* bytes, size_t size, int* error) {
    ssize_t sent;
    do {
        sent = ::send(socket, bytes, size, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0)
        *error = winsockError(errno);
    return static_cast<long>(sent);
}

long receiveBytes(int socket, void* buffer, size_t size, int* error) {
    ssize_t received;
    do {
        received = ::recv(socket, buffer, size, 0);
    } while (received < 0 && errno == EINTR);
    if (received < 0)
        *error = winsockError(errno);
    return static_cast<long>(received);
}

bool setTimeout(int socket, bool receiving, uint32_t milliseconds, int* error) {
    timeval limit{};
    limit.tv_sec = milliseconds / 1000;
    limit.tv_usec = static_cast<suseconds_t>(milliseconds % 1000) * 1000;
    if (::setsockopt(socket, SOL_SOCKET, receiving ? SO_RCVTIMEO : SO_SNDTIMEO, &limit, sizeof(limit)) < 0) {
        *error = winsockError(errno);
        return false;
    }
    return true;
}

void closeSocket(int socket) {
    ::close(socket);
}

bool parseDottedQuad(const char* text, uint32_t* address) {
    in_addr parsed{};
    if (::inet_aton(text, &parsed) == 0)
        return false;
    *address = ntohl(parsed.s_addr);
    return true;
}

} // namespace sim::host
