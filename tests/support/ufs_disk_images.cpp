#include "support/ufs_disk_images.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

ShellResult runShell(const std::string& command) {
    ShellResult result;
    // makefs, sfdisk and fdisk live in the system folders.
    std::string line = "PATH=\"$PATH:/usr/sbin:/sbin\"; { " + command + "; } 2>&1";
    FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char chunk[4096];
    size_t got = 0;
    while ((got = fread(chunk, 1, sizeof(chunk), pipe)) > 0)
        result.output.append(chunk, got);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

ScratchFolder::ScratchFolder() {
    char pattern[] = "/tmp/zandrel-scratch-XXXXXX";
    if (mkdtemp(pattern) != nullptr)
        path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ignored);
}

std::string patternBytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

void writeHostFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readHostFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

namespace {

std::string failure(const std::string& what, const ShellResult& result) {
    return result.status == 0 ? std::string()
                              : what + " failed (" + std::to_string(result.status) + "): " + result.output;
}

uint64_t roundUp(uint64_t n, uint64_t unit) {
    return (n + unit - 1) / unit * unit;
}

// Room for every file and directory in whole blocks, their indirect blocks,
// the inode tables and some slack.
uint64_t imageBytesFor(const std::filesystem::path& source, uint32_t bsize) {
    uint64_t bytes = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(source)) {
        std::error_code error;
        if (entry.is_regular_file(error) && !entry.is_symlink(error))
            bytes += roundUp(entry.file_size(), bsize) * 102 / 100;
        bytes += bsize;
    }
    return roundUp(bytes * 5 / 4 + 2 * 1024 * 1024, 64 * 1024);
}

} // namespace

std::string makeUfs(const std::filesystem::path& image, const std::filesystem::path& source, uint32_t bsize,
                    uint32_t fsize, const std::string& options, const std::string& endian) {
    std::string command = "makefs -t ffs -B " + endian + " -s " +
                          std::to_string(imageBytesFor(source, bsize)) +
                          " -o version=1,bsize=" + std::to_string(bsize) + ",fsize=" + std::to_string(fsize) +
                          (options.empty() ? "" : "," + options) + " " + shellQuote(image.string()) + " " +
                          shellQuote(source.string());
    return failure("makefs", runShell(command));
}

std::string makeDisk(const std::filesystem::path& disk, uint32_t sectors, const std::vector<MbrSlot>& slots) {
    std::error_code ignored;
    std::filesystem::remove(disk, ignored);
    std::string script = "label: dos\\n";
    char type[8];
    for (const MbrSlot& slot : slots) {
        std::snprintf(type, sizeof(type), "%x", slot.type);
        script += disk.string() + std::to_string(slot.number) + " : start=" + std::to_string(slot.start) +
                  ", size=" + std::to_string(slot.sectors) + ", type=" + type + "\\n";
    }
    std::string command = "truncate -s " + std::to_string(uint64_t{sectors} * 512) + " " +
                          shellQuote(disk.string()) + " && printf " + shellQuote(script) +
                          " | sfdisk --no-reread " + shellQuote(disk.string());
    return failure("sfdisk", runShell(command));
}

std::string writeBsdLabel(const std::filesystem::path& disk, uint32_t first, uint32_t last) {
    // b: edit the BSD label, y: create one, n a: new entry a, then its sectors, w: write.
    std::string answers =
        "b\\ny\\nn\\na\\n" + std::to_string(first) + "\\n" + std::to_string(last) + "\\nw\\nq\\n";
    ShellResult result = runShell("printf " + shellQuote(answers) + " | fdisk " + shellQuote(disk.string()));
    for (const char* complaint : {"unknown command", "Incomplete", "Value out of range"}) {
        if (result.output.find(complaint) != std::string::npos)
            result.status = 1;
    }
    if (result.output.find("Disklabel written") == std::string::npos)
        result.status = 1;
    return failure("fdisk", result);
}

std::string copyFileSystem(const std::filesystem::path& disk, const std::filesystem::path& image,
                           uint32_t start) {
    std::string command = "dd if=" + shellQuote(image.string()) + " of=" + shellQuote(disk.string()) +
                          " bs=512 skip=16 seek=" + std::to_string(uint64_t{start} + 16) +
                          " conv=notrunc status=none";
    return failure("dd", runShell(command));
}

std::string makeLabelledDisk(const std::filesystem::path& disk, const std::filesystem::path& image) {
    std::error_code error;
    uint64_t image_sectors = std::filesystem::file_size(image, error) / 512;
    if (error)
        return "no image " + image.string();
    uint32_t sectors = static_cast<uint32_t>(image_sectors + 64);
    uint32_t start = kLabelledDiskStart;
    // fdisk's BSD mode needs a disk of at least one 255-head, 63-sector cylinder.
    uint32_t total = std::max<uint32_t>(start + sectors + 2048, 16384);
    std::string problem = makeDisk(disk, total, {{1, start, sectors, 0xA9}});
    if (problem.empty())
        problem = writeBsdLabel(disk, start, start + sectors - 1);
    if (problem.empty())
        problem = copyFileSystem(disk, image, start);
    return problem;
}
