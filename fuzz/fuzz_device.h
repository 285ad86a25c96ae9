// The simulated handheld of a harness: an object store in a temporary folder
// with one storage card, made once per process (the folder stays: the
// process ends with the run).
#pragma once

#include "sim/handheld.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

// The storage card's host folder.
inline std::filesystem::path makeFuzzDevice() {
    char pattern[] = "/tmp/zandrel-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        std::abort();
    std::filesystem::path card = std::filesystem::path(pattern) / "Storage Card";
    std::filesystem::create_directories(card);
    sim::HandheldSettings settings;
    settings.root = pattern;
    sim::Handheld::get().reset(settings);
    return card;
}
