#!/usr/bin/env python3
"""The window under Wine: during a good run, which the central stand-in
holds open by keeping its answer to the first update back until the test
has looked, and with the error box when the central server cannot be
reached (the exe's central host is 127.0.0.1 on a port nothing listens on
unless a test starts a stand-in there)."""
import os
import unittest

import session as wine_session
from winetest import (CAPTION, CENTRAL_PORT, CLIENT_RECT, HOLD_UPDATES, LOCAL_FIGURES, STANDIN, SW_HIDE,
                      SW_SHOWDEFAULT, SW_SHOWMAXIMIZED, SW_SHOWMINIMIZED, SW_SHOWMINNOACTIVE, SW_SHOWNORMAL,
                      WINDOW_RECT, WineTestCase, central_batches, central_rules, crlf_lines, empty_boxes_problem,
                      error_box_problem, frame_problem, holds_for, local_rules, memo_problem, port_is_closed, reginfo, statements,
                      stop_icon_problem, union, wait_for, wait_for_value, yesterday_key)

UNREACHABLE = "Unable to connect: Adaptive Server is unavailable or does not exist."

# _MOTIF_WM_HINTS: flags (functions, decorations); functions: move and close
# (Wine keeps close for a window without system menu, but drops it while a
# modal box disables the window); decorations: border and title. No menu, no
# minimise or maximise, no sizing.
MOTIF_HINTS = [0x3, 0x24, 0xA, 0x0, 0x0]

BLUE, YELLOW, TRANSPARENT = 0xFF0000FF, 0xFFFFFF00, 0x00000000

# The program's only timer fires once, 500 ms after start; a second tick
# would come within the same time again. Watching four times that long
# shows there is none.
NO_SECOND_TICK_WATCH = 2.0


class WindowTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.assertTrue(port_is_closed(CENTRAL_PORT), f"something listens on the central port {CENTRAL_PORT}")

    def start_held_run(self, exe_name="parktotals.exe"):
        """A good run that waits at its first update until the test calls
        finish_held_run."""
        self.local = self.standin("local", local_rules())
        self.write("RegInfo.INI", reginfo(self.local.port))
        self.central = self.standin("central", central_rules(HOLD_UPDATES), port=CENTRAL_PORT)
        self.date = yesterday_key()
        run = self.start(exe_name)
        window = self.main_window(run)
        # The session's set-up comes first, then the update that is held.
        wait_for(lambda: len(self.central.batches()) > 1, "the first update, held by the central stand-in")
        return run, window

    def finish_held_run(self, run, window):
        self.assertTrue(run.running(), "the run waits for the held update")
        self.central.release()
        self.assertEqual(self.wait_to_end(run), 0)
        if yesterday_key() != self.date:
            self.skipTest("the run crossed midnight")
        expected = statements(LOCAL_FIGURES, "1", self.date)
        self.assertEqual(self.central.batches(), central_batches(expected))
        self.assertEqual(self.read("memo1.txt"), crlf_lines(expected).encode())
        wait_for(lambda: self.display.rect(window) is None, "the window to go")

    @unittest.skipUnless(STANDIN, "needs tools/sqlserver-standin")
    def test_window_of_a_good_run_has_designed_place_size_hints_and_icon_then_closes(self):
        run, window = self.start_held_run()
        self.wait_for_rect(window, CLIENT_RECT, "the window at its place")
        self.assertEqual(self.display.numbers(window, "_MOTIF_WM_HINTS"), MOTIF_HINTS)
        hints = self.display.prop(window, "WM_NORMAL_HINTS")
        self.assertIn("minimum size: 116 by 9", hints)
        self.assertIn("maximum size: 116 by 9", hints)

        icon = self.display.icons(window)[(32, 32)]
        self.assertEqual(icon[0], TRANSPARENT)
        self.assertEqual(icon[10 * 32 + 15], BLUE)
        self.assertEqual(icon[12 * 32 + 25], YELLOW)
        self.wait_for_picture("window.png", union(CLIENT_RECT, margin=20),
                              lambda picture: memo_problem(picture, CLIENT_RECT), "the memo drawn")
        self.finish_held_run(run, window)

    @unittest.skipUnless(STANDIN, "needs tools/sqlserver-standin")
    def test_good_run_drawn_with_its_frame_at_designed_outer_position_until_it_ends(self):
        run, window = self.start_held_run("Unmanaged.exe")
        self.wait_for_rect(window, WINDOW_RECT, "the window with its frame at its place")
        self.wait_for_picture(
            "window-with-frame.png", union(WINDOW_RECT, margin=20),
            lambda picture: frame_problem(picture, WINDOW_RECT, active=True) or memo_problem(picture, CLIENT_RECT),
            "the frame, its caption active, and the memo drawn")
        self.finish_held_run(run, window)

    def test_unreachable_central_shows_error_box_and_window_stays(self):
        # The title comes from the exe's name: cut at the first dot, lower case after the first letter.
        run = self.start("MyJob.Daily.EXE")
        window = self.main_window(run)
        box = self.window(run, "Myjob", "the error box titled Myjob")
        wait_for_value(run.message_box_texts, [UNREACHABLE], "the error box's text in the trace")
        self.assertEqual(self.display.numbers(box, "WM_TRANSIENT_FOR"), [window], "owned by the main window")
        box_rect = self.display.rect(box)
        self.wait_for_picture("error-box.png", box_rect, lambda picture: stop_icon_problem(picture, box_rect),
                              "the box drawn with its stop icon")

        self.display.press(box, "Return")
        wait_for(lambda: not self.windows_of(run, "Myjob"), "the box to close")
        holds_for(lambda: run.running() and len(run.message_box_texts()) == 1
                  and self.display.rect(window) == CLIENT_RECT,
                  NO_SECOND_TICK_WATCH, "the process keeps running with its window, no second tick")
        self.assertFalse(os.path.exists(self.path("memo1.txt")))

    def test_bad_option_shows_error_box_with_its_message_and_writes_nothing(self):
        # The exe reads its command line in UTF-16: the Chinese name comes
        # back in the box as it was typed. Wine builds that line from the
        # host's arguments in the host locale's charset, so UTF-8 it is (a
        # locale the host has; with one it lacks, the name arrives garbled).
        run = self.start(args=["--停车场=1"], LC_ALL="C.UTF-8")
        box = self.window(run, "parktotals", "the error box titled parktotals")
        texts = wait_for(run.message_box_texts, "the error box's text in the trace")
        self.assertEqual(len(texts), 1, texts)
        self.assertIn('Unknown option "--停车场"', texts[0])
        self.assertIn("--help", texts[0])
        box_rect = self.display.rect(box)
        self.wait_for_picture("bad-option-box.png", box_rect, lambda picture: stop_icon_problem(picture, box_rect),
                              "the box drawn with its stop icon")
        self.assertEqual(self.windows_of(run, CAPTION), [], "no main window")

        self.display.press(box, "Return")
        self.assertEqual(run.wait(), 1)
        self.assertEqual(sorted(os.listdir(self.folder)), ["bad-option-box.png", "parktotals.exe", "wine.log"])

    def test_bad_option_box_in_chinese_under_a_chinese_display_language(self):
        run = self.start(args=["--now"], **wine_session.CHINESE)
        box = self.window(run, "parktotals", "the error box titled parktotals")
        texts = wait_for(run.message_box_texts, "the error box's text in the trace")
        self.assertEqual(texts, ['未知选项 "--now"：用 --help 可列出所有选项。'])
        box_rect = self.display.rect(box)
        self.wait_for_picture("bad-option-box-zh-CN.png", box_rect,
                              lambda picture: empty_boxes_problem(picture, box_rect)
                              or stop_icon_problem(picture, box_rect), "the box's Chinese drawn, its stop icon")
        self.display.press(box, "Return")
        self.assertEqual(run.wait(), 1)

    def test_window_and_error_box_drawn_with_their_frames(self):
        run = self.start("Unmanaged.exe")
        window = self.main_window(run)
        self.wait_for_rect(window, WINDOW_RECT, "the window with its frame at its place")
        box_rect = self.display.rect(self.window(run, "Unmanaged", "the error box"))
        self.wait_for_picture("window-and-error-box.png", union(WINDOW_RECT, box_rect, margin=10),
                              error_box_problem(WINDOW_RECT, box_rect),
                              "the window's frame inactive, the box's active, its stop icon")


