// The Loader for 32-bit little-endian ARM ELF executables, with the symbol
// block ("ksyms") placed after the last loadable segment.
#pragma once

#include "loader/elf_format.h"
#include "loader/loader.h"
#include "platform/local_memory.h"

class ElfLoader : public Loader {
  public:
    // The section-name table is copied into the symbol block; a real one is a
    // few hundred bytes, a larger one is refused rather than allocated.
    static constexpr uint32_t kMaxNameTableSize = 0x100000;

    ElfLoader(Console** console, MemoryManager** memory);
    ~ElfLoader() override;
    bool setFile(FileManager* file) override;
    uint32_t memorySize() override;
    bool load() override;
    uint32_t jumpAddr() override;
    bool checkLayout(const KernelPlacement& placement, uint32_t image_size) override;

    bool hasSymbols() const { return has_symbols_ != 0; }
    uint32_t symbolBlockSize() const { return symbol_block_size_; }
    const uint8_t* symbolBlock() const { return symbol_block_.get(); }

  protected:
    void planKernel(Plan& plan) const override;

  private:
    bool readHeader();
    bool readSectionHeaders();
    bool readProgramHeaders();
    bool checkSegments();
    // False (with a message) when the file cannot be read to its end.
    bool readsWhole();
    elf::ProgramHeader programHeader(uint32_t index) const;
    elf::SectionHeader sectionHeader(uint32_t index) const;
    uint32_t prepareSymbolBlock();
    // Leaves the boot without symbols (telling the user when asked to).
    uint32_t noSymbols();
    // Keeps the first problem found with the symbol tables; it is printed
    // after the memory-size line, which it would otherwise cut in two.
    void note(const char16_t* format, ...);
    // Matches the section name at `name_offset` of the name table exactly.
    bool sectionNameIs(uint32_t name_offset, const char* name) const;
    // Calls each(index, segment) for every loadable segment, in file order;
    // answers the end of the last one, word-rounded (where the symbols go).
    template <typename Each>
    uint32_t forEachLoadSegment(Each each) const;
    // Where the symbol block, the symbol table and the string table go, one
    // after the other from `destination`.
    struct SymbolPlaces {
        uint32_t block, symtab, strtab;
    };
    SymbolPlaces symbolPlaces(uint32_t destination) const;
    void loadSymbols(uint32_t destination);
    // True when the symbol block and tables end below 4 GB from `destination`.
    bool symbolsFit(uint32_t destination) const;
    void freeSymbolBlock();
    void freeTables();

    uint8_t header_[elf::ehdr::kSize]{};
    elf::Header info_{};
    // The tables and the symbol block live on the platform heap.
    LocalArray<uint8_t> program_headers_;
    LocalArray<uint8_t> section_headers_;
    // Bytes of the section header table in use: 0 when the image has none
    // that can be used.
    uint32_t section_table_size_ = 0;
    int32_t has_symbols_ = 0;
    LocalArray<uint8_t> symbol_block_;
    uint32_t symbol_block_size_ = 0;
    uint8_t* names_ = nullptr; // the name table inside the block
    uint32_t names_size_ = 0;  // its sh_size
    uint32_t strtab_offset_ = 0;
    uint32_t strtab_size_ = 0;
    uint32_t symtab_offset_ = 0;
    uint32_t symtab_size_ = 0;
    bool ready_ = false;        // setFile succeeded
    bool too_large_ = false;    // memorySize can't be given: the boot reserves nothing
    bool heap_refused_ = false; // the symbol block was refused
    bool unreadable_ = false;   // the file refused a read of the symbol tables
    char16_t symbol_note_[128]{};
};
