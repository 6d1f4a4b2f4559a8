#!/usr/bin/env bash
# Installs what is missing, builds the hosted board and boots it: with no
# argument, the built-in default board.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh
cmake --preset hosted >/dev/null
cmake --build --preset hosted --target board-boot >/dev/null
exec build/hosted/Tools/BoardBoot/board-boot "$@"
