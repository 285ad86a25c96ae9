#include "file/gzip_file_manager.h"

#include "console/console.h"
#include "file/file_manager_factory.h"
#include "file/gzip_format.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace {

constexpr uint32_t kSkipToEnd = 0x7FFFFFFF;

} // namespace

GzipFileManager::GzipFileManager(Console** console, int32_t kind)
    : GzipFileManager(console, createFileManagerVariant(kind, console)) {}

GzipFileManager::GzipFileManager(Console** console, FileManager* inner)
    : FileManager(console), inner_(inner) {
    resetStream();
}

GzipFileManager::~GzipFileManager() {
    endInflate();
    delete inner_;
}

bool GzipFileManager::setRoot(const char16_t* root) {
    return inner_ != nullptr && inner_->setRoot(root);
}

uint32_t GzipFileManager::size() {
    return inner_ != nullptr ? inner_->size() : 0;
}

uint32_t GzipFileManager::write(const void* buffer, uint32_t size, uint32_t offset) {
    return inner_ != nullptr ? inner_->write(buffer, size, offset) : 0;
}

bool GzipFileManager::open(const char16_t* name, uint32_t mode) {
    if (inner_ == nullptr)
        return false;
    endInflate(); // a file left open by an earlier attempt
    resetStream();
    if (!inner_->open(name, mode))
        return false;
    if (!startInflate()) {
        print(u"gzip: can't initialize the decompressor.\n");
        inner_->close();
        return false;
    }
    stream_.next_in = input_buffer_;
    checkHeader(true);
    // A bad header shows at the first read.
    return true;
}

bool GzipFileManager::close() {
    endInflate();
    return inner_ != nullptr && inner_->close();
}

uint32_t GzipFileManager::read(void* buffer, uint32_t size, uint32_t offset) {
    if (offset != kCurrentPosition)
        seek(offset);
    return readData(static_cast<uint8_t*>(buffer), size);
}

bool GzipFileManager::seek(uint32_t offset) {
    if (inner_ == nullptr)
        return false;
    if (!compressed_) {
        inner_->seek(offset);
        stream_.avail_in = 0;
        return true;
    }
    if (offset < position_)
        rewind();
    if (offset > position_) {
        uint32_t count = static_cast<uint32_t>(offset - position_);
        if (skipData(count) != count)
            return false;
    }
    return true;
}

uint32_t GzipFileManager::realsize() {
    if (input_failed_)
        return kCorrupt;
    if (!compressed_)
        return size();
    uint64_t at = position_;
    int64_t count = skipData(kSkipToEnd);
    bool corrupt = count < 0 || stream_status_ < 0;
    seek(static_cast<uint32_t>(at));
    return corrupt ? kCorrupt : static_cast<uint32_t>(count);
}

void GzipFileManager::resetStream() {
    stream_ = z_stream{};
    stream_status_ = Z_OK;
    input_eof_ = false;
    input_failed_ = false;
    crc_ = 0;
    compressed_ = false;
    position_ = 0;
}

bool GzipFileManager::startInflate() {
    // The record is cleared first, so zlib uses its own allocator.
    inflating_ = inflateInit2(&stream_, gzip::kRawDeflateWindowBits) == Z_OK;
    return inflating_;
}

void GzipFileManager::endInflate() {
    if (inflating_)
        inflateEnd(&stream_);
    inflating_ = false;
}

void GzipFileManager::rewind() {
    inner_->seek(0);
    endInflate();
    resetStream();
    if (!startInflate()) {
        fail(u"gzip: can't initialize the decompressor.\n");
        return;
    }
    stream_.next_in = input_buffer_;
    checkHeader(true);
}

bool GzipFileManager::fillInput() {
    uint32_t count = inner_->read(input_buffer_, kInputSize, kCurrentPosition);
    stream_.next_in = input_buffer_;
    // No bytes, a refused read or more than there is room for: the input has ended.
    if (count == 0 || count > kInputSize) {
        stream_.avail_in = 0;
        input_eof_ = true;
        if (count == kReadFailed) {
            input_failed_ = true;
            fail(u"gzip: can't read the file.\n");
        }
        return false;
    }
    stream_.avail_in = count;
    return true;
}

