#include "file/gzip_stream.h"

#include "console/console.h"
#include "file/file_manager.h"
#include "file/gzip_format.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kScratchSize = 64 * 1024;
// What zlib's window holds of the last output.
constexpr uint64_t kWindowSize = 32 * 1024;
constexpr int kMagic[2] = {0x1F, 0x8B};

// zlib's `data_type` after an inflate with Z_BLOCK.
constexpr int kUnusedBitsMask = 7;
constexpr int kLastBlock = 64;
constexpr int kBlockBoundary = 128;

} // namespace

namespace {

// zlib's own blocks (its state and window) come from the platform heap too.
voidpf heapAlloc(voidpf, uInt items, uInt size) {
    uint64_t bytes = uint64_t{items} * size;
    return bytes > UINT32_MAX ? Z_NULL : ce::LocalAlloc(ce::LMEM_FIXED, static_cast<ce::UINT>(bytes));
}

void heapFree(voidpf, voidpf block) {
    ce::LocalFree(block);
}

} // namespace

GzipStream::GzipStream(FileManager* inner, Console** console, uint64_t point_spacing, uint64_t max_output)
    : inner_(inner), console_(console), max_output_(max_output), index_(point_spacing) {}

GzipStream::~GzipStream() {
    end(front_);
    end(behind_);
}

bool GzipStream::ready(Decoder& decoder) {
    decoder.input = localArray<uint8_t>(kInputSize);
    decoder.z = z_stream{};
    decoder.z.zalloc = heapAlloc;
    decoder.z.zfree = heapFree;
    int result =
        decoder.input == nullptr ? Z_MEM_ERROR : inflateInit2(&decoder.z, gzip::kRawDeflateWindowBits);
    if (result != Z_OK) {
        decoder.input.reset();
        if (result == Z_MEM_ERROR)
            fail(u"gzip: can't allocate memory for the decompressor.\n");
        else
            fail(u"gzip: can't initialize the decompressor (%d).\n", result);
        return false;
    }
    decoder.ready = true;
    decoder.eof = false;
    decoder.z.next_in = decoder.input.get();
    decoder.z.avail_in = 0;
    return true;
}

void GzipStream::end(Decoder& decoder) {
    if (decoder.ready)
        inflateEnd(&decoder.z);
    decoder.ready = false;
    decoder.input.reset();
}

bool GzipStream::haveScratch() {
    if (scratch_ == nullptr)
        scratch_ = localArray<uint8_t>(kScratchSize);
    if (scratch_ == nullptr)
        fail(u"gzip: can't allocate memory for the decompressor.\n");
    return scratch_ != nullptr;
}

bool GzipStream::start() {
    if (!haveScratch() || !ready(front_))
        return false;
    crc_ = static_cast<uint32_t>(crc32(0, nullptr, 0));
    format_known_ = false;
    checkHeader(true);
    // A bad header shows at the first read.
    return true;
}

void GzipStream::release() {
    // A stream sized from its trailer keeps its decoder, with the input it
    // has read: taken up again it goes on without reading anything twice.
    if (claimedUnread())
        scratch_.reset();
    if (!complete())
        return;
    end(front_);
    end(behind_);
    scratch_.reset();
}

bool GzipStream::fill(Decoder& decoder) {
    uint32_t count = 0;
    // Offsets from all ones on cannot be asked for.
    if (decoder.input_offset < FileManager::kCurrentPosition)
        count = inner_->read(decoder.input.get(), kInputSize, static_cast<uint32_t>(decoder.input_offset));
    decoder.z.next_in = decoder.input.get();
    // No bytes, a refused read or more than there is room for: the input has ended.
    if (count == 0 || count > kInputSize) {
        decoder.z.avail_in = 0;
        decoder.eof = true;
        // A refused read is no end of file: the bytes are there but can't be had.
        // Before its first bytes the file is not known to be gzip at all.
        if (count == FileManager::kReadFailed)
            fail(format_known_ ? u"gzip: can't read the file.\n" : u"can't read the file.\n");
        return false;
    }
    decoder.z.avail_in = count;
    decoder.input_offset += count;
    return true;
}

