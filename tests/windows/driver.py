#!/usr/bin/env python3
"""Runs a program of tests/windows/ with its serial ports on pseudo-terminals.

  driver.py wine PREFIX PROGRAM.exe [ARGS...]   under Wine, in the prefix PREFIX
  driver.py native PROGRAM [ARGS...]            the same source built against winapi/

COM1..COM4 are pseudo-terminals whose other ends this driver holds; COM8 is
the control line on which the program asks for what happens there (one
request a line, one answer a line):

  send P HEX            write the bytes to port P's other end          -> ok
  recv P N MS           read up to N bytes within MS ms                -> ok HEX
  later P MS HEX        write the bytes after MS ms                    -> ok
  baseline P DIR A | B  A on the line's own end, B behind pipes on the other;
                        the milliseconds both took                     -> ok MS A B
  termios P             the line's termios flags (for diagnosis)       -> ok ...
  drain P               throw away what has arrived                    -> ok N
  run P DIR CMD...      start the shell command in DIR, its standard
                        input and output joined to port P (lrzsz behind
                        pipes, as the interop tests run it)            -> ok
  wait P MS             its exit status, or timeout                    -> ok N | timeout
  kill P                SIGTERM to it                                  -> ok
  work                  a fresh scratch directory (a Linux path)        -> ok PATH
  bye                   the program is done                            -> ok

Under Wine the ports are mapped through HKLM\\Software\\Wine\\Ports (Wine's
mount manager rebuilds dosdevices/comN from it whenever its server starts)
and the links are also written directly; natively through VORLEX_COMDIR.
"""
import fcntl
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import tty

DATA_PORTS = 4
TRACE = os.environ.get("VORLEX_DRIVER_TRACE") == "1"
CONTROL_COM = 8


