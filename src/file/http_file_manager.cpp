#include "file/http_file_manager.h"

#include "arch/architecture.h"
#include "console/console.h"
#include "file/http_response.h"
#include "file/http_url.h"
#include "platform/local_memory.h"
#include "platform/wide_string.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

namespace {

constexpr ce::WORD kWinSock11 = 0x0101;
constexpr uint16_t kDefaultPort = 80;
// One receive call takes at most this much, whatever is still missing.
constexpr uint32_t kLargestReceive = 1u << 20;

enum RequestText { kGet, kHead, kProtocolAndHost, kUserAgent };

// Windows CE before 3.11 starts its sockets without being asked.
int startupReplacement(ce::WORD version, ce::WSADATA* data) {
    data->wVersion = version;
    data->wHighVersion = version;
    data->szDescription[0] = '\0';
    data->szSystemStatus[0] = '\0';
    data->iMaxSockets = 10;
    data->iMaxUdpDg = 0;
    data->lpVendorInfo = nullptr;
    return 0;
}

int cleanupReplacement() {
    return 0;
}

bool isSeparator(char16_t c) {
    return c == u':' || c == u'/';
}

// The next run of characters between ':' and '/' separators, terminated in place.
char16_t* nextToken(char16_t** cursor) {
    char16_t* p = *cursor;
    while (*p != 0 && isSeparator(*p))
        ++p;
    if (*p == 0)
        return nullptr;
    char16_t* token = p;
    while (*p != 0 && !isSeparator(*p))
        ++p;
    if (*p != 0)
        *p++ = 0;
    *cursor = p;
    return token;
}

bool isTokenDelimiter(char c) {
    return c == ' ' || c == ':' || c == '\r' || c == '\n';
}

// A response header being gathered lives on the process heap with the other receive buffers.
using ResponseBlock = std::unique_ptr<HttpResponse, LocalFreeDeleter>;
static_assert(std::is_trivially_destructible_v<HttpResponse>);

ResponseBlock newResponse() {
    void* block = ce::LocalAlloc(ce::LMEM_FIXED, sizeof(HttpResponse));
    return ResponseBlock(block != nullptr ? new (block) HttpResponse : nullptr);
}

// 405 Method Not Allowed, 501 Not Implemented: the server answers GET only.
bool refusesHead(int status) {
    return status == 405 || status == 501;
}

} // namespace

HttpFileManager::HttpFileManager(Console** console)
    : FileManager(console), request_texts_{
                                "GET ", "HEAD ", " HTTP/1.0\r\nHOST: ",
                                "\r\nUser-Agent: ZANDREL/ZERO(1st impact; Windows CE; ARM)\r\n\r\n"} {
    debug_level = 1;
    limits_ = http_transfer_limits;
    clearFile();
    print(u"FileManager: HTTP\n");
    // The Architecture fills the version record only after the file manager is
    // made: until then the platform is asked here.
    ce::OSVERSIONINFOW version = os_version;
    if (version.dwMajorVersion == 0) {
        version = ce::OSVERSIONINFOW{};
        version.dwOSVersionInfoSize = sizeof(version);
        if (!ce::GetVersionExW(&version))
            version = ce::OSVERSIONINFOW{};
    }
    bool platform =
        version.dwMajorVersion > 3 || (version.dwMajorVersion == 3 && version.dwMinorVersion >= 11);
    startup_ = platform ? &ce::WSAStartup : &startupReplacement;
    cleanup_ = platform ? &ce::WSACleanup : &cleanupReplacement;
}

HttpFileManager::~HttpFileManager() {
    clearFile();
    for (; startups_ > 0; --startups_)
        cleanup_();
}

bool HttpFileManager::setRoot(const char16_t* root) {
    uint32_t port = kDefaultPort;
    if (!parseRoot(root, &port))
        return false;
    if (startups_ == 0) {
        if (startup_(kWinSock11, &wsa_data_) != 0) {
            print(u"WinSock initialize failed.\n");
            return false;
        }
        ++startups_;
    }
    if (wsa_data_.wVersion != kWinSock11) {
        print(u"can't use WinSock DLL.\n");
        return false;
    }
    ce::SOCKET probe = ce::socket(ce::AF_INET, ce::SOCK_STREAM, 0);
    if (probe == ce::INVALID_SOCKET) {
        print(u"can't open socket. cause=%d\n", ce::GetLastError());
        return false;
    }
    server_address_ = ce::sockaddr_in{};
    server_address_.sin_family = ce::AF_INET;
    server_address_.sin_port = ce::htons(static_cast<ce::u_short>(port));
    bool connected = resolveAndConnect(probe);
    if (connected)
        print(u"(%S) connected.\n", host_name_);
    ce::closesocket(probe);
    return connected;
}

