#include "sim/store_file.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr uint64_t kLargestPosition = 0xFFFFFFFEull;

} // namespace

StoreFile::StoreFile(int fd, std::filesystem::path path, bool exclusive)
    : fd_(fd), path_(std::move(path)), state_(&openFiles()[path_]) {
    ++state_->count;
    state_->exclusive = exclusive;
    // Opening may have truncated the file under other handles.
    ++state_->changes;
}

StoreFile::~StoreFile() {
    ::close(fd_);
    if (--state_->count == 0)
        openFiles().erase(path_);
}

bool StoreFile::isOpen(const std::filesystem::path& path, bool* exclusive) {
    auto open = openFiles().find(path);
    if (open == openFiles().end())
        return false;
    *exclusive = open->second.exclusive;
    return true;
}

bool StoreFile::buffered() const {
    return ahead_changes_ == state_->changes && position_ >= ahead_start_ &&
           position_ - ahead_start_ < ahead_.size();
}

bool StoreFile::refill() {
    ahead_.resize(kReadAhead);
    ssize_t got = ::pread(fd_, ahead_.data(), kReadAhead, static_cast<off_t>(position_));
    ahead_.resize(got > 0 ? static_cast<size_t>(got) : 0);
    ahead_start_ = position_;
    ahead_changes_ = state_->changes;
    return got >= 0;
}

bool StoreFile::read(void* buffer, ce::DWORD size, ce::DWORD* done, ce::DWORD* error) {
    auto* out = static_cast<uint8_t*>(buffer);
    ce::DWORD copied = 0;
    while (copied < size) {
        if (!buffered()) {
            ssize_t got = 0;
            if (size - copied >= kReadAhead) {
                // A large read goes straight to the caller.
                got = ::pread(fd_, out + copied, size - copied, static_cast<off_t>(position_));
                if (got > 0) {
                    copied += static_cast<ce::DWORD>(got);
                    position_ += static_cast<uint64_t>(got);
                    continue;
                }
            } else if (refill()) {
                got = static_cast<ssize_t>(ahead_.size());
            } else {
                got = -1;
            }
            if (got < 0) {
                *done = 0;
                *error = ce::ERROR_READ_FAULT;
                return false;
            }
            if (got == 0)
                break; // end of file
        }
        size_t from = static_cast<size_t>(position_ - ahead_start_);
        size_t count = std::min<size_t>(size - copied, ahead_.size() - from);
        std::memcpy(out + copied, ahead_.data() + from, count);
        copied += static_cast<ce::DWORD>(count);
        position_ += count;
    }
    *done = copied;
    return true;
}

bool StoreFile::write(const void* buffer, ce::DWORD size, ce::DWORD* done, ce::DWORD* error) {
    ssize_t written = ::pwrite(fd_, buffer, size, static_cast<off_t>(position_));
    ++state_->changes;
    if (written < 0) {
        *done = 0;
        *error = ce::ERROR_WRITE_FAULT;
        return false;
    }
    position_ += static_cast<uint64_t>(written);
    *done = static_cast<ce::DWORD>(written);
    return true;
}

bool StoreFile::seek(ce::LONG distance, ce::DWORD method, ce::DWORD* position, ce::DWORD* error) {
    int64_t origin = 0;
    int64_t offset = distance;
    if (method == ce::FILE_BEGIN) {
        offset = static_cast<uint32_t>(distance);
    } else if (method == ce::FILE_CURRENT) {
        origin = static_cast<int64_t>(position_);
    } else {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) {
            *error = ce::ERROR_INVALID_PARAMETER;
            return false;
        }
        origin = st.st_size;
    }
    int64_t result = origin + offset;
    if (result < 0 || static_cast<uint64_t>(result) > kLargestPosition) {
        *error = ce::ERROR_INVALID_PARAMETER;
        return false;
    }
    position_ = static_cast<uint64_t>(result);
    *position = static_cast<ce::DWORD>(result);
    return true;
}

bool StoreFile::size(ce::DWORD* size, ce::DWORD* error) {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || static_cast<uint64_t>(st.st_size) > kLargestPosition) {
        *error = ce::ERROR_INVALID_PARAMETER;
        return false;
    }
    *size = static_cast<ce::DWORD>(st.st_size);
    return true;
}

// Written bytes are on the simulated card (the host file) as soon as the
// write returns: there is no device cache left to flush, and the host's own
// durability is not the device's.
bool StoreFile::flush(ce::DWORD*) {
    return true;
}

std::map<std::filesystem::path, StoreFile::OpenState>& StoreFile::openFiles() {
    static std::map<std::filesystem::path, StoreFile::OpenState> files;
    return files;
}

} // namespace sim
