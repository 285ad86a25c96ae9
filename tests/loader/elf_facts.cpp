#include "loader/elf_facts.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

namespace {

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, count);
    int status = pclose(pipe);
    EXPECT_EQ(status, 0) << command;
    return output;
}

uint32_t number(const std::string& text, int base) {
    return static_cast<uint32_t>(std::stoul(text, nullptr, base));
}

uint32_t headerField(const std::string& output, const std::string& label) {
    std::smatch match;
    std::regex pattern(label + R"(:\s+(0x[0-9a-fA-F]+|\d+))");
    if (!std::regex_search(output, match, pattern)) {
        ADD_FAILURE() << "readelf did not report " << label;
        return 0;
    }
    return number(match[1], 0);
}

} // namespace

const ElfFacts::Section* ElfFacts::section(const std::string& name) const {
    for (const Section& s : sections)
        if (s.name == name)
            return &s;
    return nullptr;
}

ElfFacts readElfFacts(const std::filesystem::path& file) {
    std::string output = run("arm-none-eabi-readelf -hlSW '" + file.string() + "'");
    ElfFacts facts;
    facts.entry = headerField(output, "Entry point address");
    facts.phoff = headerField(output, "Start of program headers");
    facts.shoff = headerField(output, "Start of section headers");
    facts.shentsize = headerField(output, "Size of section headers");
    facts.shnum = headerField(output, "Number of section headers");
    facts.shstrndx = headerField(output, "Section header string table index");

    std::istringstream lines(output);
    std::string line;
    std::regex load(
        R"(^\s*LOAD\s+(0x[0-9a-f]+)\s+0x[0-9a-f]+\s+(0x[0-9a-f]+)\s+(0x[0-9a-f]+)\s+(0x[0-9a-f]+))");
    std::regex section(R"(^\s*\[\s*(\d+)\]\s+(\S+)\s+\S+\s+[0-9a-f]+\s+([0-9a-f]+)\s+([0-9a-f]+))");
    std::smatch match;
    while (std::getline(lines, line)) {
        if (std::regex_search(line, match, load))
            facts.loads.push_back(
                {number(match[1], 16), number(match[2], 16), number(match[3], 16), number(match[4], 16)});
        else if (std::regex_search(line, match, section) && match[1] != "0")
            facts.sections.push_back(
                {number(match[1], 10), match[2], number(match[3], 16), number(match[4], 16)});
    }
    return facts;
}

std::string dumpSection(const std::filesystem::path& file, const std::string& name) {
    // readelf -x: "  0x<address> " then the bytes in file order, in groups of four.
    std::string output = run("arm-none-eabi-readelf -x '" + name + "' '" + file.string() + "'");
    std::istringstream lines(output);
    std::string line;
    std::string bytes;
    while (std::getline(lines, line)) {
        if (line.rfind("  0x", 0) != 0 || line.size() < 13)
            continue;
        std::string hex = line.substr(13, 35);
        hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            bytes.push_back(static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::filesystem::path kernelPath(const std::string& name) {
    return std::filesystem::path(ZANDREL_BUILD_DIR) / "kernels" / (name + ".elf");
}

std::string readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << file;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}
