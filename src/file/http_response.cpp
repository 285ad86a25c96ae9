#include "file/http_response.h"

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Printable text of at most `capacity` - 1 bytes, control characters replaced.
void keepText(char* kept, uint32_t capacity, const char* text, uint32_t size) {
    uint32_t count = size < capacity - 1 ? size : capacity - 1;
    for (uint32_t i = 0; i < count; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        kept[i] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    kept[count] = '\0';
}

} // namespace

bool equalsIgnoreCase(const char* text, uint32_t size, const char* word) {
    uint32_t i = 0;
    for (; i < size && word[i] != '\0'; ++i) {
        if (lower(text[i]) != word[i])
            return false;
    }
    return i == size && word[i] == '\0';
}

uint32_t HttpResponse::feed(const uint8_t* bytes, uint32_t size) {
    uint32_t taken = 0;
    while (state_ == State::Incomplete && taken < size) {
        if (length_ == kHeaderCapacity) {
            state_ = State::TooLarge;
            break;
        }
        char c = static_cast<char>(bytes[taken++]);
        header_[length_++] = c;
        if (c != '\n')
            continue;
        // A line ended: an empty one (LF alone or CR LF) closes the header.
        uint32_t line_end = length_ - 1;
        bool empty = line_end == 0 || header_[line_end - 1] == '\n' ||
                     (header_[line_end - 1] == '\r' && (line_end == 1 || header_[line_end - 2] == '\n'));
        if (empty)
            parse();
    }
    header_[length_] = '\0';
    return taken;
}

void HttpResponse::parse() {
    state_ = State::Complete;
    uint32_t start = 0;
    bool first = true;
    while (start < length_ && state_ == State::Complete) {
        uint32_t end = start;
        while (end < length_ && header_[end] != '\n')
            ++end;
        uint32_t size = end - start;
        if (size > 0 && header_[start + size - 1] == '\r')
            --size;
        if (first) {
            if (!parseStatusLine(header_ + start, size))
                return;
            first = false;
        } else if (size > 0 && !parseField(header_ + start, size)) {
            return;
        }
        start = end + 1;
    }
}

bool HttpResponse::parseStatusLine(const char* line, uint32_t size) {
    keepText(status_line_, kStatusLineSize, line, size);
    // "HTTP/" version, blanks, three digits, then a blank or the end.
    const char prefix[] = "HTTP/";
    uint32_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= size || line[i] != prefix[i]) {
            refuse("no status line");
            return false;
        }
    }
    while (i < size && !isBlank(line[i]))
        ++i;
    while (i < size && isBlank(line[i]))
        ++i;
    if (i + 3 > size || !isDigit(line[i]) || !isDigit(line[i + 1]) || !isDigit(line[i + 2]) ||
        (i + 3 < size && !isBlank(line[i + 3]))) {
        refuse("no status code");
        return false;
    }
    status_ = (line[i] - '0') * 100 + (line[i + 1] - '0') * 10 + (line[i + 2] - '0');
    return true;
}

bool HttpResponse::parseField(const char* line, uint32_t size) {
    uint32_t colon = 0;
    while (colon < size && line[colon] != ':')
        ++colon;
    // Lines that are no field, folded continuations among them, carry nothing needed here.
    if (colon == size)
        return true;
    uint32_t start = colon + 1;
    uint32_t end = size;
    while (start < end && isBlank(line[start]))
        ++start;
    while (end > start && isBlank(line[end - 1]))
        --end;
    if (equalsIgnoreCase(line, colon, "content-length"))
        return parseContentLength(line + start, end - start);
    if (equalsIgnoreCase(line, colon, "transfer-encoding"))
        parseTransferEncoding(line + start, end - start);
    return true;
}

bool HttpResponse::parseContentLength(const char* value, uint32_t size) {
    if (size == 0) {
        refuse("empty Content-Length");
        return false;
    }
    uint64_t number = 0;
    for (uint32_t i = 0; i < size; ++i) {
        if (!isDigit(value[i])) {
            refuse("Content-Length is not a number");
            return false;
        }
        number = number * 10 + static_cast<uint64_t>(value[i] - '0');
        if (number > 0xFFFFFFFFu) {
            refuse("Content-Length beyond 4 GB");
            return false;
        }
    }
    if (has_content_length_ && content_length_ != number) {
        refuse("two different Content-Length fields");
        return false;
    }
    has_content_length_ = true;
    content_length_ = static_cast<uint32_t>(number);
    return true;
}

void HttpResponse::parseTransferEncoding(const char* value, uint32_t size) {
    // "identity" is the body as it is; an empty value names no coding.
    if (size == 0 || equalsIgnoreCase(value, size, "identity"))
        return;
    keepText(transfer_encoding_, kEncodingSize, value, size);
}

void HttpResponse::refuse(const char* problem) {
    state_ = State::Malformed;
    problem_ = problem;
}
