#!/usr/bin/env python3
"""Checks an OVMF code image with the modules inserted, with UEFIExtract.

Passes only when UEFIExtract, an independent parser:
  - prints no message about the new image (none about the stock one either),
    so every size and checksum it checks holds, through the LZMA section;
  - lists each module as a PEI module file with its GUID and name;
  - finds one PEI apriori file, listing the stock apriori entries and then
    the modules that run before memory, in that order;
  - extracts each module's PE32 body equal to the image as rebased, linked
    at a 32-byte aligned address inside the PEI volume the stock PEIMs
    were linked for;
  - extracts every stock PEIM and the PEI core byte-identical: nothing moved.
UEFIExtract exits 0 whatever it finds, so this reads what it prints.

usage: check-ovmf-image.py UEFIEXTRACT STOCK.fd NEW.fd REBASED_DIR BEFORE,MEMORY,... NAME=GUID...
"""
import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile
import uuid

APRIORI = "1B45CC0A-156A-428A-AF62-49864DA0E6E6"
PE32, RAW = "10", "19"
PEI_VOLUME_LENGTH = 0xE0000  # of the stock image's PEI volume


def report(tool, image, work):
    copy = work / image.name
    shutil.copyfile(image, copy)
    result = subprocess.run([tool, str(copy), "report"], capture_output=True, text=True, cwd=work)
    messages = [line.strip() for line in (result.stdout + result.stderr).splitlines() if line.strip()]
    rows = []
    for line in (work / f"{image.name}.report.txt").read_text(errors="replace").splitlines()[1:]:
        cells = [cell.strip() for cell in line.split("|")]
        if len(cells) >= 6:
            rows.append((cells[0], cells[1], cells[5].lstrip("- "), cells[6] if len(cells) > 6 else ""))
    return messages, rows, copy


def extract(tool, image, guid, section_type, work):
    out = work / f"x-{image.stem}-{guid}-{section_type}"
    result = subprocess.run([tool, str(image), guid, "-o", str(out), "-m", "body", "-t", section_type],
                            capture_output=True, text=True, cwd=work)
    body = out / "body.bin"
    return body.read_bytes() if result.returncode == 0 and body.exists() else None


def guids(body):
    return [str(uuid.UUID(bytes_le=body[i:i + 16])).upper() for i in range(0, len(body), 16)]


def image_base(pe):
    header = struct.unpack_from("<I", pe, 0x3C)[0]
    return struct.unpack_from("<I", pe, header + 24 + 28)[0]


def check(tool, stock, new, rebased_dir, before_memory, modules):
    failures = []
    with tempfile.TemporaryDirectory() as work:
        work = pathlib.Path(work)
        (work / "stock").mkdir()
        (work / "new").mkdir()
        stock_messages, stock_rows, stock_copy = report(tool, stock, work / "stock")
        new_messages, new_rows, new_copy = report(tool, new, work / "new")
        failures += [f"UEFIExtract on the new image: {m}" for m in new_messages]
        if stock_messages:
            failures.append(f"UEFIExtract already complains about the stock image: {stock_messages}")

        new_files = {(guid, name): subtype for kind, subtype, guid, name in new_rows if kind == "File"}
        for name, guid in modules.items():
            if new_files.get((guid, name)) != "PEI module":
                failures.append(f"{name} ({guid}) is not listed as a PEI module file")
        apriori_rows = [row for row in new_rows if row[0] == "File" and row[2] == APRIORI]
        if len(apriori_rows) != 1:
            failures.append(f"{len(apriori_rows)} PEI apriori files, not one")

        stock_list = extract(tool, stock_copy, APRIORI, RAW, work)
        new_list = extract(tool, new_copy, APRIORI, RAW, work)
        # Names of inserted files, or of stock PEIMs (such as the variable service).
        by_name = {name: guid for kind, _, guid, name in new_rows if kind == "File" and name}
        expected = guids(stock_list or b"") + [by_name.get(name, f"(no file {name})") for name in before_memory]
        if new_list is None or guids(new_list) != expected:
            failures.append(f"apriori list {guids(new_list or b'')}, expected {expected}")

        stock_peims = [guid for kind, subtype, guid, _ in stock_rows
                       if kind == "File" and subtype in ("PEI module", "PEI core")]
        bases = {}
        for guid in stock_peims:
            before = extract(tool, stock_copy, guid, PE32, work)
            after = extract(tool, new_copy, guid, PE32, work)
            if before is None or before != after:
                failures.append(f"stock file {guid} changed or was not extracted")
            elif guid != stock_peims[0]:
                bases[guid] = image_base(before)
        if not bases:
            failures.append("no stock PEIM to tell where the PEI volume runs")
        low, high = min(bases.values(), default=0), max(bases.values(), default=0)

        for name, guid in modules.items():
            body = extract(tool, new_copy, guid, PE32, work)
            rebased = pathlib.Path(rebased_dir) / f"{name}.efi"
            if body is None:
                failures.append(f"{name}: UEFIExtract extracted no PE32 body")
                continue
            if body != rebased.read_bytes():
                failures.append(f"{name}: PE32 body differs from {rebased}")
            base = image_base(body)
            # After the stock images, inside the PEI volume they run from.
            if base % 32 or not high < base < low + PEI_VOLUME_LENGTH:
                failures.append(f"{name}: linked at 0x{base:X}, not after the stock images (0x{low:X}..0x{high:X})")
    return failures


def main(argv):
    if len(argv) < 6:
        print(__doc__, file=sys.stderr)
        return 2
    tool, stock, new, rebased_dir, before = argv[1:6]
    modules = dict(arg.split("=", 1) for arg in argv[6:])
    before_memory = [name for name in before.split(",") if name]
    failures = check(tool, pathlib.Path(stock), pathlib.Path(new), rebased_dir, before_memory, modules)
    for failure in failures:
        print(f"FAIL: {failure}")
    if failures:
        return 1
    print(f"OK: {new}: {len(modules)} modules inserted, apriori {before_memory}, stock files unchanged")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
