#!/usr/bin/env python3
"""Boots one board file hosted and emulated (the IA32 images from flash) and
compares what the two boots leave behind: the console and every report
section must be identical, the exit status too, and the emulated boot must
not fault. Differences the test accepts are listed below, each with why.

usage: compare-emulated.py TOOL IMAGES BOARD_FILE
"""
import json
import subprocess
import sys

# Accepted differences. Each is a function (hosted entry, emulated entry,
# emulated report) -> explanation or None.


def level_cache_dropped(hosted, emulated, report):
    """A message the hosted module printed (or dropped) because its debug
    library's cache still held the scratch register's level from before
    TraceGate changed the register. Running in place from flash, the write
    that fills the cache is dropped (the report lists it), so the module
    reads the register again at each message and filters with the new
    level. On a real board the emulated behaviour is the true one."""
    if hosted.get("dropped") == emulated.get("dropped"):
        return None
    if {k: v for k, v in hosted.items() if k != "dropped"} != {k: v for k, v in emulated.items() if k != "dropped"}:
        return None
    cache_writes = [w for w in report["emulation"]["flash_writes"]
                    if w["module"] == hosted["module"] and "mScratchLevelCache" in w["target"]]
    return "level cache dropped in flash" if cache_writes else None


CONSOLE_RULES = [level_cache_dropped]


def run(args):
    done = subprocess.run(args, capture_output=True, text=True, timeout=120)
    return done.returncode, done.stdout, done.stderr


def main():
    tool, images, board = sys.argv[1:4]
    hosted_rc, hosted_out, hosted_err = run([tool, "--json", board])
    emulated_rc, emulated_out, emulated_err = run([tool, "--json", "--images", images, board])
    failures = []
    if emulated_rc != hosted_rc:
        failures.append(f"exit status: hosted {hosted_rc}, emulated {emulated_rc}: {emulated_err.strip()}")
    if not emulated_out:
        print("\n".join(failures) or "no emulated report", file=sys.stderr)
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
    if len(hosted["console"]) != len(emulated["console"]):
        failures.append(f"console: hosted {len(hosted['console'])} entries, emulated {len(emulated['console'])}")
    for h, e in zip(hosted["console"], emulated["console"]):
        if h == e:
            continue
        why = next((w for w in (rule(h, e, emulated) for rule in CONSOLE_RULES) if w), None)
        if why:
            explained.append(f"{why}: {h.get('text', '').strip()!r}")
        else:
            failures.append(f"console entry differs:\n  hosted   {h}\n  emulated {e}")

    for line in explained:
        print("explained:", line)
    if failures:
        print("\n".join(failures), file=sys.stderr)
        return 1
    print(f"{board}: emulated boot matches the hosted one ({len(explained)} explained difference(s))")
    return 0


if __name__ == "__main__":
    sys.exit(main())
