#include "sim/emulator/gdb_relay.h"

#include "sim/emulator/unix_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

GdbRelay::~GdbRelay() {
    if (thread_.joinable()) {
        char stop = 0;
        (void)!write(wake_[1], &stop, 1);
        thread_.join();
    }
    for (int fd : {listener_, wake_[0], wake_[1]}) {
        if (fd >= 0)
            close(fd);
    }
}

bool GdbRelay::start(uint16_t port, const std::filesystem::path& stub, std::string& error) {
    stub_ = stub;
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        pipe2(wake_, O_CLOEXEC) != 0) {
        error = "can't listen for gdb on port " + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
    return true;
}

void GdbRelay::serve() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents != 0)
            return;
        if (fds[0].revents == 0)
            continue;
        int debugger = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (debugger < 0)
            continue;
        // QEMU takes one debugger at a time: this one waits in its queue until
        // the halt watch has let go of the stub.
        attached_ = true;
        int stub = connectUnixSocket(stub_);
        if (stub >= 0) {
            relay(debugger, stub);
            close(stub);
        }
        close(debugger);
        attached_ = false;
        ++sessions_ended_;
    }
}

void GdbRelay::relay(int debugger, int stub) {
    char buffer[16384];
    for (;;) {
        pollfd fds[3] = {{debugger, POLLIN, 0}, {stub, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[2].revents != 0)
            return;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0)
                continue;
            ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
            if (count <= 0 || !sendAll(fds[1 - i].fd, buffer, static_cast<size_t>(count)))
                return;
        }
    }
}

} // namespace sim