bool HttpFileManager::parseRoot(const char16_t* root, uint32_t* port) {
    char16_t text[kHostSize];
    wideCopy(text, kHostSize, root);
    char16_t* cursor = text;
    char16_t* scheme = nextToken(&cursor);
    if (scheme == nullptr || !wideEqualsIgnoreCase(scheme, u"http")) {
        print(u"\"%s\" is not an http:// address.\n", root);
        return false;
    }
    while (*cursor != 0 && isSeparator(*cursor))
        ++cursor;
    char16_t* host = cursor;
    while (*cursor != 0 && !isSeparator(*cursor))
        ++cursor;
    if (cursor == host) {
        print(u"no server in \"%s\".\n", root);
        return false;
    }
    char16_t after_host = *cursor;
    *cursor = 0;
    if (!toAscii(host_name_, host, kHostSize))
        return false;
    *cursor = after_host;
    if (after_host == u':') {
        char16_t* port_text = ++cursor;
        while (*cursor != 0 && *cursor != u'/')
            ++cursor;
        // An empty port leaves 80.
        if (cursor != port_text) {
            uint16_t number = parsePort(port_text, static_cast<size_t>(cursor - port_text));
            if (number == 0) {
                *cursor = 0;
                print(u"port \"%s\" is not a number from 1 to 65535.\n", port_text);
                return false;
            }
            *port = number;
        }
    }
    return setPathPrefix(cursor);
}

bool HttpFileManager::setPathPrefix(const char16_t* path) {
    while (*path == u'/')
        ++path;
    char typed[kHostSize];
    if (!toAscii(typed, path, kHostSize))
        return false;
    // Room for the leading and the trailing "/".
    char prefix[kHostSize] = "/";
    size_t length = percentEncodePath(typed, prefix + 1, kHostSize - 2);
    if (length >= kHostSize - 2) {
        print(u"path of \"%s\" too long.\n", path);
        return false;
    }
    if (length > 0 && prefix[length] != '/') {
        prefix[length + 1] = '/';
        prefix[length + 2] = '\0';
    }
    std::memcpy(path_prefix_, prefix, sizeof(path_prefix_));
    return true;
}

bool HttpFileManager::resolveAndConnect(ce::SOCKET probe) {
    ce::hostent* entry = ce::gethostbyname(host_name_);
    if (entry != nullptr && entry->h_length == 4 && entry->h_addr_list != nullptr) {
        for (char** address = entry->h_addr_list; *address != nullptr; ++address) {
            if (tryAddress(probe, *address))
                return true;
        }
        print(u"can't connect server.\n");
        return false;
    }
    ce::u_long literal = ce::inet_addr(host_name_);
    if (literal == ce::INADDR_NONE) {
        print(u"can't get host by name.\n");
        return false;
    }
    if (tryAddress(probe, &literal))
        return true;
    print(u"can't connect server.\n");
    return false;
}

bool HttpFileManager::tryAddress(ce::SOCKET probe, const void* address_bytes) {
    uint8_t bytes[4];
    std::memcpy(bytes, address_bytes, 4);
    std::memcpy(&server_address_.sin_addr, bytes, 4);
    print(u"%d.%d.%d.%d ", bytes[0], bytes[1], bytes[2], bytes[3]);
    return ce::connect(probe, reinterpret_cast<const ce::sockaddr*>(&server_address_),
                       sizeof(server_address_)) == 0;
}

bool HttpFileManager::open(const char16_t* name, uint32_t) {
    clearFile();
    if (!setRequestTarget(name))
        return false;
    if (kept_bodies_.take(file_name, body_)) {
        opened_ = cached_ = length_known_ = true;
        content_length_ = body_.size();
        print(u"open http://%S%S - contents %u byte, kept since it was fetched\n", host_name_, file_name,
              content_length_);
        return true;
    }
    if (kept_bodies_.dropped(file_name))
        print(u"http://%S%S was given up for memory: it is fetched again.\n", host_name_, file_name);
    HeadAnswer answer = requestHead();
    if (answer == HeadAnswer::Refused)
        return false;
    length_known_ = answer == HeadAnswer::Length;
    opened_ = true;
    return true;
}

