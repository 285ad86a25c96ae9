#include "sim/emulator/snapshot.h"

#include "sim/hand_off.h"
#include "sim/handheld.h"
#include "sim/physical_memory.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace sim {

namespace {

constexpr char kMagic[8] = {'Z', 'A', 'N', 'D', 'S', 'N', 'A', 'P'};
constexpr uint32_t kPageRecordSize = 4 + kSnapshotPageSize;

// Header fields by offset.
enum : uint32_t {
    kOffVersion = 8,
    kOffHeaderSize = 12,
    kOffRoutine = 16,
    kOffProcessor = 20,
    kOffPlatformCpu = 24,
    kOffPlatformMachine = 28,
    kOffRamBase = 32,
    kOffRamSize = 36,
    kOffArgs = 40,
    kOffList = 44,
    kOffSp = 48,
    kOffCode = 52,
    kOffJump = 56,
    kOffPageCount = 60,
};

void putWord(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getWord(const uint8_t* at) {
    return uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) | (uint32_t{at[3]} << 24);
}

bool insideRam(const HandOff& h, uint32_t paddr, uint32_t size) {
    return paddr >= h.ram_base && uint64_t{paddr} + size <= uint64_t{h.ram_base} + h.ram_size;
}

} // namespace

bool writeSnapshot(const std::string& path, const HandOff& hand_off, std::string& error) {
    PhysicalMemory& ram = PhysicalMemory::get();
    std::vector<uint32_t> pages;
    for (uint32_t offset = 0; offset < ram.size(); offset += kSnapshotPageSize) {
        if (ram.frameInUse(ram.base() + offset))
            pages.push_back(ram.base() + offset);
    }
    uint8_t header[kSnapshotHeaderSize] = {};
    std::memcpy(header, kMagic, sizeof kMagic);
    putWord(header + kOffVersion, kSnapshotVersion);
    putWord(header + kOffHeaderSize, kSnapshotHeaderSize);
    putWord(header + kOffRoutine, static_cast<uint32_t>(hand_off.routine));
    putWord(header + kOffProcessor, static_cast<uint32_t>(hand_off.processor));
    putWord(header + kOffPlatformCpu, hand_off.platform_cpu);
    putWord(header + kOffPlatformMachine, hand_off.platform_machine);
    putWord(header + kOffRamBase, hand_off.ram_base);
    putWord(header + kOffRamSize, hand_off.ram_size);
    putWord(header + kOffArgs, hand_off.args_paddr);
    putWord(header + kOffList, hand_off.list_paddr);
    putWord(header + kOffSp, hand_off.sp);
    putWord(header + kOffCode, hand_off.code_paddr);
    putWord(header + kOffJump, hand_off.jump_paddr);
    putWord(header + kOffPageCount, static_cast<uint32_t>(pages.size()));

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    std::vector<uint8_t> record(kPageRecordSize);
    for (uint32_t paddr : pages) {
        putWord(record.data(), paddr);
        ram.read(paddr, record.data() + 4, kSnapshotPageSize);
        out.write(reinterpret_cast<const char*>(record.data()), kPageRecordSize);
    }
    out.close();
    if (!out) {
        error = "can't write the snapshot \"" + path + "\"";
        return false;
    }
    return true;
}

