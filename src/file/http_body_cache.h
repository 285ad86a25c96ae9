// The bodies of files a boot has closed, kept so that opening the same file
// again reads them without fetching them again: the file-system image is
// sized before the kernel is loaded and loaded after it. Each body lives in a
// heap of its own (HttpBody): dropped when program memory runs short, it
// gives its pages back, and the file is fetched again at its next open.
#pragma once

#include "file/file_manager.h"
#include "file/http_body.h"

#include <cstdint>

class HttpBodyCache {
  public:
    static constexpr int kBodies = 4;

    // Keeps the bytes of `body` (which is left empty) as those of `target`;
    // the body kept longest makes room when every place is taken.
    void keep(const char* target, HttpBody& body);
    // Moves the kept body of `target` into `body`; false when none is kept.
    bool take(const char* target, HttpBody& body);
    // Whether the body of `target` was dropped for memory since it was kept.
    bool dropped(const char* target) const;
    // Drops every body kept; true when that gave memory back.
    bool drop();

  private:
    struct Kept {
        char target[FileManager::kNameSize] = "";
        HttpBody body;
        bool dropped = false;
        uint32_t since = 0; // when it was kept
    };
    Kept* find(const char* target);
    const Kept* find(const char* target) const;

    Kept kept_[kBodies];
    uint32_t clock_ = 0;
};
