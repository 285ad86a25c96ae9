// The window under Wine on the simulated handheld: GoogleTest in a Wine
// program, the checks in the files beside this one.
#include "gtest_in_wine.h"
#include "ui/window/win32.h"
#include "window/win_text.h"

#include <string>
#include <vector>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    std::vector<std::string> args = commandLineWords();
    int argc = static_cast<int>(args.size());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    ::testing::InitGoogleTest(&argc, argv.data());
    return RUN_ALL_TESTS();
}
