#include "ufs_test_trees.h"

#include "support/ufs_disk_images.h"

#include <cstdio>

namespace {

void addFile(TestTree& tree, const std::filesystem::path& root, const std::string& path,
             const std::string& bytes) {
    writeHostFile(root / path, bytes);
    tree.files[path] = bytes;
}

void addLink(const std::filesystem::path& root, const std::string& path, const std::string& target) {
    std::filesystem::create_directories((root / path).parent_path());
    std::filesystem::create_symlink(target, root / path);
}

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

} // namespace

std::string manyEntryName(int n) {
    char name[64];
    std::snprintf(name, sizeof(name), "entry_with_a_rather_long_name_%03d", n);
    return name;
}

TestTree makeStandardTree(const std::filesystem::path& root) {
    TestTree tree;
    addFile(tree, root, "kalmor.gz", patternBytes(150000, 1));
    addFile(tree, root, "miniroot.fs", patternBytes(70000, 2));
    addFile(tree, root, "small", patternBytes(2500, 3));
    addFile(tree, root, "empty", "");
    addFile(tree, root, "Case", "upper");
    addFile(tree, root, "case", "lower");
    addFile(tree, root, "boot/deep/a/b/c/d/e/f/g/h/file.txt", patternBytes(9000, 4));
    for (int n = 0; n < kManyEntries; ++n)
        addFile(tree, root, "many/" + manyEntryName(n), std::to_string(n));

    const std::string deep = "boot/deep/a/b/c/d/e/f/g/h/file.txt";
    addLink(root, "link_rel", deep);
    addLink(root, "link_abs", "/" + deep);
    addLink(root, "link_long", "boot/./deep/./a/./b/./c/./d/./e/./f/./g/./h/../h/./file.txt");
    addLink(root, "boot/up", "../kalmor.gz");
    addLink(root, "boot/deep/abs_dir", "/boot/deep/a");
    addLink(root, "chain/c0", "../small");
    for (int n = 1; n < kChainLength; ++n)
        addLink(root, "chain/c" + std::to_string(n), "c" + std::to_string(n - 1));
    addLink(root, "loop_a", "loop_b");
    addLink(root, "loop_b", "loop_a");
    // 1005 and 1004 characters: the first fits, the second does not once a
    // longer rest of the path follows it.
    addLink(root, "long_target", repeated("./", 500) + "small");
    addLink(root, "long_dir", repeated("./", 500) + "boot");
    return tree;
}

TestTree makeLargeTree(const std::filesystem::path& root) {
    TestTree tree;
    addFile(tree, root, "huge", patternBytes(20 * 1024 * 1024 + 12345, 9));
    addFile(tree, root, "tri", patternBytes(16 * 4096, 10));
    addFile(tree, root, "sparse", patternBytes(40 * 8192 + 100, 11));
    return tree;
}

TestTree makePlainTree(const std::filesystem::path& root) {
    TestTree tree;
    addFile(tree, root, "kalmor.gz", patternBytes(50000, 21));
    addFile(tree, root, "boot/deep/a/file", patternBytes(5000, 22));
    addFile(tree, root, "indirect", patternBytes(30 * 8192, 23));
    for (int n = 0; n < kManyEntries; ++n)
        addFile(tree, root, "many/" + manyEntryName(n), std::to_string(n));
    return tree;
}
