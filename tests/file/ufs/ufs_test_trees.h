// The source trees the UFS tests put into file systems with makefs, and what
// each file of them holds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

struct TestTree {
    // Regular files by path from the root, with their bytes.
    std::map<std::string, std::string> files;
};

constexpr int kManyEntries = 200;
constexpr int kChainLength = 33; // chain/c0 .. chain/c32, c<n> follows n + 1 links

// Files, deep directories, a directory of two blocks, and symbolic links:
// short (kept in the inode) and long (in a block), relative and absolute, a
// chain, a cycle and targets near the 1024-character limit.
TestTree makeStandardTree(const std::filesystem::path& root);
// One file large enough for the double indirect block, and a few smaller ones.
TestTree makeLargeTree(const std::filesystem::path& root);
// Files and directories without symbolic links.
TestTree makePlainTree(const std::filesystem::path& root);

std::string manyEntryName(int n);
