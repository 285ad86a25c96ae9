// Reading the probe kernel's report out of its serial output.
#pragma once

#include <string>
#include <vector>

// The "PROBE..." lines of the probe kernel's output, without line ends.
std::vector<std::string> probeLines(const std::string& output);
// The report lines but those on the display hardware (its controller and
// the screen): the same on a QEMU board that has no LCD as on a machine with one.
std::vector<std::string> probeLinesBesideTheScreen(const std::string& output);
// The text after "PROBE VERDICT: ", or "" when there is no verdict line.
std::string probeVerdict(const std::string& output);
