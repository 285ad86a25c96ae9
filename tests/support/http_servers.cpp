#include "support/http_servers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool portAnswers(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address = loopback(port);
    bool answered = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return answered;
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Waits up to `limit_ms` for the child to end; true when it did.
bool reap(pid_t pid, int limit_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(limit_ms);
    do {
        int status = 0;
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD))
            return true;
        sleepMs(10);
    } while (Clock::now() < deadline);
    return false;
}

std::string nginxConfiguration(const std::string& work, const std::string& directory, uint16_t port,
                               ServerProcess::Kind kind) {
    std::ostringstream conf;
    conf << "daemon off;\n"
         << "master_process off;\n"
         << "worker_processes 1;\n"
         << "pid " << work << "/nginx.pid;\n"
         << "error_log " << work << "/error.log;\n"
         << "events { worker_connections 64; }\n"
         << "http {\n"
         << "  access_log " << work << "/access.log;\n"
         << "  client_body_temp_path " << work << "/temp/body;\n"
         << "  proxy_temp_path " << work << "/temp/proxy;\n"
         << "  fastcgi_temp_path " << work << "/temp/fastcgi;\n"
         << "  uwsgi_temp_path " << work << "/temp/uwsgi;\n"
         << "  scgi_temp_path " << work << "/temp/scgi;\n"
         << "  default_type application/octet-stream;\n"
         << "  server {\n"
         << "    listen 127.0.0.1:" << port << ";\n"
         << "    root " << directory << ";\n";
    // A body filter that may change the body's length drops Content-Length:
    // an HTTP/1.0 client then reads the body until nginx closes.
    if (kind == ServerProcess::Kind::NginxWithoutLength)
        conf << "    sub_filter_types *;\n"
             << "    sub_filter 'zandrel-never-in-a-file' 'x';\n";
    if (kind == ServerProcess::Kind::NginxRefusingHead)
        conf << "    if ($request_method = HEAD) { return 405; }\n";
    conf << "  }\n"
         << "}\n";
    return conf.str();
}

} // namespace

uint16_t freeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof(address);
    uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

ServerProcess::ServerProcess(Kind kind, const std::string& directory) {
    char pattern[] = "/tmp/zandrel-server-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        return;
    work_dir_ = pattern;
    // Another process may take the free port first: then try another.
    for (int attempt = 0; attempt < 3 && !start(kind, directory); ++attempt)
        stop();
}

ServerProcess::~ServerProcess() {
    stop();
    std::error_code ignored;
    if (!work_dir_.empty())
        std::filesystem::remove_all(work_dir_, ignored);
}

const char* ServerProcess::name(Kind kind) {
    switch (kind) {
    case Kind::Python:
        return "python3 http.server";
    case Kind::Nginx:
        return "nginx";
    case Kind::PythonRefusingHead:
        return "python3 http.server refusing HEAD";
    case Kind::NginxRefusingHead:
        return "nginx refusing HEAD";
    case Kind::NginxWithoutLength:
        return "nginx without Content-Length";
    }
    return "?";
}

std::string ServerProcess::url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

std::string ServerProcess::log() const {
    return slurp(work_dir_ + "/server.log") + slurp(work_dir_ + "/error.log");
}

bool ServerProcess::start(Kind kind, const std::string& directory) {
    port_ = freeLoopbackPort();
    if (port_ == 0)
        return false;
    std::vector<std::string> arguments;
    if (kind == Kind::Python) {
        arguments = {"/usr/bin/python3",    "-m",          "http.server", "--bind", "127.0.0.1",
                     std::to_string(port_), "--directory", directory};
    } else if (kind == Kind::PythonRefusingHead) {
        // http.server's own answer to a method it does not implement.
        const char* script = "import functools, http.server as s, sys\n"
                             "class H(s.SimpleHTTPRequestHandler):\n"
                             "    def do_HEAD(self): self.send_error(501, \"Unsupported method ('HEAD')\")\n"
                             "s.test(HandlerClass=functools.partial(H, directory=sys.argv[2]),\n"
                             "       port=int(sys.argv[1]), bind='127.0.0.1')\n";
        arguments = {"/usr/bin/python3", "-c", script, std::to_string(port_), directory};
    } else {
        std::filesystem::create_directories(work_dir_ + "/temp");
        std::ofstream(work_dir_ + "/nginx.conf") << nginxConfiguration(work_dir_, directory, port_, kind);
        arguments = {"/usr/sbin/nginx",       "-p", work_dir_, "-c", work_dir_ + "/nginx.conf", "-e",
                     work_dir_ + "/error.log"};
    }
    std::string log_path = work_dir_ + "/server.log";
    pid_t child = ::fork();
    if (child == 0) {
        int log = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        int null_fd = ::open("/dev/null", O_RDONLY);
        ::dup2(null_fd, STDIN_FILENO);
        ::dup2(log, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (child < 0)
        return false;
    pid_ = child;
    auto deadline = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1; // ended before answering
            return false;
        }
        if (portAnswers(port_))
            return true;
        sleepMs(20);
    }
    return false;
}

void ServerProcess::stop() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    if (!reap(pid_, 3000)) {
        ::kill(pid_, SIGKILL);
        reap(pid_, 3000);
    }
    pid_ = -1;
}

ScriptedServer::ScriptedServer(Script script) : script_(std::move(script)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof(address);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

ScriptedServer::~ScriptedServer() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

std::string ScriptedServer::url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

std::vector<std::string> ScriptedServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

ScriptedServer::Reply ScriptedServer::answer(std::string bytes) {
    return Reply{{Step{std::move(bytes), 0}}, false};
}

bool ScriptedServer::waitReadable(int fd, int timeout_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!stopping_ && Clock::now() < deadline) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 20) > 0)
            return true;
    }
    return false;
}

void ScriptedServer::serve() {
    while (!stopping_) {
        if (!waitReadable(listener_, 1000))
            continue;
        int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        handle(connection);
        ::close(connection);
    }
}

void ScriptedServer::handle(int connection) {
    std::string request;
    char buffer[512];
    // The request ends at its empty line; a probe connection closes without one.
    while (request.find("\r\n\r\n") == std::string::npos) {
        if (!waitReadable(connection, 5000))
            return;
        ssize_t count = ::recv(connection, buffer, sizeof(buffer), 0);
        if (count <= 0)
            return;
        request.append(buffer, static_cast<size_t>(count));
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    Reply reply = script_(request);
    for (const Step& step : reply.steps) {
        if (step.pause_ms > 0)
            sleepMs(step.pause_ms);
        if (::send(connection, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL) < 0)
            return;
    }
    if (reply.reset) {
        linger abort{1, 0};
        ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
    }
    if (!reply.stall)
        return;
    // Silent until the client gives up (its close reads as end of input) or the server stops.
    while (!stopping_) {
        if (waitReadable(connection, 100) && ::recv(connection, buffer, sizeof(buffer), 0) <= 0)
            return;
    }
}
