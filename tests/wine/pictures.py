#!/usr/bin/env python3
"""Makes the README's pictures from the current program (scripts/pictures
runs it):

  window-wine.png   the Windows exe under Wine as parktotals.exe, drawn by
                    Wine with its frame, and the error box of a run that
                    could not reach the central server, titled parktotals
  window-linux.png  the Linux program's window under Xvfb during a good
                    run (no window manager: no title bar)
  installer-*.png   the installer's pages, filled in as a technician would,
                    and the box of "Run once now" after a good run (the
                    installer of scripts/release with the wine tests'
                    central account, built into BUILD_DIR/pictures/release)
  installer-*-zh-CN.png  the same under a Chinese Windows (code page 936,
                    display language Chinese)

Each picture is checked as the window tests check theirs before it is
written. The programs are those of a build folder: the wine tests' exe and
settings (from ctest), and the Linux program with the build's central
account, which has to be on 127.0.0.1.

Usage: pictures.py BUILD_DIR OUT_DIR [Pictures.test_...]  (some pictures only)
"""
import functools
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


if len(sys.argv) < 3:
    sys.exit(__doc__)
BUILD, OUT = (os.path.abspath(a) for a in sys.argv[1:3])
os.environ.update(wine_test_environment(BUILD),
                  PARKTOTALS_WINE_SESSION=os.path.join(BUILD, "pictures", "session"),
                  PARKTOTALS_WINE_ARTIFACTS=os.path.join(BUILD, "pictures", "artifacts"))

# The wine tests' helpers read their settings when imported.
import session as wine_session  # noqa: E402
from winetest import (CAPTION, CENTRAL_PASSWORD, CENTRAL_PORT, CENTRAL_USER, DEADLINE, HOLD_UPDATES,  # noqa: E402
                      LOCAL_PASSWORD, LOCAL_USER, SOURCE, WINDOW_RECT, Run, WineTestCase, central_rules,
                      empty_boxes_problem, error_box_problem, frame_problem, local_rules, memo_problem,
                      port_is_closed, reginfo, text_pixels, union, wait_for)

# FLTK places the window itself: its client area is where the program asks.
LINUX_RECT = (1213, 437, 116, 9)

VERSION = os.environ.get("PARKTOTALS_VERSION", "")
SETUP_NAME = f"parktotals-{VERSION}-setup.exe"
# NSIS puts a blank after its window's title; its message boxes have none.
SETUP_CAPTION = f"parktotals {VERSION} Setup "
CHINESE_SETUP_CAPTION = f"parktotals {VERSION} 安装 "


@functools.cache
def build_installer():
    """scripts/release with the wine tests' central account, so that "Run
    once now" reaches the central stand-in; returns the installer's path.
    Once per run, so that both languages' pictures show the same build."""
    folder = os.path.join(BUILD, "pictures", "release")
    env = {k: v for k, v in os.environ.items() if not k.startswith("PARKTOTALS_CENTRAL_")}
    env.update(PARKTOTALS_CENTRAL_HOST=f"127.0.0.1,{CENTRAL_PORT}", PARKTOTALS_CENTRAL_USER=CENTRAL_USER,
               PARKTOTALS_CENTRAL_PASSWORD=CENTRAL_PASSWORD)
    done = subprocess.run([os.path.join(SOURCE, "scripts", "release"), "--build-dir", folder], env=env,
                          stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"scripts/release failed:\n{done.stdout}{done.stderr}")
    return os.path.join(folder, SETUP_NAME)


