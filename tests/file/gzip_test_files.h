// gzip files for the file-layer tests, made at test time by gzip and pigz
// from data that starts with a real ARM kernel, and hand-built headers
// around a gzip-made deflate body for the header fields no tool writes.
#pragma once

#include <string>
#include <vector>

namespace gzip_files {

// The test kernel's bytes followed by ~200 KB of mixed, partly compressible data.
std::string plainData();
std::string kernelBytes(const std::string& name = "three_segments");
// Runs `tool` (a path) with `arguments` and the path of a file holding `plain`;
// returns what it wrote to standard output.
std::string compress(const std::string& tool, const std::vector<std::string>& arguments,
                     const std::string& plain);
// A member with extra field, name, comment and header CRC (flags 0x1E) around
// the deflate body and trailer that `gzip -n` made for `plain`.
std::string withAllHeaderFields(const std::string& plain, bool correct_header_crc = true);

} // namespace gzip_files
