#!/usr/bin/env python3
"""Packs the Windows build as a user gets it and checks the zip.

Runs CPack in BUILD, unpacks trellum-<version>-windows-x86_64.zip into an
empty FOLDER, checks that it holds exactly the program, the libraries it
loads and its catalogues, and runs "trellum.exe --list-ports" from there
under Wine: a DLL missing from the zip fails here.

usage: zip_check.py --cpack CPACK --build BUILD --prefix P --shim S --folder FOLDER
"""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import zipfile

CONTENTS = {
    "trellum.exe", "trellum-check.exe",
    "Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll",
    "platforms/qwindows.dll", "styles/qwindowsvistastyle.dll",
    "libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll",
    "libintl-8.dll",
    "locale/de/LC_MESSAGES/cport.mo",
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("cpack", "build", "prefix", "shim", "folder"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()

    for old in glob.glob(os.path.join(args.build, "trellum-*-windows-*.zip")):
        os.unlink(old)
    subprocess.run([args.cpack], cwd=args.build, check=True, stdout=subprocess.DEVNULL)
    [package] = glob.glob(os.path.join(args.build, "trellum-*-windows-x86_64.zip"))
    print(f"[zip] {os.path.basename(package)}: {os.path.getsize(package) / 2**20:.1f} MiB", flush=True)

    shutil.rmtree(args.folder, ignore_errors=True)
    os.makedirs(args.folder)
    with zipfile.ZipFile(package) as archive:
        names = [n for n in archive.namelist() if not n.endswith("/")]
        archive.extractall(args.folder)
    top = os.path.splitext(os.path.basename(package))[0]
    inside = {n[len(top) + 1:] if n.startswith(top + "/") else "../" + n for n in names}
    ok = True
    for name in sorted(CONTENTS - inside):
        print(f"[zip] missing: {name}", flush=True)
        ok = False
    for name in sorted(inside - CONTENTS):
        print(f"[zip] not expected: {name}", flush=True)
        ok = False

    folder = os.path.join(args.folder, top)
    env = dict(os.environ, WINEPREFIX=args.prefix, WINEDEBUG="-all", LD_PRELOAD=args.shim)
    listed = subprocess.run(["wine", os.path.join(folder, "trellum.exe"), "--list-ports"], cwd=folder, env=env,
                            capture_output=True, text=True, timeout=120)
    print(f"[zip] trellum.exe --list-ports: exit {listed.returncode}\n{listed.stdout.strip()}", flush=True)
    if listed.returncode != 0 or not listed.stdout.startswith("\\\\.\\COM1\t"):
        print(f"[zip] --list-ports from the unpacked folder failed: {listed.stderr.strip()}", flush=True)
        ok = False
    # The console program from the same folder: its help, and the error of a
    # port that does not exist, with the component's text and exit status 2.
    checks = [(["--help"], 0, "Usage: trellum-check", "stdout"),
              (["scan", "COM9"], 2, "trellum-check: Unable to open com port (win error code: 2)", "stderr")]
    for arguments, status, expected, stream in checks:
        run = subprocess.run(["wine", os.path.join(folder, "trellum-check.exe")] + arguments, cwd=folder, env=env,
                             capture_output=True, text=True, timeout=120)
        text = getattr(run, stream)
        print(f"[zip] trellum-check.exe {' '.join(arguments)}: exit {run.returncode}: {text.splitlines()[:1]}",
              flush=True)
        if run.returncode != status or not text.startswith(expected):
            print(f"[zip] trellum-check.exe {' '.join(arguments)}: expected exit {status} and {expected!r}",
                  flush=True)
            ok = False
    print("[zip] PASSED" if ok else "[zip] FAILED", flush=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
