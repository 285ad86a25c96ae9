#include "sim/page_list_replay.h"

#include "sim/physical_memory.h"

#include <cstdio>
#include <cstring>
#include <unordered_set>

namespace sim {

namespace {

std::string describe(const char* what, uint32_t link, uint32_t address) {
    char text[128];
    std::snprintf(text, sizeof text, "link 0x%08x: %s 0x%08x", link, what, address);
    return text;
}

// Reads and stores as the processor would with the MMU off: reads see what
// earlier stores left, else the RAM.
class Walker {
  public:
    Walker(PhysicalMemory& ram, ReplayResult& result) : ram_(ram), result_(result) {}

    bool load(uint32_t paddr, uint32_t& value, ReplayHazard::Kind kind, uint32_t link) {
        paddr &= ~3u;
        if (result_.memory.word(paddr, value)) {
            hazard(kind, link, paddr);
            return true;
        }
        uint8_t bytes[4];
        if (!ram_.read(paddr, bytes, 4))
            return false;
        value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
        return true;
    }

    void store(uint32_t paddr, uint32_t value, uint32_t link) {
        paddr &= ~3u;
        if (!ram_.contains(paddr, 4) && !outside_reported_) {
            hazard(ReplayHazard::kDestinationOutsideRam, link, paddr);
            outside_reported_ = true;
        }
        result_.memory.storeWord(paddr, value);
    }

    void nextLink() { outside_reported_ = false; }

  private:
    void hazard(ReplayHazard::Kind kind, uint32_t link, uint32_t paddr) {
        // One report per kind and link is enough to show the overlap.
        for (auto it = result_.hazards.rbegin(); it != result_.hazards.rend() && it->link == link; ++it)
            if (it->kind == kind)
                return;
        result_.hazards.push_back({kind, link, paddr});
    }