int GzipStream::getByte() {
    if (front_.z.avail_in == 0 && (front_.eof || !fill(front_)))
        return -1;
    --front_.z.avail_in;
    return *front_.z.next_in++;
}

int GzipStream::headerByte() {
    int c = getByte();
    if (c >= 0) {
        uint8_t byte = static_cast<uint8_t>(c);
        header_crc_ = static_cast<uint32_t>(crc32(header_crc_, &byte, 1));
    }
    return c;
}

void GzipStream::unread(uint32_t count) {
    if (static_cast<uint32_t>(front_.z.next_in - front_.input.get()) >= count) {
        front_.z.next_in -= count;
        front_.z.avail_in += count;
        return;
    }
    // The bytes came from two reads: read them again from the start of the file.
    inner_->seek(0);
    front_.z.avail_in = 0;
    front_.input_offset = 0;
    front_.eof = false;
}

bool GzipStream::getLong(uint32_t* value) {
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

bool GzipStream::skipHeaderBytes(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        if (headerByte() < 0)
            return false;
    }
    return true;
}

bool GzipStream::skipHeaderString() {
    for (;;) {
        int c = headerByte();
        if (c < 0)
            return false;
        if (c == 0)
            return true;
    }
}

void GzipStream::checkHeader(bool first_member) {
    header_crc_ = static_cast<uint32_t>(crc32(0, nullptr, 0));
    int first = headerByte();
    if (status_ < 0)
        return;
    if (first < 0) {
        // An empty file passes through as nothing; after a member, the data has ended.
        if (!first_member)
            endOfData();
        return;
    }
    int second = first == kMagic[0] ? headerByte() : -1;
    if (status_ < 0)
        return;
    format_known_ = true;
    if (first != kMagic[0] || second != kMagic[1]) {
        if (!first_member) {
            skipTrailingBytes(second >= 0 ? 2 : 1, first != 0 || second > 0);
            return;
        }
        compressed_ = false;
        unread(second >= 0 ? 2 : 1);
        status_ = Z_OK;
        return;
    }
    compressed_ = true;
    int method = headerByte();
    int flags = headerByte();
    if (first_member)
        first_flags_ = flags;
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
    status_ = Z_OK;
    member_start_ = front_output_;
    index_.addMemberStart(front_output_, front_.taken());
}

// After the last member: zeros (padding to a block or flash size) end the
// data silently; anything else is noted once and ignored as well.
void GzipStream::skipTrailingBytes(uint32_t taken, bool nonzero) {
    uint64_t count = taken;
    for (;;) {
        while (front_.z.avail_in > 0) {
            nonzero = nonzero || std::any_of(front_.z.next_in, front_.z.next_in + front_.z.avail_in,
                                             [](uint8_t byte) { return byte != 0; });
            count += front_.z.avail_in;
            front_.z.next_in += front_.z.avail_in;
            front_.z.avail_in = 0;
        }
        if (front_.eof || !fill(front_))
            break;
    }
    if (nonzero)
        note(u"gzip: %u bytes after the compressed data ignored.\n", static_cast<uint32_t>(count));
    endOfData();
}

void GzipStream::endOfData() {
    if (claimed_ && front_output_ != claimed_length_) {
        fail(u"gzip: the data holds %u bytes, not the %u its trailer gives.\n",
             static_cast<uint32_t>(front_output_), claimed_length_);
        return;
    }
    status_ = Z_STREAM_END;
}

