#!/bin/bash
# Installs what building and testing zandrel needs on Debian 12 (run as root).
# Idempotent: packages already present are left alone.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ make pkg-config python3
  # libraries
  libgtest-dev googletest zlib1g-dev libunicorn-dev libpng-dev
  # ARM code and test kernels; the probe kernel's screen font
  gcc-arm-none-eabi binutils-arm-none-eabi console-setup-linux
  # the second emulated machine, and the debugger that attaches to it (--gdb)
  qemu-system-arm gdb-multiarch
  # test fixtures: file systems, partition tables, archives, web servers
  makefs fdisk gzip pigz nginx-light curl
  # the window: Wine's toolchain and runtime, a private X server, screenshots
  wine wine64 wine64-tools libwine-dev xvfb xdotool imagemagick fonts-wine
  # the directory list's Japanese entries
  fonts-ipafont-gothic
  # fuzzing and the Windows compile check
  clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
)

# One query for all of them: this runs before every window launch.
installed=" $(dpkg-query -W -f='${db:Status-Abbrev}${Package}\n' "${packages[@]}" 2>/dev/null |
  sed -n 's/^ii *//p' | tr '\n' ' ') "
missing=()
for package in "${packages[@]}"; do
  [[ $installed == *" $package "* ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
  echo "setup: all packages present"
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
  echo "setup: missing packages: ${missing[*]}; run as root to install them" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
