// Every failure point of a whole boot, one at a time: the simulated handheld
// makes its Nth fallible call fail (N = 1, 2, ... until a boot makes fewer
// calls), from the storage card, over HTTP and from a UFS disk. Each attempt
// either boots, handing over exactly what a boot without failures hands over,
// or ends in exactly one "BOOT FAILED" box; the attempt after it, in the same
// process, boots again.
#include "loader/elf_facts.h"
#include "sim/emulator/hand_off_code.h"
#include "sim/emulator/unicorn_machine.h"
#include "sim/failure_injection.h"
#include "sim/page_list_replay.h"
#include "sim/placed_image.h"
#include "support/http_servers.h"
#include "support/kernel_boot.h"
#include "support/run_program.h"
#include "support/ufs_disk_images.h"

#include <array>
#include <gtest/gtest.h>
#include <iostream>
#include <zlib.h>

namespace {

using sim::FallibleCall;

// What the kernel is entered with: its entry, argc and every byte it finds at
// its own, its symbols' and the image's places (as the host reads them from
// the files), whether a link put it there or a page in place carried it.
struct HandedOver {
    uint32_t entry = 0;
    uint32_t argc = 0;
    std::vector<uint8_t> bytes;
    bool operator==(const HandedOver&) const = default;
};

HandedOver handedOver(const sim::HandOff& hand_off, const std::filesystem::path& kernel,
                      const std::filesystem::path& image) {
    std::vector<uint8_t> kernel_bytes, image_bytes;
    std::string error;
    EXPECT_TRUE(sim::readHostFile(kernel, kernel_bytes, error)) << error;
    EXPECT_TRUE(sim::readHostFile(image, image_bytes, error)) << error;
    sim::ExpectedPlacement places = sim::expectedPlacement(kernel_bytes, image_bytes, hand_off.routine);
    // RAM nobody writes holds leftovers, as after Windows CE: a range left unwritten shows.
    EXPECT_TRUE(sim::prepareHandOffRam(hand_off, &places));
    sim::ReplayResult replay =
        sim::replayPageList(hand_off.list_paddr, hand_off.routine, hand_off.args_paddr);
    HandedOver handed;
    EXPECT_TRUE(replay.ok) << replay.error;
    handed.entry = replay.entry;
    handed.argc = replay.argc;
    for (const sim::PlacedRange& range : places.ranges) {
        std::vector<uint8_t> bytes(range.size);
        replay.kernelView(range.address, bytes.data(), range.size);
        handed.bytes.insert(handed.bytes.end(), bytes.begin(), bytes.end());
    }
    return handed;
}

struct WalkReport {
    uint64_t points = 0;
    std::array<uint64_t, sim::kFallibleCallKinds> by_kind{};

    std::string text() const {
        std::string line = std::to_string(points) + " failure points:";
        for (size_t i = 0; i < by_kind.size(); ++i) {
            if (by_kind[i] > 0)
                line += std::string(" ") + sim::fallibleCallName(static_cast<FallibleCall>(i)) + " " +
                        std::to_string(by_kind[i]);
        }
        return line;
    }
};

class FailureWalk : public KernelBoot {
  protected:
    void SetUp() override {
        KernelBoot::SetUp();
        // The probe kernel and a file-system image, both gzipped by gzip; the
        // probe checks the image's size and CRC-32 itself.
        writeHostFile(scratch / "probe", readHostFile(kernelPath("probe")));
        std::string image = patternBytes(60000, 3);
        writeHostFile(scratch / "miniroot", image);
        for (const char* name : {"probe", "miniroot"}) {
            ShellResult gzip = runShell("gzip -9 -n -f " + shellQuote((scratch / name).string()));
            ASSERT_EQ(gzip.status, 0) << gzip.output;
        }
        char crc[16];
        std::snprintf(
            crc, sizeof crc, "0x%08lx",
            crc32(0, reinterpret_cast<const Bytef*>(image.data()), static_cast<uInt>(image.size())));
        image_options = "md_size=60000 md_crc32=" + std::string(crc);
    }

    KernelBootSettings settings(const char16_t* machine) const {
        KernelBootSettings s;
        s.profile = &profileNamed(machine);
        s.kernel = scratch / "probe.gz";
        s.image = scratch / "miniroot.gz";
        s.extra = image_options;
        return s;
    }

    // The "BOOT FAILED" boxes of the last attempt.
    std::vector<std::u16string> failureBoxes() const {
        std::vector<std::u16string> texts;
        for (const sim::MessageBoxRecord& box : sim::Handheld::get().message_boxes) {
            if (box.caption == u"BOOT FAILED")
                texts.push_back(box.text);
        }
        return texts;
    }

    // One attempt; checks what it ends in and answers whether it booted.
    bool attempt(const KernelBootSettings& boot, const HandedOver& expected, const std::string& what) {
        device().message_boxes.clear();
        page.box.clear();
        bool booted = bootAgain();
        std::vector<std::u16string> boxes = failureBoxes();
        // In the simulation the jump routine comes back, which fails the boot once more.
        EXPECT_EQ(boxes.size(), 1u) << what << "\n" << page.text();
        if (booted) {
            EXPECT_TRUE(boxes.size() == 1 && boxes[0] == u"Can't jump to the kernel.\n") << what;
            EXPECT_TRUE(handedOver(*hand_off, boot.kernel, boot.image) == expected)
                << what << ": booted with a hand-off unlike a boot without failures\n"
                << page.text();
        }
        return booted;
    }

