// The Loader for 32-bit little-endian ARM ELF executables, with the symbol
// block ("ksyms") placed after the last loadable segment.
#pragma once

#include "loader/elf_format.h"
#include "loader/loader.h"
#include "loader/retained_bytes.h"
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
    // Whether the kernel's bytes went into their pages as setFile read the
    // file (a streamed file, read once from its start).
    bool loadedInOnePass() const { return one_pass_; }
    uint32_t symbolBlockSize() const { return symbol_block_size_; }
    const uint8_t* symbolBlock() const { return symbol_block_.get(); }

  protected:
    void planKernel(Plan& plan) const override;
    // The bytes kept in the one pass first, else the file's.
    uint32_t readFile(void* data, uint32_t size, uint32_t offset) override;

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

    // What the one pass over a streamed kernel needs to know from its header
    // and program headers alone.
    struct OnePass {
        LocalArray<uint8_t> program_headers;
        elf::ProgramHeader segment(uint32_t index) const {
            return elf::ProgramHeader::parse(program_headers.get() + index * elf::phdr::kSize);
        }
        uint32_t order[elf::kMaxProgramHeaders]{}; // the loadable ones, in the order the pass reads them
        uint32_t loadable = 0;
        uint32_t sweep_end = 0;     // the section headers' end, or the last segment's
        uint64_t kept_bytes = 0;    // bytes before it that no segment takes
        uint32_t kept_runs = 0;     // runs of them
        uint32_t kept_pages = 0;    // the pages they take
        uint64_t symbols_room = 0;  // the most the symbol block can take
        uint64_t memory_needed = 0; // as memorySize will ask, with symbols_room for the symbols
    };
    // False when the kernel can't be taken in one pass (the file is not
    // streamed, the boot was not prepared, two segments share bytes of the
    // file, or a header is damaged: the usual path says so).
    bool planOnePass(OnePass& plan);
    // Puts the segments' bytes into the pages the boot hands over, in file
    // order, and keeps the other bytes up to the section headers' end, in one
    // pass over the file; false (with every page given back) when the pages
    // ran out.
    bool loadInOnePass();
    // Gives up the one pass: the pages go back, the kernel is read at `load`.
    void abandonOnePass();

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
    bool one_pass_ = false;     // the segments are in their pages (loadInOnePass)
    uint64_t symbols_room_ = 0; // what the one pass left room for
    RetainedBytes retained_;
    SubChain links_[elf::kMaxProgramHeaders]; // each segment's, made in the one pass
    char16_t symbol_note_[128]{};
};
