#!/usr/bin/env python3
"""Boots the OVMF image with the modules twice under QEMU (board-boot --qemu)
on one variable store, and checks the debug console of each boot:

  1. an empty store: the modules' messages in the order EDK2's PEI core
     dispatches them (a first boot for BootMarker and TraceGate); the BMC
     behind KCS is OpenIPMI's simulator with the force-debug answer (level 2,
     Normal) in front, which decides the level; the simulator refuses the
     other OEM requests. Then the UEFI shell runs set-variables.nsh from a
     virtual FAT drive, which creates "Setup", "IntelSetup", "OemIsFirstBoot"
     and "MonotonicCounter" and resets;
  2. the same store: the first-boot decisions flipped, the level "Setup"
     decides (the simulator refuses the force-debug request), the RAS log
     level from "IntelSetup", BmcHerald's dump, "Reload MM7 with new pointer"
     after OVMF installs memory and "Sync MM7" once its MP services are there,
     and every processor's MM7 (three of them) equal to the new pointer, as
     the check PEIM reads them through OVMF's MP services.

Both boots are given their board file, whose warning log HostStructurePei
lays out in permanent memory after the MP services (fw_cfg): token 17 points
to it, and DimmSentry's scan, run inside the trigger's installation, sends
its four SEL records to the BMC over KCS (Add SEL Entry, stored); on the
second boot, at level Maximum, DimmSentry's messages say which and why.

After each boot the simulator is held and its SEL read back with ipmitool;
it must hold exactly the records the firmware's Add SEL Entry requests left
(none when there were none), as board-boot's report says. After each, QEMU
and the simulator must be gone. Each boot is also run on the simulated board
from the same board description, and the two consoles are compared line by
line: every difference must be one this script explains, and each is printed
with its explanation; the IPMI requests sent over KCS must be those of the
board's report, in the same order.

With --no-bmc it boots twice with no IPMI device in the machine instead
(Boards/ovmf/no-bmc.yaml; the first boot sets the variables): no KCS
transport, nothing sent, TraceGate finds no transport and "Setup" decides
(Maximum on the second boot); BmcHerald, though it depends on the transport,
is dispatched from the apriori list and finds none.

usage: check-ovmf-boot.py [--no-bmc] BOARD_BOOT CODE_IMAGE BOARDS_DIR
  BOARDS_DIR holds first-boot.yaml, second-boot.yaml, no-bmc.yaml and set-variables.nsh.
"""
import difflib
import json
import os
import pathlib
import re
import select
import signal
import subprocess
import sys
import tempfile
import time

TIME_LIMIT = 120  # seconds per boot; one takes 10 to 40 under TCG on 2 shared cores

