// Runs a program of the build and collects its exit status and output.
#pragma once

#include <string>
#include <vector>

struct ProgramResult {
    int status = -1;
    std::string out;
    std::string err;
};

// `arguments` are passed as they are, without a shell.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments);
std::string buildPath(const std::string& relative);
