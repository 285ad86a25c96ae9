// The command line of zandrel-sim.
#pragma once

#include "sim/failure_injection.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct CliOptions {
    std::optional<std::string> device;       // the object store folder
    std::optional<std::string> machine;      // a selectable machine name
    std::optional<std::string> profile;      // the simulated device, when not the chosen machine
    std::optional<uint32_t> object_store_mb; // the object store's share of RAM; unset: half
    std::optional<std::string> dir;
    std::optional<std::string> kernel;
    std::optional<int> rootfs; // 0 wd, 1 sd, 2 md, 3 nfs
    std::optional<std::string> image;
    std::optional<bool> verbose, single, ask_name, debugger, serial;
    std::optional<int> serial_speed;
    std::optional<std::string> extra;
    std::optional<bool> pause, safety, reverse_video;
    bool answer_yes = true;
    std::vector<bool> answers; // for the questions in order, before answer_yes
    bool answer_set = false;   // --answer or --answers given (the window then answers its boxes)
    std::optional<std::string> box_log;
    std::optional<int> timezone_bias; // minutes, UTC = local + bias
    std::optional<std::string> serial_log;
    std::optional<std::string> debug_log;
    std::vector<std::string> storage_cards;
    std::vector<std::pair<int, std::string>> disks; // --disk N=IMAGE: the raw disk "DSKN:"
    // After the jump: "unicorn", "qemu" or "none" (replay the page list).
    std::string emulator = "unicorn";
    bool emulator_given = false;
    std::optional<std::string> screen_png;    // a picture of the screen when the kernel stops
    std::optional<std::string> snapshot;      // write the hand-off state here
    std::optional<std::string> from_snapshot; // run a saved hand-off instead of a boot
    // No limit on the kernel's run unless given.
    std::optional<unsigned long long> instruction_limit;
    std::optional<int> time_limit; // seconds
    // --gdb [PORT]: QEMU waits for gdb at the kernel's first instruction (0: any free port).
    std::optional<uint16_t> gdb_port;
    // Compare the kernel's memory at its entry with the files; unset: on
    // with unicorn and none.
    std::optional<bool> verify;
    // For tests: damage the data of this load link at the jump (sim::MemoryKnobs).
    std::optional<uint32_t> corrupt_load_link;
    std::optional<uint32_t> drop_zero_link;
    // For tests: the HTTP transfer limits on this time scale instead of 30 s (HttpTransferLimits::scaledTo).
    std::optional<uint32_t> http_window_ms;
    // --fail-call N[:KIND]: the Nth fallible call after pressing Boot fails
    // (of that kind only, with KIND); see sim/failure_injection.h.
    std::optional<unsigned long long> fail_call;
    std::optional<sim::FallibleCall> fail_kind;
    bool list_machines = false;
    bool screen_size = false; // print the handheld's screen and exit
    bool quiet = false;
    bool timing = false; // report the time from Boot to the jump
    bool help = false;
};

struct ParseResult {
    CliOptions options;
    std::string error; // empty when the line was understood
};

ParseResult parseOptions(int argc, const char* const* argv);
const char* usageText();
// The options part of the usage text, from "Device:" on to the exit statuses.
const char* optionsText();
