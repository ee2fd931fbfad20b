#!/usr/bin/env python3
"""Drives trellum.exe under Wine as an operator would, in its real window.

Starts Xvfb, points COM1 (LINK in the prefix) at a pseudo-terminal held
here, and runs trellum.exe from FOLDER with Qt's windows platform and the
modem-line shim preloaded. Then, with the keyboard and the mouse (xdotool):
the "Velmora" window appears; Connect sends the status and options requests
on the line;
a card frame is answered "~0~L~1~l" and the card code reaches the log (read
from the session record); a second trellum.exe shows "Multiple Instance
Error" and ends when the box is dismissed; Disconnect, COM3 chosen in the
list, and "E&xit" (Alt+X) writes trellum.INI beside trellum.exe with Port=2.
Last, in German (LANG=de_DE.UTF-8) with COM1 standing for the missing COM9,
Connect reports the German text of the open failure from the catalogue in
FOLDER. A screenshot of the window after the card is saved as SHOT (of
the whole screen when a step fails).

usage: real_window.py --prefix P --shim S --link L --folder F --shot SHOT
"""
import argparse
import os
import select
import subprocess
import sys
import time
import tty

CARD = bytes.fromhex("02 06 01 02 03 04 05 0F 03")
# Where the port list lies in the window, from its top left corner (the
# layout is fixed at 96 dots per inch, which Xvfb has).
PORT_LIST = (260, 101)
# How long any one step may take, Wine's start on a busy machine included.
WAIT = 120


class Failed(Exception):
    pass


def log(text):
    print(f"[window] {text}", flush=True)


