#!/usr/bin/env python3
"""Checks a PEIM firmware volume with an independent parser, UEFIExtract.

Passes only when UEFIExtract:
  - prints no message except the one that says the volume holds no volume
    top file (it is not the boot volume);
  - lists an FFSv2 volume holding exactly the expected PEI module files, each
    with its GUID and user-interface name, and nothing else but pad files and
    free space;
  - extracts each module's PE32 body byte-identical to its rebased image.
UEFIExtract exits 0 whatever it finds, so this reads what it prints.

usage: check-volume.py UEFIEXTRACT VOLUME REBASED_DIR NAME=GUID...
"""
import pathlib
import shutil
import subprocess
import sys
import tempfile

NOT_BOOT_VOLUME = "parse: not a single Volume Top File is found, the image may be corrupted"


def report_rows(report_text):
    """(type, subtype, name) of each row of UEFIExtract's report."""
    rows = []
    for line in report_text.splitlines()[1:]:
        cells = [cell.strip() for cell in line.split("|")]
        if len(cells) >= 6:
            rows.append((cells[0], cells[1], " | ".join(cells[5:]).lstrip("- ")))
    return rows


def check(tool, volume, rebased_dir, modules):
    failures = []
    with tempfile.TemporaryDirectory() as work:
        work = pathlib.Path(work)
        copy = work / "volume.fv"
        shutil.copyfile(volume, copy)
        result = subprocess.run([tool, str(copy), "report"], capture_output=True, text=True, cwd=work)
        for line in (result.stdout + result.stderr).splitlines():
            if line.strip() and line.strip() != NOT_BOOT_VOLUME:
                failures.append(f"UEFIExtract: {line.strip()}")
        report = work / "volume.fv.report.txt"
        if not report.exists():
            return failures + ["UEFIExtract wrote no report"]
        rows = report_rows(report.read_text(errors="replace"))

        if not any(kind == "Volume" and subtype == "FFSv2" for kind, subtype, _ in rows):
            failures.append("no FFSv2 volume in the report")
        files = [(subtype, name) for kind, subtype, name in rows if kind == "File"]
        expected = {f"{guid} | {name}" for name, guid in modules.items()}
        found = {name for subtype, name in files if subtype == "PEI module"}
        for missing in sorted(expected - found):
            failures.append(f"PEI module file {missing} not found")
        for subtype, name in files:
            if not (subtype == "Pad" or (subtype == "PEI module" and name in expected)):
                failures.append(f"unexpected file: {subtype} {name}")

        for name, guid in modules.items():
            out = work / f"extract-{name}"
            result = subprocess.run([tool, str(copy), guid, "-o", str(out), "-m", "body", "-t", "10"],
                                    capture_output=True, text=True, cwd=work)
            body = out / "body.bin"
            if result.returncode != 0 or not body.exists():
                failures.append(f"{name}: UEFIExtract extracted no PE32 body (exit {result.returncode})")
                continue
            rebased = pathlib.Path(rebased_dir) / f"{name}.efi"
            if body.read_bytes() != rebased.read_bytes():
                failures.append(f"{name}: PE32 body in the volume differs from {rebased}")
    return failures


def main(argv):
    if len(argv) < 5:
        print(__doc__, file=sys.stderr)
        return 2
    tool, volume, rebased_dir = argv[1:4]
    modules = dict(arg.split("=", 1) for arg in argv[4:])
    failures = check(tool, volume, rebased_dir, modules)
    for failure in failures:
        print(f"FAIL: {failure}")
    if failures:
        return 1
    print(f"OK: {volume}: {len(modules)} PEI modules, every checksum valid, every image as rebased")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