    PhysicalMemory& ram_;
    ReplayResult& result_;
    bool outside_reported_ = false;
};

bool replayLink(Walker& walker, ReplayResult& result, uint32_t link, uint32_t src, uint32_t dst,
                uint32_t end) {
    if (src == kZeroClearSource) {
        do {
            walker.store(dst, 0, link);
            dst += 4;
        } while (dst < end);
        ++result.zero_links;
        return true;
    }
    do {
        uint32_t first, second;
        if (!walker.load(src, first, ReplayHazard::kSourceOverwritten, link) ||
            !walker.load(src + 4, second, ReplayHazard::kSourceOverwritten, link)) {
            result.error = describe("source outside RAM at", link, src);
            return false;
        }
        src += 8;
        walker.store(dst, first, link);
        dst += 4;
        if (dst < end) {
            walker.store(dst, second, link);
            dst += 4;
        }
    } while (dst < end);
    ++result.load_links;
    return true;
}

} // namespace

uint32_t secondStageAddress(uint32_t address, SecondStageVariant variant) {
    if (variant == SecondStageVariant::kPxa2x0)
        return (address & 0x0FFFFFFFu) | 0xA0000000u;
    return address;
}

ReplayedMemory::Page* ReplayedMemory::findPage(uint32_t number) const {
    if (last_page_ != nullptr && last_number_ == number)
        return last_page_;
    if (missing_known_ && missing_number_ == number)
        return nullptr;
    auto it = pages_.find(number);
    if (it == pages_.end()) {
        missing_number_ = number;
        missing_known_ = true;
        return nullptr;
    }
    last_number_ = number;
    last_page_ = it->second.get();
    return last_page_;
}

bool ReplayedMemory::word(uint32_t paddr, uint32_t& value) const {
    const Page* page = findPage(paddr / kPageSize);
    uint32_t offset = paddr % kPageSize;
    if (page == nullptr || !page->words.test(offset / 4))
        return false;
    const uint8_t* bytes = page->bytes + offset;
    value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
            (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return true;
}

void ReplayedMemory::storeWord(uint32_t paddr, uint32_t value) {
    Page* page = findPage(paddr / kPageSize);
    if (page == nullptr) {
        std::unique_ptr<Page>& made = pages_[paddr / kPageSize];
        made = std::make_unique<Page>();
        page = made.get();
        missing_known_ = false;
    }
    uint32_t offset = paddr % kPageSize;
    uint8_t* bytes = page->bytes + offset;
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
    bytes[2] = static_cast<uint8_t>(value >> 16);
    bytes[3] = static_cast<uint8_t>(value >> 24);
    page->words.set(offset / 4);
}

bool ReplayedMemory::written(uint32_t paddr, uint32_t size) const {
    for (uint64_t a = paddr; a < uint64_t{paddr} + size; ++a) {
        auto it = pages_.find(static_cast<uint32_t>(a / kPageSize));
        if (it == pages_.end() || !it->second->words.test((a % kPageSize) / 4))
            return false;
    }
    return true;
}

bool ReplayedMemory::touched(uint32_t paddr, uint32_t size) const {
    for (uint64_t a = paddr; a < uint64_t{paddr} + size; ++a) {
        auto it = pages_.find(static_cast<uint32_t>(a / kPageSize));
        if (it != pages_.end() && it->second->words.test((a % kPageSize) / 4))
            return true;
    }
    return false;
}

std::vector<uint8_t> ReplayedMemory::read(uint32_t paddr, uint32_t size, uint8_t fill) const {
    std::vector<uint8_t> out(size, fill);
    for (uint32_t i = 0; i < size; ++i) {
        uint64_t a = uint64_t{paddr} + i;
        auto it = pages_.find(static_cast<uint32_t>(a / kPageSize));
        if (it != pages_.end() && it->second->words.test((a % kPageSize) / 4))
            out[i] = it->second->bytes[a % kPageSize];
    }
    return out;
}

std::vector<std::pair<uint32_t, uint32_t>> ReplayedMemory::ranges() const {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const auto& [number, page] : pages_) {
        for (uint32_t w = 0; w < kPageSize / 4; ++w) {
            if (!page->words.test(w))
                continue;
            uint32_t address = number * kPageSize + w * 4;
            if (!out.empty() && uint64_t{out.back().first} + out.back().second == address)
                out.back().second += 4;
            else
                out.emplace_back(address, 4);
        }
    }
    return out;
}

void ReplayResult::kernelView(uint32_t paddr, uint8_t* out, uint32_t size) const {
    PhysicalMemory& ram = PhysicalMemory::get();
    for (uint32_t i = 0; i < size; ++i) {
        uint32_t a = paddr + i;
        uint32_t value;
        out[i] = 0;
        if (memory.word(a & ~3u, value))
            out[i] = static_cast<uint8_t>(value >> (8 * (a & 3)));
        else
            ram.read(a, &out[i], 1);
    }
}

ReplayResult replayPageList(uint32_t list_head, SecondStageVariant variant, uint32_t argument_page) {
    ReplayResult result;
    PhysicalMemory& ram = PhysicalMemory::get();
    Walker walker(ram, result);
    std::unordered_set<uint32_t> visited;
    uint32_t end = 0;
    for (uint32_t link = list_head; link != kListEnd;) {
        if (!visited.insert(link).second) {
            result.error = describe("the list runs in a circle back to", link, link);
            return result;
        }
        walker.nextLink();
        // A link is read completely before any of it is acted on.
        uint32_t fields[4];
        for (uint32_t i = 0; i < 4; ++i) {
            if (!walker.load(link + 4 * i, fields[i], ReplayHazard::kLinkOverwritten, link)) {
                result.error = describe("link record outside RAM at", link, link);
                return result;
            }
        }
        uint32_t dst = secondStageAddress(fields[2], variant);
        uint32_t len = fields[3];
        if (len > ram.size()) {
            result.error = describe("length larger than RAM:", link, len);
            return result;
        }
        end = dst + len;
        if (!replayLink(walker, result, link, fields[1], dst, end))
            return result;
        ++result.links;
        link = fields[0];
    }
    if (result.links > 0) {
        result.has_stack_pointer = true;
        result.stack_pointer = (end + 0x2000) & ~0xFFFu;
    }
    if (argument_page != kNoArgumentPage) {
        uint32_t words[4];
        for (uint32_t i = 0; i < 4; ++i) {
            if (!walker.load(argument_page + 4 * i, words[i], ReplayHazard::kArgumentPageOverwritten, 0)) {
                result.error = describe("argument page outside RAM at", 0, argument_page);
                return result;
            }
        }
        result.has_entry = true;
        result.entry = secondStageAddress(words[0], variant);
        result.argc = words[1];
        result.argv = words[2];
        result.boot_info = words[3];
    }
    result.ok = true;
    return result;
}

} // namespace sim
