// The winblk driver's partition choice over arbitrary partition tables and
// disklabels. The input is an MBR sector followed by a label sector; the
// harness writes the MBR at sector 0 of a sparse disk image and the label at
// sector 1 of every partition the MBR names (when it lies within 512 MB), so
// that whichever partition the driver picks, it finds the fuzzed label. It
// then opens the disk with a partition index from the input and reads at the
// edges of the partition it chose; every read must stay inside it.
// One simulated handheld serves the whole run (making one builds its RAM and
// object store): each input starts with no disk and an empty debugger log,
// and must leave no handle open and no heap block behind.
#include "file/ufs/winblk.h"
#include "sim/disk.h"
#include "sim/handheld.h"
#include "sim/handle_table.h"
#include "sim/process_heap.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t kSector = 512;
constexpr uint64_t kMaxSectors = 1u << 20;

// The disk image, rewritten for every input: in memory (tmpfs) where the
// machine has it, since a file on disk that is cut to nothing and written
// again is flushed on every close; removed when the run ends.
class DiskImage {
  public:
    DiskImage() {
        std::string name = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        name += "/zandrel-fuzz-disk-XXXXXX";
        int fd = mkstemp(name.data());
        if (fd < 0)
            std::abort();
        close(fd);
        path_ = name;
    }
    ~DiskImage() { unlink(path_.c_str()); }
    DiskImage(const DiskImage&) = delete;
    DiskImage& operator=(const DiskImage&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

const std::string& diskPath() {
    static DiskImage image;
    return image.path();
}

uint32_t get32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void writeDisk(const std::string& path, const uint8_t* mbr, const uint8_t* label, uint64_t sectors) {
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(sectors * kSector)) != 0)
        std::abort();
    if (pwrite(fd, mbr, kSector, 0) != kSector)
        std::abort();
    for (int i = 0; i < 4; ++i) {
        uint64_t start = get32(mbr + 446 + 16 * i + 8);
        if (start + 2 <= sectors &&
            pwrite(fd, label, kSector, static_cast<off_t>((start + 1) * kSector)) != kSector)
            std::abort();
    }
    close(fd);
}

// The device of the run, made at the first input, and the heap in use then:
// the mark every input must come back to.
struct RunDevice {
    sim::Handheld* handheld;
    uint64_t heap_in_use;
};

const RunDevice& runDevice() {
    static const RunDevice device = [] {
        sim::Handheld::get().reset(sim::HandheldSettings{});
        return RunDevice{&sim::Handheld::get(), sim::ProcessHeap::get().bytesInUse()};
    }();
    return device;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 * kSector)
        return 0;
    const std::string& path = diskPath();
    uint8_t mbr[kSector];
    uint8_t label[kSector];
    std::memcpy(mbr, data, kSector);
    std::memcpy(label, data + kSector, kSector);
    // Optional trailing bytes: the label entry to open and the disk's length
    // (up to 512 MB, 32 MB without them).
    const int partition = size > 2 * kSector ? static_cast<int8_t>(data[2 * kSector]) : 0;
    const uint64_t length = size > 2 * kSector + 1 ? data[2 * kSector + 1] : 16;
    const uint64_t sectors = 2 + (length << 12) % kMaxSectors;
    writeDisk(path, mbr, label, sectors);
    const RunDevice& device = runDevice();
    sim::Handheld& handheld = *device.handheld;
    handheld.disks.clear();
    handheld.debug_log.clear();
    if (!sim::attachDisk(1, path))
        std::abort();

    OpenFileRecord record;
    record.device = &winblk;
    if (winblkOpen(&record, "DSK", 1, partition) == 0) {
        auto* state = static_cast<WinblkState*>(record.device_state);
        const uint64_t start = state->partition_start;
        const uint64_t end = start + state->partition_sectors;
        // A partition beyond the disk keeps its start and gets no sectors.
        if (state->partition_sectors != 0 && end > sectors)
            std::abort();
        std::vector<sim::DiskRead>& reads = handheld.disks.at(1).reads;
        reads.clear();
        uint8_t buffer[2 * kSector];
        uint32_t count = 0;
        for (uint32_t block : {0u, state->partition_sectors - 1})
            winblkStrategy(state, 1, block, 1000, buffer, &count);
        if (winblkStrategy(state, 1, state->partition_sectors, 1000, buffer, &count) != EIO)
            std::abort();
        // Every read the driver made stays inside the partition.
        for (const sim::DiskRead& read : reads) {
            if (read.start < start || read.start + uint64_t{read.count} > end)
                std::abort();
        }
        winblkClose(&record);
    } else if (record.device_state != nullptr) {
        std::abort();
    }
    if (sim::HandleTable::get().openCount() != 0 ||
        sim::ProcessHeap::get().bytesInUse() != device.heap_in_use)
        std::abort();
    return 0;
}