FORCE_DEBUG = "[Kcs] NetFn 0x3c Cmd 0x05, 1 data bytes: completion code 0xc1, 0 bytes back"
FORCED = "[Kcs] NetFn 0x3c Cmd 0x05, 1 data bytes: completion code 0x00, 1 bytes back"
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
    FORCED,
    "[OemLogLevel] IPMI Force debug ResponseData[1]=2",
    "[OemLogLevel] Set debug level as Normal.",
    # TraceGate reads back the board's token 34 as BootMarker set it, through the PCD window.
    "Get OemIsFirstBoot 1",
] + [CONNECT_USB] * 5 + [BMC_BLOCK] * 5 + [
    "[PcdShim] token 34: 0x0 -> 0x1",
    "[PcdShim] token 35: 0x0 -> 0x2",
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
PROCESSORS = 3  # the Boards/ovmf files' two application processors and the BSP
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


def console_of(report):
    """The console of an OVMF boot's report, or of the simulated board's text output."""
    lines = list(report["console"]) if isinstance(report, dict) else report.split("\n== ")[0].splitlines()[1:]
    while lines and not lines[-1].strip():
        lines.pop()
    return lines


def read_hold_message(process, deadline):
    """The ipmitool options and the simulator's pid from board-boot's stderr."""
    seen = ""
    descriptor = process.stderr.fileno()
    while time.monotonic() < deadline:
        ready, _, _ = select.select([descriptor], [], [], max(0.0, deadline - time.monotonic()))
        chunk = os.read(descriptor, 4096).decode() if ready else ""
        if not chunk:
            break
        seen += chunk
        pid = re.search(r"ipmi_sim \(pid (\d+)\)", seen)
        options = re.search(r"^  ipmitool (.*) sel list -v$", seen, re.M)
        if pid and options:
            return options.group(1).split(), int(pid.group(1)), seen
    return None, None, seen


def ipmitool_sel(options):
    """The SEL as ipmitool lists it (sel list -v): one dict per record."""
    result = subprocess.run(["ipmitool", *options, "sel", "list", "-v"], capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        raise RuntimeError(f"ipmitool sel list -v failed ({result.returncode}): {result.stderr.strip()}")
    records = []
    for block in re.split(r"\n\s*\n", result.stdout.strip()):
        fields = dict((k.strip(), v.strip()) for k, v in (l.split(":", 1) for l in block.splitlines() if ":" in l))
        if "SEL Record ID" in fields:
            records.append(fields)
    return records


def check_sel(report, listed, name, failures):
    """The SEL ipmitool read from the held simulator against what the firmware
    sent (board-boot's record of the Add SEL Entry requests the BMC accepted)
    and against board-boot's own read-back; zero records must match zero."""
    added = [r for r in report["bmc"]["requests"]
             if int(r["netfn"], 16) == 0x0A and int(r["cmd"], 16) == 0x44 and r.get("completion_code") == "0x00"]
    sent = [(int(r["reply_data"].split()[1] + r["reply_data"].split()[0], 16), "".join(r["data"].split()[13:16]))
            for r in added]
    read = [(int(r["SEL Record ID"], 16), r.get("Event Data", "").lower()) for r in listed]
    held = [(e["id"], e["raw"][26:32]) for e in report["sel"] or []]
    print(f"{name}: SEL: {len(sent)} record(s) sent, {len(read)} read with ipmitool, {len(held)} in board-boot's report")
    if read != sent or held != sent:
        failures.append(f"{name}: SEL records (id, event data) sent {sent}, ipmitool read {read}, board-boot read {held}")


def boot(board_boot, image, store, script, name, expected_end, failures, board_file=None, hold=False):
    """One boot (board-boot --qemu --json); with hold, the simulator's SEL is
    read with ipmitool before board-boot stops it. Returns the report."""
    args = [board_boot, "--qemu", image, "--vars", str(store),
            "--time-limit", str(TIME_LIMIT), "--json"]
    if script:
        args += ["--shell-script", str(script)]
    if hold:
        args.append("--hold-bmc")
    if board_file:
        args.append(str(board_file))  # its processors: board-boot starts QEMU with as many
    else:
        args += ["--processors", str(PROCESSORS)]
    listed, simulator, stderr = None, None, ""
    with tempfile.TemporaryFile("w+") as output:
        process = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=output, stderr=subprocess.PIPE)
        try:
            if hold:
                options, simulator, stderr = read_hold_message(process, time.monotonic() + TIME_LIMIT + 30)
                if options is None:
                    failures.append(f"{name}: board-boot did not hold the simulator: {stderr.strip()}")
                else:
                    try:
                        listed = ipmitool_sel(options)
                    except (RuntimeError, subprocess.TimeoutExpired) as error:
                        failures.append(f"{name}: {error}")
        finally:
            process.stdin.close()  # board-boot stops the simulator and exits
            try:
                status = process.wait(timeout=TIME_LIMIT + 30)
            except subprocess.TimeoutExpired:
                process.kill()
                status = process.wait()
            stderr += process.stderr.read().decode()
            process.stderr.close()
        if simulator is not None and alive(simulator):
            os.kill(simulator, signal.SIGKILL)
            failures.append(f"{name}: ipmi_sim (pid {simulator}) outlived board-boot")
        output.seek(0)
        text = output.read()
    try:
        report = json.loads(text)
    except ValueError:
        failures.append(f"{name}: board-boot exit {status}, no report: {stderr.strip()}")
        return {"console": [], "bmc": {"requests": []}, "sel": None}
    print(f"--- {name} ---")
    print("\n".join(report["console"]))
    print(json.dumps({key: value for key, value in report.items() if key != "console"}, indent=1))
    if status != 0:
        failures.append(f"{name}: board-boot exit {status}: {stderr.strip()}")
    if report["qemu"]["end"] != expected_end:
        failures.append(f"{name}: ended by {report['qemu']['end']!r}, not {expected_end!r}")
    if alive(report["qemu"]["pid"]):
        failures.append(f"{name}: QEMU (pid {report['qemu']['pid']}) still runs")
    if hold and listed is not None:
        check_sel(report, listed, name, failures)
    return report


def against_board(board_boot, board_file, real_output, name, failures, expect_ipmi=True):
    simulated = subprocess.run([board_boot, str(board_file)], capture_output=True, text=True, timeout=60)
    if simulated.returncode != 0:
        failures.append(f"{name}: the simulated board's boot ended with {simulated.returncode}")
    kcs = re.findall(r"^\[Kcs\] NetFn (0x\w+) Cmd (0x\w+)", "\n".join(console_of(real_output)), re.M)
    tries = re.findall(r"^  netfn (0x\w+) cmd (0x\w+) try \d+:", simulated.stdout, re.M)
    if [(int(n, 16), int(c, 16)) for n, c in kcs] != [(int(n, 16), int(c, 16)) for n, c in tries] or (
            not kcs and expect_ipmi):
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


def check_decisions(report, name, level, source, first_boot, failures):
    """board-boot's reading of the console: the level, who decided it, the first-boot decisions."""
    decided = (report["debug_level"]["level"], report["debug_level"]["source"])
    firsts = (report["first_boot"]["boot_marker"], report["first_boot"]["trace_gate"])
    if decided != (level, source) or firsts != (first_boot, first_boot):
        failures.append(f"{name}: the report says level {decided}, first boot {firsts}; "
                        f"expected {(level, source)}, {(first_boot, first_boot)}")


def two_boots(board_boot, image, boards, store, failures):
    first = boot(board_boot, image, store, boards / "set-variables.nsh", "first boot",
                 "the firmware reset the machine", failures, boards / "first-boot.yaml", hold=True)
    missing = in_order(console_of(first), FIRST_BOOT)
    if missing is not None:
        failures.append(f"first boot: console lacks, in its place: {missing!r}")
    if first.get("debug_level"):
        check_decisions(first, "first boot", "Normal", "BMC", True, failures)
    check_scan(console_of(first), "first boot", [TRIGGER_INSTALLED], failures)
    against_board(board_boot, boards / "first-boot.yaml", first, "first boot", failures)

    second = boot(board_boot, image, store, None, "second boot", "the UEFI shell was reached", failures,
                  boards / "second-boot.yaml", hold=True)
    lines = console_of(second)
    missing = in_order(lines, SECOND_BOOT)
    if missing is not None:
        failures.append(f"second boot: console lacks, in its place: {missing!r}")
    if second.get("debug_level"):
        check_decisions(second, "second boot", "Maximum", "Setup", False, failures)
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
               re.findall(r"^\[Mm7Check\] CPU (\d+)(?: \(BSP\))?: 0x([0-9a-f]+)$", "\n".join(lines), re.M)}
        if sorted(mm7) != list(range(PROCESSORS)) or set(mm7.values()) != {new}:
            failures.append(f"second boot: MM7 per processor {mm7}, every one should be {new:#x}")
        if "[Mm7Check] every AP's MM7 equals the BSP's: yes" not in lines:
            failures.append("second boot: the MM7 check did not find every AP equal to the BSP")
        if second.get("mm7", {}).get("all_equal_to_bsp") is not True:
            failures.append("second boot: board-boot's report does not find every AP's MM7 equal to the BSP's")
    against_board(board_boot, boards / "second-boot.yaml", second, "second boot", failures)


