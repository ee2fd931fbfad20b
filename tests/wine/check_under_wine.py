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
import time

WAIT = 120


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("prefix", "shim", "link", "reader", "folder"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()

    if os.path.lexists(args.link):
        os.unlink(args.link)
    reader = subprocess.Popen([args.reader, "--link", args.link, "--no-powerup", "--period", "1000"],
                              stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
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
            run = subprocess.run(["wine", exe, *arguments], cwd=args.folder, env=env, capture_output=True,
                                 text=True, timeout=WAIT)
            print(f"[check] trellum-check.exe {' '.join(arguments)}: exit {run.returncode}\n{run.stdout.strip()}",
                  flush=True)
            if run.returncode != 0 or wanted not in run.stdout:
                print(f"[check] expected exit 0 and {wanted!r}; standard error:\n{run.stderr.strip()}", flush=True)
                ok = False
        print("[check] PASSED" if ok else "[check] FAILED", flush=True)
        return 0 if ok else 1
    finally:
        reader.kill()
        reader.wait()


if __name__ == "__main__":
    sys.exit(main())
