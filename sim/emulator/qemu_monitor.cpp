#include "sim/emulator/qemu_monitor.h"

#include "sim/emulator/unix_socket.h"

#include <chrono>
#include <unistd.h>

namespace sim {

namespace {

// A monitor that says nothing for this long is taken as gone.
constexpr auto kAnswerTime = std::chrono::seconds(5);

} // namespace

class QemuMonitor::Session {
  public:
    explicit Session(const std::filesystem::path& socket) : fd_(connectUnixSocket(socket)) {}
    ~Session() {
        if (fd_ >= 0)
            close(fd_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool connected() const { return fd_ >= 0; }

    // The next line that answers a command: {"return": ...} or {"error": ...};
    // the greeting and events are skipped. Empty when none comes in time.
    std::string answer() {
        auto give_up = std::chrono::steady_clock::now() + kAnswerTime;
        for (;;) {
            size_t end;
            while ((end = pending_.find('\n')) != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                if (line.find("\"return\"") != std::string::npos ||
                    line.find("\"error\"") != std::string::npos)
                    return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                give_up - std::chrono::steady_clock::now());
            char buffer[1024];
            size_t count = left.count() > 0
                               ? receiveSome(fd_, buffer, sizeof buffer, static_cast<int>(left.count()))
                               : 0;
            if (count == 0)
                return "";
            pending_.append(buffer, count);
        }
    }

    // Runs one command; its answer line, or empty.
    std::string execute(const std::string& command) {
        std::string line = command + "\n";
        return sendAll(fd_, line.data(), line.size()) ? answer() : "";
    }

  private:
    int fd_;
    std::string pending_;
};

namespace {

// A JSON string's contents: the path has no quote or backslash of its own
// in a scratch folder, but any is escaped.
std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

QemuMonitor::QemuMonitor(std::filesystem::path socket) : socket_(std::move(socket)) {}

QemuMonitor::~QemuMonitor() = default;

bool QemuMonitor::screenDump(const std::filesystem::path& ppm, RgbImage& image, std::string& error) {
    if (!session_) {
        auto session = std::make_unique<Session>(socket_);
        if (!session->connected()) {
            error = "can't reach QEMU's monitor";
            return false;
        }
        if (session->execute(R"({"execute": "qmp_capabilities"})").find("\"return\"") == std::string::npos) {
            error = "QEMU's monitor does not answer";
            return false;
        }
        session_ = std::move(session);
    }
    std::string answer = session_->execute(R"({"execute": "screendump", "arguments": {"filename": )" +
                                           jsonString(ppm.string()) + "}}");
    if (answer.empty()) {
        session_.reset(); // gone quiet: the next picture starts a new session
        error = "QEMU made no picture of its display";
        return false;
    }
    if (answer.find("\"return\"") == std::string::npos) {
        error = "QEMU made no picture of its display: " + answer;
        return false;
    }
    return readPpm(ppm.string(), image, error);
}

} // namespace sim
