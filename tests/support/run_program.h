// Runs a program of the build and collects its exit status and output.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct ProgramResult {
    int status = -1;
    std::string out;
    std::string err;
};

// A program started in the background; its output is collected as it comes.
class RunningProgram {
  public:
    // `arguments` are passed as they are, without a shell.
    RunningProgram(const std::string& program, const std::vector<std::string>& arguments);
    // Kills the program when it still runs.
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool running();
    std::string out() const;
    std::string err() const;
    // True once standard error holds `text`; false when the program ends
    // first or `milliseconds` pass.
    bool waitForError(const std::string& text, int milliseconds);
    // Waits for the program's end, killing it after `milliseconds` (status
    // -1 then); a negative wait has no limit.
    ProgramResult finish(int milliseconds = -1);

  private:
    bool reap(int options);

    pid_t child_ = -1;
    int status_ = -1;
    std::string out_name_;
    std::string err_name_;
};

// `arguments` are passed as they are, without a shell.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments);
std::string buildPath(const std::string& relative);
