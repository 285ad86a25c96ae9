// Hand-off snapshots: what a saved hand-off holds, that running it again
// gives the same kernel run, and that damaged files are refused with a reason.
#include "boot/boot_context.h"
#include "loader/elf_facts.h"
#include "sim/emulator/snapshot.h"
#include "sim/emulator/unicorn_machine.h"
#include "sim/physical_memory.h"
#include "support/byte_patch.h"
#include "support/kernel_boot.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

class SnapshotTest : public KernelBoot {
  protected:
    void SetUp() override {
        KernelBoot::SetUp();
        path = (root.parent_path() / (root.filename().string() + ".snapshot")).string();
        KernelBootSettings settings;
        settings.profile = &profileNamed(u"HP Jornada 720 (US/UK)");
        settings.kernel = kernelPath("probe");
        ASSERT_TRUE(bootToJump(settings));
        std::string error;
        ASSERT_TRUE(sim::writeSnapshot(path, *hand_off, error)) << error;
    }
    void TearDown() override {
        std::filesystem::remove(path);
        KernelBoot::TearDown();
    }
    std::string bytes() const {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void rewrite(const std::string& content) const { std::ofstream(path, std::ios::binary) << content; }

    std::string path;
};

TEST_F(SnapshotTest, HoldsEveryPageTheLoaderUsedAndTheJumpArguments) {
    sim::Snapshot snapshot;
    std::string error;
    ASSERT_TRUE(sim::readSnapshot(path, snapshot, error)) << error;
    const sim::HandOff& saved = snapshot.hand_off;
    EXPECT_EQ(saved.routine, sim::JumpRoutine::kSa11x0);
    EXPECT_EQ(saved.processor, sim::Processor::SA1110);
    EXPECT_EQ(saved.platform_machine, 0x02C20201u);
    EXPECT_EQ(saved.args_paddr, hand_off->args_paddr);
    EXPECT_EQ(saved.list_paddr, hand_off->list_paddr);
    EXPECT_EQ(saved.sp, hand_off->sp);
    EXPECT_EQ(saved.code_paddr, hand_off->code_paddr);
    EXPECT_EQ(saved.jump_paddr, hand_off->jump_paddr);
    sim::PhysicalMemory& ram = sim::PhysicalMemory::get();
    EXPECT_EQ(snapshot.pages.size(), ram.framesInUse());
    for (const sim::SnapshotPage& page : snapshot.pages) {
        ASSERT_TRUE(ram.frameInUse(page.paddr));
        std::vector<uint8_t> now(4096);
        ram.read(page.paddr, now.data(), 4096);
        EXPECT_EQ(page.bytes, now);
    }
    EXPECT_EQ(bytes().size(), sim::kSnapshotHeaderSize + snapshot.pages.size() * (4 + 4096));
}

TEST_F(SnapshotTest, ARestoredSnapshotRunsAsTheHandOffDid) {
    serial.clear();
    sim::HandOffRun first = sim::runOnUnicorn(*hand_off);
    std::string first_output = serial;
    ASSERT_EQ(probeVerdict(first_output), "PASS") << first_output;

    // Another device altogether, then the snapshot's.
    BootContext::destroyInstance();
    useProfile(profileNamed(u"Sharp W-ZERO3 (WS003SH)"));
    sim::Snapshot snapshot;
    std::string error;
    ASSERT_TRUE(sim::readSnapshot(path, snapshot, error)) << error;
    ASSERT_TRUE(sim::restoreSnapshot(snapshot, error)) << error;
    EXPECT_EQ(device().profile().machine, 0x02C20201u);
    EXPECT_EQ(sim::PhysicalMemory::get().framesInUse(), snapshot.pages.size());
    serial.clear();
    sim::HandOffRun second = sim::runOnUnicorn(snapshot.hand_off);
    EXPECT_EQ(second.result.stop, sim::EmulationStop::kHalted);
    EXPECT_EQ(second.result.instructions, first.result.instructions);
    EXPECT_EQ(serial, first_output);
}

TEST_F(SnapshotTest, DamagedFilesAreRefusedWithAReason) {
    const std::string good = bytes();
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        const char* reason;
    };
    const Case cases[] = {
        {"not a snapshot", [](std::string& f) { f[0] = 'X'; }, "is not a zandrel snapshot"},
        {"empty", [](std::string& f) { f.clear(); }, "is not a zandrel snapshot"},
        {"other version", [](std::string& f) { put32(f, 8, 2); }, "snapshot version 2 is not supported"},
        {"one byte short", [](std::string& f) { f.pop_back(); }, "not the header and"},
        {"page count too large", [](std::string& f) { put32(f, 60, 0x7FFFFFFF); }, "not the header and"},
        {"unknown processor", [](std::string& f) { put32(f, 20, 9); }, "unknown jump routine or processor"},
        {"RAM not whole pages", [](std::string& f) { put32(f, 36, 4097); }, "is not a whole number of pages"},
        {"page outside RAM", [](std::string& f) { put32(f, 64, 0x10000000); }, "outside RAM"},
        {"pages out of order", [](std::string& f) { put32(f, 64 + 4100, 0xC0000000); }, "out of order"},
        {"argument page outside RAM", [](std::string& f) { put32(f, 40, 0x00001000); },
         "lie outside its RAM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string file = good;
        c.damage(file);
        rewrite(file);
        sim::Snapshot snapshot;
        std::string error;
        EXPECT_FALSE(sim::readSnapshot(path, snapshot, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    std::string error;
    sim::Snapshot snapshot;
    EXPECT_FALSE(sim::readSnapshot(path + ".missing", snapshot, error));
    EXPECT_NE(error.find("can't open the snapshot"), std::string::npos);
}

TEST_F(SnapshotTest, ASnapshotOfAMachineNobodyHasIsNotRestored) {
    std::string file = bytes();
    put32(file, 28, 0x0BADBEEF); // platform machine
    rewrite(file);
    sim::Snapshot snapshot;
    std::string error;
    ASSERT_TRUE(sim::readSnapshot(path, snapshot, error)) << error;
    EXPECT_FALSE(sim::restoreSnapshot(snapshot, error));
    EXPECT_NE(error.find("machine=0x0badbeef"), std::string::npos) << error;
}

} // namespace
