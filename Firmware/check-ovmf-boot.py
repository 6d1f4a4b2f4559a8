#!/usr/bin/env python3
"""Boots the OVMF image with the modules under QEMU (board-boot --qemu) on an
empty variable store and checks the debug console: the modules' messages in
the order EDK2's PEI core dispatches them, the boot on to the UEFI shell, and
no QEMU left running afterwards. Then boots the same board description on the
simulated board (BOARD_FILE) and compares the two consoles line by line:
every difference must be one this script explains, and each is printed with
its explanation.

usage: check-ovmf-boot.py BOARD_BOOT CODE_IMAGE BOARD_FILE
"""
import os
import pathlib
import re
import subprocess
import sys
import tempfile

TIME_LIMIT = 120  # seconds; a boot to the shell takes about 25 under TCG on 2 shared cores

# What the real dispatch gives on an empty store with QEMU's own BMC behind
# KCS, which refuses the OEM requests (completion code 0xC1): a first boot for
# BootMarker and TraceGate; the BMC forces no level and there is no "Setup",
# so the level is Disabled; "IntelSetup" missing (the reader asserts);
# TraceGate reads back the board's token 34 as BootMarker set it, through the
# PCD window; BmcHerald, dispatched once the transport exists, tries each of
# its two requests five times; the window then gives OVMF its PCD PPI back.
FORCE_DEBUG = "[Kcs] NetFn 0x3c Cmd 0x05, 1 data bytes: completion code 0xc1, 0 bytes back"
CONNECT_USB = "[Kcs] NetFn 0x32 Cmd 0xaa, 1 data bytes: completion code 0xc1, 0 bytes back"
BMC_BLOCK = "[Kcs] NetFn 0x3c Cmd 0x01, 44 data bytes: completion code 0xc1, 0 bytes back"
EXPECTED = [
    "Vexa OEM: BootMarker Entering...",
    "OemIsFirstBoot 1",
    "Vexa OEM: BootMarker End...",
    "[CreateFirstBootHob] First Boot Detected.",
    "[CreateFirstBootHob] Status=Success",
    "[OemLogLevel] LocatePpi IpmiTransportPpi IpmiStatus: Success",
    FORCE_DEBUG,
    "[OemLogLevel] Set debug level as Disabled.",
    "Get OemIsFirstBoot 1",
] + [CONNECT_USB] * 5 + [BMC_BLOCK] * 5 + [
    "[PcdShim] token 34: 0x0 -> 0x1",
    "[PcdShim] platform PCD PPI given back: Success",
]


def in_order(lines, expected):
    """The expected lines, each after the one before; the first missing one or None."""
    at = 0
    for line in expected:
        while at < len(lines) and lines[at].rstrip() != line:
            at += 1
        if at == len(lines):
            return line
        at += 1
    return None


# Lines on the real platform that the simulated board has no counterpart for,
# by their start, and why.
EXPLAINED = {
    "[Kcs] ": "the KCS transport's record of each exchange (the simulated board lists them in its report)",
    "[PcdShim] ": "the PCD window's record of the tokens set (the simulated board lists them in its report)",
}


def compare(real, simulated):
    """Every difference between the two consoles, each with its explanation or None."""
    import difflib
    differences = []
    matcher = difflib.SequenceMatcher(a=real, b=simulated, autojunk=False)
    for tag, a0, a1, b0, b1 in matcher.get_opcodes():
        if tag == "equal":
            continue
        for line in real[a0:a1]:
            why = next((text for start, text in EXPLAINED.items() if line.startswith(start)), None)
            differences.append((f"only on OVMF: {line!r}", why))
        for line in simulated[b0:b1]:
            differences.append((f"only on the simulated board: {line!r}", None))
    return differences


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    return pathlib.Path(f"/proc/{pid}/status").exists() and "zombie" not in pathlib.Path(
        f"/proc/{pid}/status").read_text()


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    board_boot, image, board_file = argv[1:]
    if not pathlib.Path(board_boot).exists():
        print(f"FAIL: no {board_boot}: build the hosted preset first")
        return 1
    failures = []
    with tempfile.TemporaryDirectory() as work:
        store = pathlib.Path(work) / "vars.fd"
        result = subprocess.run([board_boot, "--qemu", image, "--vars", str(store), "--processors", "2",
                                 "--time-limit", str(TIME_LIMIT)],
                                capture_output=True, text=True, timeout=TIME_LIMIT + 30)
        print(result.stdout)
        if result.returncode != 0:
            failures.append(f"board-boot exit {result.returncode}: {result.stderr.strip()}")
        console = result.stdout.split("== QEMU ==")[0].splitlines()[1:]
        missing = in_order(console, EXPECTED)
        if missing is not None:
            failures.append(f"console lacks, in its place: {missing!r}")
        if "the UEFI shell was reached" not in result.stdout:
            failures.append("the boot did not reach the UEFI shell")
        pid = re.search(r"pid (\d+),", result.stdout)
        if pid is None:
            failures.append("board-boot names no QEMU pid")
        elif alive(int(pid.group(1))):
            failures.append(f"QEMU (pid {pid.group(1)}) still runs")
        if not store.exists():
            failures.append("no variable store was created")

        simulated = subprocess.run([board_boot, board_file], capture_output=True, text=True, timeout=60)
        if simulated.returncode != 0:
            failures.append(f"the simulated board's boot ended with {simulated.returncode}: {simulated.stderr.strip()}")
        board_console = simulated.stdout.split("\n== ")[0].splitlines()[1:]
        real_console = list(console)
        while real_console and not real_console[-1].strip():
            real_console.pop()
        while board_console and not board_console[-1].strip():
            board_console.pop()
        # The IPMI requests, in order: the KCS record against the board's report.
        kcs = [(int(n, 16), int(c, 16)) for n, c in re.findall(r"^\[Kcs\] NetFn (0x\w+) Cmd (0x\w+)", result.stdout, re.M)]
        tries = [(int(n, 16), int(c, 16)) for n, c in
                 re.findall(r"^  netfn (0x\w+) cmd (0x\w+) try \d+:", simulated.stdout, re.M)]
        if kcs != tries:
            failures.append(f"IPMI requests over KCS {kcs} differ from the simulated board's {tries}")
        differences = compare(real_console, board_console)
        print(f"OVMF against the simulated board ({board_file}): {len(differences)} differences")
        for what, why in differences:
            print(f"  {what}: {why or 'UNEXPLAINED'}")
            if why is None:
                failures.append(f"unexplained difference, {what}")
    for failure in failures:
        print(f"FAIL: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