bool readSnapshot(const std::string& path, Snapshot& snapshot, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "can't open the snapshot \"" + path + "\"";
        return false;
    }
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < kSnapshotHeaderSize || std::memcmp(file.data(), kMagic, sizeof kMagic) != 0) {
        error = "\"" + path + "\" is not a zandrel snapshot";
        return false;
    }
    const uint8_t* header = file.data();
    if (getWord(header + kOffVersion) != kSnapshotVersion ||
        getWord(header + kOffHeaderSize) != kSnapshotHeaderSize) {
        error = "snapshot version " + std::to_string(getWord(header + kOffVersion)) + " is not supported";
        return false;
    }
    uint32_t routine = getWord(header + kOffRoutine);
    uint32_t processor = getWord(header + kOffProcessor);
    if (routine > static_cast<uint32_t>(JumpRoutine::kPxa2x0) ||
        processor > static_cast<uint32_t>(Processor::PXA270)) {
        error = "snapshot names an unknown jump routine or processor";
        return false;
    }
    HandOff& h = snapshot.hand_off;
    h.routine = static_cast<JumpRoutine>(routine);
    h.processor = static_cast<Processor>(processor);
    h.platform_cpu = getWord(header + kOffPlatformCpu);
    h.platform_machine = getWord(header + kOffPlatformMachine);
    h.ram_base = getWord(header + kOffRamBase);
    h.ram_size = getWord(header + kOffRamSize);
    h.args_paddr = getWord(header + kOffArgs);
    h.list_paddr = getWord(header + kOffList);
    h.sp = getWord(header + kOffSp);
    h.code_paddr = getWord(header + kOffCode);
    h.jump_paddr = getWord(header + kOffJump);
    uint32_t count = getWord(header + kOffPageCount);
    if (h.ram_size == 0 || h.ram_size % kSnapshotPageSize != 0 || h.ram_base % kSnapshotPageSize != 0 ||
        uint64_t{h.ram_base} + h.ram_size > 0x100000000ull) {
        error = "snapshot RAM " + hexWord(h.ram_base) + "+" + hexWord(h.ram_size) +
                " is not a whole number of pages";
        return false;
    }
    if (count > h.ram_size / kSnapshotPageSize ||
        file.size() != kSnapshotHeaderSize + uint64_t{count} * kPageRecordSize) {
        error = "snapshot holds " + std::to_string(file.size()) + " bytes, not the header and " +
                std::to_string(count) + " pages";
        return false;
    }
    if (h.jump_paddr % kSnapshotPageSize != 0 || !insideRam(h, h.jump_paddr, kSnapshotPageSize) ||
        !insideRam(h, h.args_paddr, 16) || !insideRam(h, h.code_paddr, 4)) {
        error = "snapshot hand-off addresses lie outside its RAM";
        return false;
    }
    snapshot.pages.clear();
    snapshot.pages.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* record = file.data() + kSnapshotHeaderSize + uint64_t{i} * kPageRecordSize;
        uint32_t paddr = getWord(record);
        bool ascending = snapshot.pages.empty() || paddr > snapshot.pages.back().paddr;
        if (paddr % kSnapshotPageSize != 0 || !insideRam(h, paddr, kSnapshotPageSize) || !ascending ||
            paddr == h.jump_paddr) {
            error = "snapshot page " + std::to_string(i) + " at " + hexWord(paddr) +
                    " is unaligned, outside RAM, out of order or the jump page";
            return false;
        }
        snapshot.pages.push_back({paddr, std::vector<uint8_t>(record + 4, record + kPageRecordSize)});
    }
    return true;
}

bool restoreSnapshot(const Snapshot& snapshot, std::string& error) {
    const HandOff& h = snapshot.hand_off;
    const DeviceProfile* match = findDeviceProfile(h.platform_cpu, h.platform_machine);
    RamBank window = match != nullptr ? ramWindow(*match) : RamBank{};
    if (match == nullptr || match->processor != h.processor || window.base != h.ram_base ||
        window.size != h.ram_size) {
        error = "no simulated machine has the snapshot's platform (cpu=" + hexWord(h.platform_cpu) +
                " machine=" + hexWord(h.platform_machine) + "), processor and RAM";
        return false;
    }
    Handheld::get().setProfile(*match);
    PhysicalMemory& ram = PhysicalMemory::get();
    // The pages are the loader's again, as at the hand-off.
    for (const SnapshotPage& page : snapshot.pages) {
        ram.claimFrame(page.paddr);
        ram.write(page.paddr, page.bytes.data(), kSnapshotPageSize);
    }
    return true;
}

} // namespace sim
