// Text between the window system (UTF-16 wchar_t) and the front ends (UTF-8).
#pragma once

#include <string>
#include <vector>

std::string utf8(const wchar_t* text);
// The program's command line, word by word, program name first.
std::vector<std::string> commandLineWords();
