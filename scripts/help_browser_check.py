#!/usr/bin/env python3
"""Loads the main help page from `qmctl help-server` in headless Chromium and keeps a screenshot.

    python3 scripts/help_browser_check.py APPS_DIR [SCREENSHOT.png]

APPS_DIR holds qmctl with the help folder beside it. Passes (saying so) when no Chromium is
installed: the browser is installed only where the system's packages offer it. Fails when the
server does not start, the browser cannot load the page, or the screenshot is blank.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import zlib
import struct


def png_colours(path):
    """How many different rows the PNG has (a blank page has one)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return 0
    at, idat, width, height = 8, b"", 0, 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height = struct.unpack(">II", body[:8])
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    stride = len(raw) // height if height else 0
    return len({raw[r * stride + 1:(r + 1) * stride] for r in range(height)})


def main():
    apps = sys.argv[1]
    shot = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(apps, "help-page.png"))
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    if browser is None:
        print("no Chromium installed: the page was not loaded in a browser (passed)")
        return 0
    server = subprocess.Popen([os.path.join(apps, "qmctl"), "help-server", "--port", "0"],
                              stdout=subprocess.PIPE, text=True)
    try:
        address = server.stdout.readline().strip()
        if not address.startswith("http://127.0.0.1:"):
            print("help-server did not say where it serves:", address)
            return 1
        with tempfile.TemporaryDirectory() as profile:
            run = subprocess.run(
                [browser, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                 "--user-data-dir=" + profile, "--window-size=1000,1400",
                 "--screenshot=" + shot, address],
                capture_output=True, text=True, timeout=120)
        if run.returncode != 0 or not os.path.exists(shot):
            print("Chromium failed:", run.returncode, run.stderr[-2000:])
            return 1
        rows = png_colours(shot)
        print(f"{address} loaded; screenshot {shot} ({os.path.getsize(shot)} bytes, {rows} distinct rows)")
        return 0 if rows > 20 else 1
    finally:
        server.terminate()
        server.wait(timeout=10)


if __name__ == "__main__":
    sys.exit(main())
