#!/usr/bin/env python3
"""Boots the OVMF image with the modules twice under QEMU (board-boot --qemu)
on one variable store, and checks the debug console of each boot:

  1. an empty store: the modules' messages in the order EDK2's PEI core
     dispatches them (a first boot for BootMarker and TraceGate; QEMU's BMC
     refuses every OEM request, there is no "Setup": level Disabled); then
     the UEFI shell runs set-variables.nsh from a virtual FAT drive, which
     creates "Setup", "IntelSetup", "OemIsFirstBoot" and "MonotonicCounter"
     and resets;
  2. the same store: the first-boot decisions flipped, the level "Setup"
     decides (the BMC still refuses), the RAS log level from "IntelSetup",
     BmcHerald's dump, "Reload MM7 with new pointer" after OVMF installs
     memory and "Sync MM7" once its MP services are there, and every
     processor's MM7 (three of them) equal to the new pointer, as the check
     PEIM reads them through OVMF's MP services.

Both boots are given their board file, whose warning log HostStructurePei
lays out in permanent memory after the MP services (fw_cfg): token 17 points
to it, and DimmSentry's scan, run inside the trigger's installation, sends
its four SEL records to QEMU's BMC over KCS (Add SEL Entry, stored); on the
second boot, at level Maximum, DimmSentry's messages say which and why.

After each, QEMU must be gone. Each boot is also run on the simulated board
from the same board description, and the two consoles are compared line by
line: every difference must be one this script explains, and each is printed
with its explanation; the IPMI requests sent over KCS must be those of the
board's report, in the same order.

usage: check-ovmf-boot.py BOARD_BOOT CODE_IMAGE BOARDS_DIR
  BOARDS_DIR holds first-boot.yaml, second-boot.yaml and set-variables.nsh.
"""
import difflib
import os
import pathlib
import re
import subprocess
import sys
import tempfile

TIME_LIMIT = 120  # seconds per boot; one takes 10 to 40 under TCG on 2 shared cores

FORCE_DEBUG = "[Kcs] NetFn 0x3c Cmd 0x05, 1 data bytes: completion code 0xc1, 0 bytes back"
CONNECT_USB = "[Kcs] NetFn 0x32 Cmd 0xaa, 1 data bytes: completion code 0xc1, 0 bytes back"
BMC_BLOCK = "[Kcs] NetFn 0x3c Cmd 0x01, 44 data bytes: completion code 0xc1, 0 bytes back"

FIRST_BOOT = [
    "[BoardState] port 0x3ff at reset: 0x02",
    "Vexa OEM: BootMarker Entering...",
    "OemIsFirstBoot 1",
    "Vexa OEM: BootMarker End...",
    "[CreateFirstBootHob] First Boot Detected.",
    "[CreateFirstBootHob] Status=Success",
    "[OemLogLevel] LocatePpi IpmiTransportPpi IpmiStatus: Success",
    FORCE_DEBUG,
    "[OemLogLevel] Set debug level as Disabled.",
    # TraceGate reads back the board's token 34 as BootMarker set it, through the PCD window.
    "Get OemIsFirstBoot 1",
] + [CONNECT_USB] * 5 + [BMC_BLOCK] * 5 + [
    "[PcdShim] token 34: 0x0 -> 0x1",
    "[PcdShim] platform PCD PPI given back: Success",
]

SECOND_BOOT = [
    "OemIsFirstBoot 0",
    "[CreateFirstBootHob] Not first boot.",
    FORCE_DEBUG,
    "[OemLogLevel] IPMI Force debug ResponseData[1]=0",
    "[OemLogLevel] Set debug level as Maximum.",
    "Get OemIsFirstBoot 0",
    "[OemLogLevel] RasLogLevel =5",
] + [CONNECT_USB, "Notify BMC connect USB eth Success c1"] * 5 + [
    "01 12 00 01 01 01 01 01 2c 00 00 00 00 00 00 00",
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
    "00 00 00 00 00 00 00 00 00 00 00 00",
] + [BMC_BLOCK] * 5 + [
    "BmcHeraldEntry:OEM block not accepted by BMC, response c1",
    "[PcdShim] token 35: 0x0 -> 0x53",
    "[PcdShim] platform PCD PPI given back: Success",
]
# After memory and MP services: the pointers differ from boot to board, so by pattern.
SECOND_BOOT_AFTER_MEMORY = [r"Reload MM7 with new pointer: ([0-9a-f]+) => ([0-9a-f]+)", r"Sync MM7: ([0-9a-f]+)"]

