#!/usr/bin/env python3
"""Runs trellum-check.exe from the unpacked zip under Wine against the
virtual reader (built for the host) on COM1: a scan at 9600 bit/s finds the
reader in "Mode 3", and an acceptance run of a Corvan reader passes every
step through the Win32 device, relay timing and card answers included; then
two readers, on COM1 and COM2, are tested at once and both pass.

usage: check_under_wine.py --prefix P --shim S --link L --link2 L2 --reader R --folder F
"""
import argparse
import os
import re
import subprocess
import sys
import threading
import time

WAIT = 120


def run_check(command, folder, env, readers):
    """Runs trellum-check to its end; when it asks for a card on a line, that line's reader reads one, as an
    operator would present a card then and not before. `readers` maps the progress's line prefix ("" for one
    line, "COM2: " for several) to the reader."""
    check = subprocess.Popen(command, cwd=folder, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True)
    timer = threading.Timer(WAIT, check.kill)
    timer.start()
    err = []
    for line in check.stderr:
        err.append(line)
        for prefix, reader in readers.items():
            if line.startswith(prefix + "test: present"):
                reader.stdin.write(b"\n")
                reader.stdin.flush()
    out = check.stdout.read()
    code = check.wait()
    timer.cancel()
    return code, out, "".join(err)


def start_reader(path, link):
    """The virtual reader on a pseudo-terminal behind the link; None when it made no link in time."""
    if os.path.lexists(link):
        os.unlink(link)
    reader = subprocess.Popen([path, "--link", link, "--no-powerup"], stdin=subprocess.PIPE,
                              stdout=subprocess.DEVNULL)
    deadline = time.monotonic() + WAIT
    while not os.path.lexists(link):
        if time.monotonic() > deadline or reader.poll() is not None:
            print(f"[check] the virtual reader made no link {link}", flush=True)
            reader.kill()
            reader.wait()
            return None
        time.sleep(0.05)
    return reader


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("prefix", "shim", "link", "link2", "reader", "folder"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()

    readers = [start_reader(args.reader, args.link), start_reader(args.reader, args.link2)]
    try:
        if None in readers:
            return 1
        env = dict(os.environ, WINEPREFIX=args.prefix, WINEDEBUG="-all", LD_PRELOAD=args.shim)
        exe = os.path.join(args.folder, "trellum-check.exe")
        one = {"": readers[0]}
        both = {"COM1: ": readers[0], "COM2: ": readers[1]}
        summary = re.compile(r"^COM1 +- +PASS .*\nCOM2 +- +PASS ", re.M)
        ok = True
        for arguments, lines, wanted in (
                (["scan", "COM1", "--speeds", "9600"], one, lambda out: "9600    -   Mode 3" in out),
                (["test", "COM1", "--model", "Corvan", "--speed", "9600", "--lock"], one, lambda out: "PASSED" in out),
                (["test", "COM1", "COM2", "--model", "Corvan", "--speed", "9600", "--lock"], both,
                 lambda out: summary.search(out) is not None)):
            code, out, err = run_check(["wine", exe, *arguments], args.folder, env, lines)
            print(f"[check] trellum-check.exe {' '.join(arguments)}: exit {code}\n{out.strip()}", flush=True)
            if code != 0 or not wanted(out):
                print(f"[check] expected exit 0 and every reader passed; standard error:\n{err.strip()}", flush=True)
                ok = False
        print("[check] PASSED" if ok else "[check] FAILED", flush=True)
        return 0 if ok else 1
    finally:
        for reader in readers:
            if reader:
                reader.kill()
                reader.wait()


if __name__ == "__main__":
    sys.exit(main())
