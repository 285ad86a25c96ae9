#include "loader/elf_loader.h"

#include "arch/architecture.h"
#include "console/console.h"
#include "file/file_manager.h"
#include "platform/wide_format.h"
#include "ui/menu_context.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

using elf::round4;

namespace {

constexpr uint64_t kAddressSpace = 0x100000000ull;

// True when [offset, offset + size) can be asked of a FileManager: the range
// stays below 4 GB and never reaches the offset that means "current position".
bool readableRange(uint32_t offset, uint64_t size) {
    return size == 0 || offset + size <= FileManager::kCurrentPosition;
}

// Says nothing through a console slot while it lives: what the one pass
// does ahead of the boot's steps is reported by those steps.
class Hush {
  public:
    explicit Hush(Console** slot) : slot_(slot), saved_(*slot) { *slot_ = nullptr; }
    ~Hush() { *slot_ = saved_; }
    Hush(const Hush&) = delete;
    Hush& operator=(const Hush&) = delete;

  private:
    Console** slot_;
    Console* saved_;
};

} // namespace

ElfLoader::ElfLoader(Console** console, MemoryManager** memory) : Loader(console, memory) {
    print(u"Loader: ELF\n");
}

ElfLoader::~ElfLoader() {
    freeTables();
    freeSymbolBlock();
}

uint32_t ElfLoader::readFile(void* data, uint32_t size, uint32_t offset) {
    if (one_pass_ && retained_.read(data, size, offset))
        return size;
    return file_->read(data, size, offset);
}

void ElfLoader::freeTables() {
    program_headers_.reset();
    section_headers_.reset();
    section_table_size_ = 0;
}

void ElfLoader::freeSymbolBlock() {
    symbol_block_.reset();
    symbol_block_size_ = 0;
    names_ = nullptr;
    names_size_ = 0;
    has_symbols_ = 0;
    strtab_offset_ = strtab_size_ = symtab_offset_ = symtab_size_ = 0;
}

elf::ProgramHeader ElfLoader::programHeader(uint32_t index) const {
    return elf::ProgramHeader::parse(program_headers_.get() + index * elf::phdr::kSize);
}

elf::SectionHeader ElfLoader::sectionHeader(uint32_t index) const {
    return elf::SectionHeader::parse(section_headers_.get() + index * elf::shdr::kSize);
}

bool ElfLoader::setFile(FileManager* file) {
    Loader::setFile(file);
    abandonOnePass();
    freeTables();
    freeSymbolBlock();
    too_large_ = false;
    // The one pass goes ahead of the checks, which then read what it kept and
    // say what they find as they always do.
    ready_ = readHeader() && (loadInOnePass() || true) && readSectionHeaders() && readProgramHeaders() &&
             checkSegments() && readsWhole();
    return ready_;
}

// The symbol tables are looked for in bytes whose soundness a gzip stream
// proves only at its end: a file that cannot be read to its end is refused
// here, never taken for a kernel without symbols.
bool ElfLoader::readsWhole() {
    if (file_->realsize() != FileManager::kReadFailed)
        return true;
    print(u"kernel image read error.\n");
    return false;
}

bool ElfLoader::readHeader() {
    std::memset(header_, 0, sizeof header_);
    uint32_t count = file_->read(header_, sizeof header_, 0);
    if (count == FileManager::kReadFailed) {
        print(u"ELF header read error.\n");
        return false;
    }
    if (count < sizeof elf::kMagic || count > sizeof header_ || !elf::hasMagic(header_)) {
        print(u"not a ELF file.\n");
        return false;
    }
    if (count != sizeof header_) {
        print(u"ELF header read error.\n");
        return false;
    }
    info_ = elf::Header::parse(header_);
    if (info_.data != elf::kDataLittle || info_.elf_class != elf::kClass32) {
        print(u"invalid class/data(%d/%d)\n", info_.elf_class, info_.data);
        return false;
    }
    if (info_.machine != elf::kMachineArm) {
        print(u"not a native architecture. machine = %d\n", info_.machine);
        return false;
    }
    if (info_.type != elf::kTypeExecutable) {
        print(u"not a executable file. type = %d\n", info_.type);
        return false;
    }
    if (info_.phoff == 0 || info_.phnum < 1 || info_.phnum > elf::kMaxProgramHeaders ||
        info_.phentsize != elf::phdr::kSize) {
        print(u"invalid program header information.\n");
        return false;
    }
    return true;
}

