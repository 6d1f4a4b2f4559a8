#!/usr/bin/env bash
# Builds and runs every test: the hosted build plain and under
# AddressSanitizer + UndefinedBehaviorSanitizer, then the firmware images
# and their checks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh
for preset in hosted hosted-sanitize firmware; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
