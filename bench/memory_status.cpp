// The program memory of the handheld zandrel-sim would make from the same
// options, as GlobalMemoryStatus reports it when Boot is pressed (the front
// end takes none of it before): "TOTAL AVAIL" in bytes.
//   zandrel_memory_status ZANDREL_SIM_OPTIONS...
#include "cli/device_session.h"
#include "cli/options.h"
#include "cli/terminal.h"
#include "platform/wince.h"

#include <cstdio>

int main(int argc, char** argv) {
    ParseResult parsed = parseOptions(argc, argv);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "%s\n", parsed.error.c_str());
        return 2;
    }
    Terminal terminal(false);
    DeviceSession device(parsed.options, terminal);
    if (!device.setUp())
        return 1;
    ce::MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    ce::GlobalMemoryStatus(&status);
    std::printf("%u %u\n", status.dwTotalPhys, status.dwAvailPhys);
    return 0;
}
