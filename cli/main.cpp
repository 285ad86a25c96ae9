#include "cli/options.h"
#include "cli/session.h"

#include <cstdio>

int main(int argc, char** argv) {
    ParseResult parsed = parseOptions(argc, argv);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "zandrel-sim: %s\n%s", parsed.error.c_str(), "Try \"zandrel-sim --help\".\n");
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    return runSession(parsed.options);
}
