// The boot sequence over test doubles of every component: the order of the
// steps, the progress marks, and each step's failure text.
#include "arch/architecture.h"
#include "boot/boot_context.h"
#include "file/file_manager.h"
#include "loader/loader.h"
#include "memory/memory_manager.h"
#include "platform/wide_string.h"
#include "support/recording_console.h"
#include "support/simulated_device.h"
#include "ui/menu_context.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace {

// What the doubles did, in order, and which of their steps fail.
struct Script {
    std::vector<std::string> calls;
    std::set<std::string> failing;
    bool fails(const std::string& step) {
        calls.push_back(step);
        return failing.count(step) != 0;
    }
};

class FakeMemory : public MemoryManager {
  public:
    explicit FakeMemory(Console** console) : MemoryManager(console, 4096) {}
    uint32_t searchPage(uint8_t*) override { return kNotFound; }
};

class FakeArchitecture : public Architecture {
  public:
    FakeArchitecture(Script& script, Console** console, MemoryManager** memory)
        : Architecture(console, memory), script_(script) {}
    bool init() override { return !script_.fails("init"); }
    void systemInfo() override { script_.calls.push_back("systemInfo"); }
    bool allocateMemory(uint32_t size) override {
        allocated = size;
        return !script_.fails("allocateMemory");
    }
    bool setupLoader() override { return !script_.fails("setupLoader"); }
    uint32_t setupBootArguments(Loader&) override {
        return script_.fails("setupBootArguments") ? PageLink::kEnd : 0xC1000000u;
    }
    void jump(uint32_t args, uint32_t list) override {
        script_.calls.push_back("jump");
        jump_args = args;
        jump_list = list;
    }
    uint32_t allocated = 0;
    uint32_t jump_args = 0;
    uint32_t jump_list = 0;

  private:
    Script& script_;
};

class FakeFile : public FileManager {
  public:
    FakeFile(Script& script, Console** console) : FileManager(console), script_(script) {}
    bool setRoot(const char16_t* root) override { return !script_.fails("setRoot " + utf16ToUtf8(root)); }
    bool open(const char16_t* name, uint32_t mode) override {
        EXPECT_EQ(mode, 3u);
        return !script_.fails("open " + utf16ToUtf8(name));
    }
    uint32_t size() override { return 5000; }
    bool close() override {
        script_.calls.push_back("close");
        return true;
    }
    uint32_t read(void*, uint32_t, uint32_t) override { return 0; }
    uint32_t write(const void*, uint32_t, uint32_t) override { return 0; }
    bool seek(uint32_t) override { return true; }

  private:
    Script& script_;
};

class FakeLoader : public Loader {
  public:
    FakeLoader(Script& script, Console** console, MemoryManager** memory)
        : Loader(console, memory), script_(script) {}
    bool setFile(FileManager*) override { return !script_.fails("setFile"); }
    uint32_t memorySize() override { return 10000; }
    bool load() override { return !script_.fails("load"); }
    uint32_t jumpAddr() override { return 0xC0200000; }
    bool loadExtraData() override { return !script_.fails("loadExtraData"); }
    void endPageList() override { script_.calls.push_back("endPageList"); }

  private:
    Script& script_;
};

class FakeBootContext : public BootContext {
  public:
    explicit FakeBootContext(Script& script) : script_(script) {}
    bool identifyPlatform() override {
        readSettings();
        return !script_.fails("identifyPlatform");
    }
    bool createComponents() override {
        if (script_.fails("createComponents"))
            return false;
        console = &recording;
        Console::setCurrent(console);
        replaceMemory(new FakeMemory(&console));
        replaceArchitecture(arch = new FakeArchitecture(script_, &console, &memory));
        replaceFileManager(new FakeFile(script_, &console));
        return true;
    }
    bool attachLoader() override {
        if (script_.fails("attachLoader"))
            return false;
        replaceLoader(new FakeLoader(script_, &console, &memory));
        return true;
    }
    RecordingConsole recording;
    FakeArchitecture* arch = nullptr;

  private:
    Script& script_;
};

class ProgressRecorder : public RootWindowView {
  public:
    ce::HWND handle() const override { return reinterpret_cast<ce::HWND>(uintptr_t{0x500}); }
    void progressStep(const char* label) override { marks.push_back(label); }
    void resetProgress() override { marks.push_back("reset"); }
    std::vector<std::string> marks;
};

class BootSequence : public SimulatedDevice {
  protected:
    void SetUp() override {
        SimulatedDevice::SetUp();
        menu = MenuContext::instance();
        menu->root_window = &window;
        menu->selectPlatform(9); // HP Jornada 720 (US/UK)
        wideCopy(menu->prefs.dir_user_path, 260, u"\\Storage Card\\");
        wideCopy(menu->prefs.kernel_name, 260, u"kalmor");
        menu->prefs.pause_before_boot = 0;
    }
    void TearDown() override {
        Console::setCurrent(nullptr);
        menu->root_window = nullptr;
        SimulatedDevice::TearDown();
    }
    // Runs one boot; returns the "BOOT FAILED" text shown.
    std::string boot() {
        FakeBootContext context(script);
        runBootSequence(*menu, context);
        console = context.recording.text();
        allocated = context.arch != nullptr ? context.arch->allocated : 0;
        Console::setCurrent(nullptr);
        for (const sim::MessageBoxRecord& box : device().message_boxes) {
            if (box.caption == u"BOOT FAILED") {
                EXPECT_EQ(box.style, 16u);
                return utf16ToUtf8(box.text);
            }
        }
        return "";
    }