def page_problem(rect, previous):
    """A page is right once Wine has drawn the installer's frame (active or
    not), with no character as an empty box, and the picture is no longer
    the one before the key press."""
    def problem(picture):
        if picture == previous:
            return "still the picture before the key press"
        return ((frame_problem(picture, rect, active=True) and frame_problem(picture, rect, active=False))
                or empty_boxes_problem(picture, rect))
    return problem


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
        # The session's set-up comes first, then the update that is held.
        wait_for(lambda: len(central.batches()) > 1, "the first update, held")
        self.wait_for_picture("window-linux.png", union(LINUX_RECT, margin=20),
                              lambda picture: memo_problem(picture, LINUX_RECT), "the memo drawn")
        central.release()
        self.assertEqual(run.wait(), 0, "a good run's exit code")
        self.publish("window-linux.png")


    def test_installer_pages(self):
        self.installer_pages("", SETUP_CAPTION)

    def test_installer_pages_in_chinese(self):
        """The same pages under a Chinese Windows (code page 936, display
        language Chinese): installer-*-zh-CN.png."""
        self.installer_pages("-zh-CN", CHINESE_SETUP_CAPTION, **wine_session.CHINESE)

    def installer_pages(self, suffix, caption, **env):
        self.assertTrue(port_is_closed(CENTRAL_PORT), f"something listens on the central port {CENTRAL_PORT}")
        setup = build_installer()
        local = self.standin("local", local_rules())
        self.standin("central", central_rules(), port=CENTRAL_PORT)
        self.start(folder=os.path.dirname(setup), exe_name=SETUP_NAME, **env)
        # The next pictures' installer finds no install of this one.
        self.addCleanup(self.uninstall)
        # NSIS's window does not carry the pid of the process started.
        window = wait_for(lambda: self.display.windows(caption), "the installer's window")[0]
        rect = wait_for(lambda: self.display.rect(window), "the installer's window on the screen")
        last = [None]

        def page(name, key=None, text="", publish=True):
            """Presses the key, types `text` into the focused field, and
            takes the picture of what follows."""
            name = name.replace(".png", suffix + ".png")
            if key:
                self.display.press(window, key)
            if text:
                self.display.type(window, text)
            last[0] = self.wait_for_picture(name, rect, page_problem(rect, last[0]), f"the page of {name}")
            if publish:
                self.publish(name)

        page("installer-folder.png")
        page("park-empty.png", "Return", publish=False)
        page("installer-park.png", text="208")
        page("database-empty.png", "Return", publish=False)
        page("installer-database.png", text=f"127.0.0.1,{local.port}\tpark\t\t{LOCAL_USER}\t{LOCAL_PASSWORD}")
        page("installer-time.png", "Return")
        page("installing.png", "Return", publish=False)
        # The finish page follows once the task is registered: its picture
        # on the left is dark blue.
        left = (rect[0] + 10, rect[1] + 40, 100, 200)
        finish = f"installer-finish{suffix}.png"
        last[0] = self.wait_for_picture(
            finish, rect,
            lambda picture: empty_boxes_problem(picture, rect) or (
                None if sum(1 for r, g, b in picture.pixels(left) if b > 60 and r < 40 and g < 40) > 5000
                else "no finish page yet"), "the finish page")
        self.publish(finish)
        # Finish with "Run once now" ticked: the program runs, then a box
        # says how it went.
        # (In Chinese a window of NSIS's own has the box's title already.)
        others = self.display.windows(caption.strip())
        self.display.press(window, "Return")
        box = wait_for(lambda: [w for w in self.display.windows(caption.strip()) if w not in others],
                       "the run's box")[0]
        box_rect = wait_for(lambda: self.display.rect(box), "the box on the screen")
        # Without a window manager the installer's window stays above its box.
        self.display._run("xdotool", "windowraise", str(box))
        run_once = f"installer-run-once{suffix}.png"
        self.wait_for_picture(run_once, box_rect,
                              lambda picture: empty_boxes_problem(picture, box_rect) or (
                                  None if text_pixels(picture.pixels(box_rect)) > 2000 else "no text in the box yet"),
                              "the box drawn")
        self.publish(run_once)
        self.assertEqual(len(local.batches()), 5)

    def uninstall(self):
        """Removes the installed program, its task and the car park's files
        from the prefix (the uninstaller runs on from a copy of itself)."""
        folder = os.path.join(self.session["prefix"], "drive_c", "parktotals")
        subprocess.run(["wine", "C:\\parktotals\\uninstall.exe", "/S", "/REMOVEFILES"],
                       env=wine_session.wine_environment(self.session), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=DEADLINE)
        wait_for(lambda: not os.path.exists(folder), "the uninstaller to remove C:\\parktotals")


def main():
    os.makedirs(OUT, exist_ok=True)
    # The error box's title comes from the exe's name: the picture needs
    # parktotals.exe, drawn with its frame.
    wine_session.start(unmanaged=("parktotals.exe", SETUP_NAME))
    try:
        tests = unittest.defaultTestLoader.loadTestsFromNames(sys.argv[3:] or ["Pictures"], sys.modules[__name__])
        result = unittest.TextTestRunner(verbosity=2).run(tests)
    finally:
        wine_session.stop()
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
