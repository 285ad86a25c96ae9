#include "cli/options.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr uint16_t kDefaultGdbPort = 1234;

bool parseInt(const std::string& text, int& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != 0 || parsed < -2147483647L || parsed > 2147483647L)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

// Decimal digits only: no sign, no space, nothing after, and within 64 bits.
std::optional<unsigned long long> parseUnsigned(const std::string& text) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (*end != 0 || errno == ERANGE)
        return std::nullopt;
    return value;
}

// "N" or "N:KIND".
bool parseFailCall(const std::string& text, CliOptions& o) {
    size_t colon = text.find(':');
    std::optional<unsigned long long> n = parseUnsigned(text.substr(0, colon));
    if (!n || *n == 0)
        return false;
    o.fail_call = *n;
    o.fail_kind.reset();
    if (colon == std::string::npos)
        return true;
    o.fail_kind = sim::fallibleCallNamed(text.substr(colon + 1).c_str());
    return o.fail_kind.has_value();
}

std::optional<int> rootfsChoice(const std::string& name) {
    const char* const names[] = {"wd", "sd", "md", "nfs"};
    for (int i = 0; i < 4; ++i) {
        if (name == names[i])
            return i;
    }
    return std::nullopt;
}

// The kernel's boot flags, each with a --no- form.
std::optional<bool>* bootFlag(CliOptions& o, const std::string& arg) {
    std::string name = arg.rfind("--no-", 0) == 0 ? "--" + arg.substr(5) : arg;
    if (name == "--verbose")
        return &o.verbose;
    if (name == "--single")
        return &o.single;
    if (name == "--ask-name")
        return &o.ask_name;
    if (name == "--debugger")
        return &o.debugger;
    if (name == "--serial")
        return &o.serial;
    return nullptr;
}

} // namespace

const char* usageText() {
    static const std::string text = std::string("usage: zandrel-sim [options]\n"
                                                "Boots a kernel on a simulated handheld, as pressing Boot in "
                                                "the window would.\n"
                                                "\n") +
                                    optionsText();
    return text.c_str();
}