    // The probe kernel run on Unicorn from the last hand-off.
    std::string probeRun() {
        serial.clear();
        sim::HandOffRun run = sim::runOnUnicorn(*hand_off);
        EXPECT_EQ(run.result.stop, sim::EmulationStop::kHalted) << sim::describeStop(run);
        return probeVerdict(serial);
    }

    WalkReport walk(const KernelBootSettings& boot) {
        WalkReport report;
        device().failures.disarm();
        if (!bootToJump(boot)) {
            ADD_FAILURE() << "no boot without failures:\n" << page.text();
            return report;
        }
        const HandedOver expected = handedOver(*hand_off, boot.kernel, boot.image);
        EXPECT_EQ(probeRun(), "PASS") << serial;
        for (uint64_t n = 1;; ++n) {
            device().failures.arm(n);
            std::string what = "call " + std::to_string(n);
            bool booted = attempt(boot, expected, what);
            std::optional<FallibleCall> failed = device().failures.failed();
            device().failures.disarm();
            if (!failed) {
                EXPECT_TRUE(booted) << what << ": no call failed, yet no boot\n" << page.text();
                break;
            }
            ++report.points;
            ++report.by_kind[static_cast<size_t>(*failed)];
            what += std::string(" (") + sim::fallibleCallName(*failed) + ")";
            if (booted) {
                EXPECT_EQ(probeRun(), "PASS") << what << " failed, and the boot went on\n" << serial;
            }
            if (!attempt(boot, expected, what + ", the attempt after it")) {
                ADD_FAILURE() << what << ": the next attempt did not boot";
                break;
            }
            if (HasFatalFailure() || n > 5000)
                break;
        }
        EXPECT_EQ(probeRun(), "PASS") << serial;
        return report;
    }

    void expectCovered(const WalkReport& report, std::initializer_list<FallibleCall> kinds) {
        for (FallibleCall kind : kinds)
            EXPECT_GT(report.by_kind[static_cast<size_t>(kind)], 0u) << sim::fallibleCallName(kind);
    }

    ScratchFolder scratch;
    std::string image_options;
};

TEST_F(FailureWalk, FromTheStorageCard) {
    KernelBootSettings boot = settings(u"HP Jornada 720 (US/UK)");
    boot.serial = true;
    WalkReport report = walk(boot);
    std::cout << "[ walk ] storage card: " << report.text() << "\n";
    expectCovered(report, {FallibleCall::VirtualAlloc, FallibleCall::LockPages, FallibleCall::VirtualCopy,
                           FallibleCall::FileRead, FallibleCall::CreateFile, FallibleCall::LocalAlloc});
}

TEST_F(FailureWalk, OverHttp) {
    writeHostFile(scratch / "www/probe.gz", readHostFile(scratch / "probe.gz"));
    writeHostFile(scratch / "www/miniroot.gz", readHostFile(scratch / "miniroot.gz"));
    ServerProcess server(ServerProcess::Kind::Nginx, (scratch / "www").string());
    ASSERT_TRUE(server.running()) << server.log();
    KernelBootSettings boot = settings(u"Sharp W-ZERO3 (WS003SH)");
    boot.dir = server.url();
    boot.kernel_name = "/probe.gz";
    boot.image_name = "/miniroot.gz";
    WalkReport report = walk(boot);
    std::cout << "[ walk ] HTTP: " << report.text() << "\n";
    expectCovered(report, {FallibleCall::VirtualAlloc, FallibleCall::LockPages, FallibleCall::SocketReceive,
                           FallibleCall::LocalAlloc});
}

TEST_F(FailureWalk, FromAUfsDisk) {
    std::filesystem::path tree = scratch / "tree";
    writeHostFile(tree / "probe.gz", readHostFile(scratch / "probe.gz"));
    writeHostFile(tree / "miniroot.gz", readHostFile(scratch / "miniroot.gz"));
    ASSERT_EQ(makeUfs(scratch / "fs.img", tree, 8192, 1024), "");
    ASSERT_EQ(makeLabelledDisk(scratch / "disk.img", scratch / "fs.img"), "");
    ASSERT_TRUE(sim::attachDisk(2, scratch / "disk.img"));
    KernelBootSettings boot = settings(u"Sharp W-ZERO3 (WS003SH)");
    boot.dir = "2:/";
    boot.kernel_name = "probe.gz";
    boot.image_name = "miniroot.gz";
    boot.serial = true;
    WalkReport report = walk(boot);
    std::cout << "[ walk ] UFS disk: " << report.text() << "\n";
    expectCovered(report, {FallibleCall::VirtualAlloc, FallibleCall::LockPages, FallibleCall::VirtualCopy,
                           FallibleCall::DiskRead, FallibleCall::CreateFile, FallibleCall::LocalAlloc});
}

} // namespace
