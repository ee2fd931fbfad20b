#!/usr/bin/env python3
"""Runs the guest tests on the real Linux serial drivers inside a QEMU guest.

The guest is Debian's kernel with a busybox initramfs that carries the guest
programs and every library they load. Its ports:
  ttyS0   console: the guest's results and its requests to this script
  ttyS1   16550 on a host pseudo-terminal (echoed here unless a reader runs)
  ttyS2   16550 on a telnet socket, through which this script sends breaks
  ttyS3   16550 on a socket that relays the virtual reader's control channel
  ttyUSB0 QEMU's FTDI adapter on a host pseudo-terminal (echoed likewise)
  ttyS4   16550 on the PCI bus, unconnected until a reader runs on it; then
          QEMU drives the reader's own pseudo-terminal as a serial line, so
          the speed the guest sets reaches the reader (QEMU's pty ports above
          carry no speed)
The guest asks for host actions with console lines "@host <request>":
"break" (telnet break on ttyS2), "unplug" and "plug" (the FTDI adapter
through the monitor), "transcript PORT TEXT..." (the last reader on that
port received these texts in this order, by its --transcript file; passes
as the check Transcript/PORT), "station PORT..." (a virtual reader on each
of these ports at once, without a control channel; "station ready" on the
relay port once all of them listen) and "station end". The checks expected are the guest program's
own tests that the filter selects, as it lists them, and for each selected
window test on a port the rig's check of that port's transcript. The run
passes when every expected check has passed, no check failed and the guest
powered off, all within the time-out.
"""

import argparse
import ctypes
import os
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import tty

USB_DEVICE = "usb-serial,id=ftdi,bus=xhci.0,port=1,serial=RIG00001,chardev=usb"
SPEED_PORT = "/dev/ttyS4"
MODULES = ["usb-common", "usbcore", "xhci-hcd", "xhci-pci", "usbserial", "ftdi_sio"]


def log(text):
    print(f"[rig] {text}", flush=True)


def expected_checks(build, pattern):
    """The guest program's tests that the filter selects, as GoogleTest names
    them, and the rig's transcript check of each window test's port."""
    listing = subprocess.run([os.path.join(build, "bin", "hw_guest_tests"), "--gtest_list_tests",
                              f"--gtest_filter={pattern}"], check=True, capture_output=True, text=True,
                             env=dict(os.environ, QT_QPA_PLATFORM="offscreen")).stdout
    names, suite = [], ""
    for line in listing.splitlines():
        if not line.startswith(" "):
            suite = line.strip()
        elif line.strip():
            names.append(suite + line.split()[0])
    names += [f"Transcript/{name.rsplit('/', 1)[1]}" for name in names if re.search(r"(^|/)RealWindow\.", name)]
    if not names:
        raise RuntimeError(f"no guest check matches the filter {pattern}")
    return names


def guest_kernel():
    """The kernel the install step fetched (scripts/fetch-guest-kernel.sh)."""
    fetch = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "fetch-guest-kernel.sh")
    found = subprocess.run(["bash", fetch, "--print"], capture_output=True, text=True)
    if found.returncode != 0:
        raise RuntimeError(found.stderr.strip())
    root = os.path.join(found.stdout.strip(), "root")
    version = os.listdir(os.path.join(root, "lib/modules"))[0]
    modules = {}
    for folder, _, files in os.walk(os.path.join(root, "lib/modules", version, "kernel/drivers/usb")):
        for f in files:
            modules[f[:-3]] = os.path.join(folder, f)
    return os.path.join(root, "boot", f"vmlinuz-{version}"), [modules[m] for m in MODULES]