bool ElfLoader::readSectionHeaders() {
    if (info_.shnum == 0)
        return true;
    // Only 40-byte entries can be read as section headers; anything else
    // leaves the image without symbols.
    if (info_.shentsize != elf::shdr::kSize) {
        print(u"invalid section header size %d.\n", info_.shentsize);
        return true;
    }
    uint32_t size = uint32_t{info_.shnum} * elf::shdr::kSize;
    section_headers_ = localArray<uint8_t>(size);
    if (section_headers_ == nullptr) {
        print(u"can't allocate section header table.\n");
        return false;
    }
    if (!readableRange(info_.shoff, size) || readFile(section_headers_.get(), size, info_.shoff) != size) {
        print(u"section header read error.\n");
        return false;
    }
    section_table_size_ = size;
    return true;
}

bool ElfLoader::readProgramHeaders() {
    uint32_t size = uint32_t{info_.phnum} * elf::phdr::kSize;
    program_headers_ = localArray<uint8_t>(size);
    if (program_headers_ == nullptr) {
        print(u"can't allocate program header table.\n");
        return false;
    }
    if (!readableRange(info_.phoff, size) || readFile(program_headers_.get(), size, info_.phoff) != size) {
        print(u"program header read error.\n");
        return false;
    }
    return true;
}

// The second stage copies whole words to the addresses as given and trusts
// every range: a segment it cannot place exactly is refused here.
bool ElfLoader::checkSegments() {
    int loadable = 0;
    const uint64_t room = (*memory_)->largestBankRun();
    for (uint32_t i = 0; i < info_.phnum; ++i) {
        elf::ProgramHeader segment = programHeader(i);
        if (segment.type != elf::kPtLoad)
            continue;
        ++loadable;
        // In 64 bits: a size a few bytes below 4 GB must not round to 0.
        uint64_t memory_size = round4(uint64_t{segment.memsz});
        bool fits = segment.paddr % 4 == 0 && segment.filesz <= segment.memsz &&
                    readableRange(segment.offset, segment.filesz) &&
                    uint64_t{segment.paddr} + memory_size < kAddressSpace;
        if (!fits) {
            print(u"invalid segment %d: paddr 0x%08x mem size 0x%x ofs 0x%x file size 0x%x\n", i,
                  segment.paddr, segment.memsz, segment.offset, segment.filesz);
            return false;
        }
        if (memory_size > room) {
            print(u"segment %d: mem size 0x%x is larger than the machine's memory (0x%x bytes).\n", i,
                  segment.memsz, static_cast<uint32_t>(room));
            return false;
        }
    }
    if (loadable == 0) {
        print(u"no loadable segment.\n");
        return false;
    }
    return true;
}

uint32_t ElfLoader::memorySize() {
    if (!ready_)
        return 0;
    print(u"file size: ");
    uint64_t total = 0;
    uint64_t extra = 0;
    MemoryManager* memory = *memory_;
    uint64_t chunk = memory->getTaggedPageSize();
    uint64_t page_mask = memory->getPageSize() - 1;
    for (uint32_t i = 0; i < info_.phnum; ++i) {
        elf::ProgramHeader segment = programHeader(i);
        if (segment.type != elf::kPtLoad)
            continue;
        print(u"%s0x%x", total == 0 ? u"" : u"+", segment.filesz);
        total += (uint64_t{segment.filesz} + page_mask) & ~page_mask;
        extra += chunk;
        if (segment.filesz < segment.memsz)
            extra += chunk;
    }
    symbol_note_[0] = 0;
    heap_refused_ = false;
    uint32_t symbols = prepareSymbolBlock();
    // The one pass kept room for a smaller symbol block: the kernel is read at `load` instead.
    if (one_pass_ && symbols > symbols_room_)
        abandonOnePass();
    if (symbols != 0) {
        total += symbols;
        print(u" = 0x%x]", symbols);
        extra += 2 * chunk;
    }
    total += extra;
    print(u"+[extra: 0x%x]", static_cast<uint32_t>(extra));
    // The caller rounds the result up to whole pages in 32 bits.
    too_large_ = total > (0xFFFFFFFFu & ~page_mask) || heap_refused_;
    if (heap_refused_)
        print(u"\n");
    else if (too_large_)
        print(u" = more than 4 GB\n");
    else
        print(u" = 0x%x bytes\n", static_cast<uint32_t>(total));
    if (symbol_note_[0] != 0)
        print(u"%s", symbol_note_);
    return too_large_ ? 0xFFFFFFFFu : static_cast<uint32_t>(total);
}

