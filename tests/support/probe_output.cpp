#include "support/probe_output.h"

#include <sstream>

std::vector<std::string> probeLines(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("PROBE", 0) == 0)
            lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> probeLinesBesideTheScreen(const std::string& output) {
    std::vector<std::string> lines = probeLines(output);
    std::erase_if(lines, [](const std::string& line) {
        return line.rfind("PROBE: screen ", 0) == 0 || line.rfind("PROBE: video controller ", 0) == 0 ||
               line.rfind("PROBE: sa11x0 lcd controller ", 0) == 0 ||
               line.rfind("PROBE: pxa2x0 lcd controller ", 0) == 0;
    });
    return lines;
}

std::string probeVerdict(const std::string& output) {
    const std::string prefix = "PROBE VERDICT: ";
    for (const std::string& line : probeLines(output)) {
        if (line.rfind(prefix, 0) == 0)
            return line.substr(prefix.size());
    }
    return "";
}
