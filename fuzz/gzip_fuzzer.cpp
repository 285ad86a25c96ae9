// The gzip layer over arbitrary files. The first input byte chooses between
// the input taken as the file itself and a gzip file built around the rest
// (header fields from the input, data deflated by zlib, one or two members,
// optionally one byte changed), so that valid and nearly valid files are
// reached as often as garbage. Reads at the current position, reads at
// offsets and realsize must agree, and a file built without damage must
// give back exactly the bytes it was built from.
#include "console/console.h"
#include "file/gzip_file_manager.h"
#include "platform/wide_format.h"
#include "support/memory_file_manager.h"
#include "support/recording_console.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <zlib.h>

namespace {

void put32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

std::string rawDeflate(const std::string& data, int level) {
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        std::abort();
    std::string out(deflateBound(&stream, data.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END)
        std::abort();
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string member(const std::string& data, uint8_t flags, int level) {
    std::string header("\x1f\x8b\x08", 3);
    header += static_cast<char>(flags);
    header += std::string("\0\0\0\0\0\x03", 6);
    if (flags & 0x04)
        header += std::string("\x03\0xyz", 5);
    if (flags & 0x08)
        header += std::string("name", 5);
    if (flags & 0x10)
        header += std::string("comment", 8);
    if (flags & 0x02) {
        uint32_t crc =
            crc32(0, reinterpret_cast<const Bytef*>(header.data()), static_cast<uInt>(header.size()));
        header += static_cast<char>(crc & 0xFF);
        header += static_cast<char>((crc >> 8) & 0xFF);
    }
    std::string out = header + rawDeflate(data, level);
    put32(out, crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    put32(out, static_cast<uint32_t>(data.size()));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6)
        return 0;
    const uint8_t mode = data[0];
    const uint8_t flags = data[1] & 0x1E;
    const size_t damage_at = data[2] | data[3] << 8;
    const uint8_t damage = data[4];
    const uint32_t step = 1 + data[5] % 200;
    std::string payload(reinterpret_cast<const char*>(data + 6), size - 6);

    std::string file;
    bool intact = false;
    if ((mode & 1) == 0) {
        file = payload;
    } else {
        int level = (mode >> 4) % 10;
        if (mode & 2) {
            size_t half = payload.size() / 2;
            file = member(payload.substr(0, half), flags, level) + member(payload.substr(half), 0, level);
        } else {
            file = member(payload, flags, level);
        }
        intact = damage == 0;
        if (!intact)
            file[damage_at % file.size()] ^= static_cast<char>(damage);
    }

    DiscardingConsole console;
    Console* slot = &console;
    GzipFileManager layer(&slot, new MemoryFileManager(&slot, file));
    if (!layer.open(u"fuzz", 3))
        std::abort();
    uint32_t real = layer.realsize();

    // Everything, in small steps at the current position.
    std::string sequential;
    bool corrupt = false;
    layer.seek(0);
    for (;;) {
        std::string piece(step, '\0');
        uint32_t count = layer.read(piece.data(), step);
        if (count == GzipFileManager::kCorrupt) {
            corrupt = true;
            break;
        }
        if (count > step)
            std::abort();
        if (count == 0)
            break;
        sequential.append(piece.data(), count);
    }
    if (!corrupt && real != sequential.size())
        std::abort();
    if (corrupt && layer.compressed() && real != GzipFileManager::kCorrupt)
        std::abort();
    if (intact && (corrupt || sequential != payload))
        std::abort();
    // What is not gzip passes through unchanged.
    if (!layer.compressed() && !corrupt && sequential != file)
        std::abort();

    // Reads at offsets backwards and forwards give the same bytes.
    uint32_t offsets[] = {static_cast<uint32_t>(sequential.size() / 2), 1,
                          static_cast<uint32_t>(sequential.size())};
    for (uint32_t offset : offsets) {
        std::string piece(step, '\0');
        uint32_t count = layer.read(piece.data(), step, offset);
        if (corrupt || offset > sequential.size())
            continue;
        // Data read whole once reads the same again at any offset.
        if (count != std::min<size_t>(step, sequential.size() - offset) ||
            sequential.compare(offset, count, piece.data(), count) != 0)
            std::abort();
    }
    layer.close();
    return 0;
}
