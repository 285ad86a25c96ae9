#!/usr/bin/env bash
# The host's CPU share while a kernel waits for input on its serial console,
# against the baseline "target": under 5 % of one core (a kernel polling its
# UART on an emulator that spins takes 100 %). The probe kernel waits at its
# prompt ("s"), on Unicorn and QEMU, on collie's SA-1110 and mainstone's
# PXA270; zandrel-sim and QEMU are measured together over SECONDS of waiting.
#   bench/serial_wait_bench.sh [SECONDS]      (build folder: $ZANDREL_BUILD_DIR or build)
set -euo pipefail

seconds=${1:-10}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${ZANDREL_BUILD_DIR:-$source_dir/build}
cmake --build "$build" --target zandrel-sim kernel_probe >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Storage Card"
cp "$build/kernels/probe.elf" "$work/Storage Card/"

python3 - "$build/zandrel-sim" "$work" "$seconds" <<'PYTHON'
import os, select, subprocess, sys, time

program, device, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
ticks = os.sysconf("SC_CLK_TCK")

def cpu_seconds(pid):
    """User and system time of a process and of its children that still run."""
    total = 0.0
    try:
        with open(f"/proc/{pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        total += (int(fields[11]) + int(fields[12])) / ticks
        with open(f"/proc/{pid}/task/{pid}/children") as children:
            for child in children.read().split():
                total += cpu_seconds(int(child))
    except (FileNotFoundError, ProcessLookupError):
        pass
    return total

print(f'baseline "target": < 5 % of one core while the kernel waits ({seconds:.0f} s)')
for machine in ("HP Jornada 720 (US/UK)", "Sharp W-ZERO3 (WS003SH)"):
    for emulator in ("unicorn", "qemu"):
        run = subprocess.Popen(
            [program, "--device", device, "--quiet", "--machine", machine, "--dir", "\\Storage Card\\",
             "--no-pause", "--kernel", "probe.elf", "--single", "--no-ask-name", "--emulator", emulator],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        seen = b""
        deadline = time.monotonic() + 60
        while b"probe> " not in seen:
            left = deadline - time.monotonic()
            ready = select.select([run.stdout], [], [], max(left, 0))[0] if left > 0 else []
            chunk = os.read(run.stdout.fileno(), 65536) if ready else b""
            if not chunk:
                run.kill()
                sys.exit(f"{machine} on {emulator}: no prompt" + ("" if ready else " within 60 s"))
            seen += chunk
        time.sleep(0.5)  # the prompt's last bytes and QEMU's settling
        before, start = cpu_seconds(run.pid), time.monotonic()
        time.sleep(seconds)
        used, wall = cpu_seconds(run.pid) - before, time.monotonic() - start
        run.stdin.write(b"halt\n")
        run.stdin.close()
        run.stdout.read()
        status = run.wait()
        print(f"{machine:26} {emulator:8} host CPU while waiting: {100 * used / wall:5.1f} % "
              f"({used:.2f} s in {wall:.1f} s; exit status {status})")
PYTHON
