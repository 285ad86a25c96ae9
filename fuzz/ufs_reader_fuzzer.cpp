// The UFS reader over an arbitrary file-system image, served from memory by
// a block driver of its own (reads outside the image fail with EIO). It opens
// a handful of paths, with and without symbolic links, and reads each file it
// opens from its start and near its end; the counts it reports must add up.
#include "file/ufs/open_file_record.h"
#include "file/ufs/ufs_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct MemoryDisk {
    const uint8_t* data;
    size_t size;
};

int memoryStrategy(void* state, int direction, uint32_t block, uint32_t size, void* buffer, uint32_t* count) {
    const auto* disk = static_cast<const MemoryDisk*>(state);
    if (direction != 1)
        return EROFS;
    uint64_t offset = uint64_t{block} * 512;
    if (offset + size > disk->size)
        return EIO;
    std::memcpy(buffer, disk->data + offset, size);
    if (count != nullptr)
        *count = size;
    return 0;
}

int noOpen(OpenFileRecord*, const char*, int, int) {
    return 0;
}
int noClose(OpenFileRecord*) {
    return 0;
}
int noIoctl(OpenFileRecord*, uint32_t, void*) {
    return EIO;
}

const DeviceSwitch kMemoryDevice = {"memory", memoryStrategy, noOpen, noClose, noIoctl};

const char* const kPaths[] = {"",        "kalmor.gz", "/miniroot.fs", "README", "boot/kalmor.gz",
                              "a/b/c/d", "link/x"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryDisk disk{data, size};
    OpenFileRecord record;
    record.device = &kMemoryDevice;
    record.device_state = &disk;
    std::vector<uint8_t> buffer(20000);
    for (const char* path : kPaths) {
        if (ufsOpen(path, &record) != 0) {
            if (record.fs_state != nullptr)
                std::abort();
            continue;
        }
        UfsStat stat{};
        ufsStat(&record, &stat);
        // A read that succeeds hands out exactly the bytes up to the readable size.
        const uint32_t readable = static_cast<uint32_t>(std::max<int32_t>(0, ufsSeek(&record, 0, 2)));
        ufsSeek(&record, 0, 0);
        uint32_t residual = 0;
        const uint32_t want = static_cast<uint32_t>(buffer.size());
        if (ufsRead(&record, buffer.data(), want, &residual) == 0 &&
            residual != want - std::min(want, readable))
            std::abort();
        // From 3000 bytes before the end, 5000 asked: 3000 come.
        if (ufsSeek(&record, 3000, 2) >= 0 && ufsRead(&record, buffer.data(), 5000, &residual) == 0 &&
            residual != 2000)
            std::abort();
        ufsClose(&record);
    }
    return 0;
}
