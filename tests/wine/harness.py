#!/usr/bin/env python3
"""Runs a Windows test program under Wine with COM1 on a pseudo-terminal.

The harness holds a pseudo-terminal's master side (and a descriptor of its
slave, which shows the line's settings), points LINK (which the prefix maps
to COM1) at its slave, and runs the program with the modem-line shim
preloaded. The program drives the harness through its standard streams: a
line "@host <command>" on its output is a request, answered with one line on
its input; every other line is passed through.

  write HEX       writes the bytes to the line            -> "ok"
  read N MS       reads up to N bytes, waiting MS ms       -> "data HEX"
  speed           the line's output speed in bit/s         -> "speed 9600"
  hangup          closes the master side                   -> "ok"
  rtslog          the shim's RTS changes so far            -> "log SETRTS,CLRRTS,..."

With --reader, the virtual reader runs here in the program's stead and COM1
is its line (it keeps LINK pointing at its pseudo-terminal):

  reader-start ARGS  starts it with the tab-separated arguments; Windows
                     paths (C:\\..., Z:/...) become the host's   -> "ok"
  reader-in HEX      writes the bytes to its control channel   -> "ok"
  reader-out         what it printed since the last request    -> "out HEX"
  reader-end         closes its control channel, waits         -> "end CODE"
                     (what it printed last is still read with reader-out)

Its "device" announcement reads "device \\\\.\\COM1".

Wine's own output (and its server's, which dumps its objects whenever a
pseudo-terminal it opened hangs up) goes to LOG.wine, whose last lines are
shown when the program fails.
"""
import argparse
import os
import re
import select
import subprocess
import sys
import termios
import threading
import time
import tty

# The speeds a Windows program sets through SetCommState, as termios names them.
SPEEDS = {getattr(termios, f"B{baud}"): baud for baud in
          (110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400)}


def point_link(link, target):
    tmp = link + ".new"
    if os.path.lexists(tmp):
        os.unlink(tmp)
    os.symlink(target, tmp)
    os.replace(tmp, link)


class Reader:
    """The virtual reader with its output collected by a thread of its own."""

    def __init__(self, path, prefix, link, arguments):
        arguments = [host_path(prefix, a) for a in arguments] + ["--link", link]
        self.process = subprocess.Popen([path] + arguments, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.output = b""
        self.code = None
        self.lock = threading.Lock()
        self.thread = threading.Thread(target=self.collect, daemon=True)
        self.thread.start()

    def collect(self):
        for line in self.process.stdout:
            if line.startswith(b"device "):
                line = b"device \\\\.\\COM1\n"
            with self.lock:
                self.output += line

    def take(self):
        with self.lock:
            out, self.output = self.output, b""
        return out

    def send(self, data):
        self.process.stdin.write(data)
        self.process.stdin.flush()

    def end(self):
        if self.code is not None:
            return self.code
        try:
            self.process.stdin.close()
        except OSError:
            pass
        try:
            code = self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            code = -1
        self.thread.join()
        self.code = code
        return code


def host_path(prefix, argument):
    """A Windows path of the prefix as the host sees it, through dosdevices."""
    m = re.match(r"^([A-Za-z]):[\\/](.*)$", argument)
    if not m:
        return argument
    drive = os.path.realpath(os.path.join(prefix, "dosdevices", m.group(1).lower() + ":"))
    return os.path.join(drive, m.group(2).replace("\\", "/"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--prefix", required=True, help="the Wine prefix")
    parser.add_argument("--shim", required=True, help="the modem-line shim to preload")
    parser.add_argument("--link", required=True, help="the link the prefix maps to COM1")
    parser.add_argument("--log", required=True, help="where the shim logs RTS changes")
    parser.add_argument("--reader", help="the host's trellum-reader, for reader-* requests")
    parser.add_argument("program", nargs=argparse.REMAINDER, help="the Windows program and its arguments")
    args = parser.parse_args()

    master, slave = os.openpty()
    tty.setraw(slave)
    point_link(args.link, os.ttyname(slave))
    if os.path.exists(args.log):
        os.unlink(args.log)
    env = dict(os.environ, WINEPREFIX=args.prefix, WINEDEBUG="-all", LD_PRELOAD=args.shim,
               TRELLUM_SHIM_LOG=args.log, WINEQT_QPA_FONTDIR="Z:/usr/share/fonts/truetype/dejavu")
    program = [p for p in args.program if p != "--"]
    wine_log = open(args.log + ".wine", "w+b")
    child = subprocess.Popen(["wine"] + program, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=wine_log,
                             env=env)
    reader = None

    def answer(text):
        child.stdin.write((text + "\n").encode())
        child.stdin.flush()

    for raw in child.stdout:
        line = raw.decode(errors="replace").rstrip("\r\n")
        if not line.startswith("@host "):
            print(line, flush=True)
            continue
        verb, _, rest = line[6:].partition(" ")
        words = rest.split()
        if verb == "write":
            os.write(master, bytes.fromhex(rest))
            answer("ok")
        elif verb == "read":
            wanted, deadline = int(words[0]), time.monotonic() + int(words[1]) / 1000
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
        elif verb == "speed":
            answer(f"speed {SPEEDS.get(termios.tcgetattr(slave)[5], 0)}")
        elif verb == "hangup":
            os.close(master)
            answer("ok")
        elif verb == "rtslog":
            entries = open(args.log).read().split() if os.path.exists(args.log) else []
            answer("log " + ",".join(entries))
        elif verb == "reader-start" and args.reader:
            if reader:
                reader.end()
            reader = Reader(args.reader, args.prefix, args.link, rest.split("\t") if rest else [])
            answer("ok")
        elif verb == "reader-in" and reader:
            try:
                reader.send(bytes.fromhex(rest))
                answer("ok")
            except OSError:
                answer("closed")
        elif verb == "reader-out" and reader:
            answer("out " + reader.take().hex())
        elif verb == "reader-end" and reader:
            answer(f"end {reader.end()}")
        else:
            print(f"harness: no answer to {line}", file=sys.stderr, flush=True)
            answer("unknown")
    if reader:
        reader.end()
    code = child.wait()
    if code != 0:
        wine_log.seek(0)
        said = [l for l in wine_log.read().decode(errors="replace").splitlines() if l and not l[0].isspace()
                and not l.startswith("0x")]
        print("\n".join(["-- Wine said (last lines):"] + said[-40:]), flush=True)
    return code


if __name__ == "__main__":
    sys.exit(main())
