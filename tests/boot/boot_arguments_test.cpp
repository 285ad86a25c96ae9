#include "arch/architecture.h"
#include "boot/boot_info.h"
#include "loader/loader.h"
#include "memory/memory_manager_lock_pages.h"
#include "platform/wide_string.h"
#include "sim/physical_memory.h"
#include "support/recording_console.h"
#include "support/simulated_device.h"
#include "ui/menu_context.h"

#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr uint32_t kEntry = 0xC0008000;

// The argument page needs only the base's services.
class PlainArchitecture : public Architecture {
  public:
    using Architecture::Architecture;
    bool init() override { return true; }
    bool setupLoader() override { return true; }
    void jump(uint32_t, uint32_t) override {}
};

class FixedEntryLoader : public Loader {
  public:
    using Loader::Loader;
    uint32_t memorySize() override { return 0; }
    bool load() override { return true; }
    uint32_t jumpAddr() override { return kEntry; }
};

class SerialRecordingConsole : public RecordingConsole {
  public:
    SerialRecordingConsole() { kind_ = kSerial; }
};

class BootArgumentsTest : public SimulatedDevice {
  protected:
    void SetUp() override {
        SimulatedDevice::SetUp();
        useProfile(*sim::findDeviceProfile(u"HP Jornada 720 (US/UK)"));
        menu = MenuContext::instance();
        ASSERT_NE(menu, nullptr);
        menu->prefs.platform_cpu = 0x0C108000;
        menu->prefs.platform_machine = 0x02C20201;
        menu->prefs.reverse_video = 0;
        menu->prefs.rootfs = kRootMd;
        wideCopy(menu->prefs.kernel_name, 260, u"kalmor.gz");
        wideCopy(menu->prefs.rootfs_file, 260, u"miniroot.fs");
        wideCopy(menu->prefs.boot_extra, 256, u"");
        memory =
            std::make_unique<MemoryManagerLockPages>(&sim::LockPages, &sim::UnlockPages, &console, 4096, 0);
        memory_slot = memory.get();
        architecture = std::make_unique<PlainArchitecture>(&console, &memory_slot);
        loader = std::make_unique<FixedEntryLoader>(&console, &memory_slot);
    }
    void TearDown() override {
        loader.reset();
        architecture.reset();
        memory.reset();
        useProfile(sim::defaultDeviceProfile());
        SimulatedDevice::TearDown();
    }

    std::string physical(uint32_t paddr, uint32_t size) {
        std::string bytes(size, '\0');
        EXPECT_TRUE(sim::PhysicalMemory::get().read(paddr, bytes.data(), size));
        return bytes;
    }
    uint32_t physicalWord(uint32_t paddr) {
        uint32_t value = 0;
        EXPECT_TRUE(sim::PhysicalMemory::get().read(paddr, &value, 4));
        return value;
    }
    std::string physicalString(uint32_t paddr) {
        std::string text;
        for (char c; (c = physical(paddr, 1)[0]) != '\0' && text.size() < 4096; ++paddr)
            text += c;
        return text;
    }

    RecordingConsole screen;
    Console* console = &screen;
    MenuContext* menu = nullptr;
    std::unique_ptr<MemoryManager> memory;
    MemoryManager* memory_slot = nullptr;
    std::unique_ptr<PlainArchitecture> architecture;
    std::unique_ptr<FixedEntryLoader> loader;
};

TEST_F(BootArgumentsTest, PageHoldsEntryVectorAndBootInfoAtPhysicalAddresses) {
    ASSERT_TRUE(memory->reservePages(4 * 4096));
    const MemoryManager::TableEntry last = memory->table()[memory->mappedCount() - 1];
    std::memset(last.vaddr, 0xAA, 4096);
    screen.output.clear();

    uint32_t paddr = architecture->setupBootArguments(*loader);
    ASSERT_EQ(paddr, last.paddr);
    EXPECT_EQ(architecture->bootArgs(), last.vaddr);

    // What the second stage sees, read at the physical addresses.
    EXPECT_EQ(physicalWord(paddr + 0), kEntry);
    EXPECT_EQ(physicalWord(paddr + 4), 2u);
    EXPECT_EQ(physicalWord(paddr + 8), paddr + 52);
    EXPECT_EQ(physicalWord(paddr + 12), paddr + 16);
    EXPECT_EQ(physicalWord(paddr + 16) & 0xFFFF, 36u);
    EXPECT_EQ(physicalWord(paddr + 20), 0x13536135u);
    EXPECT_EQ(physicalWord(paddr + 24), 0x48200000u);
    EXPECT_EQ(physicalWord(paddr + 36) & 0xFFFF, 1u); // console_type: the screen
    EXPECT_EQ(physicalWord(paddr + 40), 0x0C108000u);
    EXPECT_EQ(physicalWord(paddr + 44), 0x02C20201u);
    EXPECT_EQ(physicalWord(paddr + 52), paddr + 116);
    EXPECT_EQ(physicalString(physicalWord(paddr + 52)), "kalmor.gz");
    EXPECT_EQ(physicalString(physicalWord(paddr + 56)), "m=miniroot.fs");
    EXPECT_EQ(physicalWord(paddr + 60), 0u); // unused slots are clear
    EXPECT_EQ(physical(paddr + 4080, 16), std::string(16, '\xAA'));

    EXPECT_EQ(screen.text(), "framebuffer: 640x240 type=5 linebytes=1280 addr=0x48200000\n"
                             "console = 1\n");
}

TEST_F(BootArgumentsTest, ConsoleTypeIsTheKindOfTheConsoleInTheSlotNow) {
    ASSERT_TRUE(memory->reservePages(4096));
    SerialRecordingConsole serial;
    console = &serial;
    uint32_t paddr = architecture->setupBootArguments(*loader);
    ASSERT_NE(paddr, PageLink::kEnd);
    EXPECT_EQ(physicalWord(paddr + 36) & 0xFFFF, 2u);
    EXPECT_NE(serial.text().find("console = 2\n"), std::string::npos);
    console = &screen;
}

TEST_F(BootArgumentsTest, NoPageLeftStopsBeforeAnythingIsWritten) {
    // Without a reserved region there is no page at all.
    EXPECT_EQ(architecture->setupBootArguments(*loader), PageLink::kEnd);
    EXPECT_EQ(architecture->bootArgs(), nullptr);
    EXPECT_NE(screen.text().find("no page left for the boot arguments.\n"), std::string::npos);

    // One page: the first argument page takes it, the next finds none.
    ASSERT_TRUE(memory->reservePages(1));
    uint32_t first = architecture->setupBootArguments(*loader);
    ASSERT_NE(first, PageLink::kEnd);
    screen.output.clear();
    EXPECT_EQ(architecture->setupBootArguments(*loader), PageLink::kEnd);
    EXPECT_EQ(screen.text(), "no page left for the boot arguments.\n");
    EXPECT_TRUE(device().message_boxes.empty());
}

} // namespace