bool GzipStream::trailerIsTheMembers(uint32_t stored_size, uint32_t* length) {
    // The header read so far, the trailer's 8 bytes, at least one byte of deflate data.
    const uint64_t header = front_.taken();
    if ((first_flags_ & gzip::kFlagExtra) != 0 || stored_size < header + 8 + 1)
        return false;
    uint8_t trailer[8];
    if (inner_->read(trailer, sizeof trailer, stored_size - 8) != sizeof trailer)
        return false;
    *length =
        static_cast<uint32_t>(trailer[4] | trailer[5] << 8 | trailer[6] << 16 | uint32_t{trailer[7]} << 24);
    // Deflate data is at most its output and 5 bytes per stored block (of at
    // most 64 KB), and at least one byte per 1032 bytes of output: anything
    // else means more members, or bytes after the member (padding).
    const uint64_t deflate = stored_size - header - 8;
    const uint64_t output = *length;
    return output != 0 && deflate <= output + 5 * (output / 16384 + 1) + 16 && output <= deflate * 1032 &&
           output <= max_output_;
}

uint32_t GzipStream::claimedSize(uint32_t stored_size) {
    if (claimed_)
        return static_cast<uint32_t>(claimed_length_ - std::min<uint64_t>(position_, claimed_length_));
    uint32_t length = 0;
    if (!compressed_ || status_ != Z_OK || front_output_ != 0 || !trailerIsTheMembers(stored_size, &length))
        return realsize(stored_size);
    claimed_ = true;
    claimed_length_ = length;
    return length;
}

void GzipStream::finishMember() {
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
    uint32_t member_size = static_cast<uint32_t>(front_output_ - member_start_);
    if (stored_size != member_size) {
        fail(u"gzip: length error: data %d byte, trailer %d byte.\n", member_size, stored_size);
        return;
    }
    checkHeader(false);
    if (status_ == Z_OK && claimed_) {
        // The trailer was only the last member's: the length was not the data's.
        more_members_ = true;
        fail(u"gzip: the data is more than one member long: its length is not the trailer's.\n");
        return;
    }
    if (status_ == Z_OK) {
        // Another member follows.
        inflateReset(&front_.z);
        crc_ = static_cast<uint32_t>(crc32(0, nullptr, 0));
    }
}

void GzipStream::addPoint() {
    // The window's length first, then the window itself straight into the point.
    uInt size = 0;
    if (inflateGetDictionary(&front_.z, nullptr, &size) != Z_OK)
        return;
    if (uint8_t* window =
            index_.addPoint(front_output_, front_.taken(), front_.z.data_type & kUnusedBitsMask, size))
        inflateGetDictionary(&front_.z, window, &size);
}

void GzipStream::inflateFailed(const z_stream& z, int result) {
    if (result == Z_MEM_ERROR)
        fail(u"gzip: can't allocate memory for the decompressor.\n");
    else if (z.msg != nullptr)
        fail(u"gzip: compressed data is damaged: %S.\n", z.msg);
    else
        fail(u"gzip: decompression failed (%d).\n", result);
}

