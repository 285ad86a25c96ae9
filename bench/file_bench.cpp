// Reads one kernel file through the boot's FileManager (the gzip layer over
// the local or HTTP variant) the way the ELF loader does: the header at
// offset 0, then every byte in increasing offsets, one page's data (4080
// bytes) at a time. Prints the seconds from open to the last byte.
//   zandrel_file_bench ROOT NAME     ROOT: a host folder, or http://127.0.0.1:PORT/
#include "bench/loader_reads.h"
#include "file/file_manager.h"
#include "file/file_manager_factory.h"
#include "file/gzip_file_manager.h"
#include "platform/wide_string.h"
#include "sim/handheld.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ROOT NAME\n", argv[0]);
        return 2;
    }
    std::string root = argv[1];
    bool http = root.rfind("http://", 0) == 0;
    sim::HandheldSettings settings;
    settings.root = http ? std::filesystem::temp_directory_path() : std::filesystem::path(root);
    sim::Handheld::get().reset(settings);

    QuietConsole console;
    Console* slot = &console;
    std::unique_ptr<FileManager> file(createFileManagerOfKind(http ? 2 : 0, &slot));
    std::u16string device_root = http ? utf8ToUtf16(root) : u"\\";
    std::u16string name = utf8ToUtf16(http ? "/" + std::string(argv[2]) : argv[2]);
    if (!file || !file->setRoot(device_root.c_str())) {
        std::fprintf(stderr, "can't set the root %s\n", argv[1]);
        return 1;
    }

    auto start = std::chrono::steady_clock::now();
    if (!file->open(name.c_str(), 3)) {
        std::fprintf(stderr, "can't open %s\n", argv[2]);
        return 1;
    }
    char header[52];
    if (file->read(header, sizeof header, 0) != sizeof header) {
        std::fprintf(stderr, "can't read the header\n");
        return 1;
    }
    std::optional<uint64_t> total = readLikeTheLoader(*file);
    if (!total)
        return 1;
    auto* layer = dynamic_cast<GzipFileManager*>(file.get());
    if (const GzipAccessIndex* index = layer != nullptr ? layer->index() : nullptr)
        std::fprintf(stderr,
                     "access index: %zu points, windows %llu bytes (platform heap), records %llu bytes\n",
                     index->pointCount(), static_cast<unsigned long long>(index->windowBytes()),
                     static_cast<unsigned long long>(index->recordBytes()));
    file->close();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %llu\n", seconds, static_cast<unsigned long long>(*total));
    return 0;
}