bool HttpFileManager::setRequestTarget(const char16_t* name) {
    while (*name == u'/')
        ++name;
    char typed[kNameSize];
    if (!toAscii(typed, name, kNameSize))
        return false;
    char relative[kRequestSize];
    size_t encoded = percentEncodePath(typed, relative, kRequestSize);
    // `open` has cleared the name: the HEAD request's length counts it as empty.
    uint64_t needed = std::strlen(path_prefix_) + encoded + requestLength(request_texts_[kHead]);
    if (needed > kRequestSize) {
        print(u"request too long. %u > %u\n", static_cast<uint32_t>(needed), kRequestSize);
        return false;
    }
    std::strcpy(file_name, path_prefix_);
    std::strcat(file_name, relative);
    return true;
}

uint32_t HttpFileManager::size() {
    if (!opened_)
        return 0;
    if (failed_ || (!length_known_ && !fetch()))
        return kReadFailed;
    return content_length_;
}

bool HttpFileManager::close() {
    if (cached_ && !failed_)
        kept_bodies_.keep(file_name, body_);
    clearFile();
    return true;
}

uint32_t HttpFileManager::read(void* buffer, uint32_t size, uint32_t offset) {
    if (offset == kCurrentPosition) {
        offset = position_;
        position_ += size;
    }
    if (!fetch())
        return kReadFailed;
    return body_.copy(buffer, size, offset);
}

bool HttpFileManager::fetch() {
    if (cached_)
        return true;
    if (!opened_ || failed_)
        return false;
    if (!download()) {
        body_.clear();
        failed_ = true;
        return false;
    }
    cached_ = true;
    return true;
}

uint32_t HttpFileManager::write(const void*, uint32_t, uint32_t) {
    return 0;
}

bool HttpFileManager::seek(uint32_t offset) {
    position_ = offset;
    return true;
}

uint32_t HttpFileManager::requestLength(const char* method) const {
    return static_cast<uint32_t>(std::strlen(method) + std::strlen(file_name) +
                                 std::strlen(request_texts_[kProtocolAndHost]) + std::strlen(host_name_) +
                                 std::strlen(request_texts_[kUserAgent]) + 1);
}

void HttpFileManager::buildRequest(const char* method) {
    const char* parts[] = {method, file_name, request_texts_[kProtocolAndHost], host_name_,
                           request_texts_[kUserAgent]};
    size_t length = 0;
    for (const char* part : parts) {
        size_t size = std::strlen(part);
        std::memcpy(request_ + length, part, size);
        length += size;
    }
    request_[length] = '\0';
}

bool HttpFileManager::sendRequest(HttpConnection& connection, const char* method) {
    if (!connection.connected()) {
        print(u"can't connect server.\n");
        return false;
    }
    uint32_t needed = requestLength(method);
    if (needed > kRequestSize) {
        print(u"request too long. %u > %u\n", needed, kRequestSize);
        return false;
    }
    buildRequest(method);
    if (!connection.sendAll(request_, needed - 1)) {
        print(u"can't send request. cause=%d\n", connection.error());
        return false;
    }
    return true;
}

void HttpFileManager::reportReceiveEnd(const HttpConnection& connection, const Received& received,
                                       uint32_t expected) {
    switch (received.outcome) {
    case HttpConnection::Outcome::TimedOut:
        print(u"server stopped answering (%u ms without data).\n", limits_.silence_ms);
        break;
    case HttpConnection::Outcome::Failed:
        print(u"receive failed. cause=%d\n", ce::GetLastError());
        break;
    case HttpConnection::Outcome::TooSlow:
        print(u"http://%S%S: transfer too slow, %u byte in %u ms, less than %u byte a second.\n", host_name_,
              file_name, connection.windowBytes(), connection.windowMs(), limits_.floor_bytes_per_second);
        break;
    case HttpConnection::Outcome::Closed:
    case HttpConnection::Outcome::Data:
        print(u"contents of http://%S%S are short: %u of %u byte.\n", host_name_, file_name, received.count,
              expected);
        break;
    }
}

bool HttpFileManager::receiveHeader(HttpConnection& connection, HttpResponse& response, uint8_t* chunk,
                                    Received* rest) {
    uint32_t total = 0;
    for (;;) {
        uint32_t count = 0;
        HttpConnection::Outcome outcome = connection.receive(chunk, kReceiveChunk, &count);
        total += count;
        if (debug_level > 2)
            print(u"size %u readed %u byte(+%u)\n", kReceiveChunk, total, count);
        uint32_t used = response.feed(chunk, count);
        if (response.state() != HttpResponse::State::Incomplete) {
            std::memmove(chunk, chunk + used, count - used);
            rest->count = count - used;
            rest->outcome = outcome;
            break;
        }
        if (outcome == HttpConnection::Outcome::Closed) {
            print(u"response header of http://%S%S is incomplete (%u byte).\n", host_name_, file_name, total);
            return false;
        }
        if (outcome != HttpConnection::Outcome::Data) {
            reportReceiveEnd(connection, Received{total, outcome}, 0);
            return false;
        }
    }
    if (debug_level > 1)
        print(u"total read %u byte\n", total);
    if (response.state() == HttpResponse::State::TooLarge) {
        print(u"response header of http://%S%S is longer than %u byte.\n", host_name_, file_name,
              HttpResponse::kHeaderCapacity);
        return false;
    }
    if (response.state() == HttpResponse::State::Malformed) {
        print(u"bad response for http://%S%S: %S.\n", host_name_, file_name, response.problem());
        return false;
    }
    if (debug_level > 2)
        printTokens(response);
    return true;
}

