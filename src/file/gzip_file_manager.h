// The FileManager the boot context holds: it owns the variant for the boot
// directory and presents a gzip file through it as its decompressed bytes,
// with positioned reads, seeks and `realsize` on the decompressed stream.
// Any other file passes through unchanged.
#pragma once

#include "file/file_manager.h"

#include <zlib.h>

class GzipFileManager : public FileManager {
  public:
    static constexpr uint32_t kInputSize = 1024;
    static constexpr uint32_t kScratchSize = 256;
    // What `read` returns once the data is found corrupt, or when the file
    // under it could not be read.
    static constexpr uint32_t kCorrupt = kReadFailed;

    // Makes the variant for `kind` (createFileManagerVariant); `hasInner` tells whether it could.
    GzipFileManager(Console** console, int32_t kind);
    // Wraps `inner` and owns it.
    GzipFileManager(Console** console, FileManager* inner);
    ~GzipFileManager() override;

    GzipFileManager(const GzipFileManager&) = delete;
    GzipFileManager& operator=(const GzipFileManager&) = delete;

    bool setRoot(const char16_t* root) override;
    bool open(const char16_t* name, uint32_t mode) override;
    // The size as stored, from the variant.
    uint32_t size() override;
    // The decompressed length from the current position to the end, found by
    // decompressing; all ones when the data is corrupt.
    uint32_t realsize() override;
    bool close() override;
    uint32_t read(void* buffer, uint32_t size, uint32_t offset = kCurrentPosition) override;
    uint32_t write(const void* buffer, uint32_t size, uint32_t offset = kCurrentPosition) override;
    bool seek(uint32_t offset) override;

    bool hasInner() const { return inner_ != nullptr; }
    FileManager* inner() const { return inner_; }
    // Whether the open file is a gzip file (else it passes through).
    bool compressed() const { return compressed_; }
    // Z_OK while running, Z_STREAM_END at the end, negative once corrupt.

  private:
    void resetStream();
    bool startInflate();
    void endInflate();
    void rewind();
    bool fillInput();
    int getByte();
    int headerByte();
    // Gives back the last `count` bytes taken from the input.
    void unread(uint32_t count);
    // False when the input ends first.
    bool getLong(uint32_t* value);
    bool skipHeaderBytes(uint32_t count);
    bool skipHeaderString();
    void checkHeader(bool first_member);
    void finishMember();
    uint32_t readData(uint8_t* buffer, uint32_t len);
    uint32_t passThrough(uint8_t* buffer, uint32_t len);
    // Bytes skipped, or -1 once corrupt.
    int64_t skipData(uint32_t count);
    // Marks the data corrupt and says why, once.
    void fail(const char16_t* format, ...);

    z_stream stream_{};
    bool inflating_ = false;
    const int gzip_magic_[2] = {0x1F, 0x8B};
    int32_t stream_status_ = Z_OK;
    bool input_eof_ = false;
    bool input_failed_ = false; // the file under the stream refused a read
    uint8_t input_buffer_[kInputSize]{};
    uint32_t crc_ = 0;
    uint32_t header_crc_ = 0;
    bool compressed_ = false;
    FileManager* inner_ = nullptr;
    // Decompressed bytes delivered since the open or the last rewind, over all members.
    uint64_t position_ = 0;
};