class Initramfs:
    """An uncompressed newc cpio archive built in memory."""

    def __init__(self):
        self.entries = {}
        self.data = bytearray()
        self.inode = 1

    def _add(self, name, mode, body=b""):
        name = name.lstrip("/")
        if name in self.entries:
            return
        parent = os.path.dirname(name)
        if parent and parent not in self.entries:
            self._add(parent, 0o40755)
        self.entries[name] = True
        fields = [self.inode, mode, 0, 0, 1, 0, len(body), 0, 0, 0, 0, len(name) + 1, 0]
        self.inode += 1
        header = b"070701" + b"".join(b"%08X" % f for f in fields) + name.encode() + b"\0"
        self.data += header + b"\0" * (-len(header) % 4) + body + b"\0" * (-len(body) % 4)

    def directory(self, name):
        self._add(name, 0o40755)

    def file(self, name, body, executable=False):
        self._add(name, (0o100755 if executable else 0o100644), body)

    def copy(self, source, name=None):
        with open(source, "rb") as f:
            self.file(name or source, f.read(), os.access(source, os.X_OK))

    def copy_tree(self, source):
        for folder, _, files in os.walk(source, followlinks=True):
            for f in files:
                path = os.path.join(folder, f)
                if os.path.exists(path):
                    self.copy(path)

    def program(self, source, name=None):
        """A program or library with every shared library ldd lists for it."""
        self.copy(source, name)
        listing = subprocess.run(["ldd", source], capture_output=True, text=True).stdout
        for library in re.findall(r"(/\S+) \(0x", listing):
            self.copy(os.path.realpath(library), library)

    def finish(self, path):
        self.inode = 0
        self._add("TRAILER!!!", 0)
        with open(path, "wb") as f:
            f.write(self.data)


def build_initramfs(path, build, modules, reader_path, check_path):
    here = os.path.dirname(os.path.abspath(__file__))
    image = Initramfs()
    for d in ["dev", "proc", "sys", "tmp", "root", "bin", "sbin", "usr/bin", "usr/sbin"]:
        image.directory(d)
    image.copy(shutil.which("busybox"), "/bin/busybox")
    image.copy(os.path.join(here, "init.sh"), "/init")
    for m in modules:
        image.copy(m, "/lib/modules/" + os.path.basename(m))
    image.program(os.path.join(build, "bin", "hw_guest_tests"), "/rig/hw_guest_tests")
    image.program(os.path.join(build, "bin", "bench_idle_wakeups"), "/rig/bench_idle_wakeups")
    # The guest's tests start the virtual reader from the path it has in the
    # build; there the relay hands it over to this script.
    image.program(os.path.join(build, "bin", "hw_reader_relay"), reader_path)
    image.program(check_path)
    qt_plugins = "/usr/lib/x86_64-linux-gnu/qt6/plugins"
    image.program(os.path.join(qt_plugins, "platforms/libqoffscreen.so"))
    image.copy_tree("/etc/fonts")
    image.copy("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")
    image.finish(path)


def set_parent_death_signal():
    # QEMU ends with this script, however the script ends.
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)


def read_some(fd):
    """What a non-blocking descriptor has: bytes, b"" at its end, None for nothing yet."""
    try:
        return os.read(fd, 65536)
    except BlockingIOError:
        return None


