#include "file/http_connection.h"

HttpTransferLimits http_transfer_limits;

HttpTransferLimits HttpTransferLimits::scaledTo(uint32_t window_ms) {
    HttpTransferLimits limits;
    limits.progress_ms = static_cast<uint32_t>(uint64_t{limits.progress_ms} * window_ms / limits.window_ms);
    limits.silence_ms = window_ms;
    limits.window_ms = window_ms;
    return limits;
}

HttpConnection::HttpConnection(const ce::sockaddr_in* address, const HttpTransferLimits& limits)
    : address_(address), limits_(limits) {
    socket_ = ce::socket(ce::AF_INET, ce::SOCK_STREAM, 0);
    if (socket_ == ce::INVALID_SOCKET) {
        error_ = ce::WSAGetLastError();
        return;
    }
    // Where the platform has no such option the receive simply waits.
    ce::DWORD limit = limits_.silence_ms;
    ce::setsockopt(socket_, ce::SOL_SOCKET, ce::SO_RCVTIMEO, reinterpret_cast<const char*>(&limit),
                   sizeof(limit));
    ce::setsockopt(socket_, ce::SOL_SOCKET, ce::SO_SNDTIMEO, reinterpret_cast<const char*>(&limit),
                   sizeof(limit));
    connected_ =
        ce::connect(socket_, reinterpret_cast<const ce::sockaddr*>(address_), sizeof(ce::sockaddr_in)) == 0;
    if (!connected_)
        error_ = ce::WSAGetLastError();
    window_start_ = ce::GetTickCount();
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
    received_ += static_cast<uint32_t>(received);
    if (!fastEnough())
        return Outcome::TooSlow;
    *count = static_cast<uint32_t>(received);
    return Outcome::Data;
}

bool HttpConnection::fastEnough() {
    ce::DWORD now = ce::GetTickCount();
    uint32_t elapsed = now - window_start_;
    if (elapsed < limits_.window_ms)
        return true;
    window_bytes_ = received_ - window_start_bytes_;
    window_ms_ = elapsed;
    if (uint64_t{window_bytes_} * 1000 < uint64_t{limits_.floor_bytes_per_second} * elapsed)
        return false;
    window_start_ = now;
    window_start_bytes_ = received_;
    return true;
}
