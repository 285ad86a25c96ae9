#include "file/http_file_manager.h"

#include "arch/architecture.h"
#include "console/console.h"
#include "file/http_response.h"
#include "platform/wide_string.h"

#include <cstdlib>
#include <cstring>
#include <new>

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

} // namespace

HttpFileManager::HttpFileManager(Console** console)
    : FileManager(console), request_texts_{
                                "GET ", "HEAD ", " HTTP/1.0\r\nHOST: ",
                                "\r\nUser-Agent: ZANDREL/ZERO(1st impact; Windows CE; ARM)\r\n\r\n"} {
    debug_level = 1;
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
    if (scheme == nullptr || wideCompare(scheme, u"http") != 0)
        return false;
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
        char16_t after_port = *cursor;
        *cursor = 0;
        // A port that is not a number reads as 0; an empty one leaves 80.
        long number = port_text == cursor ? static_cast<long>(*port) : wideToLong(port_text);
        *cursor = after_port;
        if (number < 0 || number > 0xFFFF) {
            print(u"port %d out of range.\n", static_cast<int>(number));
            return false;
        }
        *port = static_cast<uint32_t>(number);
    }
    return setPathPrefix(cursor);
}

bool HttpFileManager::setPathPrefix(const char16_t* path) {
    while (*path == u'/')
        ++path;
    char prefix[kHostSize];
    if (!toAscii(prefix + 1, path, kHostSize - 2))
        return false;
    prefix[0] = '/';
    size_t length = std::strlen(prefix);
    if (prefix[length - 1] != '/') {
        prefix[length] = '/';
        prefix[length + 1] = '\0';
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
    // Until the server has answered, reads give nothing.
    failed_ = true;
    if (!setRequestTarget(name))
        return false;
    uint32_t content_length = 0;
    if (!requestHead(&content_length))
        return false;
    content_length_ = content_length;
    failed_ = false;
    return true;
}

bool HttpFileManager::setRequestTarget(const char16_t* name) {
    while (*name == u'/')
        ++name;
    char relative[kNameSize];
    if (!toAscii(relative, name, kNameSize))
        return false;
    size_t target = std::strlen(path_prefix_) + std::strlen(relative);
    uint32_t needed = static_cast<uint32_t>(target + requestLength(request_texts_[kHead]));
    if (needed > kRequestSize) {
        print(u"request too long. %d > %d\n", needed, kRequestSize);
        return false;
    }
    // `open` has cleared the name: the HEAD request's length above counts it as empty.
    std::strcpy(file_name, path_prefix_);
    std::strcat(file_name, relative);
    return true;
}

uint32_t HttpFileManager::size() {
    // `open` asked the server.
    return content_length_;
}

bool HttpFileManager::close() {
    return true;
}

uint32_t HttpFileManager::read(void* buffer, uint32_t size, uint32_t offset) {
    if (offset == kCurrentPosition) {
        offset = position_;
        position_ += size;
    }
    if (cached_)
        return copyFromCache(buffer, size, offset);
    if (failed_)
        return 0;
    if (!download()) {
        failed_ = true;
        return 0;
    }
    return copyFromCache(buffer, size, offset);
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
        print(u"request too long. %d > %d\n", needed, kRequestSize);
        return false;
    }
    buildRequest(method);
    if (!connection.sendAll(request_, needed - 1)) {
        print(u"can't send request. cause=%d\n", connection.error());
        return false;
    }
    return true;
}

HttpFileManager::Received HttpFileManager::receiveFill(HttpConnection& connection, uint8_t* buffer,
                                                       uint32_t size) {
    Received result;
    while (result.count < size) {
        uint32_t want = size - result.count;
        uint32_t count = 0;
        result.outcome = connection.receive(buffer + result.count,
                                            want < kLargestReceive ? want : kLargestReceive, &count);
        result.count += count;
        if (debug_level > 2)
            print(u"size %d readed %d byte(+%d)\n", size, result.count, count);
        if (result.outcome != HttpConnection::Outcome::Data)
            break;
    }
    if (debug_level > 1)
        print(u"total read %d byte\n", result.count);
    return result;
}