class StartupShowTest(WineTestCase):
    """Show requests a shortcut or a scheduler passes in STARTUPINFO. The
    windows are unmanaged here, so the X geometry is what Wine made of them."""

    def setUp(self):
        super().setUp()
        self.assertTrue(port_is_closed(CENTRAL_PORT))

    def wait_for_geometry(self, window, fits, what):
        seen = []

        def check():
            seen[:] = [self.display.rect(window)]
            return seen[0] is not None and fits(*seen[0])

        try:
            wait_for(check, what)
        except AssertionError as e:
            raise AssertionError(f"{e}; last seen {seen[0]}") from None
        return seen[0]

    def test_maximised_request_maximises_and_job_runs(self):
        run = self.start("Unmanaged.exe", show=SW_SHOWMAXIMIZED)
        self.wait_for_geometry(self.main_window(run),
                               lambda x, y, width, height: (x, y) <= (0, 0) and (width, height) >= (1920, 1080),
                               "the window to cover the screen")
        self.window(run, "Unmanaged", "the error box: the job ran")

    def test_minimised_without_activation_starts_minimised_and_job_runs(self):
        run = self.start("Unmanaged.exe", show=SW_SHOWMINNOACTIVE)
        window = self.main_window(run)
        # Wine draws a minimised unmanaged window as a title strip at the
        # bottom left of the screen.
        rect = self.wait_for_geometry(window, lambda x, y, width, height: x == 0 and y > 1000,
                                      "a title strip at the bottom left")
        box_rect = self.display.rect(self.window(run, "Unmanaged", "the error box: the job ran"))
        self.wait_for_picture("minimised.png", union(rect, box_rect),
                              lambda picture: stop_icon_problem(picture, box_rect), "the error box drawn")

    def test_every_other_request_shows_a_normal_window(self):
        for show in (SW_HIDE, SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWDEFAULT):
            with self.subTest(show=show):
                run = self.start("Unmanaged.exe", show=show)
                self.wait_for_rect(self.main_window(run), WINDOW_RECT, "a normal window at its place")
                self.end(run)


if __name__ == "__main__":
    unittest.main(verbosity=2)
