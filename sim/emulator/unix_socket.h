// A stream socket to a local program (QEMU's gdb stub and monitor): connect,
// send everything, and receive with a bounded wait.
#pragma once

#include <cstddef>
#include <filesystem>

namespace sim {

// The connected socket, or -1 while nothing listens at `path`.
int connectUnixSocket(const std::filesystem::path& path);
// False when the peer has gone.
bool sendAll(int fd, const char* bytes, size_t count);
// Up to `count` bytes, waiting at most `milliseconds`; 0 on an error, the end
// or when nothing came.
size_t receiveSome(int fd, char* buffer, size_t count, int milliseconds);

} // namespace sim
