#!/usr/bin/env python3
"""Runs a Windows test program under Wine with COM1 on a pseudo-terminal.

The harness holds the pseudo-terminal's master side (and a descriptor of its
slave, which shows the line's settings), points LINK (which the prefix maps
to COM1) at its slave, and runs the program with the modem-line
shim preloaded. The program drives the master side through its standard
streams: a line "@host <command>" on its output is a request, answered with
one line on its input; every other line is passed through.

  write HEX       writes the bytes to the line            -> "ok"
  read N MS       reads up to N bytes, waiting MS ms       -> "data HEX"
  speed           the line's output speed in bit/s         -> "speed 9600"
  hangup          closes the master side                   -> "ok"
  rtslog          the shim's RTS changes so far            -> "log SETRTS,CLRRTS,..."

usage: harness.py PREFIX SHIM LINK LOG PROGRAM [ARGS...]
"""
import os
import select
import subprocess
import sys
import termios
import time
import tty

# The speeds a Windows program sets through SetCommState, as termios names them.
SPEEDS = {getattr(termios, f"B{baud}"): baud for baud in
          (110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400)}


def main():
    prefix, shim, link, log, *program = sys.argv[1:]
    master, slave = os.openpty()
    tty.setraw(slave)
    tmp = link + ".new"
    if os.path.lexists(tmp):
        os.unlink(tmp)
    os.symlink(os.ttyname(slave), tmp)
    os.replace(tmp, link)
    if os.path.exists(log):
        os.unlink(log)
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", LD_PRELOAD=shim, TRELLUM_SHIM_LOG=log)
    child = subprocess.Popen(["wine"] + program, stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env)

    def answer(text):
        child.stdin.write((text + "\n").encode())
        child.stdin.flush()

    for raw in child.stdout:
        line = raw.decode(errors="replace").rstrip("\r\n")
        if not line.startswith("@host "):
            print(line, flush=True)
            continue
        words = line.split()[1:]
        if words[0] == "write":
            os.write(master, bytes.fromhex(words[1] if len(words) > 1 else ""))
            answer("ok")
        elif words[0] == "read":
            wanted, deadline = int(words[1]), time.monotonic() + int(words[2]) / 1000
            got = b""
            while len(got) < wanted:
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([master], [], [], left)[0]:
                    break
                try:
                    got += os.read(master, wanted - len(got))
                except OSError:
                    break
            answer("data " + got.hex())
        elif words[0] == "speed":
            answer(f"speed {SPEEDS.get(termios.tcgetattr(slave)[5], 0)}")
        elif words[0] == "hangup":
            os.close(master)
            answer("ok")
        elif words[0] == "rtslog":
            entries = open(log).read().split() if os.path.exists(log) else []
            answer("log " + ",".join(entries))
        else:
            answer("unknown")
    return child.wait()


if __name__ == "__main__":
    sys.exit(main())
