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
    // `arguments` are passed as they are, without a shell. Standard input is
    // empty, or with `input_pipe` a pipe that send() writes to.
    RunningProgram(const std::string& program, const std::vector<std::string>& arguments,
                   bool input_pipe = false);
    // Kills the program when it still runs.
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool running();
    // Writes to the program's standard input; closeInput() ends it.
    void send(const std::string& text);
    void closeInput();
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
    int input_ = -1;
    int status_ = -1;
    std::string out_name_;
    std::string err_name_;
};

// `arguments` are passed as they are, without a shell; `input` is all its standard input.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input = "");
std::string buildPath(const std::string& relative);
