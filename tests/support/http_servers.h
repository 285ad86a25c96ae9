// HTTP servers on loopback for the network tests: real ones (python3's
// http.server, nginx) serving a folder, and a scripted one on a thread that
// answers each request with given bytes, pauses or silence. Each listens on a
// free port of 127.0.0.1 and is stopped by its destructor.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// A port of 127.0.0.1 that nothing listens on at the moment.
uint16_t freeLoopbackPort();

class ServerProcess {
  public:
    enum class Kind {
        Python,
        Nginx,
        // http.server answering HEAD with 501.
        PythonRefusingHead,
        // nginx answering HEAD with 405.
        NginxRefusingHead,
        // nginx sending every answer without Content-Length (and closing).
        NginxWithoutLength,
    };
    // "python3 http.server", "nginx", ... for test traces.
    static const char* name(Kind kind);

    // Starts the server for `directory` and waits until its port answers.
    ServerProcess(Kind kind, const std::string& directory);
    ~ServerProcess();

    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    bool running() const { return pid_ > 0; }
    uint16_t port() const { return port_; }
    // "http://127.0.0.1:PORT/"
    std::string url() const;
    // What the server wrote about itself, for failure messages.
    std::string log() const;

  private:
    bool start(Kind kind, const std::string& directory);
    void stop();

    pid_t pid_ = -1;
    uint16_t port_ = 0;
    std::string work_dir_;
};

class ScriptedServer {
  public:
    struct Step {
        std::string bytes;
        int pause_ms = 0; // before these bytes
    };
    struct Reply {
        std::vector<Step> steps;
        // Keep the connection open and silent after the steps, until the
        // client closes or the server is destroyed.
        bool stall = false;
        // End the connection with a reset after the steps instead of a close.
        bool reset = false;
    };
    // Called with each request's text (up to the empty line).
    using Script = std::function<Reply(const std::string& request)>;

    explicit ScriptedServer(Script script);
    ~ScriptedServer();

    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    uint16_t port() const { return port_; }
    std::string url() const;
    std::vector<std::string> requests() const;

    // A reply that sends `bytes` at once and closes.
    static Reply answer(std::string bytes);

  private:
    void serve();
    void handle(int connection);
    // False when the server is stopping.
    bool waitReadable(int fd, int timeout_ms);

    Script script_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};
