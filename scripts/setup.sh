#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, benchmark and run the demo.
# Idempotent; run as root.
set -euo pipefail

# qemu-user-static: boards of the switch's architecture run their boot manager under
# qemu-ppc-static, started by boardsim itself; without binfmt-support nothing registers it.
packages=(
  build-essential cmake git pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  g++-powerpc-linux-gnu qemu-user qemu-user-static
  clang libclang-rt-14-dev clang-tidy clang-format cppcheck gcovr
  libssl-dev openssl libmbedtls-dev zlib1g-dev libcli11-dev nlohmann-json3-dev
  libtomlplusplus-dev librsvg2-bin libp11-dev softhsm2
  busybox lrzsz u-boot-tools socat python3 python3-pexpect
  qemu-system-x86 cpio uidmap cloc libncurses-dev tmux
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