bool ElfLoader::sectionNameIs(uint32_t name_offset, const char* name) const {
    size_t length = std::strlen(name) + 1;
    return name_offset < names_size_ && names_size_ - name_offset >= length &&
           std::memcmp(names_ + name_offset, name, length) == 0;
}

void ElfLoader::note(const char16_t* format, ...) {
    if (symbol_note_[0] != 0)
        return;
    va_list args;
    va_start(args, format);
    wvsprintfW(symbol_note_, sizeof symbol_note_ / sizeof symbol_note_[0], format, args);
    va_end(args);
}

uint32_t ElfLoader::noSymbols() {
    freeSymbolBlock();
    if (MenuContext::instance()->prefs.safety_message != 0)
        MenuContext::instance()->messageBox(u"No symbol and/or string table in binary.\n(not fatal)",
                                            u"Information", ce::MB_OK | ce::MB_ICONINFORMATION);
    return 0;
}

uint32_t ElfLoader::prepareSymbolBlock() {
    freeSymbolBlock();
    unreadable_ = false;
    uint32_t table_size = section_table_size_;
    if (table_size == 0)
        return noSymbols();
    if (info_.shstrndx >= info_.shnum) {
        note(u"section name table index %d out of range.\n", info_.shstrndx);
        return noSymbols();
    }
    elf::SectionHeader name_table = sectionHeader(info_.shstrndx);
    if (name_table.size > kMaxNameTableSize || !readableRange(name_table.offset, name_table.size)) {
        note(u"invalid section name table (0x%x bytes at 0x%x).\n", name_table.size, name_table.offset);
        return noSymbols();
    }
    uint32_t names = round4(name_table.size);
    uint32_t block_size = elf::ehdr::kSize + table_size + names;
    symbol_block_ = localArray<uint8_t>(block_size, true);
    if (symbol_block_ == nullptr) {
        // The heap refused a few kilobytes: the pages for the kernel will not
        // be there either, and a kernel must not run without its symbols
        // because of it. The boot stops where memory is reserved.
        note(u"can't allocate memory for the symbol block (0x%x bytes).\n", block_size);
        heap_refused_ = true;
        return 0;
    }
    symbol_block_size_ = block_size;

    uint8_t* header = symbol_block_.get();
    std::memcpy(header, header_, elf::ehdr::kSize);
    elf::put32(header + elf::ehdr::kEntry, 0);
    elf::put32(header + elf::ehdr::kPhoff, 0);
    elf::put16(header + elf::ehdr::kPhnum, 0);
    elf::put32(header + elf::ehdr::kShoff, elf::ehdr::kSize);
    uint8_t* sections = symbol_block_.get() + elf::ehdr::kSize;
    std::memcpy(sections, section_headers_.get(), table_size);

    names_ = sections + table_size;
    names_size_ = name_table.size;
    // The padding to the word boundary may lie past the end of the file.
    uint32_t count = names == 0 ? 0 : readFile(names_, names, name_table.offset);
    if (count == FileManager::kReadFailed) {
        // Symbols that could not be read are no kernel without symbols.
        print(u"section name table read error.\n");
        unreadable_ = true;
        freeSymbolBlock();
        return 0;
    }
    if (count < name_table.size || count > names) {
        note(u"section name table read error.\n");
        return noSymbols();
    }

    int symtab = -1;
    int strtab = -1;
    uint32_t name_table_offset = elf::ehdr::kSize + table_size;
    for (uint32_t i = 0; i < info_.shnum; ++i) {
        uint8_t* entry = sections + i * elf::shdr::kSize;
        uint32_t name = elf::get32(entry + elf::shdr::kName);
        if (name >= names_size_ && name != 0)
            note(u"section %d: name offset 0x%x outside the name table.\n", i, name);
        if (sectionNameIs(name, ".strtab"))
            strtab = static_cast<int>(i);
        else if (sectionNameIs(name, ".symtab"))
            symtab = static_cast<int>(i);
        elf::put32(entry + elf::shdr::kOffset, i == info_.shstrndx ? name_table_offset : 0);
    }
    if (symtab < 0 || strtab < 0)
        return noSymbols();

    elf::SectionHeader symtab_header = sectionHeader(static_cast<uint32_t>(symtab));
    elf::SectionHeader strtab_header = sectionHeader(static_cast<uint32_t>(strtab));
    uint64_t symtab_room = round4(uint64_t{symtab_header.size});
    uint64_t total = uint64_t{block_size} + symtab_room + strtab_header.size;
    if (!readableRange(symtab_header.offset, symtab_header.size) ||
        !readableRange(strtab_header.offset, strtab_header.size) || total > 0xFFFFFFFFu) {
        note(u"invalid symbol tables (symtab 0x%x at 0x%x, strtab 0x%x at 0x%x).\n", symtab_header.size,
             symtab_header.offset, strtab_header.size, strtab_header.offset);
        return noSymbols();
    }
    symtab_offset_ = symtab_header.offset;
    symtab_size_ = symtab_header.size;
    strtab_offset_ = strtab_header.offset;
    strtab_size_ = strtab_header.size;
    elf::put32(sections + symtab * elf::shdr::kSize + elf::shdr::kOffset, block_size);
    elf::put32(sections + strtab * elf::shdr::kSize + elf::shdr::kOffset,
               block_size + static_cast<uint32_t>(symtab_room));
    has_symbols_ = 1;
    print(u"+[ksyms: header 0x%x, symtab 0x%x, strtab 0x%x", block_size, symtab_size_, strtab_size_);
    return static_cast<uint32_t>(total);
}

