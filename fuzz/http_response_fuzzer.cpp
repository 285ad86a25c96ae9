// The HTTP response header parser over arbitrary bytes in arbitrary chunks:
// however the bytes arrive, the parser must reach the same verdict as when
// they arrive at once, and never claim more header bytes than it was given.
#include "file/http_response.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct Verdict {
    HttpResponse::State state;
    int status;
    bool has_length;
    uint32_t length;
    uint32_t header_length;
    uint32_t taken;
};

Verdict feed(const uint8_t* data, uint32_t size, uint32_t chunk) {
    auto response = std::make_unique<HttpResponse>();
    uint32_t taken = 0;
    for (uint32_t at = 0; at < size; at += chunk) {
        uint32_t piece = size - at < chunk ? size - at : chunk;
        uint32_t used = response->feed(data + at, piece);
        if (used > piece)
            std::abort();
        taken += used;
        if (used < piece && response->state() == HttpResponse::State::Incomplete)
            std::abort(); // bytes left over only once the header is over
    }
    if (response->complete()) {
        if (response->headerLength() == 0 || response->text()[response->headerLength() - 1] != '\n')
            std::abort();
        if (std::strlen(response->statusLine()) >= HttpResponse::kStatusLineSize)
            std::abort();
    }
    if (response->headerLength() > size || response->headerLength() > HttpResponse::kHeaderCapacity)
        std::abort();
    return {response->state(),         response->status(),       response->hasContentLength(),
            response->contentLength(), response->headerLength(), taken};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 3 * HttpResponse::kHeaderCapacity)
        return 0;
    uint32_t chunk = 1 + data[0] % 255;
    const Verdict whole = feed(data + 1, static_cast<uint32_t>(size - 1), static_cast<uint32_t>(size));
    const Verdict pieces = feed(data + 1, static_cast<uint32_t>(size - 1), chunk);
    if (whole.state != pieces.state || whole.status != pieces.status ||
        whole.has_length != pieces.has_length || whole.length != pieces.length ||
        whole.header_length != pieces.header_length || whole.taken != pieces.taken)
        std::abort();
    return 0;
}