class Line:
    """One pseudo-terminal: the program opens the slave, we hold the master."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)  # a serial port: no echo, no line editing
        self.name = os.ttyname(self.slave)
        self.peer = None
        self.relays = []
        self.stop = threading.Event()
        self.log = None

    def read(self, n, ms):
        out = b""
        end = time.monotonic() + ms / 1000.0
        while len(out) < n:
            left = end - time.monotonic()
            if left <= 0:
                break
            r, _, _ = select.select([self.master], [], [], left)
            if not r:
                break
            try:
                out += os.read(self.master, n - len(out))
            except OSError:
                break
        return out

    def write(self, data):
        while data:
            k = os.write(self.master, data)
            data = data[k:]

    def run(self, directory, command, log):
        self.finish()
        self.stop.clear()
        self.log = log
        self.peer = subprocess.Popen(["sh", "-c", command], cwd=directory, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=log, start_new_session=True)
        self.relays = [threading.Thread(target=self._to_peer, daemon=True),
                       threading.Thread(target=self._from_peer, daemon=True)]
        for t in self.relays:
            t.start()

    def _to_peer(self):
        p = self.peer
        while not self.stop.is_set() and p.poll() is None:
            r, _, _ = select.select([self.master], [], [], 0.05)
            if not r:
                continue
            try:
                data = os.read(self.master, 65536)
                self.trace(b"to peer", data)
                p.stdin.write(data)
                p.stdin.flush()
            except (OSError, ValueError):
                break

    def _from_peer(self):
        p = self.peer
        fd = p.stdout.fileno()
        while True:
            data = os.read(fd, 65536)
            if not data:
                break
            self.trace(b"from peer", data)
            try:
                self.write(data)
            except OSError:
                break

    def trace(self, what, data):
        # VORLEX_DRIVER_TRACE=1: the first bytes of each chunk, into the peers' log.
        if TRACE and self.log:
            self.log.write(b"%s %d: %s\n" % (what, len(data), data[:64].hex().encode()))
            self.log.flush()

    def wait(self, ms):
        if not self.peer:
            return None
        try:
            status = self.peer.wait(ms / 1000.0)
        except subprocess.TimeoutExpired:
            return None
        self.relays[1].join(2)  # its last bytes reach the line
        return status

    def kill(self):
        if self.peer and self.peer.poll() is None:
            os.killpg(self.peer.pid, signal.SIGTERM)

    def finish(self):
        if self.peer:
            self.kill()
            try:
                self.peer.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(self.peer.pid, signal.SIGKILL)
            self.stop.set()
            for t in self.relays:
                t.join(2)
            self.peer = None


class Driver:
    def __init__(self, scratch):
        self.lines = [Line() for _ in range(DATA_PORTS)]
        self.control = Line()
        self.scratch = scratch
        self.count = 0
        self.log = open(os.path.join(scratch, "peers.log"), "ab")

    def ports(self):
        m = {f"COM{i + 1}": l.name for i, l in enumerate(self.lines)}
        m[f"COM{CONTROL_COM}"] = self.control.name
        return m

    def answer(self, request):
        words = request.split()
        if not words:
            return "error empty"
        cmd = words[0]
        try:
            if cmd == "work":
                self.count += 1
                d = os.path.join(self.scratch, f"w{self.count}")
                os.makedirs(d, exist_ok=True)
                return "ok " + d
            if cmd == "bye":
                return "ok"
            line = self.lines[int(words[1]) - 1]
            if cmd == "send":
                line.write(bytes.fromhex(words[2]) if len(words) > 2 else b"")
                return "ok"
            if cmd == "recv":
                return "ok " + line.read(int(words[2]), int(words[3])).hex()
            if cmd == "baseline":
                # lrzsz against itself over the same kind of line: CMD on the
                # pseudo-terminal's own end, the peer behind pipes as usual.
                directory, slave_cmd, peer_cmd = request.split(None, 3)[2], *request.split(None, 3)[3].split(" | ", 1)
                start = time.monotonic()
                line.run(directory, peer_cmd, self.log)
                fd = os.open(line.name, os.O_RDWR | os.O_NOCTTY)
                mine = subprocess.run(["sh", "-c", slave_cmd], cwd=directory, stdin=fd, stdout=fd, stderr=self.log)
                os.close(fd)
                status = line.wait(120000)
                return "ok %d %d %s" % (int((time.monotonic() - start) * 1000), mine.returncode, status)
            if cmd == "termios":
                import termios
                a = termios.tcgetattr(line.slave)
                return "ok iflag=%x oflag=%x cflag=%x lflag=%x" % tuple(a[:4])
            if cmd == "later":
                threading.Timer(int(words[2]) / 1000.0, line.write, [bytes.fromhex(words[3])]).start()
                return "ok"
            if cmd == "drain":
                return "ok %d" % len(line.read(1 << 20, 50))
            if cmd == "run":
                line.run(words[2], request.split(None, 3)[3], self.log)
                return "ok"
            if cmd == "wait":
                status = line.wait(int(words[2]))
                return "timeout" if status is None else "ok %d" % status
            if cmd == "kill":
                line.kill()
                return "ok"
        except (IndexError, ValueError) as e:
            return "error " + str(e).replace("\n", " ")
        return "error unknown " + cmd

    def serve(self, program):
        """Answers the program's requests until it ends."""
        buf = b""
        while program.poll() is None:
            r, _, _ = select.select([self.control.master], [], [], 0.1)
            if not r:
                continue
            try:
                buf += os.read(self.control.master, 4096)
            except OSError:
                continue
            while b"\n" in buf:
                request, buf = buf.split(b"\n", 1)
                reply = self.answer(request.decode(errors="replace").strip())
                self.control.write(reply.encode() + b"\n")

    def close(self):
        for l in self.lines:
            l.finish()
        self.log.close()


def to_png(directory):
    """The program's 32-bit top-down BMP pictures as PNG files."""
    import struct
    import zlib
    for name in os.listdir(directory):
        if not name.endswith(".bmp"):
            continue
        path = os.path.join(directory, name)
        with open(path, "rb") as f:
            data = f.read()
        offset = struct.unpack_from("<I", data, 10)[0]
        width, height = struct.unpack_from("<ii", data, 18)
        height = abs(height)
        rows = b""
        for y in range(height):
            row = data[offset + y * width * 4:offset + (y + 1) * width * 4]
            rgb = bytearray(width * 3)
            rgb[0::3], rgb[1::3], rgb[2::3] = row[2::4], row[1::4], row[0::4]
            rows += b"\0" + bytes(rgb)

        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

        png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")
        with open(path[:-4] + ".png", "wb") as f:
            f.write(png)
        os.unlink(path)


