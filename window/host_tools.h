// Linux programs the window's drivers run beside Wine: ImageMagick's import
// for screenshots, xdotool for real input on the X server.
#pragma once

#include <string>
#include <vector>

// Runs the program (arguments[0], found on PATH) and waits for it; true when it exited with 0.
bool runHostTool(std::vector<std::string> arguments);
