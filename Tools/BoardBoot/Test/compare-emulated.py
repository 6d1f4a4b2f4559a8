#!/usr/bin/env python3
"""Boots one board file hosted and emulated (the IA32 images from flash) and
compares what the two boots leave behind: the console and every report
section must be identical, the exit status too, and the emulated boot must
not fault. Differences the test accepts are listed below, each with why.

usage: compare-emulated.py TOOL VOLUME MAPS_DIR BOARD_FILE
"""
import json
import subprocess
import sys

# Accepted differences in the console, each with why. A rule gets the
# hosted entry, the emulated entry at the same place (None past the end)
# and the emulated report; it returns how far to advance in each list and
# the explanation, or None when it does not apply.


def dropped_by_the_null_sink(hosted, emulated, report):
    """A message the module's level mask dropped. The hosted build hands it
    to the board's sink (--all-levels shows it); the firmware images carry
    the null sink, which link-time optimisation removes, so nothing of the
    message leaves the processor. Not part of the log either way."""
    if hosted is not None and hosted.get("dropped"):
        return (1, 0), "dropped message: the firmware's sink is the null one"
    return None


# The debug library's level masks (VerbosityDebugLib.h), by level.
LEVEL_MASKS = {1: 0x20000100, 2: 0x80000146, 3: 0x9C000146}


def uncached_level_admits(entry, report):
    """Whether a module reading the scratch register afresh lets the entry
    through: the level is the one TraceGate wrote last. None when the
    module's cache was never written in flash or nothing wrote the port."""
    cache_written = any(w["module"] == entry["module"] and "mScratchLevelCache" in w["target"]
                        for w in report["emulation"]["flash_writes"])
    if not cache_written or not report["port_0x3ff_writes"]:
        return None
    level = int(report["port_0x3ff_writes"][-1], 16) & 0x0F
    return (int(entry["level"], 16) & LEVEL_MASKS.get(level, 0)) != 0


def level_cache_dropped_in_flash(hosted, emulated, report):
    """A message the module printed on one board and not on the other
    because its debug library caches the scratch register's level in a
    module global. Running in place from flash, the write that fills the
    cache is dropped (the report lists it), so the module reads the register
    again at each message and filters with the level TraceGate has just
    written, where the hosted module still uses the level it read first. On
    a real board the emulated behaviour is the true one."""
    if hosted is not None and not hosted.get("dropped") and "text" in hosted \
            and uncached_level_admits(hosted, report) is False:
        return (1, 0), "printed hosted only: level cache dropped in flash"
    if emulated is not None and "text" in emulated and uncached_level_admits(emulated, report) is True:
        return (0, 1), "printed emulated only: level cache dropped in flash"
    return None


CONSOLE_RULES = [dropped_by_the_null_sink, level_cache_dropped_in_flash]


def run(args):
    done = subprocess.run(args, capture_output=True, text=True, timeout=120)
    return done.returncode, done.stdout, done.stderr


def main():
    tool, volume, maps, board = sys.argv[1:5]
    hosted_rc, hosted_out, hosted_err = run([tool, "--json", board])
    emulated_rc, emulated_out, emulated_err = run([tool, "--json", "--images", volume, "--maps", maps, board])
    failures = []
    if emulated_rc != hosted_rc:
        failures.append(f"exit status: hosted {hosted_rc}, emulated {emulated_rc}: {emulated_err.strip()}")
    if emulated_rc not in (0, 2) or not emulated_out:
        print("\n".join(failures) or "no emulated report", emulated_err, sep="\n", file=sys.stderr)
        return 1
    hosted = json.loads(hosted_out)
    emulated = json.loads(emulated_out)

    emulation = emulated["emulation"]
    for fault in emulation["faults"]:
        failures.append(f"emulated fault: {fault}")
    for module in emulation["modules"]:
        if module["instructions"] == 0 or module["deepest_stack"] == 0:
            failures.append(f"no stack or instruction figure for {module['module']}")

    for key in sorted(set(hosted) | set(emulated)):
        if key in ("emulation", "console"):
            continue
        if hosted.get(key) != emulated.get(key):
            failures.append(f"report section {key!r} differs:\n  hosted   {hosted.get(key)}\n  emulated {emulated.get(key)}")

    explained = []
    h_console, e_console = hosted["console"], emulated["console"]
    i = j = 0
    while i < len(h_console) or j < len(e_console):
        h = h_console[i] if i < len(h_console) else None
        e = e_console[j] if j < len(e_console) else None
        if h is not None and h == e:
            i, j = i + 1, j + 1
            continue
        applied = next((r for r in (rule(h, e, emulated) for rule in CONSOLE_RULES) if r), None)
        if applied is None:
            failures.append(f"console entry differs:\n  hosted   {h}\n  emulated {e}")
            break
        (di, dj), why = applied
        explained.append(f"{why}: {((h if di else e) or {}).get('text', '').strip()!r}")
        i, j = i + di, j + dj

    for line in explained:
        print("explained:", line)
    if failures:
        print("\n".join(failures), file=sys.stderr)
        return 1
    print(f"{board}: emulated boot matches the hosted one ({len(explained)} explained difference(s))")
    return 0


if __name__ == "__main__":
    sys.exit(main())