class Session:
    def __init__(self, args):
        self.args = args
        self.processes = []
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        tmp = args.link + ".new"
        if os.path.lexists(tmp):
            os.unlink(tmp)
        os.symlink(os.ttyname(self.slave), tmp)
        os.replace(tmp, args.link)
        ready, announce = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(announce), "-screen", "0", "1024x768x24",
                                      "-nolisten", "tcp"], pass_fds=[announce], stderr=subprocess.DEVNULL)
        os.close(announce)
        number = b""
        while not number.endswith(b"\n") and select.select([ready], [], [], WAIT)[0]:
            chunk = os.read(ready, 16)
            if not chunk:
                break
            number += chunk
        os.close(ready)
        if not number.strip():
            raise Failed("Xvfb did not start")
        display = ":" + number.decode().strip()
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("QT_")}
        self.env.update(DISPLAY=display, WINEPREFIX=args.prefix, WINEDEBUG="-all", LD_PRELOAD=args.shim)
        self.exe = os.path.join(args.folder, "trellum.exe")
        self.record = os.path.join(args.folder, "record.txt")
        self.ini = os.path.join(args.folder, "trellum.INI")
        for stale in (self.record, self.ini):
            if os.path.exists(stale):
                os.unlink(stale)

    def start(self, *arguments, language=None):
        env = dict(self.env, LANG=language) if language else self.env
        process = subprocess.Popen(["wine", self.exe, *arguments], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.processes.append(process)
        return process

    def xdotool(self, *words):
        done = subprocess.run(["xdotool", *words], env=self.env, capture_output=True, text=True, timeout=WAIT)
        if done.returncode != 0:
            raise Failed(f"xdotool {' '.join(words)}: {done.stderr.strip()}")
        return done.stdout.strip()

    def window(self, name, besides=None):
        """A shown window of this name, other than `besides`."""
        deadline = time.monotonic() + WAIT
        while True:
            found = [w for w in self.xdotool("search", "--sync", "--onlyvisible", "--name", f"^{name}$").split()
                     if w != besides]
            if found:
                return found[0]
            if time.monotonic() > deadline:
                raise Failed(f"no other window named {name}")
            time.sleep(0.1)

    def keys(self, window, *keys):
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", "--window", window, *keys)

    def dismiss(self, box, key="Return"):
        """Answers a box with a key and waits until it is no longer shown, so that
        the next keys reach the window under it rather than the closing box."""
        self.keys(box, key)
        deadline = time.monotonic() + WAIT
        while box in self.shown():
            if time.monotonic() > deadline:
                raise Failed(f"the box stayed after {key}")
            time.sleep(0.1)

    def shown(self):
        """The ids of every shown window with a name (none found is no error)."""
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."], env=self.env,
                              capture_output=True, text=True, timeout=WAIT).stdout.split()

    def expect_line(self, wanted, what):
        got = b""
        deadline = time.monotonic() + WAIT
        while wanted not in got:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failed(f"{what}: the line carried {got!r}, not {wanted!r}")
            if select.select([self.master], [], [], left)[0]:
                got += os.read(self.master, 256)
        log(f"{what}: the line carried {got!r}")

    def expect_record(self, text, what):
        deadline = time.monotonic() + WAIT
        while True:
            lines = open(self.record, errors="replace").read().splitlines() if os.path.exists(self.record) else []
            if any(line.split(" ", 1)[-1] == text for line in lines):
                log(f"{what}: the record holds '{text}'")
                return
            if time.monotonic() > deadline:
                raise Failed(f"{what}: the record never held '{text}'")
            time.sleep(0.1)

    def expect_end(self, process, what):
        try:
            code = process.wait(WAIT)
        except subprocess.TimeoutExpired:
            raise Failed(f"{what}: the program did not end")
        if code != 0:
            raise Failed(f"{what}: the program ended with {code}")
        log(f"{what}: ended with 0")

    def screenshot(self, path, window="root"):
        subprocess.run(["import", "-window", window, path], env=self.env, check=True, timeout=WAIT)
        log(f"screenshot {path}")

    def stop(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
        subprocess.run(["wineserver", "-k"], env=self.env)
        self.xvfb.terminate()
        self.xvfb.wait()


def run(session, shot):
    first = session.start("--record", "Z:" + session.record)
    main = session.window("Velmora")
    log(f"the Velmora window is {session.xdotool('getwindowgeometry', main)!r}")
    # Connect holds the focus at start; with the second model selected it
    # asks for the status, then for the options.
    session.keys(main, "space")
    session.expect_line(b"~?~O", "Connect")
    os.write(session.master, CARD)
    session.expect_line(b"~0~L~1~l", "card frame")
    session.expect_record("log 00258:0000197637", "card code")
    # New log lines reach the screen on a tick of the clock.
    time.sleep(0.5)
    session.screenshot(shot, main)

    second = session.start()
    session.dismiss(session.window("Multiple Instance Error"))
    session.expect_end(second, "second copy")
    if first.poll() is not None:
        raise Failed("the first copy ended with the second")

    session.keys(main, "space")
    session.expect_record("disconnect COM1", "Disconnect")
    session.xdotool("mousemove", "--window", main, str(PORT_LIST[0]), str(PORT_LIST[1]), "click", "1")
    time.sleep(0.5)
    session.xdotool("key", "Down", "Down", "Return")
    session.keys(main, "alt+x")
    session.expect_end(first, "E&xit")
    text = open(session.ini, errors="replace").read() if os.path.exists(session.ini) else ""
    if "[Settings]" not in text or "Port=2" not in text:
        raise Failed(f"trellum.INI beside trellum.exe holds {text!r}, not Port=2 of COM3")
    log("trellum.INI holds Port=2")

    german = session.start("--port", "COM1=COM9", "--record", "Z:" + session.record, language="de_DE.UTF-8")
    main = session.window("Velmora")
    session.keys(main, "space")
    session.expect_record("error COM-Anschluss kann nicht geöffnet werden (Windows-Fehlercode: 2)", "COM9 in German")
    # The error report's box bears the application's title too.
    session.dismiss(session.window("Velmora", besides=main))
    session.keys(main, "alt+x")
    session.expect_end(german, "E&xit in German")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("prefix", "shim", "link", "folder", "shot"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    session = Session(args)
    try:
        run(session, args.shot)
    except (Failed, subprocess.TimeoutExpired) as error:
        log(f"FAILED: {error}")
        session.screenshot(args.shot)
        return 1
    finally:
        session.stop()
    log("PASSED")
    return 0


if __name__ == "__main__":
    sys.exit(main())