def start_display():
    """Xvfb for Wine's windows when there is no display."""
    if os.environ.get("DISPLAY") or not shutil.which("Xvfb"):
        return None
    r, w = os.pipe()
    x = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                         pass_fds=[w], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        c = os.read(r, 1)
        if not c:
            break
        number += c
    os.close(r)
    os.environ["DISPLAY"] = ":" + number.decode().strip()
    return x


def pe_machine(path):
    """0x14c for a 32-bit x86 program, 0x8664 for x86-64."""
    with open(path, "rb") as f:
        head = f.read(4096)
    at = int.from_bytes(head[0x3C:0x40], "little")
    return int.from_bytes(head[at + 4:at + 6], "little")


class Wine:
    """The loader and server for one kind of program, in one prefix."""

    def __init__(self, prefix, program):
        self.prefix = prefix
        wide = pe_machine(program) == 0x8664
        lib = "/usr/lib/wine"
        self.loader = f"{lib}/wine64" if wide and os.path.exists(f"{lib}/wine64") else "wine"
        self.server = f"{lib}/wineserver64" if wide and os.path.exists(f"{lib}/wineserver64") else "wineserver"
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEARCH="win64" if wide else "win32",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        if wide:
            self.env["WINELOADER"] = self.loader
            self.env["WINESERVER"] = self.server

    def run(self, *args, check=True):
        return subprocess.run([self.loader] + list(args), env=self.env, check=check, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)

    def server_call(self, *args):
        subprocess.run([self.server] + list(args), env=self.env)


def prepare_wine(wine, ports):
    prefix = wine.prefix
    if not os.path.exists(os.path.join(prefix, "system.reg")):
        wine.run("wineboot", "-i")
        wine.server_call("-w")
    reg = os.path.join(prefix, "ports.reg")
    with open(reg, "w") as f:
        f.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n")
        for com, dev in ports.items():
            f.write(f'"{com}"="{dev}"\n')
    wine.run("reg", "import", "Z:" + reg.replace("/", "\\"))
    # A fresh server makes the mount manager read the mapping again.
    wine.server_call("-k")
    wine.server_call("-w")
    dos = os.path.join(prefix, "dosdevices")
    for com, dev in ports.items():
        link = os.path.join(dos, com.lower())
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(dev, link)


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("wine", "native"):
        sys.exit(__doc__)
    mode = sys.argv[1]
    scratch = tempfile.mkdtemp(prefix="vorlex-win-")
    driver = Driver(scratch)
    display = None
    wine = None
    lock = None
    failed = True
    try:
        if mode == "wine":
            prefix = os.path.abspath(sys.argv[2])
            os.makedirs(os.path.dirname(prefix), exist_ok=True)
            lock = open(prefix + ".lock", "w")
            fcntl.flock(lock, fcntl.LOCK_EX)  # one run at a time per prefix
            display = start_display()
            wine = Wine(prefix, sys.argv[3])
            prepare_wine(wine, driver.ports())
            env = dict(wine.env)
            command = [wine.loader] + sys.argv[3:]
        else:
            comdir = os.path.join(scratch, "com")
            os.makedirs(comdir)
            for com, dev in driver.ports().items():
                os.symlink(dev, os.path.join(comdir, com.lower()))
            env = dict(os.environ, VORLEX_COMDIR=comdir)
            command = sys.argv[2:]
        env["VORLEX_TEST_SCRATCH"] = scratch
        if mode == "wine":
            shots = os.path.join(os.path.dirname(prefix), "wine-shots")
            os.makedirs(shots, exist_ok=True)
            env["VORLEX_SHOTS"] = shots
        program = subprocess.Popen(command, env=env)
        try:
            driver.serve(program)
        except KeyboardInterrupt:
            program.kill()
        status = program.wait()
        failed = status != 0
        if mode == "wine":
            to_png(shots)
        if status:
            print(f"driver: {' '.join(command)} ended with {status}; peers' output in {scratch}/peers.log")
        return status
    finally:
        driver.close()
        if wine:
            wine.server_call("-k")
        if display:
            display.terminate()
        if lock:
            lock.close()
        if not os.environ.get("VORLEX_KEEP_SCRATCH") and not failed:
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
