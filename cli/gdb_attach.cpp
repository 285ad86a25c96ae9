#include "cli/gdb_attach.h"

#include "loader/elf_format.h"
#include "sim/hand_off.h"
#include "sim/placed_image.h"

#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

// The shell's quoting of one word.
std::string quoted(const std::string& word) {
    std::string text = "'";
    for (char c : word)
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

bool isGzip(const std::filesystem::path& path) {
    unsigned char magic[2] = {};
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(magic), 2);
    return in.gcount() == 2 && magic[0] == 0x1F && magic[1] == 0x8B;
}

} // namespace

GdbAttach::GdbAttach(const std::optional<std::filesystem::path>& kernel, const std::string& why_not)
    : why_not_(why_not) {
    if (!kernel)
        return;
    std::vector<uint8_t> bytes;
    if (!sim::readHostFile(*kernel, bytes, why_not_))
        return;
    if (bytes.size() < elf::ehdr::kSize || !elf::hasMagic(bytes.data())) {
        why_not_ = "the kernel file is not an ELF file";
        return;
    }
    link_entry_ = elf::get32(bytes.data() + elf::ehdr::kEntry);
    if (!isGzip(*kernel)) {
        elf_ = std::filesystem::absolute(*kernel);
        return;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/zandrel-gdb-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        why_not_ = "can't make a folder for the inflated kernel";
        return;
    }
    scratch_ = pattern;
    std::filesystem::path name = kernel->filename();
    if (name.extension() == ".gz")
        name = name.stem();
    std::filesystem::path inflated = scratch_ / name;
    std::ofstream out(inflated, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        why_not_ = "can't write the inflated kernel";
        return;
    }
    elf_ = inflated;
}

GdbAttach::~GdbAttach() {
    std::error_code ignored;
    if (!scratch_.empty())
        std::filesystem::remove_all(scratch_, ignored);
}

std::string GdbAttach::message(uint16_t port, uint32_t entry) const {
    std::string target = "-ex " + quoted("target remote localhost:" + std::to_string(port));
    std::string command = "gdb-multiarch -q ";
    std::string note;
    if (!elf_) {
        command += target;
        note = "zandrel-sim: no symbols for gdb: " + why_not_ + "\n";
    } else if (*link_entry_ == entry) {
        command += quoted(elf_->string()) + " " + target;
    } else {
        // The symbols where the kernel runs: moved by the second stage's offset
        // (gdb's addresses are wider than the processor's, so a move down is negative).
        std::string offset = entry > *link_entry_ ? sim::hexWord(entry - *link_entry_)
                                                  : "-" + sim::hexWord(*link_entry_ - entry);
        command += "-ex " + quoted("symbol-file -o " + offset + " " + elf_->string()) + " " + target;
    }
    return "zandrel-sim: QEMU waits at the kernel's first instruction (" + sim::hexWord(entry) +
           "); attach gdb with:\n" + command + "\n" + note;
}
