// Files on a web server, over HTTP/1.0 with one connection per request. The
// first read of a file downloads its whole body into memory (a heap of its
// own); every read is then served from there, and so is every later open of
// the same file unless the body had to be given up for memory.
#pragma once

#include "file/file_manager.h"
#include "file/http_body.h"
#include "file/http_body_cache.h"
#include "file/http_connection.h"
#include "platform/wince.h"

class HttpResponse;

class HttpFileManager : public FileManager {
  public:
    static constexpr uint32_t kRequestSize = 260;
    static constexpr uint32_t kHostSize = 260;
    static constexpr uint32_t kReceiveChunk = 255;

    using StartupProc = int (*)(ce::WORD version, ce::WSADATA* data);
    using CleanupProc = int (*)();

    explicit HttpFileManager(Console** console);
    ~HttpFileManager() override;

    HttpFileManager(const HttpFileManager&) = delete;
    HttpFileManager& operator=(const HttpFileManager&) = delete;

    // http://host/, http://host:port/, or either with a path after the host
    // that every request target starts with (the scheme in any letter case):
    // resolves the host and tests a connection.
    bool setRoot(const char16_t* root) override;
    // Asks the server about the file with one HEAD request. The request
    // target is the root's path and the name, joined by one "/", with what
    // may not stand in a URL path percent-encoded. False when the request
    // would not fit or the server does not offer the file. When the server
    // refuses HEAD (405, 501) or answers it without a length, the download
    // tells the length.
    bool open(const char16_t* name, uint32_t mode) override;
    // The length of the open file: the answer to the HEAD of `open`, or of
    // the download, which runs here when the HEAD did not tell. kReadFailed
    // once a download has failed; 0 when no file is open.
    uint32_t size() override;
    // A body read whole is kept for the next open of the same file, which
    // then asks the server nothing (HttpBodyCache).
    bool close() override;
    // kReadFailed once the file could not be had (until the next open).
    uint32_t read(void* buffer, uint32_t size, uint32_t offset = kCurrentPosition) override;
    uint32_t write(const void* buffer, uint32_t size, uint32_t offset = kCurrentPosition) override;
    bool seek(uint32_t offset) override;
    // Drops the bodies kept of closed files.
    bool releaseMemory() override { return kept_bodies_.drop(); }

    // The limits start as `http_transfer_limits` were when the object was made.
    void setLimits(const HttpTransferLimits& limits) { limits_ = limits; }
    // Whether the platform's own WSAStartup/WSACleanup are used (else the replacements).
    bool usesPlatformStartup() const { return startup_ == &ce::WSAStartup; }

  private:
    struct Received {
        uint32_t count = 0;
        HttpConnection::Outcome outcome = HttpConnection::Outcome::Data;
    };
    // What the HEAD of `open` told about the file.
    enum class HeadAnswer { Refused, Length, NoLength };

    bool parseRoot(const char16_t* root, uint32_t* port);
    // The path of the root URL as the prefix of request targets: "/" when there is none.
    bool setPathPrefix(const char16_t* path);
    // `file_name` = the request target for `name`; false (with a message) when too long.
    bool setRequestTarget(const char16_t* name);
    bool resolveAndConnect(ce::SOCKET probe);
    bool tryAddress(ce::SOCKET probe, const void* address_bytes);
    // The request for the current file with this method into `request_`.
    void buildRequest(const char* method);
    uint32_t requestLength(const char* method) const;
    // Connects and sends the request; false (with a message) when it cannot.
    bool sendRequest(HttpConnection& connection, const char* method);
    // Receives the response header; false (with a message) when it is not
    // complete and well formed. The body's first bytes are left in `chunk`.
    bool receiveHeader(HttpConnection& connection, HttpResponse& response, uint8_t* chunk, Received* rest);
    // False (with a message) for an answer that brings no file: a status
    // other than 2xx, or a body in a transfer coding.
    bool offersFile(const HttpResponse& response);
    // A request's answer so far: its header, and the body's first bytes in
    // `chunk` (all on the process heap).
    struct Answer;
    // Sends the request `text` on `connection` and receives the answer's
    // header; false (with a message) when either fails.
    bool ask(HttpConnection& connection, const char* text, Answer& answer);
    HeadAnswer requestHead();
    // The open file's body, downloaded once; false while it cannot be had.
    bool fetch();
    bool download();
    // The body after the header's last byte: the `rest` bytes already in
    // `chunk`, then what the connection brings until the server closes
    // (HTTP/1.0). It must be as long as the answer says, or the HEAD said:
    // a body longer or shorter than either is not the file that was sized.
    bool receiveBody(HttpConnection& connection, const HttpResponse& response, const uint8_t* chunk,
                     Received rest);
    // Receives into the body until it holds `length` bytes or the connection ends.
    bool receiveInto(HttpConnection& connection, uint32_t length, Received* received);
    // Whether a body of no told length ended at the server's close.
    bool endsAtClose(const HttpConnection& connection, const Received& received);
    // Whether the body is `length` bytes (its Content-Length when `declared`,
    // else the HEAD's), and nothing comes after them but the close.
    bool endsAtLength(HttpConnection& connection, Received* received, uint32_t length, bool declared);
    void reportBeyond(uint32_t length, bool declared);
    // A console line with the bytes received so far, every `progress_ms`.
    void showProgress(uint32_t length, bool known);
    void reportReceiveEnd(const HttpConnection& connection, const Received& received, uint32_t expected);
    void clearFile();
    void printTokens(const HttpResponse& response);

    StartupProc startup_;
    CleanupProc cleanup_;
    ce::WSADATA wsa_data_{};
    ce::sockaddr_in server_address_{};
    char host_name_[kHostSize]{};
    // Starts and ends with "/", percent-encoded.
    char path_prefix_[kHostSize] = "/";
    char request_[kRequestSize]{};
    const char* request_texts_[4];
    HttpBody body_;
    HttpBodyCache kept_bodies_;
    // A file is open: the server offered it.
    bool opened_ = false;
    bool cached_ = false;
    // Whether `content_length_` is known before the download.
    bool length_known_ = false;
    uint32_t content_length_ = 0;
    uint32_t position_ = 0;
    // Successful start-ups, each owed one clean-up.
    int startups_ = 0;
    // The current file could not be had: reads fail until the next open.
    bool failed_ = false;
    HttpTransferLimits limits_;
    // When the last progress line was shown (or the body began).
    ce::DWORD progress_shown_ = 0;
};
