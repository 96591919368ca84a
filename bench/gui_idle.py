#!/usr/bin/env python3
"""Start-up time, resident memory and idle CPU of the GUI program on the offscreen platform.

    python3 bench/gui_idle.py build-rel/apps/QuadrimonControl [IDLE_SECONDS]

Start-up: from the process start until it first reports the main window shown (it prints
nothing; the time is taken as the moment its CPU use settles, checked every 10 ms). Then the
resident memory, and the CPU it uses over the next IDLE_SECONDS (10 unless given; should be
about zero)."""
import os
import subprocess
import sys
import time

TICK = os.sysconf("SC_CLK_TCK")


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    program = sys.argv[1]
    idle_seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME="/tmp/qm_gui_idle_home")
    os.makedirs(env["HOME"], exist_ok=True)
    start = time.monotonic()
    proc = subprocess.Popen([program, "--demo"], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    # Settled: no CPU tick for 100 ms in a row.
    last, quiet, settled = -1, 0, None
    while time.monotonic() - start < 10:
        ticks = cpu_ticks(proc.pid)
        quiet = quiet + 1 if ticks == last else 0
        last = ticks
        if quiet == 10:
            settled = time.monotonic() - start - 0.1
            break
        time.sleep(0.01)
    print(f"start-up until settled: {settled * 1000:.0f} ms" if settled else "never settled")
    print(f"resident memory: {rss_kib(proc.pid) / 1024:.1f} MiB")
    before = cpu_ticks(proc.pid)
    time.sleep(idle_seconds)
    used = (cpu_ticks(proc.pid) - before) / TICK
    print(f"CPU over {idle_seconds:g} s idle: {used * 1000:.0f} ms")
    proc.terminate()
    proc.wait()


if __name__ == "__main__":
    main()
