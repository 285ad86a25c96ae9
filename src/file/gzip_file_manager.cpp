#include "file/gzip_file_manager.h"

#include "console/console.h"
#include "file/file_manager_factory.h"

#include <algorithm>
#include <new>

namespace {

// Files found to hold more gzip members than their trailers tell, by name and
// stored size, for the rest of the process.
struct KnownFile {
    std::u16string name;
    uint32_t stored_size;
};
std::vector<KnownFile>& moreMembers() {
    static std::vector<KnownFile> files;
    return files;
}

} // namespace

GzipFileManager::GzipFileManager(Console** console, int32_t kind)
    : GzipFileManager(console, createFileManagerVariant(kind, console)) {}

GzipFileManager::GzipFileManager(Console** console, FileManager* inner, uint64_t point_spacing,
                                 uint64_t max_output)
    : FileManager(console), inner_(inner), point_spacing_(point_spacing), max_output_(max_output) {}

GzipFileManager::~GzipFileManager() {
    stream_.reset();
    kept_.clear();
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

std::unique_ptr<GzipStream> GzipFileManager::takeKept(const char16_t* name) {
    for (auto it = kept_.begin(); it != kept_.end(); ++it) {
        if (it->name != name)
            continue;
        std::unique_ptr<GzipStream> stream = std::move(it->stream);
        uint32_t stored_size = it->stored_size;
        kept_.erase(it);
        if (inner_->size() != stored_size)
            return nullptr;
        stream->seek(0);
        return stream;
    }
    return nullptr;
}

bool GzipFileManager::open(const char16_t* name, uint32_t mode) {
    if (inner_ == nullptr)
        return false;
    stream_.reset(); // a file left open by an earlier attempt
    if (!inner_->open(name, mode))
        return false;
    name_ = name;
    fetched_at_open_ = inner_->fetched();
    inflated_at_open_ = 0;
    stream_ = takeKept(name);
    if (stream_ != nullptr) {
        inflated_at_open_ = stream_->inflated();
        return true;
    }
    stream_.reset(new (std::nothrow) GzipStream(inner_, console_, point_spacing_, max_output_));
    if (stream_ == nullptr)
        print(u"gzip: can't allocate memory for the decompressor.\n");
    // The stream says itself why it can't start.
    if (stream_ == nullptr || !stream_->start()) {
        stream_.reset();
        inner_->close();
        return false;
    }
    return true;
}

void GzipFileManager::countTraffic() {
    if (stream_ == nullptr)
        return;
    auto entry = std::find_if(traffic_.begin(), traffic_.end(),
                              [this](const Traffic& traffic) { return traffic.name == name_; });
    if (entry == traffic_.end())
        entry = traffic_.insert(traffic_.end(), Traffic{name_, 0, 0});
    entry->inflated += stream_->inflated() - inflated_at_open_;
    entry->fetched += inner_->fetched() - fetched_at_open_;
}

bool GzipFileManager::knownToHoldMoreMembers() {
    uint32_t stored_size = size();
    return std::any_of(moreMembers().begin(), moreMembers().end(), [&](const KnownFile& file) {
        return file.name == name_ && file.stored_size == stored_size;
    });
}

bool GzipFileManager::close() {
    countTraffic();
    if (stream_ != nullptr && stream_->moreMembersThanClaimed() && !knownToHoldMoreMembers())
        moreMembers().push_back({name_, size()});
    bool complete = stream_ != nullptr && stream_->complete() && stream_->inputBytesRead() <= 0xFFFFFFFFu;
    if (complete || (stream_ != nullptr && stream_->claimedUnread())) {
        Kept kept;
        kept.name = name_;
        kept.stored_size = complete ? static_cast<uint32_t>(stream_->inputBytesRead()) : inner_->size();
        kept.stream = std::move(stream_);
        kept.stream->release();
        kept_.push_back(std::move(kept));
    }
    stream_.reset();
    return inner_ != nullptr && inner_->close();
}

uint32_t GzipFileManager::read(void* buffer, uint32_t size, uint32_t offset) {
    if (offset != kCurrentPosition)
        seek(offset);
    return stream_ != nullptr ? stream_->read(buffer, size) : 0;
}

bool GzipFileManager::seek(uint32_t offset) {
    return stream_ != nullptr && stream_->seek(offset);
}

uint32_t GzipFileManager::realsize() {
    if (stream_ == nullptr)
        return 0;
    return stream_->realsize(stream_->compressed() ? 0 : size());
}

uint32_t GzipFileManager::claimedSize() {
    if (stream_ == nullptr)
        return 0;
    if (!stream_->compressed() || knownToHoldMoreMembers())
        return realsize();
    return stream_->claimedSize(size());
}