uint32_t GzipStream::inflateFront(uint8_t* out, uint32_t size) {
    // One byte past the longest stream is enough to know it is too long.
    if (front_output_ + size > max_output_ + 1)
        size = static_cast<uint32_t>(max_output_ + 1 - std::min(front_output_, max_output_ + 1));
    z_stream& z = front_.z;
    z.next_out = out;
    z.avail_out = size;
    uint8_t* counted = out;
    while (z.avail_out != 0 && status_ == Z_OK) {
        if (z.avail_in == 0 && !front_.eof)
            fill(front_);
        int result = inflate(&z, Z_BLOCK);
        uint32_t made = static_cast<uint32_t>(z.next_out - counted);
        crc_ = static_cast<uint32_t>(crc32(crc_, counted, made));
        front_output_ += made;
        counted = z.next_out;
        // Past this the offsets of the file interface no longer reach: the
        // data must not be taken as its length modulo 2^32.
        if (front_output_ > max_output_) {
            fail(u"gzip: the uncompressed data passes 0x%x bytes.\n", static_cast<uint32_t>(max_output_));
            break;
        }
        // Longer than its trailer said: found at once, however long it goes on.
        if (claimed_ && front_output_ > claimed_length_) {
            fail(u"gzip: the data holds more than the %u bytes its trailer gives.\n", claimed_length_);
            break;
        }
        if (result == Z_STREAM_END) {
            finishMember();
            continue;
        }
        if (result == Z_OK || result == Z_BUF_ERROR) {
            if ((z.data_type & kBlockBoundary) != 0 && (z.data_type & kLastBlock) == 0 &&
                index_.wantsPoint(front_output_))
                addPoint();
            if (z.avail_out == 0 || (z.avail_in == 0 && !front_.eof))
                continue;
            // Room left and every input byte taken: the file ends inside the member.
            if (z.avail_in == 0) {
                fail(u"gzip: compressed data is truncated.\n");
                break;
            }
            if (result == Z_OK)
                continue;
        }
        inflateFailed(z, result);
    }
    uint32_t produced = size - z.avail_out;
    z.next_out = nullptr;
    z.avail_out = 0;
    return produced;
}

void GzipStream::advanceTo(uint64_t target) {
    if (front_output_ < target && status_ == Z_OK && !haveScratch())
        return;
    while (front_output_ < target && status_ == Z_OK) {
        uint64_t wanted = std::min<uint64_t>(target - front_output_, kScratchSize);
        inflateFront(scratch_.get(), static_cast<uint32_t>(wanted));
    }
}

uint32_t GzipStream::fromFrontWindow(uint8_t* out, uint32_t size) {
    // The window holds the current member's output only, and the scratch
    // buffer takes a copy of it.
    uint64_t behind = front_output_ - position_;
    if (!front_.ready || position_ < member_start_ || behind > kWindowSize || !haveScratch())
        return 0;
    uInt window = 0;
    if (inflateGetDictionary(&front_.z, nullptr, &window) != Z_OK || window < behind)
        return 0;
    inflateGetDictionary(&front_.z, scratch_.get(), &window);
    uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(size, behind));
    std::memcpy(out, scratch_.get() + (window - behind), count);
    return count;
}

bool GzipStream::restartAt(const GzipAccessIndex::Point& point) {
    if (!behind_.ready) {
        if (!ready(behind_))
            return false;
    } else {
        inflateReset(&behind_.z);
    }
    behind_.z.avail_in = 0;
    behind_.eof = false;
    behind_.input_offset = point.input - (point.bits != 0 ? 1 : 0);
    if (point.bits != 0) {
        if (!fill(behind_))
            return false;
        int byte = *behind_.z.next_in++;
        --behind_.z.avail_in;
        inflatePrime(&behind_.z, point.bits, byte >> (8 - point.bits));
    }
    if (point.window_size != 0)
        inflateSetDictionary(&behind_.z, point.window.get(), point.window_size);
    behind_output_ = point.output;
    return true;
}

uint32_t GzipStream::inflateAgain(uint8_t* out, uint32_t size) {
    z_stream& z = behind_.z;
    z.next_out = out;
    z.avail_out = size;
    while (z.avail_out != 0) {
        if (z.avail_in == 0 && !behind_.eof)
            fill(behind_);
        uint32_t before = z.avail_out;
        int result = inflate(&z, Z_NO_FLUSH);
        behind_output_ += before - z.avail_out;
        inflated_behind_ += before - z.avail_out;
        if (result == Z_STREAM_END) {
            if (z.avail_out == 0)
                break;
            const GzipAccessIndex::Point* next = index_.memberStartAt(behind_output_);
            if (next != nullptr && restartAt(*next))
                continue;
        } else if (result == Z_OK || (result == Z_BUF_ERROR && z.avail_in == 0 && !behind_.eof)) {
            continue;
        }
        if (result == Z_MEM_ERROR)
            inflateFailed(z, result);
        else if (status_ >= 0)
            // The front inflated these bytes without fault: the file changed under us.
            fail(u"gzip: compressed data changed while it was read.\n");
        break;
    }
    uint32_t produced = size - z.avail_out;
    z.next_out = nullptr;
    z.avail_out = 0;
    return produced;
}