template <typename Each>
uint32_t ElfLoader::forEachLoadSegment(Each each) const {
    uint32_t end = 0;
    for (uint32_t i = 0; i < info_.phnum; ++i) {
        elf::ProgramHeader segment = programHeader(i);
        if (segment.type != elf::kPtLoad)
            continue;
        each(i, segment);
        end = segment.paddr + round4(segment.memsz);
    }
    return end;
}

ElfLoader::SymbolPlaces ElfLoader::symbolPlaces(uint32_t destination) const {
    uint32_t symtab = destination + symbol_block_size_;
    return {destination, symtab, symtab + round4(symtab_size_)};
}

bool ElfLoader::load() {
    if (!ready_)
        return false;
    if (one_pass_)
        restartChain();
    else
        initPageList();
    if (too_large_) {
        print(u"kernel image too large.\n");
        return false;
    }
    if (unreadable_)
        return false;
    uint32_t end = forEachLoadSegment([this](uint32_t i, const elf::ProgramHeader& segment) {
        print(u"seg[%d] paddr 0x%08x file size 0x%x mem size 0x%x\n", i, segment.paddr, segment.filesz,
              segment.memsz);
        if (one_pass_) {
            reportSegment(segment.paddr, segment.memsz, segment.offset, segment.filesz);
            appendSubChain(links_[i]);
        } else {
            loadSegment(segment.paddr, segment.memsz, segment.offset, segment.filesz);
        }
    });
    loadSymbols(end);
    // The symbols were the last bytes read from the kept pages: they take the image next.
    retained_.giveBack(**memory_);
    (*memory_)->giveBackHeldBack();
    return loadSucceeded();
}

