#include "support/run_program.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string temporaryFile(int& fd, const char* kind) {
    std::string name = std::string("/tmp/zandrel-") + kind + "-XXXXXX";
    fd = mkstemp(name.data());
    return name;
}

} // namespace

std::string buildPath(const std::string& relative) {
    return std::string(ZANDREL_BUILD_DIR) + "/" + relative;
}

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& arguments,
                               bool input_pipe) {
    int out_fd = -1, err_fd = -1;
    out_name_ = temporaryFile(out_fd, "out");
    err_name_ = temporaryFile(err_fd, "err");
    int pipe_fds[2] = {-1, -1};
    if (input_pipe && pipe2(pipe_fds, O_CLOEXEC) != 0)
        pipe_fds[0] = pipe_fds[1] = -1;
    child_ = fork();
    if (child_ == 0) {
        dup2(out_fd, STDOUT_FILENO);
        dup2(err_fd, STDERR_FILENO);
        int in_fd = pipe_fds[0] >= 0 ? pipe_fds[0] : open("/dev/null", O_RDONLY);
        dup2(in_fd, STDIN_FILENO);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out_fd);
    close(err_fd);
    if (pipe_fds[0] >= 0)
        close(pipe_fds[0]);
    input_ = pipe_fds[1];
}

void RunningProgram::send(const std::string& text) {
    // A program that has gone makes the write fail instead of ending the test.
    signal(SIGPIPE, SIG_IGN);
    for (size_t done = 0; input_ >= 0 && done < text.size();) {
        ssize_t count = write(input_, text.data() + done, text.size() - done);
        if (count <= 0)
            break;
        done += static_cast<size_t>(count);
    }
}

void RunningProgram::closeInput() {
    if (input_ >= 0)
        close(input_);
    input_ = -1;
}

RunningProgram::~RunningProgram() {
    closeInput();
    if (running()) {
        kill(child_, SIGKILL);
        reap(0);
    }
    unlink(out_name_.c_str());
    unlink(err_name_.c_str());
}

bool RunningProgram::reap(int options) {
    int status = 0;
    pid_t done = waitpid(child_, &status, options);
    if (done != child_)
        return false;
    child_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

bool RunningProgram::running() {
    return child_ > 0 && !reap(WNOHANG);
}

std::string RunningProgram::out() const {
    return slurp(out_name_);
}

std::string RunningProgram::err() const {
    return slurp(err_name_);
}

bool RunningProgram::waitForError(const std::string& text, int milliseconds) {
    auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        bool ended = !running();
        if (err().find(text) != std::string::npos)
            return true;
        if (ended || std::chrono::steady_clock::now() > give_up)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

ProgramResult RunningProgram::finish(int milliseconds) {
    if (milliseconds < 0 && child_ > 0)
        reap(0);
    auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (running()) {
        if (std::chrono::steady_clock::now() > give_up) {
            kill(child_, SIGKILL);
            reap(0);
            status_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {status_, out(), err()};
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input) {
    RunningProgram running(program, arguments, !input.empty());
    running.send(input);
    running.closeInput();
    return running.finish();
}
