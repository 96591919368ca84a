#!/usr/bin/env python3
"""CPU time of `qmctl get` to a unit that never answers: four 50 ms waits that must block,
not spin. Prints wall, user and system time of each run.

    python3 bench/silent_get_cpu.py build-rel/apps/qmctl [RUNS]
"""
import os
import pty
import resource
import subprocess
import sys
import tempfile
import time


def main() -> int:
    qmctl = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    master, slave = pty.openpty()  # nobody answers on the master side
    slave_path = os.ttyname(slave)
    home = tempfile.mkdtemp(prefix="qm_cpu_")
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home)
    print(f"{'run':>4} {'wall ms':>8} {'user ms':>8} {'sys ms':>8}")
    for i in range(runs):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.monotonic()
        code = subprocess.call([qmctl, "--port", slave_path, "get", "7", "0", "35"], env=env,
                               stderr=subprocess.DEVNULL)
        wall = (time.monotonic() - start) * 1000
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        user = (after.ru_utime - before.ru_utime) * 1000
        system = (after.ru_stime - before.ru_stime) * 1000
        print(f"{i + 1:>4} {wall:8.1f} {user:8.1f} {system:8.1f}   exit {code}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
