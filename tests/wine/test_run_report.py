#!/usr/bin/env python3
"""The run report of the Windows exe under Wine: parktotals.log in the
working folder, UTF-8 with a byte-order mark and CR LF, so that Notepad
shows a Chinese server message intact; and written before an error box."""
import os
import re
import unittest

from winetest import (CENTRAL_PASSWORD, CENTRAL_PORT, CENTRAL_USER, EVENT_ERROR, LOCAL_PASSWORD, STANDIN, WineTestCase,
                      central_rules, local_rules, reginfo, wait_for, windows_path, yesterday_key)

# SQL Server's own text for error 207 on a Chinese server.
CHINESE_ERROR = "列名 'Deposit' 无效。"

# Figure 2's query fails with the Chinese message; the others give 5.
ANSWERS = ["int 5", "error 207 '列名 ''Deposit'' 无效。'", "int 5", "int 5", "int 5"]


@unittest.skipUnless(STANDIN, "needs tools/sqlserver-standin")
class RunReportTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.local = self.standin("local", local_rules(ANSWERS))
        self.write("RegInfo.INI", reginfo(self.local.port))

    def report(self):
        with open(self.path("parktotals.log"), "rb") as f:
            return f.read()

    def test_chinese_server_message_arrives_intact_under_code_page_936(self):
        park = "南门停车场"
        self.standin("central", central_rules(), port=CENTRAL_PORT)
        self.write("weixinconfig.ini", f"[code]\r\njov_park_id={park}\r\n".encode("gbk"))
        code = self.wait_to_end(self.start(LC_ALL="zh_CN.UTF-8"))
        self.assertEqual(code, 2)

        # The display language is Chinese too: the program's own words are,
        # in UTF-8 behind its mark, as Notepad on such a PC reads it.
        report = self.report()
        self.assertTrue(report.startswith("\ufeff==== 运行于 ".encode("utf-8")), report[:40])
        self.assertEqual(report.count(b"\xef\xbb\xbf"), 1)
        self.assertEqual(report.count(b"\n"), report.count(b"\r\n"), "every line ends in CR LF")
        lines = report[3:].decode("utf-8").split("\r\n")
        self.assertIn(f"{park}（", lines[1])
        self.assertIn(windows_path(self.path("weixinconfig.ini")), lines[1])
        self.assertIn(f"127.0.0.1,{self.local.port}", lines[3])
        # Byte for byte: the server's UTF-16 text as UTF-8, beside the column.
        self.assertIn(CHINESE_ERROR.encode("utf-8"), report)
        self.assertIn("month_money_yushou", lines[6])
        self.assertIn(CHINESE_ERROR, lines[6])
        self.assertIn("SQLSTATE 42S22", lines[6])
        self.assertTrue(lines[10].startswith("结束：退出代码 2，"), lines[10])
        self.assertEqual(lines[11:], ["", ""])
        for secret in (LOCAL_PASSWORD, CENTRAL_PASSWORD):
            self.assertNotIn(secret.encode(), report)

    def test_report_is_written_before_the_error_box(self):
        # No central server: the run stops with the error box.
        date = yesterday_key()
        run = self.start()
        self.window(run, "parktotals", "the error box")
        texts = wait_for(run.message_box_texts, "the error box's text in the trace")
        self.assertTrue(run.running())
        lines = self.report()[3:].decode("utf-8").split("\r\n")
        self.assertEqual(lines[5], "Figures: none tried, the central database was not reached")
        self.assertEqual(lines[7], "Error box: " + texts[0])
        self.assertFalse(os.path.exists(self.path("memo1.txt")))
        # Its event too, before the box; no weixinconfig.ini: car park 1.
        self.assert_one_event(run, EVENT_ERROR, 1002, ["1", date, "0", "5"])

    def test_report_that_cannot_be_written_is_told_in_a_box_and_ends_with_2(self):
        # The window has closed by then: its quit message must not take the box with it.
        self.standin("central", central_rules(), port=CENTRAL_PORT)
        os.mkdir(self.path("parktotals.log"))
        run = self.start()
        box = self.window(run, "parktotals", "the error box")
        texts = wait_for(run.message_box_texts, "the error box's text in the trace")
        self.assertEqual(texts, ["The run report parktotals.log could not be written: "
                                 "it is a folder, not a plain file."])
        self.display.press(box, "Return")
        self.assertEqual(run.wait(), 2)
        self.assertTrue(os.path.exists(self.path("memo1.txt")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