bool ElfLoader::planOnePass(OnePass& plan) {
    if (architecture_ == nullptr || !file_->streamed())
        return false;
    const uint32_t headers_size = uint32_t{info_.phnum} * elf::phdr::kSize;
    plan.program_headers = localArray<uint8_t>(headers_size);
    if (plan.program_headers == nullptr || !readableRange(info_.phoff, headers_size) ||
        file_->read(plan.program_headers.get(), headers_size, info_.phoff) != headers_size)
        return false;
    MemoryManager* memory = *memory_;
    const uint64_t room = memory->largestBankRun();
    const uint64_t chunk = memory->getTaggedPageSize();
    const uint64_t page_mask = memory->getPageSize() - 1;
    uint64_t total = 0, extra = 0, segment_bytes = 0;
    for (uint32_t i = 0; i < info_.phnum; ++i) {
        elf::ProgramHeader segment = plan.segment(i);
        if (segment.type != elf::kPtLoad)
            continue;
        uint64_t memory_size = round4(uint64_t{segment.memsz});
        if (segment.paddr % 4 != 0 || segment.filesz > segment.memsz ||
            !readableRange(segment.offset, segment.filesz) ||
            uint64_t{segment.paddr} + memory_size >= kAddressSpace || memory_size > room)
            return false;
        total += (uint64_t{segment.filesz} + page_mask) & ~page_mask;
        extra += segment.filesz < segment.memsz ? 2 * chunk : chunk;
        segment_bytes += segment.filesz;
        plan.order[plan.loadable++] = i;
    }
    // The pass reads the segments' bytes in file order; those without any first.
    std::stable_sort(plan.order, plan.order + plan.loadable, [&plan](uint32_t a, uint32_t b) {
        elf::ProgramHeader first = plan.segment(a), second = plan.segment(b);
        return (first.filesz == 0 ? 0 : first.offset) < (second.filesz == 0 ? 0 : second.offset);
    });
    uint64_t file_end = 0;
    for (uint32_t k = 0; k < plan.loadable; ++k) {
        elf::ProgramHeader segment = plan.segment(plan.order[k]);
        if (segment.filesz == 0)
            continue;
        // Bytes two segments share would have to be read twice.
        if (segment.offset < file_end)
            return false;
        plan.kept_runs += segment.offset > file_end ? 1 : 0;
        file_end = uint64_t{segment.offset} + segment.filesz;
    }
    uint64_t sweep_end = file_end;
    if (info_.shnum != 0 && info_.shentsize == elf::shdr::kSize) {
        uint64_t table = uint64_t{info_.shnum} * elf::shdr::kSize;
        if (info_.shoff < file_end)
            return false;
        sweep_end = info_.shoff + table;
        plan.kept_runs += 1;
        // The section names and symbol tables lie among the bytes before the
        // section headers that no segment takes.
        plan.symbols_room = elf::ehdr::kSize + table + 3 * 3 + (info_.shoff - segment_bytes);
        total += plan.symbols_room + 2 * chunk;
    }
    plan.kept_bytes = sweep_end - segment_bytes;
    if (plan.loadable == 0 || sweep_end >= FileManager::kCurrentPosition || plan.symbols_room > room ||
        plan.kept_bytes > room)
        return false;
    plan.sweep_end = static_cast<uint32_t>(sweep_end);
    plan.kept_pages = static_cast<uint32_t>((plan.kept_bytes + page_mask) / (page_mask + 1) + plan.kept_runs);
    plan.memory_needed = ((total + extra + page_mask) & ~page_mask) + image_size_ +
                         uint64_t{plan.kept_pages} * (page_mask + 1);
    return plan.memory_needed <= (0xFFFFFFFFu & ~page_mask);
}

bool ElfLoader::loadInOnePass() {
    OnePass plan;
    std::fill(std::begin(links_), std::end(links_), SubChain{});
    if (!planOnePass(plan))
        return false;
    // Where the kernel goes as far as its program headers tell: its segments
    // in the list's order, then room for the symbol block and the image,
    // which is decided once the pass has read the section headers.
    Plan places;
    uint32_t end = 0;
    for (uint32_t i = 0; i < info_.phnum; ++i) {
        elf::ProgramHeader segment = plan.segment(i);
        if (segment.type != elf::kPtLoad)
            continue;
        planSegment(places, segment.paddr, segment.memsz, segment.filesz);
        end = segment.paddr + round4(segment.memsz);
    }
    uint64_t room_end = end + plan.symbols_room;
    if (image_size_ != 0 && room_end < kAddressSpace)
        room_end = imageDestination(static_cast<uint32_t>(room_end)) + round4(uint64_t{image_size_});
    if (room_end > end)
        places.ranges.push_back({end, std::min(room_end, kAddressSpace), false, true});

    MemoryManager* memory = *memory_;
    // The pass needs the segments' pages, those the kept bytes are lent, and the boot's own.
    memory->reserveProvisionally(plan.kept_pages + MemoryManager::kBootPages);
    {
        Hush hush(console_);
        if (!architecture_->placeKernel(places.ranges) ||
            !architecture_->allocateMemory(static_cast<uint32_t>(plan.memory_needed))) {
            memory->releaseRegion();
            return false;
        }
    }
    // Each segment's links are made apart (SubChain) and put into the list
    // in program-header order by `load`.
    placing_ahead_ = true;
    initPageList();
    uint32_t at = 0;
    RetainedBytes::Kept kept = RetainedBytes::Kept::All;
    for (uint32_t k = 0; k < plan.loadable && !pagesRanOut() && kept != RetainedBytes::Kept::NoPage; ++k) {
        uint32_t index = plan.order[k];
        elf::ProgramHeader segment = plan.segment(index);
        if (segment.filesz != 0 && segment.offset > at && kept == RetainedBytes::Kept::All)
            kept = retained_.keep(*file_, *memory, at, segment.offset);
        beginSubChain();
        placeSegment(segment.paddr, segment.memsz, segment.offset, segment.filesz);
        links_[index] = endSubChain();
        if (segment.filesz != 0)
            at = segment.offset + segment.filesz;
    }
    if (kept == RetainedBytes::Kept::All && !pagesRanOut() && at < plan.sweep_end)
        kept = retained_.keep(*file_, *memory, at, plan.sweep_end);
    placing_ahead_ = false;
    one_pass_ = true;
    symbols_room_ = plan.symbols_room;
    if (pagesRanOut() || kept == RetainedBytes::Kept::NoPage) {
        abandonOnePass();
        return false;
    }
    return true;
}

