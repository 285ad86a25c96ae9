#include "file/gzip_test_files.h"

#include "support/run_program.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>
#include <zlib.h>

namespace gzip_files {

std::string kernelBytes(const std::string& name) {
    std::ifstream in(buildPath("kernels/" + name + ".elf"), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string plainData() {
    std::string data = kernelBytes();
    EXPECT_GT(data.size(), 52u) << "the test kernels are not built";
    uint32_t state = 12345;
    const char* words[] = {"kernel ", "boot ", "page ", "link ", "\n", "0x", "segment "};
    while (data.size() < 200000) {
        state = state * 1103515245u + 12345u;
        if ((state >> 16) % 3 == 0)
            data += words[(state >> 8) % 7];
        else
            data += static_cast<char>(state >> 24);
    }
    return data;
}

std::string compress(const std::string& tool, const std::vector<std::string>& arguments,
                     const std::string& plain) {
    char path[] = "/tmp/zandrel-plain-XXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    close(fd);
    std::ofstream(path, std::ios::binary) << plain;
    std::vector<std::string> all = arguments;
    all.push_back(path);
    ProgramResult result = runProgram(tool, all);
    std::remove(path);
    EXPECT_EQ(result.status, 0) << tool << ": " << result.err;
    return result.out;
}

std::string withAllHeaderFields(const std::string& plain, bool correct_header_crc) {
    std::string plain_member = compress("/usr/bin/gzip", {"-c", "-n"}, plain);
    EXPECT_EQ(static_cast<uint8_t>(plain_member[3]), 0) << "gzip -n writes no optional fields";
    std::string header("\x1f\x8b\x08\x1e\0\0\0\0\0\x03", 10);
    header += std::string("\x06\0AB\x02\0xy", 8); // extra field: one 2-byte subfield "AB"
    header += std::string("kalmor", 7);           // with its terminator
    header += std::string("built by hand", 14);
    uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(header.data()), static_cast<uInt>(header.size())));
    if (!correct_header_crc)
        crc ^= 1;
    header += static_cast<char>(crc & 0xFF);
    header += static_cast<char>((crc >> 8) & 0xFF);
    return header + plain_member.substr(10);
}

} // namespace gzip_files