int GzipFileManager::getByte() {
    if (stream_.avail_in == 0 && (input_eof_ || !fillInput()))
        return -1;
    --stream_.avail_in;
    return *stream_.next_in++;
}

int GzipFileManager::headerByte() {
    int c = getByte();
    if (c >= 0) {
        uint8_t byte = static_cast<uint8_t>(c);
        header_crc_ = static_cast<uint32_t>(crc32(header_crc_, &byte, 1));
    }
    return c;
}

void GzipFileManager::unread(uint32_t count) {
    if (static_cast<uint32_t>(stream_.next_in - input_buffer_) >= count) {
        stream_.next_in -= count;
        stream_.avail_in += count;
        return;
    }
    // The bytes came from two reads: read them again from the start of the file.
    inner_->seek(0);
    stream_.avail_in = 0;
    input_eof_ = false;
}

bool GzipFileManager::getLong(uint32_t* value) {
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int c = getByte();
        if (c < 0)
            return false;
        result |= static_cast<uint32_t>(c) << shift;
    }
    *value = result;
    return true;
}

bool GzipFileManager::skipHeaderBytes(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        if (headerByte() < 0)
            return false;
    }
    return true;
}

bool GzipFileManager::skipHeaderString() {
    for (;;) {
        int c = headerByte();
        if (c < 0)
            return false;
        if (c == 0)
            return true;
    }
}

void GzipFileManager::checkHeader(bool first_member) {
    header_crc_ = static_cast<uint32_t>(crc32(0, nullptr, 0));
    int first = headerByte();
    if (input_failed_)
        return;
    if (first < 0) {
        // An empty file passes through as nothing; after a member, the data has ended.
        if (!first_member)
            stream_status_ = Z_STREAM_END;
        return;
    }
    int second = first == gzip_magic_[0] ? headerByte() : -1;
    if (input_failed_)
        return;
    if (first != gzip_magic_[0] || second != gzip_magic_[1]) {
        if (!first_member) {
            fail(u"gzip: trailing garbage after the compressed data.\n");
            return;
        }
        compressed_ = false;
        unread(second >= 0 ? 2 : 1);
        stream_status_ = Z_OK;
        return;
    }
    compressed_ = true;
    int method = headerByte();
    int flags = headerByte();
    if (flags < 0) {
        fail(u"gzip: header is truncated.\n");
        return;
    }
    if (method != gzip::kMethodDeflate) {
        fail(u"gzip: unknown compression method %d.\n", method);
        return;
    }
    if ((flags & gzip::kFlagsReserved) != 0) {
        fail(u"gzip: reserved header flags 0x%02x.\n", flags);
        return;
    }
    bool complete = skipHeaderBytes(gzip::kSkippedFixedBytes);
    if (complete && (flags & gzip::kFlagExtra) != 0) {
        int low = headerByte();
        int high = headerByte();
        complete = high >= 0 && skipHeaderBytes(static_cast<uint32_t>(low | high << 8));
    }
    if (complete && (flags & gzip::kFlagName) != 0)
        complete = skipHeaderString();
    if (complete && (flags & gzip::kFlagComment) != 0)
        complete = skipHeaderString();
    if (complete && (flags & gzip::kFlagHeaderCrc) != 0) {
        uint32_t expected = header_crc_ & 0xFFFF;
        int low = getByte();
        int high = getByte();
        complete = high >= 0;
        if (complete && static_cast<uint32_t>(low | high << 8) != expected) {
            fail(u"gzip: header CRC mismatch.\n");
            return;
        }
    }
    if (!complete) {
        fail(u"gzip: header is truncated.\n");
        return;
    }
    stream_status_ = Z_OK;
}

