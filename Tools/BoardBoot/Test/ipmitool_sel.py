"""Boots a board whose BMC is OpenIPMI's simulator, then reads the SEL the
modules left in it with ipmitool over RMCP+ (sel list -v) and decodes the raw
SEL file board-boot wrote (ipmitool sel readraw; ipmiutil events -b once the
simulator is gone). Every process started here is stopped by its process id,
also when a check fails.

usage: ipmitool_sel.py BOARD_BOOT BOARD_FILE
"""
import os
import re
import select
import signal
import subprocess
import sys
import tempfile
import time

# The records the board's warning log gives: event data 1 (location), major
# and minor code; in log order, the repeated entry left out.
EXPECTED_EVENT_DATA = ["2b0502", "103001", "113001", "a0aaa1"]
EXPECTED_FIELDS = {
    "Record Type": "02",
    "Generator ID": "0021",
    "EvM Revision": "04",
    "Sensor Type": "Memory",
    "Sensor Number": "fd",
    "Event Type": "Sensor-specific Discrete",
    "Event Direction": "Assertion Event",
}


def fail(message):
    raise AssertionError(message)


def read_hold_message(process, deadline):
    """The ipmitool options and the simulator's pid from board-boot's stderr."""
    seen = ""
    pid = None
    descriptor = process.stderr.fileno()  # read unbuffered, so select sees every byte
    while time.monotonic() < deadline:
        ready, _, _ = select.select([descriptor], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            break
        chunk = os.read(descriptor, 4096).decode()
        if not chunk:
            break
        seen += chunk
        found = re.search(r"ipmi_sim \(pid (\d+)\)", seen)
        if found:
            pid = int(found.group(1))
        for line in seen.splitlines(keepends=True):
            if line.startswith("  ipmitool ") and line.endswith(" sel list -v\n"):
                if pid is None:
                    fail("no simulator pid before the ipmitool line:\n" + seen)
                return line.split()[1:-3], pid
    fail("board-boot did not hold the simulator:\n" + seen)


def ipmitool(options, *command):
    result = subprocess.run(["ipmitool", *options, *command], capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        fail(f"ipmitool {' '.join(command)} failed ({result.returncode}):\n{result.stderr}")
    return result.stdout


def parse_verbose(text):
    """sel list -v: one dict per record."""
    records = []
    for block in re.split(r"\n\s*\n", text.strip()):
        fields = {}
        for line in block.splitlines():
            if ":" in line:
                key, value = line.split(":", 1)
                fields[key.strip()] = value.strip()
        if fields:
            records.append(fields)
    return records


def check_verbose(records):
    if [r.get("Event Data") for r in records] != EXPECTED_EVENT_DATA:
        fail(f"event data {[r.get('Event Data') for r in records]}, expected {EXPECTED_EVENT_DATA}")
    for record in records:
        for key, value in EXPECTED_FIELDS.items():
            if record.get(key) != value:
                fail(f"record {record.get('SEL Record ID')}: {key} is {record.get(key)!r}, expected {value!r}")


def check_offline(sel_file):
    """ipmiutil decodes the raw file with no BMC at all (board-boot has stopped it)."""
    result = subprocess.run(["ipmiutil", "events", "-b", sel_file], capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        fail(f"ipmiutil events -b failed ({result.returncode}):\n{result.stdout}{result.stderr}")
    found = re.findall(r"^\w{4} .* Memory #fd .* 6f \[(\w\w) (\w\w) (\w\w)\]$", result.stdout, re.MULTILINE)
    if ["".join(data) for data in found] != EXPECTED_EVENT_DATA:
        fail("ipmiutil events -b decoded:\n" + result.stdout)


def short_lines(text):
    return [line.strip() for line in text.splitlines() if line.strip()]


def process_gone(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return True
    return False


def main(board_boot, board_file):
    with tempfile.TemporaryDirectory(prefix="ipmitool-sel-") as folder:
        sel_file = os.path.join(folder, "sel.raw")
        report = open(os.path.join(folder, "report.txt"), "w+")
        process = subprocess.Popen([board_boot, "--hold-bmc", "--sel-file", sel_file, board_file],
                                   stdin=subprocess.PIPE, stdout=report, stderr=subprocess.PIPE)
        simulator = None
        try:
            options, simulator = read_hold_message(process, time.monotonic() + 60)

            records = parse_verbose(ipmitool(options, "sel", "list", "-v"))
            check_verbose(records)

            raw = open(sel_file, "rb").read()
            if len(raw) != 16 * len(EXPECTED_EVENT_DATA):
                fail(f"the raw SEL file has {len(raw)} bytes")
            listed = short_lines(ipmitool(options, "sel", "list"))
            decoded = short_lines(ipmitool(options, "sel", "readraw", sel_file))
            if decoded != listed:
                fail("sel readraw of the file:\n" + "\n".join(decoded) + "\ndiffers from sel list:\n" + "\n".join(listed))
            # readraw decodes the file, not the BMC: half the file, half the records.
            half = os.path.join(folder, "half.raw")
            open(half, "wb").write(raw[:32])
            if short_lines(ipmitool(options, "sel", "readraw", half)) != listed[:2]:
                fail("sel readraw of the first two records does not give the first two lines")
        finally:
            process.stdin.close()  # board-boot stops the simulator and exits
            try:
                status = process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                status = "killed"
            if simulator is not None and not process_gone(simulator):
                os.kill(simulator, signal.SIGKILL)
                fail(f"ipmi_sim (pid {simulator}) outlived board-boot")
        if status != 0:
            report.seek(0)
            fail(f"board-boot exited with {status}:\n{process.stderr.read().decode()}\n{report.read()}")
        check_offline(sel_file)
    print(f"{len(records)} SEL records read with ipmitool sel list -v, sel readraw and ipmiutil events -b")


if __name__ == "__main__":
    try:
        main(*sys.argv[1:3])
    except AssertionError as error:
        print("FAIL:", error, file=sys.stderr)
        sys.exit(1)
