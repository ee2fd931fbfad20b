#!/usr/bin/env python3
"""Runs trellum-check.exe from the unpacked zip under Wine against the
virtual reader (built for the host) on COM1: a scan at 9600 bit/s finds the
reader in "Mode 3", and an acceptance run of a Corvan reader passes every
step through the Win32 device, relay timing and card answers included.

usage: check_under_wine.py --prefix P --shim S --link L --reader R --folder F
"""
import argparse
import os
import subprocess
import sys
import threading
import time

WAIT = 120


def run_check(command, folder, env, reader):
    """Runs trellum-check to its end; when it asks for a card, the reader reads one, as an operator would
    present a card then and not before."""
    check = subprocess.Popen(command, cwd=folder, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True)
    timer = threading.Timer(WAIT, check.kill)
    timer.start()
    err = []
    for line in check.stderr:
        err.append(line)
        if line.startswith("test: present"):
            reader.stdin.write(b"\n")
            reader.stdin.flush()
    out = check.stdout.read()
    code = check.wait()
    timer.cancel()
    return code, out, "".join(err)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("prefix", "shim", "link", "reader", "folder"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()

    if os.path.lexists(args.link):
        os.unlink(args.link)
    reader = subprocess.Popen([args.reader, "--link", args.link, "--no-powerup"], stdin=subprocess.PIPE,
                              stdout=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + WAIT
        while not os.path.lexists(args.link):
            if time.monotonic() > deadline or reader.poll() is not None:
                print("[check] the virtual reader made no link", flush=True)
                return 1
            time.sleep(0.05)
        env = dict(os.environ, WINEPREFIX=args.prefix, WINEDEBUG="-all", LD_PRELOAD=args.shim)
        exe = os.path.join(args.folder, "trellum-check.exe")
        ok = True
        for arguments, wanted in ((["scan", "COM1", "--speeds", "9600"], "9600    -   Mode 3"),
                                  (["test", "COM1", "--model", "Corvan", "--speed", "9600", "--lock"], "PASSED")):
            code, out, err = run_check(["wine", exe, *arguments], args.folder, env, reader)
            print(f"[check] trellum-check.exe {' '.join(arguments)}: exit {code}\n{out.strip()}", flush=True)
            if code != 0 or wanted not in out:
                print(f"[check] expected exit 0 and {wanted!r}; standard error:\n{err.strip()}", flush=True)
                ok = False
        print("[check] PASSED" if ok else "[check] FAILED", flush=True)
        return 0 if ok else 1
    finally:
        reader.kill()
        reader.wait()


if __name__ == "__main__":
    sys.exit(main())
