// Files of the Windows CE object store and its storage cards.
#pragma once

#include "file/file_manager.h"
#include "platform/wince_types.h"

class FatFileManager : public FileManager {
  public:
    static constexpr uint32_t kPathSize = 260;

    explicit FatFileManager(Console** console);
    ~FatFileManager() override;

    // The root is used as given: it must end with the path separator.
    bool setRoot(const char16_t* root) override;
    bool open(const char16_t* name, uint32_t mode) override;
    uint32_t size() override;
    bool close() override;
    uint32_t read(void* buffer, uint32_t size, uint32_t offset = kCurrentPosition) override;
    uint32_t write(const void* buffer, uint32_t size, uint32_t offset = kCurrentPosition) override;
    bool seek(uint32_t offset) override;

    const char16_t* path() const { return path_; }

  private:
    // False when the position cannot be set.
    bool moveTo(uint32_t offset);

    ce::HANDLE handle_ = ce::INVALID_HANDLE_VALUE;
    char16_t root_[kPathSize]{};
    char16_t path_[kPathSize]{};
};