const char* optionsText() {
    return "Device:\n"
           "  --device DIR          folder that is the device's object store (\\); without it an\n"
           "                        embedded default device with one storage card is used\n"
           "  --card NAME           a top-level folder of the store that is a storage card\n"
           "                        (repeatable; default \"Storage Card\")\n"
           "  --disk N=IMAGE        a disk image file as the raw disk \"DSKN:\" (N from 1 to 9,\n"
           "                        repeatable); the embedded device has a DSK1: holding\n"
           "                        kalmor.gz and miniroot.fs on a UFS partition\n"
           "  --profile NAME        the simulated handheld, when it is not the chosen machine\n"
           "  --object-store MB     RAM given to the object store; the rest, less the kernel's\n"
           "                        part, is program memory (default: half of the RAM)\n"
           "  --timezone-bias MIN   minutes to add to local time to get UTC (default 0)\n"
           "  --serial-log FILE     where COM1 output goes (default: the terminal)\n"
           "  --debug-log FILE      where the debugger output goes (default: discarded)\n"
           "  --list-machines       list the selectable machines (name, processor, RAM banks,\n"
           "                        default object store; tab-separated) and exit\n"
           "  --screen-size         print the handheld's screen as WIDTHxHEIGHT and exit: the\n"
           "                        machine of --profile, or of the Main page (--machine or\n"
           "                        the device's settings)\n"
           "\n"
           "Main page:\n"
           "  --machine NAME        machine, exactly as listed by --list-machines\n"
           "  --dir TEXT            boot directory: a path such as \"\\Storage Card\\\", a UFS disk\n"
           "                        path such as \"2:/\", or a URL \"http://host:port/\"\n"
           "  --kernel NAME         kernel file name (default kalmor.gz)\n"
           "  --rootfs wd|sd|md|nfs root file system\n"
           "  --image NAME          file-system image loaded after the kernel with md\n"
           "  --verbose             boot verbosely\n"
           "  --single              boot to single user\n"
           "  --ask-name            ask for file name to boot from\n"
           "  --debugger            break into kernel debugger\n"
           "  --serial              serial console\n"
           "  --serial-speed N      serial line speed in bit/s\n"
           "  --no-verbose, --no-single, --no-ask-name, --no-debugger, --no-serial\n"
           "                        clear a flag stored by an earlier run\n"
           "\n"
           "Option page:\n"
           "  --extra TEXT          extra kernel options\n"
           "  --pause, --no-pause   ask \"Push YES to boot.\" before the jump\n"
           "  --safety, --no-safety show the safety questions and notices\n"
           "  --reverse-video, --no-reverse-video\n"
           "\n"
           "After the jump (the handheld leaves Windows CE):\n"
           "  --emulator unicorn|qemu|none\n"
           "                        run the second stage and the kernel on an emulated\n"
           "                        processor (Unicorn, default), on a QEMU board of the same\n"
           "                        family (collie or mainstone), or replay the page list and\n"
           "                        summarise the memory it writes (none)\n"
           "  --time-limit SEC      end the kernel's run after SEC seconds (exit status 5)\n"
           "  --instruction-limit N stop the emulated processor after N instructions\n"
           "                        (Unicorn; exit status 3); without either the kernel\n"
           "                        runs until it halts or you quit, however long it waits\n"
           "  --gdb [PORT]          boot on QEMU and stop at the kernel's first instruction,\n"
           "                        the second stage done, until gdb attaches on PORT of\n"
           "                        the loopback (default 1234; 0: any free port); prints\n"
           "                        the command that attaches with the kernel's symbols\n"
           "  --verify, --no-verify compare the kernel's memory at its entry with the kernel\n"
           "                        file (and image) read on the host (default: on with\n"
           "                        unicorn and none; with qemu, read through its gdb stub)\n"
           "  --screen-png FILE     when the kernel stops, write the handheld's screen (its LCD\n"
           "                        as the kernel left it) as a PNG picture; with QEMU, its\n"
           "                        screendump of the mainstone's LCD (collie has none); with\n"
           "                        none, the screen at the jump\n"
           "  --corrupt-load-link N for tests: damage load link N's data at the jump\n"
           "  --drop-zero-link N    for tests: take zero-clear link N out of the list at the jump\n"
           "  --snapshot FILE       save the hand-off state (pages, jump arguments, processor)\n"
           "  --from-snapshot FILE  run a saved hand-off instead of booting\n"
           "\n"
           "Questions and output:\n"
           "  --answer yes|no       how questions are answered (default yes)\n"
           "  --answers LIST        answers for the questions in order, e.g. yes,no; later\n"
           "                        questions get --answer\n"
           "  --box-log FILE        every message box as caption, text, style and answer\n"
           "                        (tab-separated, one line each)\n"
           "  --quiet               no progress bar\n"
           "  --timing              report on standard error how long the boot took from\n"
           "                        pressing Boot to the jump, and for each file read the\n"
           "                        bytes inflated and the bytes fetched\n"
           "  --http-window MS      for tests: an HTTP transfer stops after MS ms without data,\n"
           "                        or below 512 byte a second over MS ms (default 30000), and\n"
           "                        shows its progress every MS/15 ms\n"
           "  --fail-call N[:KIND]  make the handheld's Nth fallible call after pressing Boot\n"
           "                        fail, or its Nth of one KIND: VirtualAlloc, LockPages,\n"
           "                        VirtualCopy, ReadFile, DiskRead, recv, CreateFile,\n"
           "                        LocalAlloc\n"
           "  --help                this text\n"
           "\n"
           "Settings not given keep the values stored in the device's zandrel.cnf.\n"
           "The kernel's serial output follows the loader's console on standard output;\n"
           "after the jump, standard input goes to the kernel's UART as the kernel reads\n"
           "it. On a terminal it is in raw mode: Ctrl-A X quits, Ctrl-A Ctrl-A sends Ctrl-A.\n"
           "Exit status: 0 the kernel ran and halted (with none: the page list was walked),\n"
           "1 the boot failed or was cancelled, 2 usage error, 3 the emulated processor\n"
           "faulted or reached its instruction limit (the reason on standard error), 4 the\n"
           "memory the kernel was entered with differs from the kernel file (--verify),\n"
           "5 the time limit passed, 6 you quit with Ctrl-A X.\n";
}