class Pty:
    """The host end of a guest port on a QEMU pseudo-terminal: a descriptor
    held open so that QEMU keeps the port connected, and an echo of every
    byte while no reader runs on it."""

    def __init__(self, path):
        self.path = path
        self.holder = self._open()
        self.echo = None

    def _open(self):
        fd = os.open(self.path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(fd)
        return fd

    def start_echo(self):
        if self.echo is None:
            self.echo = self._open()

    def stop_echo(self):
        if self.echo is not None:
            os.close(self.echo)
            self.echo = None

    def pump(self):
        try:
            data = os.read(self.echo, 4096)
        except BlockingIOError:
            return
        while data:
            written = os.write(self.echo, data)
            data = data[written:]


class Rig:
    def __init__(self, args):
        self.args = args
        self.work = tempfile.mkdtemp(prefix="trellum-rig-")
        self.qemu = None
        self.reader = None
        self.reader_port = None
        self.reader_out = b""
        self.relay_in = b""
        self.console = b""
        self.lines = []
        self.transcripts = {}
        self.host_passed = set()
        self.station = []  # [port, reader, output not yet split into lines, listening]

    def sock(self, name):
        return os.path.join(self.work, name)

    def start_qemu(self, kernel, initrd):
        command = [
            self.args.qemu, "-accel", "tcg", "-m", "768", "-smp", "1", "-nodefaults", "-display", "none",
            "-no-reboot", "-kernel", kernel, "-initrd", initrd,
            "-append", f"console=ttyS0 panic=-1 quiet loglevel=3 8250.nr_uarts=5 rig_filter={self.args.filter}",
            "-chardev", "stdio,id=con,signal=off", "-serial", "chardev:con",
            "-chardev", "pty,id=s1", "-serial", "chardev:s1",
            "-chardev", f"socket,id=s2,path={self.sock('s2')},server=on,wait=off,telnet=on", "-serial", "chardev:s2",
            "-chardev", f"socket,id=relay,path={self.sock('relay')},server=on,wait=off", "-serial", "chardev:relay",
            "-chardev", "pty,id=usb", "-device", "qemu-xhci,id=xhci", "-device", USB_DEVICE,
            "-chardev", "null,id=speed", "-device", "pci-serial,chardev=speed",
            "-monitor", f"unix:{self.sock('monitor')},server=on,wait=off",
        ]
        log("running: " + " ".join(command))
        self.qemu_errors = open(self.sock("qemu-stderr.txt"), "w+b")
        self.qemu = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=self.qemu_errors, preexec_fn=set_parent_death_signal)
        os.set_blocking(self.qemu.stdout.fileno(), False)

    def connect(self, name):
        deadline = time.monotonic() + 10
        while True:
            s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            try:
                s.connect(self.sock(name))
                return s
            except (FileNotFoundError, ConnectionRefusedError):
                s.close()
                if time.monotonic() > deadline or self.qemu.poll() is not None:
                    raise RuntimeError(f"QEMU's {name} socket did not come")
                time.sleep(0.05)

    def monitor(self, command=None):
        """One HMP command, or with none the greeting; returns the output up to the next prompt."""
        if command is not None:
            self.mon.sendall(command.encode() + b"\n")
        out = b""
        while not out.endswith(b"(qemu) "):
            ready, _, _ = select.select([self.mon], [], [], 10)
            if not ready:
                raise RuntimeError(f"monitor did not answer {command}")
            out += self.mon.recv(4096)
        return out.decode(errors="replace")

    def start_reader(self, arguments):
        arguments = list(arguments)
        if "--device" in arguments[:-1]:
            at = arguments.index("--device")
            self.reader_port = arguments[at + 1]
            if self.reader_port == SPEED_PORT:
                # On a pseudo-terminal of its own, which becomes the port's far end.
                del arguments[at:at + 2]
            else:
                arguments[at + 1] = self.pty_of(self.reader_port).path
        if "--transcript" in arguments[:-1]:
            at = arguments.index("--transcript") + 1
            arguments[at] = os.path.join(self.work, f"transcript-{len(self.transcripts)}.txt")
            self.transcripts[arguments[at]] = None
        for path in self.transcripts:
            if self.transcripts[path] is None:
                self.transcripts[path] = self.reader_port
        command = [self.args.reader] + arguments
        log("reader: " + " ".join(command))
        self.reader = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       preexec_fn=set_parent_death_signal)
        os.set_blocking(self.reader.stdout.fileno(), False)

    def pty_of(self, guest_device):
        return self.usb if "ttyUSB" in guest_device else self.s1

    def reader_output(self):
        data = read_some(self.reader.stdout.fileno())
        if data:
            self.reader_out += data
            *lines, self.reader_out = self.reader_out.split(b"\n")
            for line in lines:
                if line.startswith(b"device ") and self.reader_port == SPEED_PORT:
                    self.monitor(f"chardev-change speed serial,path={line[7:].decode()}")
                    line = b"device " + self.reader_port.encode()
                elif line.startswith(b"device ") and self.reader_port:
                    # The reader opened the port: the echo stops.
                    self.pty_of(self.reader_port).stop_echo()
                    line = b"device " + self.reader_port.encode()
                log("reader said: " + line.decode(errors="replace"))
                self.relay.sendall(b"out " + line + b"\n")
        elif data == b"":
            code = self.reader.wait()
            self.relay.sendall(b"end %d\n" % code)
            self.let_go(self.reader_port or "")
            self.reader = None
            self.reader_port = None

    def relay_input(self):
        data = self.relay.recv(4096)
        if not data:
            # QEMU is going: the console tells the rest.
            self.relay = None
            return
        self.relay_in += data
        *lines, self.relay_in = self.relay_in.split(b"\n")
        for line in lines:
            kind, _, rest = line.partition(b" ")
            if kind == b"start":
                self.start_reader(rest.decode().split("\t") if rest else [])
            elif kind == b"in" and self.reader:
                self.reader.stdin.write(rest + b"\n")
                self.reader.stdin.flush()
            elif kind == b"eof" and self.reader:
                self.reader.stdin.close()

    def request(self, what):
        log(f"request: {what}")
        if what == "break":
            self.telnet.sendall(b"\xff\xf3")
        elif what == "unplug":
            self.monitor("device_del ftdi")
        elif what == "plug":
            self.monitor("device_add " + USB_DEVICE)
        elif what.startswith("transcript "):
            self.check_transcript(*what.split()[1:])
        elif what == "station end":
            self.end_station()
        elif what.startswith("station "):
            self.start_station(what.split()[1:])
        else:
            raise RuntimeError(f"unknown request {what}")

    def start_station(self, ports):
        for port in ports:
            # QEMU's FTDI adapter sends a command's bytes a second apart.
            command = [self.args.reader, "--no-powerup", "--command-gap", "5000"]
            if port != SPEED_PORT:
                self.pty_of(port).stop_echo()
                command += ["--device", self.pty_of(port).path]
            log(f"station reader on {port}: " + " ".join(command))
            reader = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                      preexec_fn=set_parent_death_signal)
            os.set_blocking(reader.stdout.fileno(), False)
            self.station.append([port, reader, b"", False])

    def station_output(self, member):
        port, reader, pending, _ = member
        data = read_some(reader.stdout.fileno())
        if data == b"":
            log(f"station reader on {port} ended: {reader.wait()}")
            self.station.remove(member)
            self.let_go(port)
            return
        if not data:
            return
        *lines, member[2] = (pending + data).split(b"\n")
        for line in lines:
            if line.startswith(b"device ") and not member[3]:
                if port == SPEED_PORT:
                    self.monitor(f"chardev-change speed serial,path={line[7:].decode()}")
                member[3] = True
                if all(m[3] for m in self.station):
                    self.relay.sendall(b"station ready\n")
            log(f"station reader on {port} said: " + line.decode(errors="replace"))

    def end_station(self):
        for port, reader, _, _ in self.station:
            reader.kill()
            reader.wait()
            self.let_go(port)
        self.station = []

    def let_go(self, port):
        """A port whose reader has gone: unconnected again, or echoed."""
        if port == SPEED_PORT:
            self.monitor("chardev-change speed null")
        else:
            self.pty_of(port).start_echo()

    def check_transcript(self, port, *texts):
        paths = [p for p, q in self.transcripts.items() if q == port]
        received = b""
        if paths:
            with open(paths[-1]) as f:
                for line in f:
                    fields = line.split()
                    if len(fields) > 2 and fields[1] == "rx":
                        received += bytes.fromhex("".join(fields[2:]))
        at = 0
        for text in texts:
            found = received.find(text.encode(), at)
            if found < 0:
                log(f"the reader on {port} did not receive {text!r} after byte {at}: {received!r}")
                return
            at = found + len(text)
        name = "Transcript/" + os.path.basename(port)
        log(f"[       OK ] {name}")
        self.host_passed.add(name)

    def console_output(self):
        data = read_some(self.qemu.stdout.fileno())
        if data is None:
            return True
        if not data:
            return False
        sys.stdout.buffer.write(data)
        sys.stdout.flush()
        self.console += data
        *lines, self.console = self.console.split(b"\n")
        for raw in lines:
            line = raw.decode(errors="replace").rstrip("\r")
            self.lines.append(line)
            if line.startswith("@host "):
                self.request(line[6:].strip())
        return True

    def run(self, kernel, initrd):
        self.start_qemu(kernel, initrd)
        self.mon = self.connect("monitor")
        self.monitor()
        chardevs = self.monitor("info chardev")
        ptys = dict(re.findall(r"(\w+): filename=pty:(\S+)", chardevs))
        self.s1 = Pty(ptys["s1"])
        self.usb = Pty(ptys["usb"])
        self.s1.start_echo()
        self.usb.start_echo()
        self.telnet = self.connect("s2")
        self.relay = self.connect("relay")
        deadline = self.started + self.args.timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                log(f"time-out after {self.args.timeout} s")
                return False
            sources = {self.qemu.stdout.fileno(): self.console_output,
                       self.telnet.fileno(): lambda: self.telnet.recv(4096)}
            if self.relay:
                sources[self.relay.fileno()] = self.relay_input
            for p in (self.s1, self.usb):
                if p.echo is not None:
                    sources[p.echo] = p.pump
            if self.reader:
                sources[self.reader.stdout.fileno()] = self.reader_output
            for member in self.station:
                sources[member[1].stdout.fileno()] = lambda member=member: self.station_output(member)
            ready, _, _ = select.select(list(sources), [], [], left)
            for fd in ready:
                if sources[fd]() is False:
                    self.qemu.wait()
                    return True

    def stop(self):
        for p in [self.reader, self.qemu] + [member[1] for member in self.station]:
            if p and p.poll() is None:
                p.kill()
                p.wait()
        if self.qemu:
            self.qemu_errors.seek(0)
            errors = self.qemu_errors.read().decode(errors="replace").strip()
            if errors:
                log("QEMU said: " + errors)
        shutil.rmtree(self.work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the CMake build folder")
    parser.add_argument("--reader", required=True, help="trellum-reader on the host")
    parser.add_argument("--reader-in-guest", required=True, help="the path the guest's tests start the reader from")
    parser.add_argument("--check", required=True, help="trellum-check, put at this path in the guest too")
    parser.add_argument("--qemu", default="qemu-system-x86_64")
    parser.add_argument("--timeout", type=float, default=170)
    parser.add_argument("--filter", default="*", help="GoogleTest filter of the guest's checks (to run some alone)")
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("[rig] terminated"))

    rig = Rig(args)
    rig.started = time.monotonic()
    try:
        if shutil.which(args.qemu) is None:
            log(f"{args.qemu} is missing (scripts/install-deps.sh installs qemu-system-x86)")
            return 1
        expected = expected_checks(args.build, args.filter)
        kernel, modules = guest_kernel()
        initrd = os.path.join(rig.work, "initrd.cpio")
        build_initramfs(initrd, args.build, modules, args.reader_in_guest, args.check)
        log(f"kernel {kernel}, initramfs {os.path.getsize(initrd) >> 20} MiB, "
            f"ready after {time.monotonic() - rig.started:.1f} s")
        powered_off = rig.run(kernel, initrd)
    finally:
        rig.stop()
        log(f"wall time {time.monotonic() - rig.started:.1f} s")

    passed = {m.group(1) for line in rig.lines if (m := re.match(r"\[       OK \] (\S+)", line))}
    passed |= rig.host_passed
    failed = [line for line in rig.lines if line.startswith("[  FAILED  ]")]
    missing = [name for name in expected if name not in passed]
    log(f"{len(passed)} checks passed in the guest, {len(failed)} failure lines")
    for name in missing:
        log(f"missing: {name}")
    for line in rig.lines:
        if line.startswith("idle wake-ups"):
            log(line)
    ok = powered_off and not failed and not missing and "@rig guest exit 0" in rig.lines
    log("PASSED" if ok else "FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