uint32_t GzipStream::inflateBehind(uint8_t* out, uint32_t size) {
    const GzipAccessIndex::Point* point = index_.before(position_);
    if (point == nullptr || !haveScratch())
        return 0;
    // Go on from where the last read behind the front stopped, unless a point
    // lies between it and the position.
    bool go_on = behind_.ready && behind_output_ <= position_ && behind_output_ >= point->output;
    if (!go_on && !restartAt(*point)) {
        fail(u"gzip: can't read the compressed data again.\n");
        return 0;
    }
    while (behind_output_ < position_) {
        uint32_t skip = static_cast<uint32_t>(std::min<uint64_t>(position_ - behind_output_, kScratchSize));
        if (inflateAgain(scratch_.get(), skip) != skip)
            return 0;
    }
    return inflateAgain(out, size);
}

uint32_t GzipStream::read(void* buffer, uint32_t size) {
    if (!compressed_) {
        if (status_ < 0)
            return kCorrupt;
        return passThrough(static_cast<uint8_t*>(buffer), size);
    }
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint32_t left = size;
    while (left > 0) {
        uint32_t got = 0;
        if (position_ >= front_output_) {
            if (status_ != Z_OK)
                break;
            advanceTo(position_);
            if (position_ > front_output_)
                break;
            got = inflateFront(out, left);
        } else {
            uint32_t behind = static_cast<uint32_t>(std::min<uint64_t>(left, front_output_ - position_));
            got = fromFrontWindow(out, behind);
            if (got == 0)
                got = inflateBehind(out, behind);
        }
        if (got == 0)
            break;
        out += got;
        left -= got;
        position_ += got;
    }
    uint32_t produced = size - left;
    // Nothing delivered and the data found corrupt: say so now, not as an end of file.
    if (produced == 0 && size > 0 && status_ < 0)
        return kCorrupt;
    return produced;
}

bool GzipStream::seek(uint32_t offset) {
    if (!compressed_) {
        inner_->seek(offset);
        front_.z.avail_in = 0;
        return true;
    }
    advanceTo(offset);
    if (offset > front_output_) {
        position_ = front_output_;
        return false;
    }
    position_ = offset;
    return true;
}

uint32_t GzipStream::realsize(uint32_t stored_size) {
    if (!compressed_)
        return stored_size;
    advanceTo(~uint64_t{0});
    if (status_ < 0)
        return kCorrupt;
    return static_cast<uint32_t>(front_output_ - std::min(position_, front_output_));
}

uint32_t GzipStream::passThrough(uint8_t* buffer, uint32_t size) {
    z_stream& z = front_.z;
    uint32_t buffered = std::min(z.avail_in, size);
    if (buffered > 0) {
        std::memcpy(buffer, z.next_in, buffered);
        z.next_in += buffered;
        z.avail_in -= buffered;
    }
    uint32_t remaining = size - buffered;
    if (remaining > 0) {
        uint32_t count = inner_->read(buffer + buffered, remaining, FileManager::kCurrentPosition);
        if (count == FileManager::kReadFailed)
            return kCorrupt;
        remaining -= std::min(count, remaining);
    }
    return size - remaining;
}

void GzipStream::fail(const char16_t* format, ...) {
    // Only the first failure is reported: later reads fail on its account.
    bool first = status_ >= 0;
    status_ = Z_DATA_ERROR;
    if (!first)
        return;
    va_list args;
    va_start(args, format);
    slotVprint(console_, format, args);
    va_end(args);
}

void GzipStream::note(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    slotVprint(console_, format, args);
    va_end(args);
}
