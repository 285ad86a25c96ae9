// The owner of one boot's components and of the console and memory slots
// the components point at. Every attempt refills the slots; a component left
// by an earlier attempt is destroyed first.
#pragma once

#include <cstdint>

class Architecture;
class Console;
class FileManager;
class Loader;
class MemoryManager;
class MenuContext;

class BootContext {
  public:
    static constexpr int kPathSize = 260;

    // Architecture classes chosen by `identifyPlatform`.
    static constexpr uint32_t kClassSA11x0 = 0x0C104000;
    static constexpr uint32_t kClassPXA250 = 0x0C204000;
    static constexpr uint32_t kClassPXA270 = 0x0C208000;

    enum FileKind : int32_t { kLocalFiles = 0, kUfsDisk = 1, kHttp = 2 };
    static constexpr int32_t kLockPagesMethod = 1;

    // The one context of the run; the first call registers the boot sequence.
    static BootContext* instance();
    static void destroyInstance();

    BootContext();
    virtual ~BootContext();
    virtual bool createComponents();
    virtual bool identifyPlatform();

    bool readSettings();
    bool createFileManager();
    // Virtual so that a test can supply its own loader. False too when the
    // kernel file refuses its first read (`kernel_unreadable`).
    virtual bool attachLoader();

    uint32_t cpu_class = 0;
    int32_t serial_console = 0;
    int32_t mem_method = 0;
    int32_t file_kind = kLocalFiles;
    char16_t root_path[kPathSize]{};
    char16_t kernel_file[kPathSize]{};
    int32_t has_image = 0;
    char16_t image_file[kPathSize]{};
    // The last attachLoader failed because the kernel could not be read.
    bool kernel_unreadable = false;

    Console* console = nullptr;
    Architecture* architecture = nullptr;
    MemoryManager* memory = nullptr;
    FileManager* file_manager = nullptr;
    Loader* loader = nullptr;

  protected:
    void print(const char16_t* format, ...);
    void replaceArchitecture(Architecture* next);
    void replaceMemory(MemoryManager* next);
    void replaceFileManager(FileManager* next);
    void replaceLoader(Loader* next);
};

// The context for ARM handhelds, the only one the program creates.
class ArmBootContext : public BootContext {
  public:
    bool createComponents() override;
    bool identifyPlatform() override;
};

// The boot callback registered with the MenuContext; returns only after a failure.
int bootSequence(uint32_t argument, MenuContext* menu);
// The eighteen steps over a given context (the callback uses the singleton).
void runBootSequence(MenuContext& menu, BootContext& boot);
