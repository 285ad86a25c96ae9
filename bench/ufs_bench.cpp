// Reads one file of a UFS partition through the UfsFileManager the way the
// ELF loader does: every byte in increasing offsets, one page's data (4080
// bytes) at a time, from a disk image attached as DSK1:. Prints the seconds
// from open to the last byte and the bytes read.
//   zandrel_ufs_bench DISK_IMAGE NAME
#include "bench/loader_reads.h"
#include "file/ufs/ufs_file_manager.h"
#include "platform/wide_string.h"
#include "sim/disk.h"
#include "sim/handheld.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DISK_IMAGE NAME\n", argv[0]);
        return 2;
    }
    sim::HandheldSettings settings;
    settings.root = std::filesystem::temp_directory_path();
    sim::Handheld::get().reset(settings);
    if (!sim::attachDisk(1, argv[1])) {
        std::fprintf(stderr, "can't attach %s\n", argv[1]);
        return 1;
    }
    // The debugger output is dropped, as when no debugger listens.
    sim::Handheld::get().debug_output = [](std::u16string_view) { sim::Handheld::get().debug_log.clear(); };

    QuietConsole console;
    Console* slot = &console;
    UfsFileManager file(&slot);
    std::u16string name = utf8ToUtf16(argv[2]);
    auto start = std::chrono::steady_clock::now();
    if (!file.setRoot(u"/") || !file.open(name.c_str(), 3)) {
        std::fprintf(stderr, "can't open %s on %s\n", argv[2], argv[1]);
        return 1;
    }
    const uint32_t size = file.realsize();
    uint64_t total = readLikeTheLoader(file).value_or(0);
    file.close();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.6f %llu\n", seconds, static_cast<unsigned long long>(total));
    return total == size ? 0 : 1;
}
