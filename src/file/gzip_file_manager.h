// The FileManager the boot context holds: it owns the variant for the boot
// directory and presents a gzip file through it as its decompressed bytes,
// with positioned reads, seeks and `realsize` on the decompressed stream.
// Any other file passes through unchanged.
//
// Each file is inflated and checked once per boot (GzipStream). A file closed
// after its whole stream was inflated and checked keeps its access points,
// and nothing else; one sized from its trailer and not read yet keeps its
// decoder. Either is taken up again when the same name is opened with the
// same stored size: the file-system image is sized before the kernel is
// loaded and read after it.
#pragma once

#include "file/file_manager.h"
#include "file/gzip_access_index.h"
#include "file/gzip_stream.h"

#include <memory>
#include <string>
#include <vector>

class GzipFileManager : public FileManager {
  public:
    // What `read` and `realsize` return once the data is found corrupt.
    static constexpr uint32_t kCorrupt = GzipStream::kCorrupt;

    // Makes the variant for `kind` (createFileManagerVariant); `hasInner` tells whether it could.
    GzipFileManager(Console** console, int32_t kind);
    // Wraps `inner` and owns it; access points `point_spacing` output bytes
    // apart; streams longer than `max_output` refused (lower only for tests).
    GzipFileManager(Console** console, FileManager* inner,
                    uint64_t point_spacing = GzipAccessIndex::kDefaultSpacing,
                    uint64_t max_output = GzipStream::kMaxOutput);
    ~GzipFileManager() override;

    GzipFileManager(const GzipFileManager&) = delete;
    GzipFileManager& operator=(const GzipFileManager&) = delete;

    bool setRoot(const char16_t* root) override;
    bool open(const char16_t* name, uint32_t mode) override;
    // The size as stored, from the variant.
    uint32_t size() override;
    // The decompressed length from the current position to the end; all ones
    // when the data is corrupt. It inflates and checks the whole stream.
    uint32_t realsize() override;
    // Right after open, a one-member gzip file's length from its trailer,
    // which the data must then keep to (GzipStream::claimedSize); else
    // realsize. A file that turned out to hold more members than that is
    // sized by realsize from then on, in this process: the boot after the
    // one it failed loads it.
    uint32_t claimedSize() override;
    bool close() override;
    uint32_t read(void* buffer, uint32_t size, uint32_t offset = kCurrentPosition) override;
    uint32_t write(const void* buffer, uint32_t size, uint32_t offset = kCurrentPosition) override;
    bool seek(uint32_t offset) override;
    bool streamed() const override { return compressed(); }
    bool releaseMemory() override { return inner_ != nullptr && inner_->releaseMemory(); }

    bool hasInner() const { return inner_ != nullptr; }
    FileManager* inner() const { return inner_; }
    // Whether the open file is a gzip file (else it passes through).
    bool compressed() const { return stream_ != nullptr && stream_->compressed(); }
    // The open file's access points, or null.
    const GzipAccessIndex* index() const { return stream_ != nullptr ? &stream_->index() : nullptr; }

    // What each file closed so far took: the bytes inflated, and the bytes
    // the variant fetched for it (from the card, the disk or the network).
    struct Traffic {
        std::u16string name;
        uint64_t inflated = 0;
        uint64_t fetched = 0;
    };
    const std::vector<Traffic>& traffic() const { return traffic_; }

  private:
    struct Kept {
        std::u16string name;
        uint32_t stored_size = 0;
        std::unique_ptr<GzipStream> stream;
    };

    // Takes up the kept stream of `name`, if it is still the same file.
    std::unique_ptr<GzipStream> takeKept(const char16_t* name);

    FileManager* inner_ = nullptr;
    uint64_t point_spacing_;
    uint64_t max_output_;
    void countTraffic();
    // Whether the open file was found to hold more members than its trailer tells.
    bool knownToHoldMoreMembers();

    std::unique_ptr<GzipStream> stream_;
    std::u16string name_;
    std::vector<Kept> kept_;
    std::vector<Traffic> traffic_;
    // The open file's counts when it was opened.
    uint64_t inflated_at_open_ = 0;
    uint64_t fetched_at_open_ = 0;
};
