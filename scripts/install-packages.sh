#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ python3      # hosted build
  libgtest-dev libgmock-dev          # tests
  libyaml-cpp-dev nlohmann-json3-dev # board files and the JSON report
  clang lld llvm                     # IA32 firmware images (clang++, lld-link, llvm-ar, llvm-readobj)
  uefitool-cli                       # UEFIExtract: the independent check of the flash volume
  libunicorn-dev                     # the board's emulated IA32 processors (board-boot --images)
  openipmi ipmitool ipmiutil         # a real BMC simulator (ipmi_sim) and two tools that read its SEL
  ovmf-ia32 qemu-system-x86          # the modules on EDK2's real PEI core: Debian's 32-bit OVMF under QEMU
  xz-utils liblzma-dev pkg-config    # its LZMA section, unpacked and rebuilt
  libclang-rt-14-dev                 # libFuzzer and clang's sanitizers (the fuzz build)
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