# The scan trigger HostStructurePei installs after the MP services, with the
# warning log of the board files: DimmSentry's records over KCS, in order.
ADD_SEL = "[Kcs] NetFn 0x0a Cmd 0x44, 16 data bytes: completion code 0x00, 2 bytes back"
HOST_STRUCTURE = r"\[HostStructure\] 0x([0-9a-f]+) bytes of opt/oem/host-structure at 0x([0-9a-f]+)"
TRIGGER_INSTALLED = "[HostStructure] scan trigger installed: Success"
# (OEMEvData1, major, minor) of each record: the repeat is not sent, the
# every-DIMM entry gives one record per present DIMM, the first entry is sent
# again once another one was reported after it.
SEL_RECORDS = [(0x2B, 0x05, 0x02), (0x10, 0x30, 0x01), (0x11, 0x30, 0x01), (0x2B, 0x05, 0x02)]


def sel_line(record):
    return "SelRecord.SensorNumber=0xfd, OEMEvData1=0x%x, OEMEvData2=0x%x, OEMEvData3=0x%x" % record


# At the Maximum level of the second boot: DimmSentry's walk of the log, each record after its exchange.
SECOND_BOOT_SCAN = [
    "DimmSentry - Start",
    "LocatePpi IpmiTransportPpi Status: Success",
    "Enhanced warning log for socket 1, channel 3, dimm 1, rank 0, TempChannel 1, MemController 1",
    ADD_SEL, "OemMemErrorLogToBmc SendIpmiCommand Status: Success, Index:0", sel_line(SEL_RECORDS[0]),
    "Enhanced warning log for socket 1, channel 3, dimm 1, rank 1, TempChannel 1, MemController 1",
    "Same memory, Same info, not log",
    "Enhanced warning log for socket 0, channel 4, dimm ff, rank 0, TempChannel 0, MemController 2",
    ADD_SEL, "OemMemErrorLogToBmc SendIpmiCommand Status: Success, Index:0", sel_line(SEL_RECORDS[1]),
    ADD_SEL, "OemMemErrorLogToBmc SendIpmiCommand Status: Success, Index:0", sel_line(SEL_RECORDS[2]),
    "Enhanced warning log for socket 1, channel 3, dimm 1, rank 2, TempChannel 1, MemController 1",
    ADD_SEL, "OemMemErrorLogToBmc SendIpmiCommand Status: Success, Index:0", sel_line(SEL_RECORDS[3]),
    "DimmSentry - End",
    TRIGGER_INSTALLED,
]

# Lines only the real platform prints, by their start, and why.
COMPANION_RECORDS = {
    "[Kcs] ": "the KCS transport's record of each exchange (the simulated board lists them in its report)",
    "[PcdShim] ": "the PCD window's record of the tokens set (the simulated board lists them in its report)",
    "[BoardState] ": "the board-state companion's record of what it set (the board file sets it)",
    "[Mm7Check] ": "the MM7 check PEIM's reading of every processor (the simulated board lists MM7 in its report)",
    "[HostStructure] ": "the host structure stand-in's record of where it put the board file's bytes and of the "
                        "trigger it installed (the board lays them out itself and lists the trigger's run in its report)",
}
PROCESSORS = 3
ADDRESS = ("an address: OVMF's temporary RAM (below 0x820000) and the permanent memory it allocates, "
           "against the board's 0x7E000000 and 0x40000000")


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