void ElfLoader::abandonOnePass() {
    if (!one_pass_)
        return;
    retained_.forget();
    (*memory_)->releaseRegion();
    forgetPageList();
    one_pass_ = false;
}

void ElfLoader::planKernel(Plan& plan) const {
    if (!ready_ || too_large_)
        return;
    uint32_t end = forEachLoadSegment([this, &plan](uint32_t, const elf::ProgramHeader& segment) {
        planSegment(plan, segment.paddr, segment.memsz, segment.filesz);
    });
    if (has_symbols_ == 0 || !symbolsFit(end))
        return;
    SymbolPlaces places = symbolPlaces(end);
    planSegment(plan, places.block, symbol_block_size_, symbol_block_size_);
    planSegment(plan, places.symtab, symtab_size_, symtab_size_);
    planSegment(plan, places.strtab, strtab_size_, strtab_size_);
}

bool ElfLoader::symbolsFit(uint32_t destination) const {
    uint64_t symtab_room = round4(uint64_t{symtab_size_});
    return uint64_t{destination} + symbol_block_size_ + symtab_room + strtab_size_ <= kAddressSpace;
}

void ElfLoader::loadSymbols(uint32_t destination) {
    if (has_symbols_ == 0)
        return;
    if (!symbolsFit(destination)) {
        print(u"symbol block does not fit above 0x%08x.\n", destination);
        load_error_ = 1;
        return;
    }
    print(u"ksyms\n");
    SymbolPlaces places = symbolPlaces(destination);
    loadMemory(places.block, symbol_block_size_, symbol_block_.get());
    loadSegment(places.symtab, symtab_size_, symtab_offset_, symtab_size_);
    loadSegment(places.strtab, strtab_size_, strtab_offset_, strtab_size_);
}

bool ElfLoader::checkLayout(const KernelPlacement& placement, uint32_t image_size) {
    if (!ready_)
        return false;
    std::vector<KernelPiece> pieces;
    uint32_t end = forEachLoadSegment([&pieces](uint32_t i, const elf::ProgramHeader& segment) {
        if (segment.memsz != 0)
            pieces.push_back(
                {KernelPiece::kSegment, i, segment.paddr, segment.paddr + round4(uint64_t{segment.memsz})});
    });
    // Pieces that do not fit below 4 GB are refused by the load itself.
    if (has_symbols_ != 0 && symbolsFit(end)) {
        SymbolPlaces places = symbolPlaces(end);
        uint64_t symbols_end = places.strtab + round4(uint64_t{strtab_size_});
        pieces.push_back({KernelPiece::kSymbolBlock, 0, places.block, symbols_end});
        end = static_cast<uint32_t>(places.strtab + uint64_t{strtab_size_});
    }
    uint64_t image = imageDestination(end);
    if (image_size != 0 && image + image_size <= kAddressSpace)
        pieces.push_back(
            {KernelPiece::kImage, 0, static_cast<uint32_t>(image), image + round4(uint64_t{image_size})});
    return checkKernelLayout(console_, pieces, info_.entry, placement);
}

uint32_t ElfLoader::jumpAddr() {
    print(u"kernel entry address: 0x%08x\n", info_.entry);
    return info_.entry;
}
