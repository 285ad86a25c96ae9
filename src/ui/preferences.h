// The persisted settings record. The configuration file "zandrel.cnf" is
// exactly these 2152 bytes; every field is 4-byte aligned, so the record in
// memory and the file image are the same bytes (little-endian).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little, "the record is stored little-endian");

struct Preferences {
    static constexpr uint32_t kMagic = 0x177d5753;
    static constexpr uint32_t kVersion = 258;
    static constexpr uint32_t kSize = 2152;

    uint32_t magic;
    uint32_t version;
    uint32_t size;
    uint32_t reserved;
    uint32_t dir_user;
    char16_t dir_user_path[260];
    uint32_t kernel_user;
    char16_t kernel_name[260];
    uint32_t platform_cpu;
    uint32_t platform_machine;
    uint32_t rootfs;
    char16_t rootfs_file[260];
    uint32_t boot_serial;
    uint32_t boot_verbose;
    uint32_t boot_single;
    uint32_t boot_ask_name;
    uint32_t boot_debugger;
    int32_t auto_boot;
    uint32_t reverse_video;
    uint32_t pause_before_boot;
    uint32_t load_debug_info;
    uint32_t safety_message;
    int32_t serial_speed;
    char16_t boot_extra[256];
};

static_assert(sizeof(Preferences) == Preferences::kSize);
static_assert(offsetof(Preferences, dir_user_path) == 20);
static_assert(offsetof(Preferences, kernel_user) == 540);
static_assert(offsetof(Preferences, kernel_name) == 544);
static_assert(offsetof(Preferences, platform_cpu) == 1064);
static_assert(offsetof(Preferences, rootfs) == 1072);
static_assert(offsetof(Preferences, rootfs_file) == 1076);
static_assert(offsetof(Preferences, boot_serial) == 1596);
static_assert(offsetof(Preferences, auto_boot) == 1616);
static_assert(offsetof(Preferences, safety_message) == 1632);
static_assert(offsetof(Preferences, serial_speed) == 1636);
static_assert(offsetof(Preferences, boot_extra) == 1640);

// Root file system choices of `rootfs`.
enum RootFileSystem : uint32_t { kRootWd = 0, kRootSd = 1, kRootMd = 2, kRootNfs = 3 };