def compare(real, simulated):
    """Every difference between the two consoles, each with its explanation or None."""
    differences = []
    matcher = difflib.SequenceMatcher(a=real, b=simulated, autojunk=False)
    for tag, a0, a1, b0, b1 in matcher.get_opcodes():
        if tag == "equal":
            continue
        only_real, only_board = list(real[a0:a1]), list(simulated[b0:b1])
        # A line on both that differs only in its hexadecimal numbers.
        for line in list(only_real):
            twin = next((b for b in only_board if re.sub(r"[0-9a-f]{5,}", "#", b) == re.sub(r"[0-9a-f]{5,}", "#", line)),
                        None)
            if twin is not None:
                differences.append((f"{line!r} on OVMF, {twin!r} on the board", ADDRESS))
                only_real.remove(line)
                only_board.remove(twin)
        for line in only_real:
            why = next((text for start, text in COMPANION_RECORDS.items() if line.startswith(start)), None)
            differences.append((f"only on OVMF: {line!r}", why))
        for line in only_board:
            differences.append((f"only on the simulated board: {line!r}", None))
    return differences


def alive(pid):
    status = pathlib.Path(f"/proc/{pid}/status")
    return status.exists() and "zombie" not in status.read_text()


def console_of(output):
    lines = output.split("\n== ")[0].splitlines()[1:]
    while lines and not lines[-1].strip():
        lines.pop()
    return lines


def boot(board_boot, image, store, script, name, expected_end, failures, board_file=None):
    args = [board_boot, "--qemu", image, "--vars", str(store), "--processors", str(PROCESSORS), "--time-limit", str(TIME_LIMIT)]
    if script:
        args += ["--shell-script", str(script)]
    if board_file:
        args.append(str(board_file))
    result = subprocess.run(args, capture_output=True, text=True, timeout=TIME_LIMIT + 30)
    print(f"--- {name} ---\n{result.stdout}")
    if result.returncode != 0:
        failures.append(f"{name}: board-boot exit {result.returncode}: {result.stderr.strip()}")
    if expected_end not in result.stdout:
        failures.append(f"{name}: not ended by {expected_end!r}")
    pid = re.search(r"pid (\d+),", result.stdout)
    if pid is None:
        failures.append(f"{name}: board-boot names no QEMU pid")
    elif alive(int(pid.group(1))):
        failures.append(f"{name}: QEMU (pid {pid.group(1)}) still runs")
    return result.stdout


def against_board(board_boot, board_file, real_output, name, failures):
    simulated = subprocess.run([board_boot, str(board_file)], capture_output=True, text=True, timeout=60)
    if simulated.returncode != 0:
        failures.append(f"{name}: the simulated board's boot ended with {simulated.returncode}")
    kcs = re.findall(r"^\[Kcs\] NetFn (0x\w+) Cmd (0x\w+)", real_output, re.M)
    tries = re.findall(r"^  netfn (0x\w+) cmd (0x\w+) try \d+:", simulated.stdout, re.M)
    if [(int(n, 16), int(c, 16)) for n, c in kcs] != [(int(n, 16), int(c, 16)) for n, c in tries] or not kcs:
        failures.append(f"{name}: IPMI requests over KCS {kcs} differ from the simulated board's {tries}")
    differences = compare(console_of(real_output), console_of(simulated.stdout))
    print(f"{name}: OVMF against the simulated board ({board_file.name}): {len(differences)} differences")
    for what, why in differences:
        print(f"  {what}: {why or 'UNEXPLAINED'}")
        if why is None:
            failures.append(f"{name}: unexplained difference, {what}")


