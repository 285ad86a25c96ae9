// The operating-system services every architecture offers: coredll look-ups,
// the memory reservation for the kernel and the Windows CE part of the
// system-information report.
#include "arch/architecture_fixture.h"
#include "arch/arm/sa1100_architecture.h"
#include "platform/wide_string.h"

#include <string>

namespace {

class ArchitectureTest : public ArchitectureFixture {
  protected:
    void SetUp() override {
        ArchitectureFixture::SetUp();
        architecture = std::make_unique<SA1100Architecture>(&console_slot, &memory_slot);
        console.output.clear();
    }
    void TearDown() override {
        architecture.reset();
        ArchitectureFixture::TearDown();
    }

    std::unique_ptr<SA1100Architecture> architecture;
};

struct AllocationCase {
    uint32_t size;
    uint32_t reserved;
};

class AllocateMemoryTest : public ArchitectureTest, public ::testing::WithParamInterface<AllocationCase> {};

TEST_P(AllocateMemoryTest, ReservesPayloadPagesPlusFourRoundedTo64K) {
    ASSERT_TRUE(architecture->allocateMemory(GetParam().size));
    EXPECT_EQ(manager->mappedCount(), static_cast<int>(GetParam().reserved / kPage));
}

// Each data page carries 4080 bytes; four more pages for the list head, code,
// stack and argument pages.
INSTANTIATE_TEST_SUITE_P(Sizes, AllocateMemoryTest,
                         ::testing::Values(AllocationCase{0, 65536}, AllocationCase{4080, 65536},
                                           AllocationCase{4081, 65536}, AllocationCase{200000, 262144},
                                           AllocationCase{12 * 4080, 65536},
                                           AllocationCase{12 * 4080 + 1, 131072}),
                         [](const ::testing::TestParamInfo<AllocationCase>& info) {
                             return "Size" + std::to_string(info.param.size);
                         });

TEST_F(ArchitectureTest, AllocateMemoryFailsWhenTheRegionIsRefused) {
    device().memory.frame_limit = 8;
    EXPECT_FALSE(architecture->allocateMemory(200000));
    EXPECT_EQ(manager->mappedCount(), 0);
    EXPECT_NE(console.text().find("can't allocate memory\n"), std::string::npos);
}

TEST_F(ArchitectureTest, AllocateMemoryRefusesASizeBeyondTheAddressSpace) {
    EXPECT_FALSE(architecture->allocateMemory(0xFFFFFFFFu));
    EXPECT_EQ(manager->table(), nullptr);
    EXPECT_EQ(console.text(), "memory request too large (4294967295 bytes).\n");
}

TEST_F(ArchitectureTest, LookUpsFindTheCoredllKernelCalls) {
    EXPECT_EQ(architecture->lockPagesProc(), &sim::LockPages);
    EXPECT_EQ(architecture->unlockPagesProc(), &sim::UnlockPages);
    EXPECT_EQ(architecture->coreProc(u"NoSuchCall"), nullptr);
}

TEST_F(ArchitectureTest, CoredllIsLoadedOnceAndFreedOnce) {
    architecture->lockPagesProc();
    architecture->unlockPagesProc();
    EXPECT_EQ(device().coredll_loads, 1);
    EXPECT_EQ(device().coredll_frees, 0);
    architecture.reset();
    EXPECT_EQ(device().coredll_frees, 1);
}

TEST_F(ArchitectureTest, NothingIsFreedWithoutALookUp) {
    architecture.reset();
    EXPECT_EQ(device().coredll_loads, 0);
    EXPECT_EQ(device().coredll_frees, 0);
}

TEST_F(ArchitectureTest, MissingCoredllWarnsAtEveryLookUp) {
    device().coredll_present = false;
    EXPECT_EQ(architecture->lockPagesProc(), nullptr);
    EXPECT_EQ(architecture->unlockPagesProc(), nullptr);
    ASSERT_EQ(device().message_boxes.size(), 2u);
    for (const sim::MessageBoxRecord& box : device().message_boxes) {
        EXPECT_EQ(box.text, u"Can't load coredll.dll.");
        EXPECT_EQ(box.caption, u"WARNING");
        EXPECT_EQ(box.style, 0x30u);
    }
    architecture.reset();
    EXPECT_EQ(device().coredll_frees, 0);
}

struct VersionCase {
    bool export_hidden;
    const char* line;
};

class VersionLookUpTest : public ArchitectureTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionLookUpTest, FillsTheVersionRecordEitherWay) {
    useProfile(*sim::findDeviceProfile(u"Sharp Advanced/W-ZERO3[es] (WS011SH)"));
    if (GetParam().export_hidden)
        device().hidden_exports.insert(u"GetVersionEx");
    os_version = ce::OSVERSIONINFOW{};
    architecture->systemInfo();

    std::string text = console.text();
    EXPECT_NE(text.find(std::string("_WIN32_WCE = 420\n") + GetParam().line + "Windows CE 5.2\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(os_version.dwMajorVersion, 5u);
    EXPECT_EQ(os_version.dwMinorVersion, 2u);
    EXPECT_EQ(os_version.dwBuildNumber, 1235u);
    EXPECT_TRUE(device().message_boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Exports, VersionLookUpTest,
                         ::testing::Values(VersionCase{false, "GetVersionEx\n"},
                                           VersionCase{true, "GetVersionExW\n"}),
                         [](const ::testing::TestParamInfo<VersionCase>& info) {
                             return info.param.export_hidden ? "ExportHidden" : "ExportFound";
                         });

TEST_F(ArchitectureTest, ReportWithoutCoredllStillUsesTheImportedCall) {
    device().coredll_present = false;
    architecture->systemInfo();
    EXPECT_NE(console.text().find("GetVersionExW\nWindows CE 5.1\n"), std::string::npos);
    EXPECT_EQ(device().message_boxes.size(), 1u);
}

} // namespace
