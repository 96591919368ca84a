#!/usr/bin/env python3
"""The Windows qmctl.exe and qmsim.exe under Wine, against the native programs:

    python3 scripts/wine_smoke.py NATIVE_APPS_DIR WINDOWS_APPS_DIR

Each check runs the same request through a Windows program and through its native twin and
compares what they print: compiling and decoding a sequence file, the gateway with its
authentication in both directions (Winsock and the CNG digest on the Windows side), and the
serial port with a sequence run (a pseudo-terminal of the native simulator mapped to COM7 in
Wine's prefix).
Wine keeps its prefix in WINDOWS_APPS_DIR/../wine-prefix. Prints one line per check and ends
with "N passed, M failed"; exits 1 when a check failed."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SEQUENCE = "PROC BLINK\nSEND UNIT 1 40 1\nENDPROC\nREM blink\nBLINK\nWAIT 00:00:01\nREM done\n"


def find_wine():
    for name in ("wine64", "wine"):
        found = shutil.which(name)
        if found:
            return found
    for path in ("/usr/lib/wine/wine64", "/usr/lib/wine/wine"):
        if os.access(path, os.X_OK):
            return path
    return None


class Smoke:
    def __init__(self, native, windows, wine, home):
        self.native = native
        self.windows = windows
        self.wine = wine
        self.home = home
        prefix = windows.parent / "wine-prefix"
        self.env = dict(os.environ, HOME=str(home), XDG_CONFIG_HOME=str(home),
                        WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        self.prefix = prefix
        self.passed = 0
        self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print(f"  ok    {name}")
        else:
            self.failed += 1
            print(f"  FAIL  {name}" + (f"\n{detail}" if detail else ""))

    def run(self, command, timeout=60):
        return subprocess.run(command, env=self.env, capture_output=True, timeout=timeout,
                              cwd=self.home)

    def qmctl(self, args):
        return self.run([str(self.native / "qmctl")] + args)

    def qmctl_exe(self, args):
        return self.run([self.wine, str(self.windows / "qmctl.exe")] + args)

    def start(self, command):
        """A simulator and the first line it prints (its device or port)."""
        proc = subprocess.Popen(command, env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, cwd=self.home)
        line = proc.stdout.readline().decode(errors="replace").strip()
        return proc, line

    @staticmethod
    def stop(proc):
        if proc.poll() is None:
            proc.send_signal(signal.SIGINT)  # Wine passes it on as Ctrl+C
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        proc.stdout.close()
        return proc.returncode

    def same(self, name, native, windows):
        ok = windows.returncode == native.returncode and windows.stdout == native.stdout
        self.check(name, ok, f"    native  {native.returncode}: {native.stdout!r}\n"
                             f"    windows {windows.returncode}: {windows.stdout!r} "
                             f"{windows.stderr!r}")

    def compile_and_decode(self):
        (self.home / "show.seq").write_text(SEQUENCE)
        native = self.qmctl(["compile", "show.seq", "-o", "native.sfb"])
        windows = self.qmctl_exe(["compile", "show.seq", "-o", "windows.sfb"])
        self.check("compile (with std.inc)", native.returncode == 0 and windows.returncode == 0 and
                   (self.home / "native.sfb").read_bytes() ==
                   (self.home / "windows.sfb").read_bytes(),
                   f"    {native.stderr!r}\n    {windows.stderr!r}")
        self.same("decode", self.qmctl(["decode", "--rate", "50", "native.sfb"]),
                  self.qmctl_exe(["decode", "--rate", "50", "windows.sfb"]))

    def gateway(self, sim, client, where):
        proc, port = self.start(sim + ["tcp", "--key", "s3cret"])
        try:
            if not port.isdigit():
                self.check(f"gateway {where}: starts", False, f"    printed {port!r}")
                return
            target = ["--tcp", f"127.0.0.1:{port}"]
            good = client(target + ["--key", "s3cret", "get", "7", "1", "4"])
            self.check(f"gateway {where}: authenticated get",
                       good.returncode == 0 and b"Major: 4" in good.stdout,
                       f"    {good.returncode}: {good.stdout!r} {good.stderr!r}")
            bad = client(target + ["--key", "guess", "get", "7", "1", "4"])
            self.check(f"gateway {where}: wrong key refused",
                       bad.returncode == 1 and b"Authentication failure" in bad.stderr,
                       f"    {bad.returncode}: {bad.stderr!r}")
        finally:
            self.check(f"gateway {where}: ends cleanly on interrupt", self.stop(proc) == 0)

    def serial(self):
        proc, device = self.start([str(self.native / "qmsim"), "serial"])
        try:
            com = self.prefix / "dosdevices" / "com7"
            if com.is_symlink() or com.exists():
                com.unlink()
            com.symlink_to(device)
            self.same("serial COM7: get", self.qmctl(["--port", device, "get", "7", "0", "3"]),
                      self.qmctl_exe(["--port", "COM7", "get", "7", "0", "3"]))
            self.same("serial COM7: poll", self.qmctl(["--port", device, "--unit", "3", "poll"]),
                      self.qmctl_exe(["--port", "COM7", "--unit", "3", "poll"]))
            self.same("serial COM7: run", self.qmctl(["--port", device, "run", "show.seq"]),
                      self.qmctl_exe(["--port", "COM7", "run", "show.seq"]))
        finally:
            self.stop(proc)


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    wine = find_wine()
    if not wine:
        print("wine_smoke.py: Wine is not installed", file=sys.stderr)
        return 2
    native, windows = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    with tempfile.TemporaryDirectory(prefix="qm_wine_") as home:
        smoke = Smoke(native, windows, wine, Path(home))
        start = time.monotonic()
        smoke.run([wine, "cmd", "/c", "exit"], timeout=300)  # makes the prefix on the first run
        print(f"  Wine ready after {time.monotonic() - start:.1f} s")
        try:
            smoke.compile_and_decode()
            smoke.gateway([str(native / "qmsim")], smoke.qmctl_exe, "native, qmctl.exe")
            smoke.gateway([wine, str(windows / "qmsim.exe")], smoke.qmctl, "qmsim.exe, native")
            smoke.serial()
        finally:
            wineserver = Path(wine).with_name("wineserver")
            subprocess.run([str(wineserver) if wineserver.exists() else "wineserver", "-k"],
                           env=smoke.env, capture_output=True)
    print(f"{smoke.passed} passed, {smoke.failed} failed")
    return 1 if smoke.failed else 0


if __name__ == "__main__":
    sys.exit(main())
