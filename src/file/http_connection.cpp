#include "file/http_connection.h"

HttpConnection::HttpConnection(const ce::sockaddr_in* address, uint32_t receive_timeout_ms)
    : address_(address) {
    socket_ = ce::socket(ce::AF_INET, ce::SOCK_STREAM, 0);
    if (socket_ == ce::INVALID_SOCKET) {
        error_ = ce::WSAGetLastError();
        return;
    }
    // Where the platform has no such option the receive simply waits.
    ce::DWORD limit = receive_timeout_ms;
    ce::setsockopt(socket_, ce::SOL_SOCKET, ce::SO_RCVTIMEO, reinterpret_cast<const char*>(&limit),
                   sizeof(limit));
    ce::setsockopt(socket_, ce::SOL_SOCKET, ce::SO_SNDTIMEO, reinterpret_cast<const char*>(&limit),
                   sizeof(limit));
    connected_ =
        ce::connect(socket_, reinterpret_cast<const ce::sockaddr*>(address_), sizeof(ce::sockaddr_in)) == 0;
    if (!connected_)
        error_ = ce::WSAGetLastError();
}

HttpConnection::~HttpConnection() {
    if (socket_ != ce::INVALID_SOCKET)
        ce::closesocket(socket_);
}

bool HttpConnection::sendAll(const char* bytes, uint32_t size) {
    uint32_t sent = 0;
    while (sent < size) {
        int count = ce::send(socket_, bytes + sent, static_cast<int>(size - sent), 0);
        if (count <= 0) {
            error_ = count < 0 ? ce::WSAGetLastError() : ce::WSAECONNRESET;
            return false;
        }
        sent += static_cast<uint32_t>(count);
    }
    return true;
}

HttpConnection::Outcome HttpConnection::receive(uint8_t* buffer, uint32_t size, uint32_t* count) {
    *count = 0;
    int received = ce::recv(socket_, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
    if (received == 0)
        return Outcome::Closed;
    if (received < 0 || static_cast<uint32_t>(received) > size) {
        error_ = ce::WSAGetLastError();
        return error_ == ce::WSAETIMEDOUT ? Outcome::TimedOut : Outcome::Failed;
    }
    *count = static_cast<uint32_t>(received);
    return Outcome::Data;
}
