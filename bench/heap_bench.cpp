// The loader's heap during one boot: runs zandrel-sim's boot with the given
// options up to the last-chance question (the script answers it No, so the
// boot ends there with everything loaded), then prints the most the
// process's heaps held at once (the pages they grew by, every block with its
// header and rounding), and the most the C++ heap held at once from pressing
// Boot on (counted here by replacing operator new: on the device C++ blocks
// are heap blocks too; what the simulated handheld allocates for itself while
// it serves the boot's calls is the device's, sim::DeviceWork). Before that, it measures
// the access index of each gzipped file named with --index-of (a host path)
// the way the boot's gzip layer builds it, so the figures can be set against
// "1 MB plus the access index". Prints "heap high water BYTES c++ BYTES index
// BYTES" on standard error.
//   zandrel_heap_bench [--index-of HOST_FILE]... ZANDREL_SIM_OPTIONS...
#include "bench/loader_reads.h"
#include "cli/options.h"
#include "cli/session.h"
#include "file/fat_file_manager.h"
#include "file/gzip_file_manager.h"
#include "platform/wide_string.h"
#include "sim/device_work.h"
#include "sim/handheld.h"
#include "sim/process_heap.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

namespace {

// Every C++ block carries what it cost while Boot was pressed, 0 before.
struct alignas(std::max_align_t) CxxBlock {
    size_t cost;
};
std::atomic<bool> counting{false};
std::atomic<uint64_t> live{0};
std::atomic<uint64_t> peak{0};

void* countedNew(size_t bytes) {
    auto* block = static_cast<CxxBlock*>(std::malloc(sizeof(CxxBlock) + bytes));
    if (block == nullptr)
        return nullptr;
    // Charged as the device's heap charges a block.
    bool programs = counting && !sim::DeviceWork::active();
    block->cost =
        programs ? sim::ProcessHeap::blockCost(static_cast<uint32_t>(std::min<size_t>(bytes, UINT32_MAX)))
                 : 0;
    if (block->cost != 0) {
        uint64_t now = live += block->cost;
        uint64_t seen = peak;
        while (now > seen && !peak.compare_exchange_weak(seen, now)) {
        }
    }
    return block + 1;
}

void countedDelete(void* pointer) {
    if (pointer == nullptr)
        return;
    CxxBlock* block = static_cast<CxxBlock*>(pointer) - 1;
    live -= block->cost;
    std::free(block);
}

// The platform heap the access index of `path`, read to its end, keeps: its
// windows (the point records are C++ heap, not charged to program memory).
uint64_t indexBytes(const std::filesystem::path& path) {
    sim::HandheldSettings settings;
    settings.root = path.parent_path();
    sim::Handheld::get().reset(settings);
    QuietConsole console;
    Console* slot = &console;
    GzipFileManager file(&slot, new FatFileManager(&slot));
    std::u16string name = utf8ToUtf16(path.filename().string());
    if (!file.setRoot(u"\\") || !file.open(name.c_str(), 3) || file.realsize() == FileManager::kReadFailed) {
        std::fprintf(stderr, "can't read %s\n", path.c_str());
        return 0;
    }
    uint64_t bytes = file.index() != nullptr ? file.index()->windowBytes() : 0;
    file.close();
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<char*> options = {argv[0]};
    uint64_t index = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--index-of") == 0 && i + 1 < argc)
            index += indexBytes(argv[++i]);
        else
            options.push_back(argv[i]);
    }
    ParseResult parsed = parseOptions(static_cast<int>(options.size()), options.data());
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "%s\n", parsed.error.c_str());
        return 2;
    }
    runSession(parsed.options, [] {
        sim::ProcessHeap::get().resetHighWater();
        counting = true;
    });
    counting = false;
    // The boot's console is on standard output: the figures go to standard error.
    std::fprintf(stderr, "heap high water %llu c++ %llu index %llu\n",
                 static_cast<unsigned long long>(sim::ProcessHeap::get().highWater()),
                 static_cast<unsigned long long>(peak.load()), static_cast<unsigned long long>(index));
    return 0;
}

void* operator new(size_t bytes) {
    void* block = countedNew(bytes);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}
void* operator new[](size_t bytes) {
    return operator new(bytes);
}
void* operator new(size_t bytes, const std::nothrow_t&) noexcept {
    return countedNew(bytes);
}
void* operator new[](size_t bytes, const std::nothrow_t&) noexcept {
    return countedNew(bytes);
}
void operator delete(void* pointer) noexcept {
    countedDelete(pointer);
}
void operator delete[](void* pointer) noexcept {
    countedDelete(pointer);
}
void operator delete(void* pointer, size_t) noexcept {
    countedDelete(pointer);
}
void operator delete[](void* pointer, size_t) noexcept {
    countedDelete(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
    countedDelete(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
    countedDelete(pointer);
}
