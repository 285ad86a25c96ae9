#include "cli/options.h"

#include <gtest/gtest.h>

namespace {

ParseResult parse(std::vector<const char*> words) {
    words.insert(words.begin(), "zandrel-sim");
    return parseOptions(static_cast<int>(words.size()), words.data());
}

TEST(CliOptions, ReadsTheMainAndOptionPageSettings) {
    ParseResult result = parse({"--machine",   "HP Jornada 820", "--dir",     "\\Storage Card\\",
                                "--kernel",    "k.gz",           "--rootfs",  "md",
                                "--image",     "root.fs",        "--verbose", "--single",
                                "--ask-name",  "--debugger",     "--serial",  "--serial-speed",
                                "115200",      "--extra",        "-x y",      "--no-pause",
                                "--no-safety", "--answer",       "no"});
    ASSERT_EQ(result.error, "");
    const CliOptions& o = result.options;
    EXPECT_EQ(*o.machine, "HP Jornada 820");
    EXPECT_EQ(*o.dir, "\\Storage Card\\");
    EXPECT_EQ(*o.kernel, "k.gz");
    EXPECT_EQ(*o.rootfs, 2);
    EXPECT_EQ(*o.image, "root.fs");
    EXPECT_TRUE(*o.verbose && *o.single && *o.ask_name && *o.debugger && *o.serial);
    EXPECT_EQ(*o.serial_speed, 115200);
    EXPECT_EQ(*o.extra, "-x y");
    EXPECT_FALSE(*o.pause);
    EXPECT_FALSE(*o.safety);
    EXPECT_FALSE(o.answer_yes);
}

TEST(CliOptions, ReadsTheObjectStoreInMegabytes) {
    for (const auto& [text, megabytes] :
         {std::pair{"0", 0u}, std::pair{"24", 24u}, std::pair{"4095", 4095u}}) {
        ParseResult result = parse({"--object-store", text});
        ASSERT_EQ(result.error, "") << text;
        EXPECT_EQ(result.options.object_store_mb, megabytes);
    }
    EXPECT_FALSE(parse({}).options.object_store_mb);
}

TEST(CliOptions, LeavesUnsetSettingsToTheStoredOnes) {
    ParseResult result = parse({});
    ASSERT_EQ(result.error, "");
    EXPECT_FALSE(result.options.dir || result.options.verbose || result.options.pause ||
                 result.options.rootfs);
    EXPECT_TRUE(result.options.answer_yes);
}

TEST(CliOptions, RefusesWhatItDoesNotUnderstand) {
    const std::vector<std::vector<const char*>> cases = {
        {"--rootfs", "zfs"},
        {"--serial-speed", "fast"},
        {"--serial-speed", "-5"},
        {"--answer", "maybe"},
        {"--corrupt-load-link", "first"},
        {"--corrupt-load-link", "-1"},
        {"--corrupt-load-link", " 1"},
        {"--corrupt-load-link", "4294967296"},
        {"--instruction-limit", "0"},
        {"--instruction-limit", "+5"},
        {"--instruction-limit", "99999999999999999999"},
        {"--fail-call", "0"},
        {"--fail-call", "-1"},
        {"--fail-call", "x"},
        {"--fail-call", "3:"},
        {"--fail-call", "3:nothing"},
        {"--fail-call", "18446744073709551616"},
        {"--object-store", "half"},
        {"--object-store", "-8"},
        {"--object-store", "4096"},
        {"--object-store"},
        {"--http-window", "0"},
        {"--http-window", "fast"},
        {"--http-window", "3600001"},
        {"--kernel"},
        {"--unknown"},
    };
    for (const auto& words : cases)
        EXPECT_NE(parse(words).error, "") << words[0] << " " << (words.size() > 1 ? words[1] : "");
}

} // namespace
