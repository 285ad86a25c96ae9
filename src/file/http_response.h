// The header of an HTTP/1.0 response, gathered from the bytes as they arrive
// in chunks of any size: the status line, the Content-Length field and where
// the header ends. A field split between two chunks is still found, since the
// header is parsed only once it is whole.
#pragma once

#include <cstdint>

class HttpResponse {
  public:
    // Longest header accepted, the empty line included.
    static constexpr uint32_t kHeaderCapacity = 8192;
    // Longest status line kept for messages.
    static constexpr uint32_t kStatusLineSize = 80;
    // Longest Transfer-Encoding value kept for messages.
    static constexpr uint32_t kEncodingSize = 40;

    enum class State { Incomplete, Complete, TooLarge, Malformed };

    // Takes the next received bytes; returns how many of them belong to the
    // header. Once the header is complete the rest are the body.
    uint32_t feed(const uint8_t* bytes, uint32_t size);

    State state() const { return state_; }
    bool complete() const { return state_ == State::Complete; }
    // The status code; meaningful when complete.
    int status() const { return status_; }
    bool success() const { return complete() && status_ >= 200 && status_ <= 299; }
    // The status line without its line end, control characters replaced, cut to kStatusLineSize - 1.
    const char* statusLine() const { return status_line_; }
    bool hasContentLength() const { return has_content_length_; }
    uint32_t contentLength() const { return content_length_; }
    // Whether the body is sent in a transfer coding (chunked, ...), which an
    // HTTP/1.0 client cannot read; its value as in statusLine().
    bool transferCoded() const { return transfer_encoding_[0] != '\0'; }
    const char* transferEncoding() const { return transfer_encoding_; }
    // Bytes of the header, the empty line included.
    uint32_t headerLength() const { return length_; }
    // The header text (NUL-terminated), for diagnostics.
    const char* text() const { return header_; }
    // Why a Malformed header was refused.
    const char* problem() const { return problem_; }

  private:
    void parse();
    bool parseStatusLine(const char* line, uint32_t size);
    bool parseField(const char* line, uint32_t size);
    bool parseContentLength(const char* value, uint32_t size);
    void parseTransferEncoding(const char* value, uint32_t size);
    void refuse(const char* problem);

    State state_ = State::Incomplete;
    char header_[kHeaderCapacity + 1]{};
    uint32_t length_ = 0;
    int status_ = 0;
    char status_line_[kStatusLineSize]{};
    char transfer_encoding_[kEncodingSize]{};
    bool has_content_length_ = false;
    uint32_t content_length_ = 0;
    const char* problem_ = "";
};

// Whether the `size` bytes at `text` are `word` (written in lower case),
// letters compared without regard to case.
bool equalsIgnoreCase(const char* text, uint32_t size, const char* word);