void GzipFileManager::finishMember() {
    uint32_t stored_crc = 0;
    uint32_t stored_size = 0;
    if (!getLong(&stored_crc)) {
        fail(u"gzip: compressed data is truncated.\n");
        return;
    }
    if (stored_crc != crc_) {
        fail(u"gzip: CRC error: data %08x, trailer %08x.\n", crc_, stored_crc);
        return;
    }
    if (!getLong(&stored_size)) {
        fail(u"gzip: compressed data is truncated.\n");
        return;
    }
    uint32_t member_size = static_cast<uint32_t>(stream_.total_out);
    if (stored_size != member_size) {
        fail(u"gzip: length error: data %d byte, trailer %d byte.\n", member_size, stored_size);
        return;
    }
    checkHeader(false);
    if (stream_status_ == Z_OK) {
        // Another member follows.
        inflateReset(&stream_);
        crc_ = static_cast<uint32_t>(crc32(0, nullptr, 0));
    }
}

uint32_t GzipFileManager::readData(uint8_t* buffer, uint32_t len) {
    if (stream_status_ < 0)
        return kCorrupt;
    if (stream_status_ == Z_STREAM_END || inner_ == nullptr || len == 0)
        return 0;
    if (!compressed_)
        return passThrough(buffer, len);
    uint8_t* start = buffer;
    stream_.next_out = buffer;
    stream_.avail_out = len;
    while (stream_.avail_out != 0) {
        if (stream_.avail_in == 0 && !input_eof_)
            fillInput();
        int status = inflate(&stream_, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            crc_ = static_cast<uint32_t>(crc32(crc_, start, static_cast<uInt>(stream_.next_out - start)));
            start = stream_.next_out;
            finishMember();
            if (stream_status_ != Z_OK)
                break;
            continue;
        }
        if (status == Z_OK || status == Z_BUF_ERROR) {
            if (stream_.avail_out == 0 || (stream_.avail_in == 0 && !input_eof_))
                continue;
            // Room left and every input byte taken: the file ends inside the member.
            if (stream_.avail_in == 0) {
                fail(u"gzip: compressed data is truncated.\n");
                break;
            }
            if (status == Z_OK)
                continue;
        }
        if (stream_.msg != nullptr)
            fail(u"gzip: compressed data is damaged: %S.\n", stream_.msg);
        else
            fail(u"gzip: decompression failed (%d).\n", status);
        break;
    }
    crc_ = static_cast<uint32_t>(crc32(crc_, start, static_cast<uInt>(stream_.next_out - start)));
    uint32_t produced = len - stream_.avail_out;
    position_ += produced;
    stream_.next_out = nullptr;
    stream_.avail_out = 0;
    // Nothing delivered and the data found corrupt, or the file unreadable:
    // say so now, not as an end of file.
    if ((produced == 0 && stream_status_ < 0) || input_failed_)
        return kCorrupt;
    return produced;
}

uint32_t GzipFileManager::passThrough(uint8_t* buffer, uint32_t len) {
    uint32_t buffered = std::min(stream_.avail_in, len);
    if (buffered > 0) {
        std::memcpy(buffer, stream_.next_in, buffered);
        stream_.next_in += buffered;
        stream_.avail_in -= buffered;
    }
    uint32_t remaining = len - buffered;
    if (remaining > 0) {
        uint32_t count = inner_->read(buffer + buffered, remaining, kCurrentPosition);
        if (count == kCorrupt)
            return kCorrupt;
        remaining -= std::min(count, remaining);
    }
    return len - remaining;
}

int64_t GzipFileManager::skipData(uint32_t count) {
    uint8_t scratch[kScratchSize];
    int64_t total = 0;
    while (count > 0) {
        uint32_t chunk = std::min(count, kScratchSize);
        uint32_t done = readData(scratch, chunk);
        if (done == kCorrupt)
            return -1;
        total += done;
        count -= done;
        if (done != chunk)
            break;
    }
    return total;
}

void GzipFileManager::fail(const char16_t* format, ...) {
    // Only the first failure is reported: later reads fail on its account.
    bool first = stream_status_ >= 0;
    stream_status_ = Z_DATA_ERROR;
    if (!first)
        return;
    va_list args;
    va_start(args, format);
    slotVprint(console_, format, args);
    va_end(args);
}