    MenuContext* menu = nullptr;
    ProgressRecorder window;
    Script script;
    std::string console;
    uint32_t allocated = 0;
};

TEST_F(BootSequence, RunsEveryStepInOrderUpToTheJump) {
    menu->prefs.rootfs = 2;
    EXPECT_EQ(boot(), "Can't jump to the kernel.\n");
    const std::vector<std::string> expected = {"identifyPlatform",
                                               "createComponents",
                                               "init",
                                               "systemInfo",
                                               "setRoot \\Storage Card\\",
                                               "open miniroot.fs",
                                               "close",
                                               "open kalmor",
                                               "attachLoader",
                                               "setFile",
                                               "allocateMemory",
                                               "setupLoader",
                                               "load",
                                               "close",
                                               "open miniroot.fs",
                                               "loadExtraData",
                                               "close",
                                               "endPageList",
                                               "setupBootArguments",
                                               "jump"};
    EXPECT_EQ(script.calls, expected);
    const std::vector<std::string> marks = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "reset"};
    EXPECT_EQ(window.marks, marks);
    EXPECT_EQ(console,
              "zandrel build number: 15\nHP Jornada 720 (US/UK) (cpu=0x0c108000 machine=0x02c20201)\n");
    // roundPage(10000) for the kernel plus roundPage(5000) for the image.
    EXPECT_EQ(allocated, 12288u + 8192u);
}

TEST_F(BootSequence, WithoutAnImageOnlyTheRootIsSetBeforeTheKernelOpens) {
    menu->prefs.rootfs = 1;
    boot();
    const std::vector<std::string> start = {"identifyPlatform", "createComponents",         "init",
                                            "systemInfo",       "setRoot \\Storage Card\\", "open kalmor"};
    EXPECT_EQ(std::vector<std::string>(script.calls.begin(), script.calls.begin() + 6), start);
    EXPECT_EQ(allocated, 12288u);
}

TEST_F(BootSequence, EachFailingStepShowsItsTextAndClosesTheFileWhereItShould) {
    struct Case {
        const char* failing;
        const char* text;
        const char* last_mark;
        bool closes_file;
    };
    const Case cases[] = {
        {"identifyPlatform", "Architecture not supported.\n", "0", false},
        {"createComponents", "Architecture ops. not found.\n", "1", false},
        {"init", "Architecture initialize failed.\n", "2", false},
        {"setRoot \\Storage Card\\", "Can't set root directory.\n", "3", false},
        {"open kalmor", "Can't open kernel image.\n", "4", false},
        {"attachLoader", "Can't attach loader.\n", "5", true},
        {"setFile", "Can't initialize loader.\n", "5", true},
        {"allocateMemory", "Can't allocate memory.\n", "6", true},
        {"setupLoader", "Can't set up loader.\n", "7", true},
        {"load", "Can't load kernel image to memory.\n", "8", true},
        {"setupBootArguments", "Can't set up boot arguments.\n", "9", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        script = Script{};
        script.failing = {c.failing};
        window.marks.clear();
        device().message_boxes.clear();
        EXPECT_EQ(boot(), c.text);
        EXPECT_EQ(script.calls.back() == "close", c.closes_file);
        ASSERT_GE(window.marks.size(), 2u);
        EXPECT_EQ(window.marks[window.marks.size() - 2], c.last_mark);
        EXPECT_EQ(window.marks.back(), "reset");
        EXPECT_EQ(std::count(script.calls.begin(), script.calls.end(), "jump"), 0);
    }
}

TEST_F(BootSequence, ImageFailuresNameTheImage) {
    menu->prefs.rootfs = 2;
    script.failing = {"open miniroot.fs"};
    EXPECT_EQ(boot(), "Can't open file system image.\n");
    EXPECT_EQ(window.marks, (std::vector<std::string>{"0", "1", "2", "3", "reset"}));

    script = Script{};
    script.failing = {"loadExtraData"};
    device().message_boxes.clear();
    EXPECT_EQ(boot(), "Can't load file system image to memory.\n");
    EXPECT_EQ(script.calls.back(), "close");
}

TEST_F(BootSequence, LastChanceQuestionAnsweredNoCancels) {
    menu->prefs.pause_before_boot = 1;
    device().yes_no_answer = ce::IDNO;
    EXPECT_EQ(boot(), "Canceled by user.\n");
    ASSERT_GE(device().message_boxes.size(), 2u);
    const sim::MessageBoxRecord& question = device().message_boxes[0];
    EXPECT_EQ(question.text, u"Push YES to boot.");
    EXPECT_EQ(question.caption, u"Last chance...");
    EXPECT_EQ(question.style, 52u);
    EXPECT_EQ(std::count(script.calls.begin(), script.calls.end(), "jump"), 0);
    EXPECT_EQ(window.marks.back(), "reset");

    // A later attempt starts again at mark "0".
    window.marks.clear();
    script = Script{};
    device().yes_no_answer = ce::IDYES;
    device().message_boxes.clear();
    EXPECT_EQ(boot(), "Can't jump to the kernel.\n");
    EXPECT_EQ(window.marks.front(), "0");
}

TEST_F(BootSequence, RefusedPlatformCheckOnlyWithSafetyMessages) {
    // No platform is refused: the callback runs with or without the check.
    int calls = 0;
    static int* counter = nullptr;
    counter = &calls;
    menu->setBootCallback(
        [](uint32_t argument, MenuContext*) {
            EXPECT_EQ(argument, 7u);
            ++*counter;
            return 0;
        },
        7);
    menu->startBoot();
    menu->prefs.safety_message = 0;
    menu->startBoot();
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(device().message_boxes.empty());
}

} // namespace
