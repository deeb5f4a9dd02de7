#!/usr/bin/env python3
"""The window under Wine, and the error box when the central server cannot
be reached (the exe's central host is 127.0.0.1 on a port nothing listens
on during these tests)."""
import os
import time
import unittest

from winetest import (CENTRAL_PORT, SW_HIDE, SW_SHOWDEFAULT, SW_SHOWMAXIMIZED,
                      SW_SHOWMINIMIZED, SW_SHOWMINNOACTIVE, SW_SHOWNORMAL, WineTestCase, port_is_closed,
                      union, wait_for)

UNREACHABLE = "Unable to connect: Adaptive Server is unavailable or does not exist."

# Under Xvfb there is no window manager. A managed window (Wine's default)
# then has no title bar at all and X shows just its client area, which Wine
# places 3 px right of and 22 px below the outer position (the dialog frame
# and the caption). An unmanaged one (see session.py) is drawn by Wine with
# its frame and X shows the whole window.
CLIENT_RECT = (1216, 459, 116, 9)
WINDOW_RECT = (1213, 437, 122, 34)

# _MOTIF_WM_HINTS: flags (functions, decorations); functions: move and close
# (Wine keeps close for a window without system menu, but drops it while a
# modal box disables the window); decorations: border and title. No menu, no
# minimise or maximise, no sizing.
MOTIF_HINTS = [0x3, 0x24, 0xA, 0x0, 0x0]

BLUE, YELLOW, TRANSPARENT = 0xFF0000FF, 0xFFFFFF00, 0x00000000


def stop_sign_pixels(rgb):
    """Pixels of the stop icon's red in an RGB dump."""
    return sum(1 for i in range(0, len(rgb) - 2, 3) if rgb[i] > 180 and rgb[i + 1] < 90 and rgb[i + 2] < 90)


class WindowTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.assertTrue(port_is_closed(CENTRAL_PORT), f"something listens on the central port {CENTRAL_PORT}")

    def test_window_has_designed_place_size_frame_and_icon(self):
        run = self.start()
        window = self.main_window(run)
        self.assertEqual(self.display.rect(window), CLIENT_RECT)
        self.assertEqual(self.display.numbers(window, "_MOTIF_WM_HINTS"), MOTIF_HINTS)
        hints = self.display.prop(window, "WM_NORMAL_HINTS")
        self.assertIn("minimum size: 116 by 9", hints)
        self.assertIn("maximum size: 116 by 9", hints)

        icon = self.display.icons(window)[(32, 32)]
        self.assertEqual(icon[0], TRANSPARENT)
        self.assertEqual(icon[10 * 32 + 15], BLUE)
        self.assertEqual(icon[12 * 32 + 25], YELLOW)
        self.display.screenshot(self.path("window.png"), union(CLIENT_RECT, margin=20))

    def test_unreachable_central_shows_error_box_and_window_stays(self):
        # The title comes from the exe's name: cut at the first dot, lower case after the first letter.
        run = self.start("MyJob.Daily.EXE", WINEDEBUG="-all,+msgbox")
        window = self.main_window(run)
        box = wait_for(lambda: self.windows_of(run, "Myjob"), 30, "the error box")[0]
        self.assertEqual(run.message_box_texts(), [UNREACHABLE])
        self.assertEqual(self.display.numbers(box, "WM_TRANSIENT_FOR"), [window], "owned by the main window")
        box_rect = self.display.rect(box)
        self.assertGreater(stop_sign_pixels(self.display.pixels(box_rect)), 50, "a stop icon")
        self.display.screenshot(self.path("error-box.png"), union(CLIENT_RECT, box_rect, margin=10))

        self.display.press(box, "Return")
        wait_for(lambda: not self.windows_of(run, "Myjob"), 10, "the box to close")
        time.sleep(1.5)
        self.assertTrue(run.running(), "the process keeps running")
        self.assertEqual(self.display.rect(window), CLIENT_RECT)
        self.assertEqual(len(run.message_box_texts()), 1, "no second tick")
        self.assertFalse(os.path.exists(self.path("memo1.txt")))

    def test_window_drawn_with_its_frame_at_designed_outer_position(self):
        run = self.start("Unmanaged.exe")
        window = self.main_window(run)
        self.assertEqual(self.display.rect(window), WINDOW_RECT)
        box = wait_for(lambda: self.windows_of(run, "Unmanaged"), 30, "the error box")[0]
        time.sleep(0.5)  # let Wine finish drawing the frames
        shot = self.path("window-and-error-box.png")
        self.display.screenshot(shot, union(WINDOW_RECT, self.display.rect(box), margin=10))
        self.assertTrue(os.path.getsize(shot) > 0)


class StartupShowTest(WineTestCase):
    """Show requests a shortcut or a scheduler passes in STARTUPINFO. The
    windows are unmanaged here, so the X geometry is what Wine made of them."""

    def setUp(self):
        super().setUp()
        self.assertTrue(port_is_closed(CENTRAL_PORT))

    def test_maximised_request_maximises_and_job_runs(self):
        run = self.start("Unmanaged.exe", show=SW_SHOWMAXIMIZED)
        x, y, width, height = self.display.rect(self.main_window(run))
        self.assertLessEqual((x, y), (0, 0))
        self.assertGreaterEqual((width, height), (1920, 1080))
        wait_for(lambda: self.windows_of(run, "Unmanaged"), 30, "the error box: the job ran")

    def test_minimised_without_activation_starts_minimised_and_job_runs(self):
        run = self.start("Unmanaged.exe", show=SW_SHOWMINNOACTIVE)
        window = self.main_window(run)
        box = wait_for(lambda: self.windows_of(run, "Unmanaged"), 30, "the error box: the job ran")[0]
        # Wine draws a minimised unmanaged window as a title strip at the
        # bottom left of the screen.
        x, y, width, height = self.display.rect(window)
        self.assertEqual(x, 0)
        self.assertGreater(y, 1000)
        self.display.screenshot(self.path("minimised.png"), union((x, y, width, height), self.display.rect(box)))

    def test_every_other_request_shows_a_normal_window(self):
        for show in (SW_HIDE, SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWDEFAULT):
            with self.subTest(show=show):
                run = self.start("Unmanaged.exe", show=show)
                self.assertEqual(self.display.rect(self.main_window(run)), WINDOW_RECT)
                self.end(run)
                self.runs.remove(run)


if __name__ == "__main__":
    unittest.main(verbosity=2)
