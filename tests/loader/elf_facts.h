// What arm-none-eabi-readelf says about an ELF file, so that loader tests
// compare against a reader that is not the loader's own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct ElfFacts {
    struct Segment {
        uint32_t offset;
        uint32_t paddr;
        uint32_t filesz;
        uint32_t memsz;
    };
    struct Section {
        uint32_t index;
        std::string name;
        uint32_t offset;
        uint32_t size;
    };

    uint32_t entry = 0;
    uint32_t phoff = 0;
    uint32_t shoff = 0;
    uint32_t shentsize = 0;
    uint32_t shnum = 0;
    uint32_t shstrndx = 0;
    std::vector<Segment> loads; // PT_LOAD, in table order
    std::vector<Section> sections;

    // Null when there is no section of that name.
    const Section* section(const std::string& name) const;
};

// The facts readelf reports; fails the calling test when readelf cannot run.
ElfFacts readElfFacts(const std::filesystem::path& file);
// The bytes of a section as readelf dumps them.
std::string dumpSection(const std::filesystem::path& file, const std::string& name);

// The bytes of a test kernel built under <build>/kernels.
std::filesystem::path kernelPath(const std::string& name);
std::string readBytes(const std::filesystem::path& file);
