// One file interface over local files, HTTP and UFS on a raw disk; the boot
// context holds the gzip layer, which wraps one of them.
#pragma once

#include <cstdint>

class Console;

class FileManager {
  public:
    // An offset argument of all ones means: at the current position.
    static constexpr uint32_t kCurrentPosition = 0xFFFFFFFFu;
    // What `read` returns when the platform refused to read: the bytes are
    // there but could not be had, which is not an end of file.
    static constexpr uint32_t kReadFailed = 0xFFFFFFFFu;
    static constexpr uint32_t kNameSize = 260;

    explicit FileManager(Console** console);
    virtual ~FileManager() = default;

    virtual bool setRoot(const char16_t* root) = 0;
    virtual bool open(const char16_t* name, uint32_t mode) = 0;
    // The size as stored.
    virtual uint32_t size() = 0;
    // The number of data bytes a reader will get.
    virtual uint32_t realsize();
    // The same as the file states it, without reading it through where it
    // can (a gzip file's trailer, GzipFileManager): the reader finds out
    // whether the data keeps to it as it reads, at the latest when `realsize`
    // reads to the end.
    virtual uint32_t claimedSize() { return realsize(); }
    virtual bool close() = 0;
    virtual uint32_t read(void* buffer, uint32_t size, uint32_t offset = kCurrentPosition) = 0;
    virtual uint32_t write(const void* buffer, uint32_t size, uint32_t offset = kCurrentPosition) = 0;
    virtual bool seek(uint32_t offset) = 0;
    // Whether bytes before the last one read cost a second pass over the
    // file (a gzip stream): a reader that can should then take the file in
    // one pass from its start.
    virtual bool streamed() const { return false; }
    // Gives back memory kept for later (what closed files left to be read
    // again without fetching them); true when it gave some.
    virtual bool releaseMemory() { return false; }

    // Converts a wide name to the default 8-bit code page, with its terminator.
    bool toAscii(char* destination, const char16_t* source, uint32_t capacity);

    void setDebugLevel(int32_t level) { debug_level = level; }
    // Bytes brought from where the files live (card, disk, network) since
    // this file manager was made.
    uint64_t fetched() const { return fetched_; }

    int32_t debug_level = 0;
    char file_name[kNameSize]{};

  protected:
    void print(const char16_t* format, ...);

    Console** console_;
    uint64_t fetched_ = 0;
};