NO_BMC = [
    "[Kcs] no interface: port 0xca3 reads 0xff, no IPMI transport installed",
    "OemIsFirstBoot 0",
    "[CreateFirstBootHob] Not first boot.",
    "[OemLogLevel] LocatePpi IpmiTransportPpi IpmiStatus: Not Found",
    "[OemLogLevel] Set debug level as Maximum.",
    "[OemLogLevel] RasLogLevel =5",
    # Dispatched from the apriori list although the transport it depends on is not there.
    "BmcHeraldEntry:LocatePpi IpmiTransportPpi Not Found",
    "[PcdShim] token 35: 0x0 -> 0x53",
    "[PcdShim] platform PCD PPI given back: Success",
]
# Nothing may be sent: no KCS exchange, no request of TraceGate's or BmcHerald's.
NOT_WITHOUT_BMC = ("[Kcs] NetFn", "Notify BMC connect USB eth", "BmcHeraldEntry:OEM block",
                   "[OemLogLevel] IPMI Force debug IpmiStatus")


def no_bmc_boots(board_boot, image, boards, store, failures):
    """No IPMI device: the first boot sets the variables, the second shows "Setup" deciding."""
    boot(board_boot, image, store, boards / "set-variables.nsh", "first boot without a BMC",
         "the firmware reset the machine", failures, boards / "no-bmc.yaml")
    second = boot(board_boot, image, store, None, "second boot without a BMC", "the UEFI shell was reached", failures,
                  boards / "no-bmc.yaml")
    lines = console_of(second)
    missing = in_order(lines, NO_BMC)
    if missing is not None:
        failures.append(f"second boot without a BMC: console lacks, in its place: {missing!r}")
    for line in lines:
        if line.startswith(NOT_WITHOUT_BMC):
            failures.append(f"second boot without a BMC: {line!r}")
    if second.get("debug_level"):
        check_decisions(second, "second boot without a BMC", "Maximum", "Setup (no IPMI transport)", False, failures)
    against_board(board_boot, boards / "no-bmc.yaml", second, "second boot without a BMC", failures, expect_ipmi=False)


def main(argv):
    no_bmc = "--no-bmc" in argv
    argv = [a for a in argv if a != "--no-bmc"]
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
        (no_bmc_boots if no_bmc else two_boots)(board_boot, image, boards, store, failures)
    for failure in failures:
        print(f"FAIL: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
