#!/usr/bin/env python3
"""Checks the deepest stack each module used under emulation (the stack
painted before each run and scanned after it, deepest over every gallery
board) against the firmware build's stack budget and against the static
bound peim-report computes from the images. A measured figure above the
static bound means the static analysis misses a path.

usage: check-stack-budget.py TOOL VOLUME FIRMWARE_TREE OBJDUMP BOARD_FILE...
"""
import json
import pathlib
import re
import subprocess
import sys


def main():
    tool, volume, tree, objdump = sys.argv[1:5]
    boards = sys.argv[5:]
    tree = pathlib.Path(tree)
    cache = (tree / "CMakeCache.txt").read_text()
    budget = int(re.search(r"^PEI_STACK_BUDGET:STRING=(\d+)$", cache, re.M).group(1))

    measured = {}
    for board in boards:
        out = subprocess.run([tool, "--json", "--images", volume, "--maps", str(tree), board],
                             capture_output=True, text=True, timeout=120).stdout
        for module in json.loads(out)["emulation"]["modules"]:
            name = module["module"]
            measured[name] = max(measured.get(name, 0), module["deepest_stack"])

    images = [f"{name}={tree}/Universal/{name}/{name}.efi,{tree}/Universal/{name}/{name}.map" for name in measured]
    report = subprocess.run([str(tree / "HostTools/FlashVolume/peim-report"), "stack", "--budget", str(budget),
                             "--objdump", objdump] + images, capture_output=True, text=True, timeout=120)
    static = {m.group(1): int(m.group(2))
              for m in re.finditer(r"^(\w+)\s+(\d+) bytes deepest", report.stdout, re.M)}

    failures = []
    print(f"module        measured   static   budget")
    for name in sorted(measured):
        print(f"{name:<12} {measured[name]:>9} {static.get(name, 0):>8} {budget:>8}")
        if measured[name] == 0:
            failures.append(f"{name}: no stack figure")
        if measured[name] > budget:
            failures.append(f"{name}: {measured[name]} bytes of stack, over the budget of {budget}")
        if name not in static:
            failures.append(f"{name}: peim-report gave no figure")
        elif measured[name] > static[name]:
            failures.append(f"{name}: measured {measured[name]} bytes, above the static bound {static[name]}")
    if len(measured) != 4:
        failures.append(f"expected the four modules, measured {sorted(measured)}")
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
