"""Boots a board whose ipmi_sim is not running: the boot runs to its end,
every IPMI try fails at the transport, and board-boot says so in the report
and on stderr.

usage: unreachable_bmc.py BOARD_BOOT
"""
import os
import socket
import subprocess
import sys
import tempfile

BOARD = """\
scratch-register: 0x02
variables:
  Setup: {{fields: {{DebugLevel: 2}}}}
bmc:
  ipmi-sim: {{port: {port}, reply-timeout-ms: 500}}
boot: [TraceGate, BmcHerald]
"""


def main(board_boot):
    # Bound but never listening: connections are refused, and no other
    # process can take the port while the test runs.
    refusing = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    refusing.bind(("127.0.0.1", 0))
    port = refusing.getsockname()[1]
    with tempfile.TemporaryDirectory(prefix="unreachable-bmc-") as folder:
        board = os.path.join(folder, "board.yaml")
        with open(board, "w") as out:
            out.write(BOARD.format(port=port))
        result = subprocess.run([board_boot, board], capture_output=True, text=True, timeout=120)
    refusing.close()

    problems = []
    if result.returncode != 0:
        problems.append(f"exit status {result.returncode}")
    # TraceGate: 10 tries; BmcHerald: 5 for each of its two requests.
    if "board-boot: 20 of 20 IPMI tries failed at the transport; the last: not reachable: " \
       f"nothing accepts connections at 127.0.0.1:{port}" not in result.stderr:
        problems.append("no clear word on stderr")
    if "20 tries, 20 not reachable" not in result.stdout:
        problems.append("the BMC section does not count the failed tries")
    if result.stdout.count("-> No Response [] (not reachable: ") != 20:
        problems.append("not every try says why it failed")
    if "[OemLogLevel] Set debug level as Normal." not in result.stdout:
        problems.append("\"Setup\" did not decide the level")
    if problems:
        print("FAIL: " + "; ".join(problems) + "\n" + result.stderr + result.stdout, file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main(sys.argv[1])
