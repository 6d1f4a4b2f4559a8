#!/usr/bin/env python3
"""ovmf-image refuses, with a message saying why and exit status 1, what it
cannot do: a layout it does not know, files that do not fit, a file already
there, a PEIM to run before memory that is not in the volume. Nothing is
written then.

usage: check-ovmf-refusals.py OVMF_IMAGE STOCK.fd FILE.ffs...
"""
import pathlib
import struct
import subprocess
import sys
import tempfile


def ffs_file(size):
    """A freeform file of `size` bytes of data in one RAW section; both checksums valid."""
    section = struct.pack("<I", (size + 4) | 0x19 << 24) + bytes(size)
    total = 24 + len(section)
    header = bytearray(bytes(range(1, 17)) + bytes([0, 0, 0x02, 0x00]) + struct.pack("<I", total)[:3] + b"\x00")
    header[16] = -sum(header) & 0xFF  # header checksum, State and file checksum counted as zero
    header[17] = 0xAA                 # no data checksum
    header[23] = 0x07                 # valid file, erase-polarity-0 form
    return bytes(header) + section


def main(argv):
    if len(argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    tool, stock, files = argv[1], pathlib.Path(argv[2]), argv[3:]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        work = pathlib.Path(work)
        stock_bytes = stock.read_bytes()
        zeros = work / "zeros.fd"
        zeros.write_bytes(bytes(len(stock_bytes)))
        # The LZMA GUID of the compressed section altered, its file's checksum left alone.
        other_encoding = work / "other-encoding.fd"
        altered = bytearray(stock_bytes)
        at = altered.find(bytes.fromhex("98584EEE14395942"))
        altered[at] ^= 0xFF
        other_encoding.write_bytes(bytes(altered))
        truncated = work / "truncated.fd"
        truncated.write_bytes(stock_bytes[:0x100000])
        huge = work / "huge.ffs"
        huge.write_bytes(ffs_file(0x100000))

        cases = [
            ("an image of zeros", [str(zeros)] + files, "not the OVMF layout this tool knows: the image does not start"),
            ("a truncated image", [str(truncated)] + files, "not the OVMF layout this tool knows"),
            ("the compressed section altered", [str(other_encoding)] + files, "not the OVMF layout this tool knows"),
            ("files that do not fit", [str(stock), str(huge)], "no room: the PEI volume has"),
            ("a file twice", [str(stock)] + files + files[:1], "is already in the PEI volume"),
            ("an unknown PEIM before memory", ["--before-memory", "NoSuchPeim", str(stock)] + files,
             "no PEIM named NoSuchPeim"),
        ]
        for what, args, expected in cases:
            out = work / "out.fd"
            result = subprocess.run([tool, "insert", "-o", str(out)] + args, capture_output=True, text=True)
            if result.returncode != 1 or expected not in result.stderr or out.exists():
                failures.append(f"{what}: exit {result.returncode}, wrote {out.exists()}, said {result.stderr.strip()!r}")
    for failure in failures:
        print(f"FAIL: {failure}")
    if failures:
        return 1
    print(f"OK: {len(cases)} refusals")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
