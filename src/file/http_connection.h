// One TCP connection to the HTTP server, for one request: connected on
// construction, closed on destruction. Receives give up after a time without
// data, and a transfer slower than a floor ends, so neither a server that
// stops answering nor one that trickles can hold the boot.
#pragma once

#include "platform/wince.h"

#include <cstdint>

// How long an HTTP transfer may take: nothing for `silence_ms`, or less than
// `floor_bytes_per_second` over any `window_ms` (as curl's --speed-limit with
// --speed-time), ends it. A download shows its progress every `progress_ms`.
struct HttpTransferLimits {
    uint32_t silence_ms = 30000;
    uint32_t floor_bytes_per_second = 512;
    uint32_t window_ms = 30000;
    uint32_t progress_ms = 2000;

    // The same limits on another time scale: a window (and silence) of
    // `window_ms` instead of 30 s, progress as often in proportion.
    static HttpTransferLimits scaledTo(uint32_t window_ms);
};

// The limits each new HttpFileManager takes. Tools that try servers out
// (zandrel-sim's --http-window) lower them; the system never changes them.
extern HttpTransferLimits http_transfer_limits;

class HttpConnection {
  public:
    enum class Outcome { Data, Closed, TimedOut, Failed, TooSlow };

    HttpConnection(const ce::sockaddr_in* address, const HttpTransferLimits& limits);
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
    // At most `size` bytes into `buffer`; *count is 0 unless the outcome is
    // Data. TooSlow once the bytes of a whole window stay below the floor.
    Outcome receive(uint8_t* buffer, uint32_t size, uint32_t* count);

    // The bytes received in the last window measured, and its length (what
    // a TooSlow outcome found).
    uint32_t windowBytes() const { return window_bytes_; }
    uint32_t windowMs() const { return window_ms_; }

  private:
    // False when the window that has just passed brought less than the floor.
    bool fastEnough();

    const ce::sockaddr_in* address_;
    const HttpTransferLimits limits_;
    ce::SOCKET socket_ = ce::INVALID_SOCKET;
    bool connected_ = false;
    int error_ = 0;
    uint32_t received_ = 0;
    // The window being measured: when it started and the bytes received before it.
    ce::DWORD window_start_ = 0;
    uint32_t window_start_bytes_ = 0;
    uint32_t window_bytes_ = 0;
    uint32_t window_ms_ = 0;
};
