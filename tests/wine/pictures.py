#!/usr/bin/env python3
"""Makes the README's pictures from the current program (scripts/pictures
runs it):

  window-wine.png   the Windows exe under Wine as parktotals.exe, drawn by
                    Wine with its frame, and the error box of a run that
                    could not reach the central server, titled parktotals
  window-linux.png  the Linux program's window under Xvfb during a good
                    run (no window manager: no title bar)

Each picture is checked as the window tests check theirs before it is
written. The programs are those of a build folder: the wine tests' exe and
settings (from ctest), and the Linux program with the build's central
account, which has to be on 127.0.0.1.

Usage: pictures.py BUILD_DIR OUT_DIR
"""
import json
import os
import re
import shutil
import subprocess
import sys
import unittest


def wine_test_environment(build):
    """The environment ctest gives the wine tests of the build."""
    listing = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1", "-R", "^wine_window$"],
                             capture_output=True, text=True, check=True)
    for test in json.loads(listing.stdout)["tests"]:
        for prop in test.get("properties", []):
            if prop["name"] == "ENVIRONMENT":
                return dict(value.split("=", 1) for value in prop["value"])
    sys.exit(f"{build} has no wine tests (missing tools? see its configure output)")


def central_account(build):
    """(port, user, password) the build's Linux program logs in with."""
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        cache = dict(re.findall(r"^PARKTOTALS_CENTRAL_(HOST|USER|PASSWORD):\w+=(.*)$", f.read(), re.M))
    host, _, port = cache["HOST"].partition(",")
    if host != "127.0.0.1" or not port.isdigit():
        sys.exit(f"the Linux program of {build} reaches {cache['HOST']}, not a stand-in on 127.0.0.1")
    return int(port), cache["USER"], cache["PASSWORD"]


if len(sys.argv) != 3:
    sys.exit(__doc__)
BUILD, OUT = (os.path.abspath(a) for a in sys.argv[1:])
os.environ.update(wine_test_environment(BUILD),
                  PARKTOTALS_WINE_SESSION=os.path.join(BUILD, "pictures", "session"),
                  PARKTOTALS_WINE_ARTIFACTS=os.path.join(BUILD, "pictures", "artifacts"))

# The wine tests' helpers read their settings when imported.
import session as wine_session  # noqa: E402
from winetest import (CAPTION, CENTRAL_PORT, HOLD_UPDATES, WINDOW_RECT, Run, WineTestCase,  # noqa: E402
                      central_rules, error_box_problem, local_rules, memo_problem, port_is_closed, reginfo, union,
                      wait_for)

# FLTK places the window itself: its client area is where the program asks.
LINUX_RECT = (1213, 437, 116, 9)


class Pictures(WineTestCase):
    def publish(self, name):
        shutil.copy(self.path(name), os.path.join(OUT, name))
        print(f"wrote {os.path.join(OUT, name)}")

    def test_windows_window_and_error_box(self):
        self.assertTrue(port_is_closed(CENTRAL_PORT), f"something listens on the central port {CENTRAL_PORT}")
        run = self.start("parktotals.exe")
        window = self.main_window(run)
        self.wait_for_rect(window, WINDOW_RECT, "the window with its frame at its place")
        box_rect = self.display.rect(self.window(run, "parktotals", "the error box titled parktotals"))
        self.wait_for_picture("window-wine.png", union(WINDOW_RECT, box_rect, margin=10),
                              error_box_problem(WINDOW_RECT, box_rect), "both frames and the stop icon drawn")
        self.publish("window-wine.png")

    def test_linux_window_during_a_good_run(self):
        port, user, password = central_account(BUILD)
        self.assertTrue(port_is_closed(port), f"something listens on the Linux program's central port {port}")
        local = self.standin("local", local_rules())
        self.write("RegInfo.INI", reginfo(local.port))
        central = self.standin("central", central_rules(HOLD_UPDATES, user, password), port)
        run = Run([os.path.join(BUILD, "src", "app", "parktotals")], self.folder,
                  dict(os.environ, DISPLAY=self.session["display"]))
        self.runs.append(run)
        window = wait_for(lambda: self.display.windows(CAPTION), "the Linux program's window")[0]
        self.wait_for_rect(window, LINUX_RECT, "the window at its place")
        wait_for(central.batches, "the first update, held")
        self.wait_for_picture("window-linux.png", union(LINUX_RECT, margin=20),
                              lambda picture: memo_problem(picture, LINUX_RECT), "the memo drawn")
        central.release()
        self.assertEqual(run.wait(), 0, "a good run's exit code")
        self.publish("window-linux.png")


def main():
    os.makedirs(OUT, exist_ok=True)
    # The error box's title comes from the exe's name: the picture needs
    # parktotals.exe, drawn with its frame.
    wine_session.start(unmanaged=("parktotals.exe",))
    try:
        result = unittest.TextTestRunner(verbosity=2).run(unittest.defaultTestLoader.loadTestsFromTestCase(Pictures))
    finally:
        wine_session.stop()
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
