#include "file/gzip_file_manager.h"

#include "console/console.h"
#include "file/file_manager_factory.h"

#include <new>

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
    stream_ = takeKept(name);
    if (stream_ != nullptr)
        return true;
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

bool GzipFileManager::close() {
    if (stream_ != nullptr && stream_->complete() && stream_->inputBytesRead() <= 0xFFFFFFFFu) {
        Kept kept;
        kept.name = name_;
        kept.stored_size = static_cast<uint32_t>(stream_->inputBytesRead());
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