bool HttpFileManager::offersFile(const HttpResponse& response) {
    if (!response.success()) {
        print(u"http://%S%S: the server answered \"%S\".\n", host_name_, file_name, response.statusLine());
        return false;
    }
    // An HTTP/1.0 request asks for the body as it is.
    if (response.transferCoded()) {
        print(u"http://%S%S: the server sent the contents with \"Transfer-Encoding: %S\", "
              u"which an HTTP/1.0 request does not allow.\n",
              host_name_, file_name, response.transferEncoding());
        return false;
    }
    return true;
}

struct HttpFileManager::Answer {
    LocalArray<uint8_t> chunk;
    ResponseBlock response;
    Received rest;
};

bool HttpFileManager::ask(HttpConnection& connection, const char* text, Answer& answer) {
    if (!connection.valid()) {
        print(u"can't open socket.\n");
        return false;
    }
    if (!sendRequest(connection, text))
        return false;
    answer.chunk = localArray<uint8_t>(kReceiveChunk + 1);
    answer.response = newResponse();
    if (answer.chunk == nullptr || answer.response == nullptr) {
        print(u"can't allocate receive buffer.\n");
        return false;
    }
    return receiveHeader(connection, *answer.response, answer.chunk.get(), &answer.rest);
}

HttpFileManager::HeadAnswer HttpFileManager::requestHead() {
    HttpConnection connection(&server_address_, limits_);
    Answer answer;
    if (!ask(connection, request_texts_[kHead], answer))
        return HeadAnswer::Refused;
    const HttpResponse& response = *answer.response;
    if (refusesHead(response.status())) {
        print(u"http://%S%S: HEAD refused (\"%S\"), the length comes with the contents.\n", host_name_,
              file_name, response.statusLine());
        return HeadAnswer::NoLength;
    }
    if (!offersFile(response))
        return HeadAnswer::Refused;
    if (!response.hasContentLength()) {
        print(u"open http://%S%S - header %u byte, no Content-Length\n", host_name_, file_name,
              response.headerLength());
        return HeadAnswer::NoLength;
    }
    content_length_ = response.contentLength();
    print(u"open http://%S%S - header %u byte contents %u byte\n", host_name_, file_name,
          response.headerLength(), content_length_);
    return HeadAnswer::Length;
}

bool HttpFileManager::download() {
    HttpConnection connection(&server_address_, limits_);
    Answer answer;
    if (!ask(connection, request_texts_[kGet], answer) || !offersFile(*answer.response))
        return false;
    return receiveBody(connection, *answer.response, answer.chunk.get(), answer.rest);
}

bool HttpFileManager::receiveBody(HttpConnection& connection, const HttpResponse& response,
                                  const uint8_t* chunk, Received rest) {
    body_.clear();
    bool declared = response.hasContentLength();
    if (declared && length_known_ && response.contentLength() != content_length_) {
        print(u"http://%S%S: the contents are %u byte, the HEAD said %u byte.\n", host_name_, file_name,
              response.contentLength(), content_length_);
        return false;
    }
    // The length this answer gives, else the HEAD's. Without either, the
    // body is what comes until the server closes.
    bool known = declared || length_known_;
    uint32_t length = declared        ? response.contentLength()
                      : length_known_ ? content_length_
                                      : HttpBody::kLargest;
    // Bodies kept of closed files make room when the heap has none.
    if (known && !body_.reserve(length) && !(kept_bodies_.drop() && body_.reserve(length))) {
        print(u"can't allocate %u byte for http://%S%S.\n", length, host_name_, file_name);
        return false;
    }
    if (rest.count > length) {
        reportBeyond(length, declared);
        return false;
    }
    if (!body_.append(chunk, rest.count)) {
        print(u"can't allocate memory for http://%S%S after %u byte.\n", host_name_, file_name, body_.size());
        return false;
    }
    progress_shown_ = ce::GetTickCount();
    Received received{0, rest.outcome};
    bool received_all = receiveInto(connection, length, &received);
    fetched_ += body_.size();
    if (!received_all)
        return false;
    if (debug_level > 1)
        print(u"total read %u byte\n", received.count);
    bool whole =
        known ? endsAtLength(connection, &received, length, declared) : endsAtClose(connection, received);
    if (whole)
        content_length_ = received.count;
    return whole;
}

