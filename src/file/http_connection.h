// One TCP connection to the HTTP server, for one request: connected on
// construction, closed on destruction. Receives give up after a time-out
// without progress, so a server that stops answering cannot hold the boot.
#pragma once

#include "platform/wince.h"

#include <cstdint>

class HttpConnection {
  public:
    enum class Outcome { Data, Closed, TimedOut, Failed };

    HttpConnection(const ce::sockaddr_in* address, uint32_t receive_timeout_ms);
    virtual ~HttpConnection();

    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    // Whether the socket could be made, and whether it reached the server.
    bool valid() const { return socket_ != ce::INVALID_SOCKET; }
    bool connected() const { return connected_; }
    // The platform's error code of the last failure.
    int error() const { return error_; }

    // Sends every byte, in as many calls as the platform needs.
    bool sendAll(const char* bytes, uint32_t size);
    // At most `size` bytes into `buffer`; *count is 0 unless the outcome is Data.
    Outcome receive(uint8_t* buffer, uint32_t size, uint32_t* count);

  private:
    const ce::sockaddr_in* address_;
    ce::SOCKET socket_ = ce::INVALID_SOCKET;
    bool connected_ = false;
    int error_ = 0;
};
