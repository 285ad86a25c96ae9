#include "cli/host_serial_line.h"

#include "sim/handheld.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>

namespace {

constexpr char kCtrlA = 0x01;
// Bytes read ahead of the kernel at most.
constexpr size_t kReadAhead = 4096;

// The terminal's settings before raw mode, for every way out of the process.
termios saved_settings;
int raw_fd = -1;
volatile sig_atomic_t raw = 0;
const int kEndingSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};
struct sigaction previous_actions[4];
bool handlers_installed[4] = {};

void restoreTerminal() {
    if (raw != 0) {
        tcsetattr(raw_fd, TCSAFLUSH, &saved_settings);
        raw = 0;
    }
}

void restoreAndDie(int signal) {
    restoreTerminal();
    std::signal(signal, SIG_DFL);
    raise(signal);
}

void enterRawMode(int fd) {
    static bool at_exit_registered = false;
    if (tcgetattr(fd, &saved_settings) != 0)
        return;
    termios settings = saved_settings;
    settings.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    settings.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    // Output stays as it was: the console's lines end as before.
    raw_fd = fd;
    if (tcsetattr(fd, TCSAFLUSH, &settings) != 0)
        return;
    raw = 1;
    if (!at_exit_registered) {
        std::atexit(restoreTerminal);
        at_exit_registered = true;
    }
    // Only where nobody else handles the signal (Wine does, for some).
    for (int i = 0; i < 4; ++i) {
        struct sigaction action {};
        action.sa_handler = restoreAndDie;
        sigemptyset(&action.sa_mask);
        handlers_installed[i] = sigaction(kEndingSignals[i], nullptr, &previous_actions[i]) == 0 &&
                                previous_actions[i].sa_handler == SIG_DFL &&
                                sigaction(kEndingSignals[i], &action, nullptr) == 0;
    }
}

void leaveRawMode() {
    restoreTerminal();
    for (int i = 0; i < 4; ++i) {
        if (handlers_installed[i])
            sigaction(kEndingSignals[i], &previous_actions[i], nullptr);
        handlers_installed[i] = false;
    }
}

} // namespace

HostSerialLine::HostSerialLine(int fd) : fd_(fd) {
    if (fcntl(fd_, F_GETFD) < 0 || pipe2(wake_, O_CLOEXEC) != 0) {
        // No input at all: nothing ever comes.
        input_.end();
        return;
    }
    terminal_ = isatty(fd_) != 0;
    if (terminal_)
        enterRawMode(fd_);
    reader_ = std::thread([this] { readInput(); });
}

std::unique_ptr<HostSerialLine> connectStandardInput(Terminal& terminal) {
    auto line = std::make_unique<HostSerialLine>();
    sim::Handheld::get().serial_input = &line->input();
    if (line->onTerminal())
        terminal.err(
            "zandrel-sim: the kernel's serial console is this terminal: Ctrl-A X quits, Ctrl-A Ctrl-A "
            "sends Ctrl-A\n");
    return line;
}

HostSerialLine::~HostSerialLine() {
    sim::Handheld& device = sim::Handheld::get();
    if (device.serial_input == &input_)
        device.serial_input = nullptr;
    if (reader_.joinable()) {
        char stop = 0;
        (void)!write(wake_[1], &stop, 1);
        reader_.join();
    }
    for (int fd : wake_) {
        if (fd >= 0)
            close(fd);
    }
    if (terminal_)
        leaveRawMode();
}

void HostSerialLine::readInput() {
    char buffer[256];
    for (;;) {
        // A file is read as the kernel takes it; a terminal always, for its escapes.
        bool room = terminal_ || input_.available(kReadAhead) < kReadAhead;
        pollfd fds[2] = {{fd_, static_cast<short>(room ? POLLIN : 0), 0}, {wake_[0], POLLIN, 0}};
        int ready = poll(fds, 2, room ? -1 : 5);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[1].revents != 0)
            return;
        if (ready <= 0 || fds[0].revents == 0)
            continue;
        ssize_t count = read(fd_, buffer, sizeof buffer);
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (count <= 0)
            break;
        if (terminal_)
            typed(buffer, static_cast<size_t>(count));
        else
            input_.push(std::string_view(buffer, static_cast<size_t>(count)));
    }
    input_.end();
}

void HostSerialLine::typed(const char* bytes, size_t count) {
    std::string keys;
    for (size_t i = 0; i < count; ++i) {
        char c = bytes[i];
        if (!escape_) {
            if (c == kCtrlA)
                escape_ = true;
            else
                keys += c;
            continue;
        }
        escape_ = false;
        if (c == 'x' || c == 'X') {
            input_.push(keys);
            input_.requestQuit();
            return;
        }
        // Ctrl-A Ctrl-A is one Ctrl-A; after any other key both go on.
        if (c != kCtrlA)
            keys += kCtrlA;
        keys += c;
    }
    input_.push(keys);
}