bool HttpFileManager::endsAtClose(const HttpConnection& connection, const Received& received) {
    if (received.outcome == HttpConnection::Outcome::Data) {
        print(u"contents of http://%S%S go on beyond %u byte.\n", host_name_, file_name, received.count);
        return false;
    }
    if (received.outcome != HttpConnection::Outcome::Closed) {
        reportReceiveEnd(connection, received, 0);
        return false;
    }
    print(u"http://%S%S: contents %u byte, read until the server closed.\n", host_name_, file_name,
          received.count);
    return true;
}

bool HttpFileManager::endsAtLength(HttpConnection& connection, Received* received, uint32_t length,
                                   bool declared) {
    if (received->count < length) {
        if (declared || received->outcome != HttpConnection::Outcome::Closed)
            reportReceiveEnd(connection, *received, length);
        else
            print(u"contents of http://%S%S end at %u byte, the HEAD said %u byte.\n", host_name_, file_name,
                  received->count, length);
        return false;
    }
    // After the last byte only the close may come; the last receive may have seen it already.
    if (received->outcome == HttpConnection::Outcome::Data) {
        uint8_t more[16];
        uint32_t count = 0;
        received->outcome = connection.receive(more, sizeof more, &count);
    }
    if (received->outcome == HttpConnection::Outcome::Data) {
        reportBeyond(length, declared);
        return false;
    }
    if (received->outcome != HttpConnection::Outcome::Closed) {
        reportReceiveEnd(connection, *received, length);
        return false;
    }
    if (!length_known_)
        print(u"http://%S%S: contents %u byte.\n", host_name_, file_name, received->count);
    return true;
}

void HttpFileManager::reportBeyond(uint32_t length, bool declared) {
    print(u"contents of http://%S%S go on beyond %s of %u byte.\n", host_name_, file_name,
          declared ? u"its Content-Length" : u"the HEAD's length", length);
}

bool HttpFileManager::receiveInto(HttpConnection& connection, uint32_t length, Received* received) {
    bool known = length != HttpBody::kLargest;
    while (body_.size() < length && received->outcome == HttpConnection::Outcome::Data) {
        uint32_t want = std::min(length - body_.size(), kLargestReceive);
        uint8_t* to = body_.space(&want);
        if (to == nullptr) {
            print(u"can't allocate memory for http://%S%S after %u byte.\n", host_name_, file_name,
                  body_.size());
            return false;
        }
        uint32_t count = 0;
        received->outcome = connection.receive(to, want, &count);
        body_.grow(count);
        if (debug_level > 2)
            print(u"size %u readed %u byte(+%u)\n", length, body_.size(), count);
        showProgress(length, known);
    }
    received->count = body_.size();
    return true;
}

void HttpFileManager::showProgress(uint32_t length, bool known) {
    ce::DWORD now = ce::GetTickCount();
    if (now - progress_shown_ < limits_.progress_ms)
        return;
    progress_shown_ = now;
    if (known)
        print(u"http://%S%S: %u of %u byte received\n", host_name_, file_name, body_.size(), length);
    else
        print(u"http://%S%S: %u byte received\n", host_name_, file_name, body_.size());
}

void HttpFileManager::clearFile() {
    file_name[0] = '\0';
    body_.clear();
    cached_ = false;
    opened_ = false;
    failed_ = false;
    length_known_ = false;
    content_length_ = 0;
    position_ = 0;
}

void HttpFileManager::printTokens(const HttpResponse& response) {
    const char* text = response.text();
    char token[Console::kTextSize];
    while (*text != '\0') {
        while (*text != '\0' && isTokenDelimiter(*text))
            ++text;
        if (*text == '\0')
            break;
        size_t length = 0;
        while (text[length] != '\0' && !isTokenDelimiter(text[length]))
            ++length;
        size_t kept = length < sizeof(token) - 1 ? length : sizeof(token) - 1;
        std::memcpy(token, text, kept);
        token[kept] = '\0';
        text += length;
        print(u"+token: %S\n", token);
        if (equalsIgnoreCase(token, static_cast<uint32_t>(kept), "content-length")) {
            print(u"*token: %S\n", token);
            print(u"*content-length=%u\n", response.contentLength());
        }
    }
}