void HttpFileManager::reportReceiveEnd(const Received& received, uint32_t expected) {
    switch (received.outcome) {
    case HttpConnection::Outcome::TimedOut:
        print(u"server stopped answering (%d ms without data).\n", receive_timeout_ms_);
        break;
    case HttpConnection::Outcome::Failed:
        print(u"receive failed. cause=%d\n", ce::GetLastError());
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
            print(u"size %d readed %d byte(+%d)\n", kReceiveChunk, total, count);
        uint32_t used = response.feed(chunk, count);
        if (response.state() != HttpResponse::State::Incomplete) {
            std::memmove(chunk, chunk + used, count - used);
            rest->count = count - used;
            rest->outcome = outcome;
            break;
        }
        if (outcome == HttpConnection::Outcome::Closed) {
            print(u"response header of http://%S%S is incomplete (%d byte).\n", host_name_, file_name, total);
            return false;
        }
        if (outcome != HttpConnection::Outcome::Data) {
            reportReceiveEnd(Received{total, outcome}, 0);
            return false;
        }
    }
    if (debug_level > 1)
        print(u"total read %d byte\n", total);
    if (response.state() == HttpResponse::State::TooLarge) {
        print(u"response header of http://%S%S is longer than %d byte.\n", host_name_, file_name,
              HttpResponse::kHeaderCapacity);
        return false;
    }
    if (response.state() == HttpResponse::State::Malformed) {
        print(u"bad response for http://%S%S: %S.\n", host_name_, file_name, response.problem());
        return false;
    }
    if (debug_level > 2)
        printTokens(response);
    if (!response.success()) {
        print(u"http://%S%S: the server answered \"%S\".\n", host_name_, file_name, response.statusLine());
        return false;
    }
    return true;
}

bool HttpFileManager::requestHead(uint32_t* content_length) {
    HttpConnection connection(&server_address_, receive_timeout_ms_);
    if (!connection.valid()) {
        print(u"can't open socket.\n");
        return false;
    }
    if (!sendRequest(connection, request_texts_[kHead]))
        return false;
    auto* chunk = static_cast<uint8_t*>(std::malloc(kReceiveChunk + 1));
    auto* response = new (std::nothrow) HttpResponse;
    bool answered = false;
    Received rest;
    if (chunk == nullptr || response == nullptr) {
        print(u"can't allocate receive buffer.\n");
    } else if (receiveHeader(connection, *response, chunk, &rest)) {
        answered = true;
        *content_length = response->contentLength();
        if (!response->hasContentLength())
            print(u"No Content-Length.\n");
        else
            print(u"open http://%S%S - header %d byte contents %d byte\n", host_name_, file_name,
                  response->headerLength(), *content_length);
    }
    delete response;
    std::free(chunk);
    return answered;
}

bool HttpFileManager::download() {
    HttpConnection connection(&server_address_, receive_timeout_ms_);
    if (!connection.valid()) {
        print(u"can't open socket.\n");
        return false;
    }
    if (!sendRequest(connection, request_texts_[kGet]))
        return false;
    auto* chunk = static_cast<uint8_t*>(std::malloc(kReceiveChunk + 1));
    auto* response = new (std::nothrow) HttpResponse;
    bool ok = false;
    Received rest;
    if (chunk == nullptr || response == nullptr) {
        print(u"can't allocate receive buffer.\n");
    } else if (receiveHeader(connection, *response, chunk, &rest)) {
        // The body is what this response says; the HEAD answer stands in when it says nothing.
        if (response->hasContentLength())
            content_length_ = response->contentLength();
        else if (content_length_ == 0)
            print(u"No Content-Length.\n");
        ok = true;
        if (content_length_ > 0) {
            cache_ = static_cast<uint8_t*>(ce::VirtualAlloc(
                nullptr, content_length_, ce::MEM_RESERVE | ce::MEM_COMMIT, ce::PAGE_READWRITE));
            if (cache_ == nullptr) {
                print(u"can't allocate %u byte for http://%S%S.\n", content_length_, host_name_, file_name);
                ok = false;
            }
        }
        if (ok && content_length_ > 0) {
            uint32_t early = rest.count < content_length_ ? rest.count : content_length_;
            std::memcpy(cache_, chunk, early);
            Received body{early, rest.outcome};
            if (early < content_length_ && rest.outcome == HttpConnection::Outcome::Data) {
                Received more = receiveFill(connection, cache_ + early, content_length_ - early);
                body.count += more.count;
                body.outcome = more.outcome;
            }
            if (body.count < content_length_) {
                reportReceiveEnd(body, content_length_);
                ok = false;
            }
        }
    }
    delete response;
    std::free(chunk);
    if (!ok) {
        freeCache();
        return false;
    }
    cached_ = true;
    return true;
}

uint32_t HttpFileManager::copyFromCache(void* buffer, uint32_t size, uint32_t offset) {
    if (offset >= content_length_)
        return 0;
    uint32_t count = content_length_ - offset < size ? content_length_ - offset : size;
    std::memcpy(buffer, cache_ + offset, count);
    return count;
}

void HttpFileManager::freeCache() {
    if (cache_ != nullptr)
        ce::VirtualFree(cache_, 0, ce::MEM_RELEASE);
    cache_ = nullptr;
    cached_ = false;
}

void HttpFileManager::clearFile() {
    file_name[0] = '\0';
    freeCache();
    content_length_ = 0;
    position_ = 0;
    failed_ = false;
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
            print(u"*content-length=%d\n", response.contentLength());
        }
    }
}
