#include "sim/emulator/qemu_machine.h"

#include "platform/wide_string.h"
#include "sim/emulator/gdb_relay.h"
#include "sim/emulator/halt_watch.h"
#include "sim/emulator/hand_off_code.h"
#include "sim/emulator/qemu_monitor.h"
#include "sim/hand_off.h"
#include "sim/handheld.h"
#include "sim/physical_memory.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace sim {

namespace {

constexpr uint32_t kMB = 1024 * 1024;
// collie: SA-1110 with 512 MB at 0xC0000000, serial port 3 the third -serial,
// no LCD controller.
constexpr QemuBoard kCollie{"collie", 0xC0000000, 512 * kMB, 2, false};
// mainstone: PXA270 with 64 MB at 0xA0000000, the FFUART the first -serial,
// the PXA2x0 LCD controller.
constexpr QemuBoard kMainstone{"mainstone", 0xA0000000, 64 * kMB, 0, true};

// A folder for the RAM image and QEMU's messages, removed with the object.
class ScratchFolder {
  public:
    ScratchFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/zandrel-qemu-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The first `length` bytes of the RAM's memory file as a sparse raw image:
// only the ranges that hold data are copied. False when RAM beyond `length`
// holds data (the board is smaller than the device).
bool writeRamImage(const std::filesystem::path& path, uint32_t length, std::string& error) {
    PhysicalMemory& ram = PhysicalMemory::get();
    int in = ram.memoryFile();
    off_t beyond = lseek(in, length, SEEK_DATA);
    if (length < ram.size() && beyond >= 0 && beyond < static_cast<off_t>(ram.size())) {
        error = "RAM at " + hexWord(ram.base() + static_cast<uint32_t>(beyond)) +
                " lies beyond the board's memory";
        return false;
    }
    int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0 || ftruncate(out, length) != 0) {
        error = "can't write the RAM image: " + std::string(std::strerror(errno));
        if (out >= 0)
            close(out);
        return false;
    }
    std::vector<char> buffer(1 << 20);
    off_t offset = 0;
    bool ok = true;
    while (ok && offset < static_cast<off_t>(length)) {
        off_t data = lseek(in, offset, SEEK_DATA);
        if (data < 0 || data >= static_cast<off_t>(length))
            break;
        off_t hole = lseek(in, data, SEEK_HOLE);
        if (hole < 0 || hole > static_cast<off_t>(length))
            hole = length;
        for (off_t at = data; ok && at < hole;) {
            size_t chunk = static_cast<size_t>(std::min<off_t>(hole - at, static_cast<off_t>(buffer.size())));
            ok = pread(in, buffer.data(), chunk, at) == static_cast<ssize_t>(chunk) &&
                 pwrite(out, buffer.data(), chunk, at) == static_cast<ssize_t>(chunk);
            at += static_cast<off_t>(chunk);
        }
        offset = hole;
    }
    if (close(out) != 0 || !ok) {
        error = "can't write the RAM image";
        return false;
    }
    return true;
}

std::string firstLine(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// Closes QEMU's output and waits for it, killed first unless it `ended` by
// itself; answers its wait status.
int stopQemu(pid_t pid, int output, bool ended) {
    close(output);
    if (!ended)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// QEMU started stopped (-S): runs it to the kernel's entry, shows the caller
// the memory there, and lets it go on, unless a debugger is to find it there.
// False, with `error`, when the entry is not reached.
bool runToKernelEntry(const std::filesystem::path& stub, uint32_t entry, const HandOffLimits& limits,
                      std::string& error) {
    GdbRemote gdb;
    // QEMU opens its socket a moment after it starts.
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!gdb.connect(stub)) {
        if (std::chrono::steady_clock::now() > give_up) {
            error = "can't reach QEMU's gdb stub";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!gdb.insertBreakpoint(entry) || !gdb.runToStop()) {
        error = "the kernel's entry at " + hexWord(entry) + " was not reached";
        return false;
    }
    if (limits.at_kernel_entry)
        limits.at_kernel_entry(
            [&gdb](uint32_t paddr, uint8_t* out, uint32_t size) { return gdb.readMemory(paddr, out, size); });
    // Leaving the stub without a word keeps the processor stopped for the debugger.
    if (!gdb.removeBreakpoint(entry) || (!limits.gdb_port && !gdb.resume())) {
        error = "QEMU's gdb stub stopped answering at the kernel's entry";
        return false;
    }
    return true;
}

} // namespace

const QemuBoard& qemuBoardFor(Processor processor) {
    return isXScale(processor) ? kMainstone : kCollie;
}

std::optional<std::string> qemuBoardProblem(const DeviceProfile& profile) {
    const QemuBoard& board = qemuBoardFor(profile.processor);
    std::string machine = utf16ToUtf8(profile.name);
    if (profile.processor == Processor::SA1100)
        return "QEMU has no board for the " + machine + ": its SA-11x0 board, collie, has an SA-1110";
    if (profile.ram_size > board.ram_size)
        return "QEMU has no board for the " + machine + ": its " + processorName(profile.processor) +
               " board, " + board.name + ", has " + std::to_string(board.ram_size / kMB) +
               " MB of RAM, the machine " + std::to_string(profile.ram_size / kMB) + " MB";
    return std::nullopt;
}

HandOffRun runOnQemu(const HandOff& hand_off, const HandOffLimits& limits) {
    const QemuBoard& board = qemuBoardFor(hand_off.processor);
    HandOffRun run;
    run.machine = std::string("QEMU ") + board.name;
    PhysicalMemory& ram = PhysicalMemory::get();
    if (ram.base() != hand_off.ram_base || ram.size() != hand_off.ram_size) {
        run.result.reason = "the hand-off's RAM is not the device's";
        return run;
    }
    if (hand_off.ram_base != board.ram_base) {
        run.result.reason =
            "the device's RAM at " + hexWord(hand_off.ram_base) + " is not where the board has it";
        return run;
    }
    ram.settle();
    if (!prepareHandOffRam(hand_off, limits.expected)) {
        run.result.reason = "no RAM page for the jump routine at " + hexWord(hand_off.jump_paddr);
        return run;
    }

    ScratchFolder scratch;
    if (scratch.path().empty()) {
        run.result.reason = "can't make a folder for QEMU";
        return run;
    }
    std::filesystem::path image = scratch.path() / "ram.bin";
    std::filesystem::path messages = scratch.path() / "qemu.err";
    std::filesystem::path stub = scratch.path() / "gdb";
    std::filesystem::path monitor_socket = scratch.path() / "qmp";
    uint32_t length = std::min(ram.size(), board.ram_size);
    if (!writeRamImage(image, length, run.result.reason))
        return run;

    std::vector<std::string> args = {"qemu-system-arm", "-M", board.name};
    if (board.ram_size != kMainstone.ram_size)
        args.insert(args.end(), {"-m", std::to_string(board.ram_size / kMB) + "M"});
    args.insert(args.end(),
                {"-display", "none", "-monitor", "none", "-semihosting-config", "enable=on,target=native"});
    args.insert(args.end(), {"-gdb", "unix:" + stub.string() + ",server=on,wait=off"});
    bool pictures = (limits.picture_screen || limits.on_screen) && board.has_lcd;
    if (pictures)
        args.insert(args.end(), {"-qmp", "unix:" + monitor_socket.string() + ",server=on,wait=off"});
    bool stop_at_entry = limits.at_kernel_entry || limits.gdb_port;
    if (stop_at_entry)
        args.push_back("-S"); // waits for runToKernelEntry
    for (int i = 0; i < board.uart_serial_index; ++i)
        args.insert(args.end(), {"-serial", "null"});
    args.insert(args.end(), {"-serial", "stdio"});
    args.insert(args.end(), {"-device", "loader,file=" + image.string() + ",addr=" + hexWord(board.ram_base) +
                                            ",force-raw=on"});
    args.insert(args.end(), {"-device", "loader,addr=" + hexWord(hand_off.jump_paddr) + ",cpu-num=0"});

    // The board's serial line: its output on a pipe, and the host's input, when
    // there is any, on a socket (a send to a QEMU that has gone fails, without a signal).
    SerialInput* input = Handheld::get().serial_input;
    int pipe_fds[2];
    int input_fds[2] = {-1, -1};
    if (pipe2(pipe_fds, O_CLOEXEC) != 0 ||
        (input != nullptr && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input_fds) != 0)) {
        run.result.reason = "can't make a pipe for QEMU";
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input != nullptr)
        posix_spawn_file_actions_adddup2(&actions, input_fds[1], STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, messages.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    if (input_fds[1] >= 0)
        close(input_fds[1]);
    // Closed when the run ends.
    struct Closer {
        int fd;
        ~Closer() {
            if (fd >= 0)
                close(fd);
        }
    } input_closer{input_fds[0]};
    if (spawned != 0) {
        close(pipe_fds[0]);
        run.result.reason = "can't start qemu-system-arm: " + std::string(std::strerror(spawned));
        return run;
    }
    run.started = true;

    if (stop_at_entry && !runToKernelEntry(stub, kernelEntry(hand_off), limits, run.result.reason)) {
        stopQemu(pid, pipe_fds[0], false);
        run.result.stop = EmulationStop::kFault;
        return run;
    }
    GdbRelay relay;
    if (limits.gdb_port) {
        if (!relay.start(*limits.gdb_port, stub, run.result.reason)) {
            stopQemu(pid, pipe_fds[0], false);
            run.result.stop = EmulationStop::kFault;
            return run;
        }
        if (limits.on_gdb_ready)
            limits.on_gdb_ready(relay.port());
    }

    Handheld& device = Handheld::get();
    std::optional<HaltWatch::Clock::time_point> deadline;
    if (limits.time_limit)
        deadline = HaltWatch::Clock::now() + *limits.time_limit;
    HaltWatch watch(stub);
    QemuMonitor monitor(monitor_socket);
    std::filesystem::path screen_file = scratch.path() / "screen.ppm";
    bool live = limits.on_screen && board.has_lcd;
    auto next_picture = HaltWatch::Clock::now() + limits.screen_interval;
    bool halted = false, ended = false, timed_out = false, quit = false;
    std::string to_send; // taken from the host's input, not yet with QEMU
    char buffer[4096];
    while (!halted && !ended) {
        auto now = HaltWatch::Clock::now();
        // Input, the user's quit and a debugger's coming and going are looked at this often.
        auto left = std::chrono::milliseconds(20);
        if (deadline) {
            auto until_deadline = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now);
            if (until_deadline.count() <= 0) {
                timed_out = true;
                break;
            }
            left = std::min(left, until_deadline);
        }
        if (limits.quit != nullptr && limits.quit->load()) {
            quit = true;
            break;
        }
        // While a debugger holds the stub the watch stays away; with --gdb it
        // first looks once a debugger has been and gone.
        bool watching = !limits.gdb_port || (!relay.attached() && relay.sessionsEnded() > 0);
        if (relay.attached())
            watch.release();
        while (input != nullptr && to_send.size() < sizeof buffer) {
            std::optional<uint8_t> byte = input->take();
            if (!byte)
                break;
            to_send += static_cast<char>(*byte);
        }
        if (!to_send.empty()) {
            ssize_t sent = send(input_fds[0], to_send.data(), to_send.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent > 0)
                to_send.erase(0, static_cast<size_t>(sent));
        }
        if (live && now >= next_picture) {
            RgbImage picture;
            std::string ignored; // the next picture tries again
            if (monitor.screenDump(screen_file, picture, ignored))
                limits.on_screen(std::move(picture));
            next_picture = HaltWatch::Clock::now() + limits.screen_interval;
            continue;
        }
        auto wait = watching ? std::min(left, watch.untilNextLook(now)) : left;
        if (live)
            wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(next_picture - now));
        pollfd watch_output{pipe_fds[0], POLLIN, 0};
        int ready = poll(&watch_output, 1, static_cast<int>(std::max<long>(wait.count(), 0)));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0) {
            ssize_t count = read(pipe_fds[0], buffer, sizeof buffer);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0) {
                ended = true;
                break;
            }
            watch.noteOutput();
            if (device.serial_output)
                device.serial_output(buffer, static_cast<size_t>(count));
        }
        if (watching)
            halted = watch.look(HaltWatch::Clock::now());
    }
    if (pictures) {
        if (ended) {
            run.no_screen = "QEMU ended before its screen could be pictured";
        } else {
            RgbImage screen;
            if (monitor.screenDump(screen_file, screen, run.no_screen)) {
                if (limits.on_screen)
                    limits.on_screen(screen);
                if (limits.picture_screen)
                    run.screen = std::move(screen);
            }
        }
    } else if (limits.picture_screen) {
        run.no_screen = run.machine + " has no LCD";
    }
    int status = stopQemu(pid, pipe_fds[0], ended);

    if (halted) {
        run.result.stop = EmulationStop::kHalted;
        run.result.reason = "the kernel halted";
    } else if (quit) {
        run.result.stop = EmulationStop::kUserQuit;
        run.result.reason = "the user quit";
    } else if (timed_out) {
        run.result.stop = EmulationStop::kTimeLimit;
        run.result.reason = "time limit of " + std::to_string(limits.time_limit->count()) + " s reached";
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        run.result.stop = EmulationStop::kHalted;
        run.result.reason = "the kernel ended QEMU";
    } else {
        run.result.stop = EmulationStop::kFault;
        std::string message = firstLine(messages);
        run.result.reason = "QEMU stopped" + (message.empty() ? std::string() : ": " + message);
    }
    return run;
}

} // namespace sim
