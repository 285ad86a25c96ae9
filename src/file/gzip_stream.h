// One open file as the gzip layer reads it: a gzip file inflated from its
// first byte to its end by one forward pass, however the reader moves, or any
// other file passed through unchanged.
//
// The forward pass (the front) checks every member's header, CRC-32 and
// length, and leaves access points behind it. Nothing it inflates is kept
// beyond zlib's own 32 KB window: a read of bytes the front has passed is
// served from that window when they are among its last bytes, else inflated
// again from the nearest access point before them, on a second decoder, so
// the front never moves back. Every buffer, zlib's included, comes from the
// platform heap.
#pragma once

#include "file/file_manager.h"
#include "file/gzip_access_index.h"
#include "platform/local_memory.h"

#include <cstdint>
#include <zlib.h>

class Console;

class GzipStream {
  public:
    // What reads and `realsize` give for damaged data: the file interface's read failure.
    static constexpr uint32_t kCorrupt = FileManager::kReadFailed;
    static constexpr uint32_t kInputSize = 64 * 1024;
    // The longest decompressed stream: offsets and sizes are 32 bits, and
    // all ones is the failure value.
    static constexpr uint64_t kMaxOutput = 0xFFFFFFFEu;

    // `max_output` lower than kMaxOutput only for tests.
    GzipStream(FileManager* inner, Console** console, uint64_t point_spacing,
               uint64_t max_output = kMaxOutput);
    ~GzipStream();

    GzipStream(const GzipStream&) = delete;
    GzipStream& operator=(const GzipStream&) = delete;

    // Reads the first member's header; false, with the reason printed, when
    // the decompressor cannot start.
    bool start();

    bool compressed() const { return compressed_; }
    // The whole stream inflated and found sound.
    bool complete() const { return compressed_ && status_ == Z_STREAM_END; }
    // The bytes the front has read from the file into its buffer, some of
    // them perhaps not yet inflated: the file's length once complete.
    uint64_t inputBytesRead() const { return front_.input_offset; }

    uint32_t read(void* buffer, uint32_t size);
    bool seek(uint32_t offset);
    // Bytes from the position to the end; kCorrupt when the data is damaged.
    uint32_t realsize(uint32_t stored_size);
    // The data's length as the trailer of a one-member file of `stored_size`
    // bytes states it (ISIZE), read before anything is inflated; from then on
    // the data must keep to it, or it counts as damaged. A file that may
    // hold more than one member, or whose trailer can't be the member's, is
    // sized by inflating it to its end (realsize) instead.
    uint32_t claimedSize(uint32_t stored_size);
    // Whether its length was taken from the trailer and nothing is inflated yet.
    bool claimedUnread() const { return claimed_ && front_output_ == 0; }
    // Whether a stream sized from its trailer turned out to hold more members.
    bool moreMembersThanClaimed() const { return more_members_; }
    // The bytes inflated so far, by the forward pass and behind it.
    uint64_t inflated() const { return front_output_ + inflated_behind_; }
    // A complete stream gives back its decoders and buffers and keeps only
    // its access points; a later read takes what it needs again.
    void release();

    const GzipAccessIndex& index() const { return index_; }

  private:
    struct Decoder {
        z_stream z{};
        bool ready = false;
        bool eof = false;
        // Offset in the file of the next byte to read into `input`.
        uint64_t input_offset = 0;
        LocalArray<uint8_t> input;

        uint64_t taken() const { return input_offset - z.avail_in; }
    };

    // Buffers and zlib state for `decoder`; false (said once) when the heap refuses them.
    bool ready(Decoder& decoder);
    void end(Decoder& decoder);
    bool haveScratch();
    bool fill(Decoder& decoder);
    int getByte();
    int headerByte();
    void unread(uint32_t count);
    bool getLong(uint32_t* value);
    bool skipHeaderBytes(uint32_t count);
    bool skipHeaderString();
    void checkHeader(bool first_member);
    void skipTrailingBytes(uint32_t taken, bool nonzero);
    // The last member has ended: the data is complete, if it is as long as claimed.
    void endOfData();
    // Whether the trailer of a file of `stored_size` bytes can be the one member's.
    bool trailerIsTheMembers(uint32_t stored_size, uint32_t* length);
    void finishMember();
    void addPoint();
    void inflateFailed(const z_stream& z, int result);

    // Inflates up to `size` bytes at the front into `out`.
    uint32_t inflateFront(uint8_t* out, uint32_t size);
    // Moves the front on to `target` (or the end), dropping what it passes.
    void advanceTo(uint64_t target);
    // Up to `size` bytes from the position, behind the front, from the
    // front's window; 0 when they are not all among its last bytes.
    uint32_t fromFrontWindow(uint8_t* out, uint32_t size);
    // `size` bytes from the position, all behind the front, inflated again.
    uint32_t inflateBehind(uint8_t* out, uint32_t size);
    bool restartAt(const GzipAccessIndex::Point& point);
    uint32_t inflateAgain(uint8_t* out, uint32_t size);

    uint32_t passThrough(uint8_t* buffer, uint32_t size);
    // Marks the data corrupt and says why, once.
    void fail(const char16_t* format, ...);
    void note(const char16_t* format, ...);

    FileManager* inner_;
    Console** console_;
    uint64_t max_output_;
    bool compressed_ = false;
    // The first bytes were read: the file is gzip (compressed_) or plain.
    bool format_known_ = false;
    int32_t status_ = Z_OK;

    Decoder front_;
    uint64_t front_output_ = 0;
    uint64_t member_start_ = 0;
    uint32_t crc_ = 0;
    uint32_t header_crc_ = 0;
    int first_flags_ = 0;
    // The length the trailer stated, which the data must keep to.
    bool claimed_ = false;
    uint32_t claimed_length_ = 0;
    bool more_members_ = false;
    uint64_t inflated_behind_ = 0;

    Decoder behind_;
    uint64_t behind_output_ = 0;

    uint64_t position_ = 0;
    GzipAccessIndex index_;
    LocalArray<uint8_t> scratch_;
};
