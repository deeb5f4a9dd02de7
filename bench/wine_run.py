#!/usr/bin/env python3
"""Whole runs of the Windows exe under Wine against two stand-ins on
loopback: median wall time, and the part beyond the 500 ms start delay.
Uses the wine tests' helpers (tests/wine): their Xvfb + Wine prefix session
and their stand-in runner. Settings come from the environment, as
scripts/bench sets them.

Xvfb has no window manager, and Wine then waits 2 s for one whenever a
window it lets a manager handle goes away ("wait_for_withdrawn_state ...
timed out"). The main figure is therefore taken with the window unmanaged
(the session's Unmanaged.exe name), which Windows and a desktop with a
window manager resemble; a few managed runs show the wait.

Usage: wine_run.py [--runs N]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "wine"))
import session as wine_session  # noqa: E402
from winetest import CENTRAL_PORT, EXE, StandIn, central_rules, local_rules, reginfo  # noqa: E402

START_DELAY_MS = 500


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=15)
    runs = parser.parse_args().runs

    folder = os.environ["PARKTOTALS_WINE_ARTIFACTS"]
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name in ("parktotals.exe", wine_session.UNMANAGED_EXE):
        shutil.copy(EXE, os.path.join(folder, name))
    with open(os.path.join(folder, "weixinconfig.ini"), "w", newline="") as f:
        f.write("[code]\r\njov_park_id=208\r\n")

    started = time.monotonic()
    wine_session.start()
    print(f"Wine session ready in {time.monotonic() - started:.1f} s")
    local = central = None
    try:
        env = wine_session.wine_environment(wine_session.load())
        # The car park's day of figures, as the tests and scripts/demo use it.
        local = StandIn(folder, "local", local_rules())
        central = StandIn(folder, "central", central_rules(), port=CENTRAL_PORT)
        with open(os.path.join(folder, "RegInfo.INI"), "w", newline="") as f:
            f.write(reginfo(local.port))

        def run(exe):
            began = time.monotonic()
            code = subprocess.run(["wine", exe], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120).returncode
            return code, (time.monotonic() - began) * 1000

        def measure(exe, count):
            run(exe)  # warm-up: the first start in a fresh prefix loads much more
            wall = []
            for i in range(count):
                sent = len(central.batches())
                code, ms = run(exe)
                # The session's set-up and the five updates.
                if code != 0 or len(central.batches()) - sent != 6:
                    sys.exit(f"{exe} run {i + 1} failed: exit code {code}, {len(central.batches()) - sent} batches")
                wall.append(ms)
            return wall

        print(f"load average before: {load()}")
        unmanaged = measure(wine_session.UNMANAGED_EXE, runs)
        managed = measure("parktotals.exe", min(runs, 3))
        print(f"load average after:  {load()}")
        version = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
        print(f"whole run, Windows exe under {version}, window on Xvfb, loopback")
        for what, wall in ((f"window unmanaged, {len(unmanaged)} runs", unmanaged),
                           (f"window managed but no manager, {len(managed)} runs", managed)):
            median = statistics.median(wall)
            print(f"  {what}, after one warm-up:")
            print(f"    wall time          median {median:7.1f} ms   (min {min(wall):.1f}, max {max(wall):.1f})")
            print(f"    beyond the 500 ms  median {median - START_DELAY_MS:7.1f} ms")
    finally:
        for server in (local, central):
            if server:
                server.stop()
        wine_session.stop()


if __name__ == "__main__":
    main()
