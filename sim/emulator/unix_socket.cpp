#include "sim/emulator/unix_socket.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace sim {

int connectUnixSocket(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string& text = path.native();
    if (text.size() >= sizeof(address.sun_path))
        return -1;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const char* bytes, size_t count) {
    while (count > 0) {
        ssize_t sent = send(fd, bytes, count, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes += sent;
        count -= static_cast<size_t>(sent);
    }
    return true;
}

size_t receiveSome(int fd, char* buffer, size_t count, int milliseconds) {
    pollfd watch{fd, POLLIN, 0};
    int ready;
    do
        ready = poll(&watch, 1, milliseconds);
    while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return 0;
    ssize_t received;
    do
        received = recv(fd, buffer, count, 0);
    while (received < 0 && errno == EINTR);
    return received > 0 ? static_cast<size_t>(received) : 0;
}

} // namespace sim
