// Files of a UFS file system on a raw disk partition: the root names the
// disk ("2:/" is DSK2:, anything else DSK1:), names are paths from the file
// system's root directory.
#pragma once

#include "file/file_manager.h"

struct OpenFileRecord;

// The disk unit a root names: N for "N:..." (N from 1 to 9), otherwise 1.
int ufsDiskUnit(const char16_t* root);

class UfsFileManager : public FileManager {
  public:
    explicit UfsFileManager(Console** console);
    // Closes the file and the disk.
    ~UfsFileManager() override;
    UfsFileManager(const UfsFileManager&) = delete;
    UfsFileManager& operator=(const UfsFileManager&) = delete;

    bool setRoot(const char16_t* root) override;
    bool open(const char16_t* name, uint32_t mode) override;
    uint32_t size() override;
    bool close() override;
    uint32_t read(void* buffer, uint32_t size, uint32_t offset = kCurrentPosition) override;
    uint32_t write(const void* buffer, uint32_t size, uint32_t offset = kCurrentPosition) override;
    bool seek(uint32_t offset) override;

  private:
    void closeDisk();

    OpenFileRecord* record_;
};
