// The loader's heap during one boot: runs zandrel-sim's boot with the given
// options up to the last-chance question (the script answers it No, so the
// boot ends there with everything loaded), then prints the most the process
// heap held at once. Before that, it measures the access index of each
// gzipped file named with --index-of (a host path) the way the boot's gzip
// layer builds it, so the high-water mark can be set against "1 MB plus the
// access index". Prints "heap high water BYTES index BYTES" on standard error.
//   zandrel_heap_bench [--index-of HOST_FILE]... ZANDREL_SIM_OPTIONS...
#include "bench/loader_reads.h"
#include "cli/options.h"
#include "cli/session.h"
#include "file/fat_file_manager.h"
#include "file/gzip_file_manager.h"
#include "platform/wide_string.h"
#include "sim/handheld.h"
#include "sim/process_heap.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

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
    runSession(parsed.options);
    // The boot's console is on standard output: the figures go to standard error.
    std::fprintf(stderr, "heap high water %llu index %llu\n",
                 static_cast<unsigned long long>(sim::ProcessHeap::get().highWater()),
                 static_cast<unsigned long long>(index));
    return 0;
}