ParseResult parseOptions(int argc, const char* const* argv) {
    ParseResult result;
    CliOptions& o = result.options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                result.error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--list-machines") {
            o.list_machines = true;
        } else if (arg == "--screen-size") {
            o.screen_size = true;
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--verify" || arg == "--no-verify") {
            o.verify = arg == "--verify";
        } else if (arg == "--corrupt-load-link" || arg == "--drop-zero-link") {
            if (!value(text))
                break;
            std::optional<unsigned long long> link = parseUnsigned(text);
            if (!link || *link > UINT32_MAX) {
                result.error = arg + " takes a link number, not \"" + text + "\"";
                break;
            }
            (arg == "--corrupt-load-link" ? o.corrupt_load_link : o.drop_zero_link) =
                static_cast<uint32_t>(*link);
        } else if (arg == "--http-window") {
            if (!value(text))
                break;
            std::optional<unsigned long long> window = parseUnsigned(text);
            if (!window || *window == 0 || *window > 3600000) {
                result.error = "--http-window takes milliseconds from 1 to 3600000, not \"" + text + "\"";
                break;
            }
            o.http_window_ms = static_cast<uint32_t>(*window);
        } else if (arg == "--object-store") {
            if (!value(text))
                break;
            std::optional<unsigned long long> megabytes = parseUnsigned(text);
            if (!megabytes || *megabytes >= 4096) {
                result.error = "--object-store takes a size in MB below 4096, not \"" + text + "\"";
                break;
            }
            o.object_store_mb = static_cast<uint32_t>(*megabytes);
        } else if (arg == "--timing") {
            o.timing = true;
        } else if (std::optional<bool>* flag = bootFlag(o, arg)) {
            *flag = arg.rfind("--no-", 0) != 0;
        } else if (arg == "--pause" || arg == "--no-pause") {
            o.pause = arg == "--pause";
        } else if (arg == "--safety" || arg == "--no-safety") {
            o.safety = arg == "--safety";
        } else if (arg == "--reverse-video" || arg == "--no-reverse-video") {
            o.reverse_video = arg == "--reverse-video";
        } else if (arg == "--device" || arg == "--machine" || arg == "--profile" || arg == "--dir" ||
                   arg == "--kernel" || arg == "--image" || arg == "--extra" || arg == "--serial-log" ||
                   arg == "--debug-log" || arg == "--card" || arg == "--box-log") {
            if (!value(text))
                break;
            if (arg == "--device")
                o.device = text;
            else if (arg == "--machine")
                o.machine = text;
            else if (arg == "--profile")
                o.profile = text;
            else if (arg == "--dir")
                o.dir = text;
            else if (arg == "--kernel")
                o.kernel = text;
            else if (arg == "--image")
                o.image = text;
            else if (arg == "--extra")
                o.extra = text;
            else if (arg == "--serial-log")
                o.serial_log = text;
            else if (arg == "--debug-log")
                o.debug_log = text;
            else if (arg == "--box-log")
                o.box_log = text;
            else
                o.storage_cards.push_back(text);
        } else if (arg == "--rootfs") {
            if (!value(text))
                break;
            o.rootfs = rootfsChoice(text);
            if (!o.rootfs) {
                result.error = "--rootfs takes wd, sd, md or nfs, not \"" + text + "\"";
                break;
            }
        } else if (arg == "--emulator") {
            if (!value(text))
                break;
            if (text != "unicorn" && text != "qemu" && text != "none") {
                result.error = "--emulator takes unicorn, qemu or none, not \"" + text + "\"";
                break;
            }
            o.emulator = text;
            o.emulator_given = true;
        } else if (arg == "--snapshot" || arg == "--from-snapshot" || arg == "--screen-png") {
            if (!value(text))
                break;
            (arg == "--snapshot"     ? o.snapshot
             : arg == "--screen-png" ? o.screen_png
                                     : o.from_snapshot) = text;
        } else if (arg == "--instruction-limit") {
            if (!value(text))
                break;
            std::optional<unsigned long long> limit = parseUnsigned(text);
            if (!limit || *limit == 0) {
                result.error = "--instruction-limit takes a positive number, not \"" + text + "\"";
                break;
            }
            o.instruction_limit = *limit;
        } else if (arg == "--fail-call") {
            if (!value(text))
                break;
            if (!parseFailCall(text, o)) {
                result.error = "--fail-call takes N or N:KIND with N from 1, not \"" + text + "\"";
                break;
            }
        } else if (arg == "--time-limit") {
            if (!value(text))
                break;
            int seconds = 0;
            if (!parseInt(text, seconds) || seconds <= 0) {
                result.error = "--time-limit takes a positive number of seconds, not \"" + text + "\"";
                break;
            }
            o.time_limit = seconds;
        } else if (arg == "--gdb") {
            // The port is optional: a next word of digits is it.
            o.gdb_port = kDefaultGdbPort;
            if (i + 1 < argc && argv[i + 1][0] >= '0' && argv[i + 1][0] <= '9') {
                text = argv[++i];
                std::optional<unsigned long long> port = parseUnsigned(text);
                if (!port || *port > 65535) {
                    result.error = "--gdb takes a TCP port from 0 to 65535, not \"" + text + "\"";
                    break;
                }
                o.gdb_port = static_cast<uint16_t>(*port);
            }
        } else if (arg == "--serial-speed" || arg == "--timezone-bias") {
            if (!value(text))
                break;
            int number = 0;
            if (!parseInt(text, number) || (arg == "--serial-speed" && number <= 0)) {
                result.error = arg + " takes a number, not \"" + text + "\"";
                break;
            }
            if (arg == "--serial-speed")
                o.serial_speed = number;
            else
                o.timezone_bias = number;
        } else if (arg == "--disk") {
            if (!value(text))
                break;
            if (text.size() < 3 || text[0] < '1' || text[0] > '9' || text[1] != '=') {
                result.error = "--disk takes N=IMAGE with N from 1 to 9, not \"" + text + "\"";
                break;
            }
            o.disks.emplace_back(text[0] - '0', text.substr(2));
        } else if (arg == "--answer") {
            if (!value(text))
                break;
            if (text != "yes" && text != "no") {
                result.error = "--answer takes yes or no, not \"" + text + "\"";
                break;
            }
            o.answer_yes = text == "yes";
            o.answer_set = true;
        } else if (arg == "--answers") {
            if (!value(text))
                break;
            o.answer_set = true;
            size_t start = 0;
            while (result.error.empty() && start <= text.size()) {
                size_t comma = text.find(',', start);
                std::string word =
                    text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                if (word != "yes" && word != "no")
                    result.error = "--answers takes yes and no separated by commas, not \"" + text + "\"";
                o.answers.push_back(word == "yes");
                start = comma == std::string::npos ? text.size() + 1 : comma + 1;
            }
            if (!result.error.empty())
                break;
        } else {
            result.error = "unknown option \"" + arg + "\"";
            break;
        }
    }
    // Unicorn has no gdb stub: --gdb boots on QEMU.
    if (result.error.empty() && o.gdb_port) {
        if (o.emulator_given && o.emulator != "qemu")
            result.error = "--gdb runs the kernel on QEMU, not with --emulator " + o.emulator;
        o.emulator = "qemu";
    }
    return result;
}
