// The simulated handheld's network: WinSock 1.1 served by the host's TCP
// sockets. The device reaches the host's loopback range (127.0.0.0/8) only;
// names resolve from the device's own host table, never through the host.
#pragma once

#include "platform/wince_types.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

struct ConnectAttempt {
    uint32_t address; // host byte order, 127.0.0.1 is 0x7F000001
    uint16_t port;
    bool connected;
};

class Network {
  public:
    static Network& get();

    // Forgets the settings and records and closes every socket left open.
    void reset();

    // WSAStartup: a nonzero `startup_error` is returned as the failure;
    // otherwise the granted version is the lower of the asked one and `highest_version`.
    int startup_error = 0;
    ce::WORD highest_version = 0x0101;
    // Whether socket calls need a WSAStartup first. Left unset, the device's OS
    // version decides: Windows CE 3.11 and later need it.
    enum class StartupRule { ByVersion, Required, NotRequired };
    StartupRule startup_rule = StartupRule::ByVersion;

    // socket() fails with this error when nonzero.
    int socket_error = 0;

    // gethostbyname: names and their addresses in order (host byte order).
    // Dotted quads resolve to themselves unless `resolve_dotted_quads` is off.
    std::map<std::string, std::vector<uint32_t>> hosts = {{"localhost", {0x7F000001}}};
    bool resolve_dotted_quads = true;

    // Records.
    int startups = 0; // successful WSAStartup calls not yet cleaned up
    int startup_calls = 0;
    int cleanup_calls = 0;
    std::vector<ConnectAttempt> connects;
    std::vector<std::string> sent; // the bytes of every send call, in order
    // The receive time-out last set on a socket with SO_RCVTIMEO, in milliseconds.
    uint32_t last_receive_timeout = 0;

    int openSockets() const;
    bool startupNeeded() const;

  private:
    Network() = default;
};

} // namespace sim
