// Reading the probe kernel's report out of its serial output.
#pragma once

#include <string>
#include <vector>

// The "PROBE..." lines of the probe kernel's output, without line ends.
std::vector<std::string> probeLines(const std::string& output);
// The text after "PROBE VERDICT: ", or "" when there is no verdict line.
std::string probeVerdict(const std::string& output);
