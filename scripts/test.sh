#!/usr/bin/env bash
# Builds and runs every test: the hosted build plain and under
# AddressSanitizer + UndefinedBehaviorSanitizer, the tests that run
# application processors on threads under ThreadSanitizer, then the firmware
# images and their checks, then the images booted on emulated processors,
# then a fixed number of runs of every fuzz harness.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh
for preset in hosted hosted-sanitize firmware; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

# The IA32 images of the firmware build on emulated processors, against the
# hosted boots: they need both builds, so they run after them.
echo "=== emulated ==="
ctest --preset emulated
ctest --preset emulated-sanitize

# Only the tests that run threads (APs, the BMC relay), to keep CI short.
echo "=== hosted-tsan ==="
cmake --preset hosted-tsan >/dev/null
cmake --build --preset hosted-tsan --target BoardTest SysHostPointerLibTest
ctest --preset hosted-tsan -R '^(MpServices|StaticPointerTableAps|VmBmcRelay)\.'

echo "=== fuzz ==="
scripts/fuzz.sh
