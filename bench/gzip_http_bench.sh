#!/usr/bin/env bash
# The boot of a realistic gzipped kernel (bench_code_16m: 16 MB of real program
# code, about 2.2:1 with gzip -9) from a local file and over HTTP from nginx on
# loopback, and of the same kernel uncompressed, in one run, on the Sharp
# W-ZERO3 (64 MB) with the object store it ships with:
#   - through the boot's file layer alone (open to the last byte), and as a
#     whole boot from Boot to the jump (zandrel-sim --timing), against the
#     baselines zcat (local), curl | zcat (HTTP) and cat (uncompressed);
#   - the bytes each boot inflated and fetched for the kernel (--timing);
#   - the peak memory of each boot up to the jump, against the budget of
#     2.2 x the kernel + 20 MB.
# Prints the best of RUNS runs each and the ratios to the baselines.
#   bench/gzip_http_bench.sh [RUNS]      (build folder: $ZANDREL_BUILD_DIR or build)
set -euo pipefail

runs=${1:-5}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${ZANDREL_BUILD_DIR:-$source_dir/build}
cmake --build "$build" --target bench_kernels zandrel_file_bench zandrel-sim >/dev/null

work=$(mktemp -d)
nginx_pid=
cleanup() {
    if [ -n "$nginx_pid" ]; then
        kill "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/temp" "$work/device/Storage Card"
kernel=$build/kernels/bench_code_16m.elf
gzip -c -9 "$kernel" >"$work/www/kalmor.gz"
cp "$work/www/kalmor.gz" "$work/device/Storage Card/kalmor.gz"
cp "$kernel" "$work/device/Storage Card/kalmor.elf"
plain_bytes=$(stat -c %s "$kernel")
packed_bytes=$(stat -c %s "$work/www/kalmor.gz")

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/temp/body;
  proxy_temp_path $work/temp/proxy;
  fastcgi_temp_path $work/temp/fastcgi;
  uwsgi_temp_path $work/temp/uwsgi;
  scgi_temp_path $work/temp/scgi;
  default_type application/octet-stream;
  server { listen 127.0.0.1:$port; root $work/www; }
}
CONF
nginx -p "$work" -c "$work/nginx.conf" -e "$work/error.log" &
nginx_pid=$!
for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/kalmor.gz" && break
    sleep 0.05
done

lower() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Best wall-clock seconds of a command over the runs.
best() {
    local fastest=
    for _ in $(seq "$runs"); do
        local start end took
        start=$(date +%s.%N)
        if ! "$@" >/dev/null; then
            echo "failed: $*" >&2
            exit 1
        fi
        end=$(date +%s.%N)
        took=$(awk -v a="$end" -v b="$start" 'BEGIN { print a - b }')
        fastest=$(lower "$took" "$fastest")
    done
    printf '%.3f' "$fastest"
}

# Best seconds the bench program itself reports (open to the last byte).
best_file_layer() {
    local fastest=
    for _ in $(seq "$runs"); do
        local out took bytes
        out=$("$build/bench/zandrel_file_bench" "$1" kalmor.gz 2>"$work/index")
        took=${out% *}
        bytes=${out#* }
        if [ "$bytes" != "$plain_bytes" ]; then
            echo "read $bytes bytes, expected $plain_bytes" >&2
            exit 1
        fi
        fastest=$(lower "$took" "$fastest")
    done
    printf '%.3f' "$fastest"
}

# Best seconds from Boot to the jump as zandrel-sim reports them (--timing);
# the last run's lines on the kernel's bytes inflated and fetched are kept in
# $work/traffic-NAME.
machine="Sharp W-ZERO3 (WS003SH)"
best_boot() {
    local fastest=
    for _ in $(seq "$runs"); do
        local took
        "$build/zandrel-sim" --device "$work/device" --quiet --machine "$machine" --rootfs wd \
            --no-safety --no-pause --emulator none --timing --dir "$1" --kernel "$2" 2>"$work/timing" >/dev/null || true
        took=$(sed -n 's/^zandrel-sim: Boot to the jump took \([0-9.]*\) s$/\1/p' "$work/timing")
        sed -n 's/^zandrel-sim: [^:]*: \(.* bytes inflated, .* bytes fetched\)$/\1/p' "$work/timing" >"$work/traffic-$3"
        if [ -z "$took" ]; then
            echo "the boot from $1 did not reach the jump" >&2
            exit 1
        fi
        fastest=$(lower "$took" "$fastest")
    done
    printf '%.3f' "$fastest"
}

# Peak resident KB of boots that stop at the last-chance question, right
# before the jump: the boot's own memory, the simulated RAM it fills included.
peak_kb() {
    local peak=0
    for _ in $(seq "$runs"); do
        /usr/bin/env time -f %M -o "$work/rss" "$build/zandrel-sim" --device "$work/device" --quiet \
            --machine "$machine" --rootfs wd --no-safety --pause --answer no --dir "$1" --kernel "$2" \
            >/dev/null 2>&1 || true
        local rss
        rss=$(tail -n 1 "$work/rss")
        ((rss > peak)) && peak=$rss
    done
    echo "$peak"
}

zcat_local=$(best zcat "$work/www/kalmor.gz")
curl_zcat=$(best bash -c "curl -s http://127.0.0.1:$port/kalmor.gz | zcat")
cat_plain=$(best cat "$kernel")
ours_local=$(best_file_layer "$work/www")
ours_http=$(best_file_layer "http://127.0.0.1:$port/")
boot_local=$(best_boot '\Storage Card\' kalmor.gz local)
boot_http=$(best_boot "http://127.0.0.1:$port/" /kalmor.gz http)
boot_plain=$(best_boot '\Storage Card\' kalmor.elf plain)
peak_local=$(peak_kb '\Storage Card\' kalmor.gz)
peak_http=$(peak_kb "http://127.0.0.1:$port/" /kalmor.gz)
peak_plain=$(peak_kb '\Storage Card\' kalmor.elf)
budget_kb=$(((plain_bytes * 22 / 10 + 20 * 1048576) / 1024))

echo "$((plain_bytes / 1000000)) MB kernel of program code ($plain_bytes bytes, $packed_bytes with gzip -9), $machine, best of $runs"
row() {
    printf '%-34s %8s s   baseline %-12s %8s s   ratio %s (target at most %s)\n' \
        "$1" "$2" "$3" "$4" "$(ratio "$2" "$4")" "$5"
}
row "file layer, local file" "$ours_local" "zcat" "$zcat_local" "-"
row "file layer, HTTP" "$ours_http" "curl | zcat" "$curl_zcat" "-"
row "boot to the jump, local gzip" "$boot_local" "zcat" "$zcat_local" 1.1
row "boot to the jump, HTTP gzip" "$boot_http" "curl | zcat" "$curl_zcat" 1.1
row "boot to the jump, uncompressed" "$boot_plain" "cat" "$cat_plain" 1.5
printf '%-34s %s\n' "gzip access index" "$(sed -n 's/^access index: //p' "$work/index")"
printf '%-34s %s (local), %s (HTTP); the kernel is %d bytes, %d gzipped\n' "kernel's bytes at the boot" \
    "$(cat "$work/traffic-local")" "$(cat "$work/traffic-http")" "$plain_bytes" "$packed_bytes"
printf '%-34s %8d KB local gzip, %d KB HTTP gzip, %d KB uncompressed (budget %d KB)\n' \
    "peak memory up to the jump" "$peak_local" "$peak_http" "$peak_plain" "$budget_kb"
