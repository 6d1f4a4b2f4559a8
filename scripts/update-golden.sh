#!/usr/bin/env bash
# Rewrites the golden output of every gallery board (review the diff like code).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset hosted >/dev/null
cmake --build --preset hosted --target board-boot >/dev/null
for board in Boards/*.yaml; do
  cmake -DTOOL=build/hosted/Tools/BoardBoot/board-boot -DBOARD="$board" -DEXPECTED="${board%.yaml}.expected" -DUPDATE=1 \
        -P Tools/BoardBoot/CompareGolden.cmake
done
git status --short Boards/
