// zandrel-window's command line: zandrel-sim's options for the device, the
// pages' settings, the emulator and the questions, and the window's own.
#pragma once

#include "cli/options.h"

#include <optional>
#include <string>
#include <vector>

struct WindowOptions {
    CliOptions common;
    // Nobody at the screen: boxes answered, Boot pressed, screenshots to this folder.
    std::optional<std::string> unattended;
    std::string error; // empty when the line was understood
};

// `args` without the program's name.
WindowOptions parseWindowOptions(const std::vector<std::string>& args);
const char* windowUsageText();
