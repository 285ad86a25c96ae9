#!/usr/bin/env bash
# How soon zandrel-sim --emulator qemu ends after a kernel has stopped, against
# the baseline "target": well under 1 s from the kernel's last output to
# the program's exit. The kernels greet on the UART and then halt with a branch
# to itself (greeting_halt) or in a wait-for-interrupt loop (greeting_idle), on
# collie (SA-1110) and mainstone (PXA270). Prints the worst of RUNS runs.
#   bench/qemu_halt_bench.sh [RUNS]      (build folder: $ZANDREL_BUILD_DIR or build)
set -euo pipefail

runs=${1:-3}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${ZANDREL_BUILD_DIR:-$source_dir/build}
cmake --build "$build" --target zandrel-sim kernel_greeting_halt kernel_greeting_idle >/dev/null

baseline_ms=1000
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Storage Card"
cp "$build/kernels/greeting_halt.elf" "$build/kernels/greeting_idle.elf" "$work/Storage Card/"

# Milliseconds from the last byte on standard output to the exit, then the status.
after_last_output() {
    python3 - "$@" <<'EOF'
import os, subprocess, sys, time
program = subprocess.Popen(sys.argv[1:], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
last = time.monotonic()
while True:
    chunk = os.read(program.stdout.fileno(), 65536)
    if not chunk:
        break
    last = time.monotonic()
status = program.wait()
print("%.0f %d" % ((time.monotonic() - last) * 1000, status))
EOF
}

echo "baseline \"target\": < $baseline_ms ms from the kernel's last output to the exit"
for machine in "HP Jornada 720 (US/UK)" "Sharp W-ZERO3 (WS003SH)"; do
    for kernel in greeting_halt greeting_idle; do
        worst=0
        for _ in $(seq "$runs"); do
            read -r ms status < <(after_last_output "$build/zandrel-sim" --quiet --device "$work" \
                --machine "$machine" --dir '\Storage Card\' --kernel "$kernel.elf" --no-pause --emulator qemu)
            if [ "$status" != 0 ]; then
                echo "  $machine, $kernel: exit status $status"
                continue 2
            fi
            worst=$((ms > worst ? ms : worst))
        done
        verdict=$([ "$worst" -lt "$baseline_ms" ] && echo within || echo OVER)
        printf '  %-24s %-14s %4d ms (%s the baseline)\n' "$machine" "$kernel" "$worst" "$verdict"
    done
done