def check_scan(lines, name, expected, failures):
    """The host structure read from fw_cfg, then (in order) expected, and the
    four Add SEL Entry exchanges between the structure and the trigger."""
    placed = [m for m in (re.fullmatch(HOST_STRUCTURE, line) for line in lines) if m]
    if len(placed) != 1:
        failures.append(f"{name}: the host structure was placed {len(placed)} times")
        return
    at = lines.index(placed[0].group(0))
    missing = in_order(lines[at:], expected)
    if missing is not None:
        failures.append(f"{name}: after the host structure, the console lacks, in its place: {missing!r}")
    if TRIGGER_INSTALLED in lines[at:]:
        scan = lines[at:lines.index(TRIGGER_INSTALLED, at)]
        sent = [line for line in scan if line.startswith("[Kcs] ")]
        if sent != [ADD_SEL] * len(SEL_RECORDS):
            failures.append(f"{name}: the scan's exchanges over KCS are {sent}, not {len(SEL_RECORDS)} stored SEL records")
    address = int(placed[0].group(2), 16)
    if f"[PcdShim] token 17: 0x0 -> {address:#x}" not in lines[at:]:
        failures.append(f"{name}: token 17 was not set to the host structure at {address:#x}")


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    board_boot, image, boards = argv[1], argv[2], pathlib.Path(argv[3])
    if not pathlib.Path(board_boot).exists():
        print(f"FAIL: no {board_boot}: build the hosted preset first")
        return 1
    failures = []
    with tempfile.TemporaryDirectory() as work:
        store = pathlib.Path(work) / "vars.fd"
        first = boot(board_boot, image, store, boards / "set-variables.nsh", "first boot",
                     "the firmware reset the machine", failures, boards / "first-boot.yaml")
        missing = in_order(console_of(first), FIRST_BOOT)
        if missing is not None:
            failures.append(f"first boot: console lacks, in its place: {missing!r}")
        # Level Disabled: DimmSentry prints nothing, its records still go out.
        check_scan(console_of(first), "first boot", [TRIGGER_INSTALLED], failures)
        against_board(board_boot, boards / "first-boot.yaml", first, "first boot", failures)

        second = boot(board_boot, image, store, None, "second boot", "the UEFI shell was reached", failures,
                      boards / "second-boot.yaml")
        lines = console_of(second)
        missing = in_order(lines, SECOND_BOOT)
        if missing is not None:
            failures.append(f"second boot: console lacks, in its place: {missing!r}")
        check_scan(lines, "second boot", SECOND_BOOT_SCAN, failures)
        sync = next((i for i, line in enumerate(lines) if line.startswith("Sync MM7: ")), None)
        start = lines.index("DimmSentry - Start") if "DimmSentry - Start" in lines else None
        if sync is None or start is None or start < sync:
            failures.append("second boot: DimmSentry's scan did not come after the MP services' Sync MM7")
        matches = [next((re.fullmatch(p, l) for l in lines if re.fullmatch(p, l)), None) for p in SECOND_BOOT_AFTER_MEMORY]
        if None in matches:
            failures.append("second boot: no 'Reload MM7 with new pointer' or no 'Sync MM7'")
        else:
            reload, sync = matches
            old, new = int(reload.group(1), 16), int(reload.group(2), 16)
            # From OVMF's temporary RAM to its permanent memory; the APs get the new one.
            if not old < 0x820000 <= new or int(sync.group(1), 16) != new:
                failures.append(f"second boot: MM7 moved {old:#x} => {new:#x}, synchronised {sync.group(1)}")
            # Every processor's MM7 as the check PEIM read it through OVMF's MP services.
            mm7 = {int(cpu): int(value, 16) for cpu, value in
                   re.findall(r"^\[Mm7Check\] CPU (\d+)(?: \(BSP\))?: 0x([0-9a-f]+)$", second, re.M)}
            if sorted(mm7) != list(range(PROCESSORS)) or set(mm7.values()) != {new}:
                failures.append(f"second boot: MM7 per processor {mm7}, every one should be {new:#x}")
            if "[Mm7Check] every AP's MM7 equals the BSP's: yes" not in lines:
                failures.append("second boot: the MM7 check did not find every AP equal to the BSP")
        against_board(board_boot, boards / "second-boot.yaml", second, "second boot", failures)
    for failure in failures:
        print(f"FAIL: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
