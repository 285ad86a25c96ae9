#include "support/run_program.h"

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::string buildPath(const std::string& relative) {
    return std::string(ZANDREL_BUILD_DIR) + "/" + relative;
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments) {
    char out_name[] = "/tmp/zandrel-out-XXXXXX";
    char err_name[] = "/tmp/zandrel-err-XXXXXX";
    int out_fd = mkstemp(out_name);
    int err_fd = mkstemp(err_name);
    ProgramResult result;
    pid_t child = fork();
    if (child == 0) {
        dup2(out_fd, STDOUT_FILENO);
        dup2(err_fd, STDERR_FILENO);
        int null_fd = open("/dev/null", O_RDONLY);
        dup2(null_fd, STDIN_FILENO);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    close(out_fd);
    close(err_fd);
    result.out = slurp(out_name);
    result.err = slurp(err_name);
    unlink(out_name);
    unlink(err_name);
    return result;
}
