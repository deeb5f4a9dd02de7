#!/usr/bin/env python3
"""Whole runs of the exe under Wine against two stand-ins: the local
statistics database (named in RegInfo.INI) with the car park's day of
figures, and the central totals database (on the port built into the test
exe)."""
import datetime
import json
import os
import subprocess
import unittest

from winetest import (CENTRAL_PASSWORD, CENTRAL_PORT, CENTRAL_USER, EVENT_INFORMATION, EVENT_WARNING, LOCAL_FIGURES,
                      LOCAL_PASSWORD, LOCAL_USER, QUERIES, SET_NOCOUNT_OFF, STANDIN, WineTestCase, batches,
                      central_batches, central_rules, crlf_lines, holds_for, local_rules, reginfo, statements,
                      wait_for, wait_for_value, windows_path, yesterday_key)

# Answers of each type a figure's query may give, and the text each becomes
# in the statement under Wine (its C runtime is not glibc).
TYPED_ANSWERS = ["int 7", "money 1234.5", "money 88.5", "null money", "float 0.1"]
TYPED_VALUES = ["7", "1234.5", "88.5", "0", "0.1"]


@unittest.skipUnless(STANDIN, "needs tools/sqlserver-standin")
class DailyRunTest(WineTestCase):
    def start_local(self, answers=None):
        self.local = self.standin("local", local_rules(answers))
        self.write("RegInfo.INI", reginfo(self.local.port))

    def start_central(self, extra_rules=""):
        self.central = self.standin("central", central_rules(extra_rules), port=CENTRAL_PORT)

    def run_to_end(self, **env):
        """Runs the exe until it ends by itself; returns its exit code and
        the date key of the run."""
        before = yesterday_key()
        self.last_run = self.start(**env)
        code = self.wait_to_end(self.last_run)
        if yesterday_key() != before:
            self.skipTest("the run crossed midnight")
        return code, before

    def test_normal_run_sends_five_updates_logs_them_and_exits_0(self):
        self.start_local()
        self.start_central()
        self.write("weixinconfig.ini", "[code]\r\njov_park_id=42\r\n")
        code, date = self.run_to_end()
        self.assertEqual(code, 0)

        expected = statements(LOCAL_FIGURES, "42", date)
        self.assertEqual(self.central.batches(), central_batches(expected))
        self.assertEqual(self.read("memo1.txt"), crlf_lines(expected).encode("ascii"))
        self.assertEqual(self.local.batches(), batches(QUERIES))

        login = self.central.events("login")[0]
        self.assertEqual((login["user"], login["password"], login["database"]),
                         (CENTRAL_USER, CENTRAL_PASSWORD, CENTRAL_USER + "_db"))
        self.assertEqual(self.local.events("login")[0]["database"], "park")
        self.assert_one_event(self.last_run, EVENT_INFORMATION, 1000, ["42", date, "5", "5"])

    def test_reginfo_saved_by_notepad_as_unicode_in_either_byte_order(self):
        self.start_central()
        for encoding, mark in (("utf-16-le", b"\xff\xfe"), ("utf-16-be", b"\xfe\xff")):
            with self.subTest(encoding):
                self.local = self.standin("local-" + encoding, local_rules())
                self.write("RegInfo.INI", mark + reginfo(self.local.port).encode(encoding))
                code, _ = self.run_to_end()
                self.assertEqual(code, 0)
                login = self.local.events("login")[0]
                self.assertEqual((login["password"], login["database"], login["accepted"]),
                                 (LOCAL_PASSWORD, "park", True))

    def test_installer_options_with_a_bare_fields_file_name_keep_the_login(self):
        # Windows' INI reader looks for a name without a folder in the
        # Windows folder; the program looks in the working one.
        line = b"Provider=SQLOLEDB.1;Password=old;User ID=sa;Data Source=PC\\SQL\r\n; by hand\r\n"
        self.write("RegInfo.INI", line)
        self.assertEqual(self.wait_to_end(self.start(args=["--read-connection", "f.ini"])), 0)
        self.assertEqual(self.wait_to_end(self.start(args=["--write-connection", "f.ini"])), 0)
        self.assertEqual(self.read("RegInfo.INI"), line)
        self.write("f.ini", "[connection]\r\npassword=new\r\n")
        self.assertEqual(self.wait_to_end(self.start(args=["--write-connection", "f.ini"])), 0)
        self.assertEqual(self.read("RegInfo.INI"), line.replace(b"old", b"new"))

    def test_past_days_send_figures_3_to_5_with_their_own_day(self):
        first, last = (datetime.date.today() - datetime.timedelta(days=n) for n in (3, 2))
        keys = [day.strftime("%Y%m%d") for day in (first, last)]
        # Figures 3 to 5 select that day in place of the server's yesterday.
        server_yesterday = "YEAR(GETDATE()-1)*10000+MONTH(GETDATE()-1)*100+DAY(GETDATE()-1)"
        queries = [QUERIES[i].replace(server_yesterday, key) for key in keys for i in (2, 3, 4)]
        rules = "".join(f"escaped {answer} | {json.dumps(query + chr(13) + chr(10), ensure_ascii=False)[1:-1]}\n"
                        for answer, query in zip(["money 3.5", "money 4.5", "money 5.5"] * 2, queries))
        self.local = self.standin("local", f"login {LOCAL_USER} {LOCAL_PASSWORD}\n{rules}default error 208 'x'\n")
        self.write("RegInfo.INI", reginfo(self.local.port))
        self.start_central()
        code = self.wait_to_end(self.start(args=["--date", f"{first.isoformat()}..{last.isoformat()}"]))
        self.assertEqual(code, 0)
        expected = [s for key in keys for s in statements(("", "", "3.5", "4.5", "5.5"), "1", key)[2:]]
        self.assertEqual(self.central.batches(), central_batches(expected))
        self.assertEqual(self.read("memo1.txt"), crlf_lines(expected).encode("ascii"))
        self.assertEqual(self.local.batches(), batches(queries))

    def test_refused_local_login_is_tried_once_a_run(self):
        self.local = self.standin("local", local_rules().replace(f"login {LOCAL_USER} {LOCAL_PASSWORD}",
                                                                 f"login {LOCAL_USER} another-password"))
        self.write("RegInfo.INI", reginfo(self.local.port))
        self.start_central()
        code, _ = self.run_to_end()
        self.assertEqual(code, 2)
        self.assertEqual([login["accepted"] for login in self.local.events("login")], [False])
        self.assertEqual(self.central.batches(), [SET_NOCOUNT_OFF])

    def test_session_ending_during_a_retry_wait_ends_the_run_with_its_files(self):
        """Windows shutting down while the run waits to try figure 2 again:
        the run ends at once as every run ends, exit code 2."""
        self.start_local()
        self.start_central("regex drop | update T_kextotal set month_money_yushou[\\s\\S]*\n")
        run = self.start(args=["--retries", "2", "--retry-wait", "3600"])
        # The first pass: the session's set-up and five updates, and the
        # set-up of the session that replaced the dropped one.
        wait_for(lambda: len(self.central.batches()) >= 7, "the run to wait for its retry")
        holds_for(run.running, 1, "the run to wait")
        subprocess.run(["wine", "wineboot", "--end-session"], env=run.env, timeout=60, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertEqual(run.wait(timeout=30), 2)
        report = self.read("parktotals.log").decode("utf-8-sig")
        self.assertIn("Stopped before its end: Windows is shutting down", report)
        self.assertEqual(self.read("memo1.txt").count(b"\r\n"), 4)

    def test_each_answer_type_becomes_the_text_the_statement_carries(self):
        self.start_local(TYPED_ANSWERS)
        self.start_central()
        code, date = self.run_to_end()
        self.assertEqual(code, 0)
        self.assertEqual(self.central.batches(), central_batches(statements(TYPED_VALUES, "1", date)))

    def test_refused_update_is_left_out_and_exit_code_is_2(self):
        self.start_local()
        self.start_central("regex error 245 'Conversion failed' | update T_kextotal set month_money_yushou=[\\s\\S]*\n")
        code, date = self.run_to_end()  # no weixinconfig.ini: car park 1
        self.assertEqual(code, 2)
        expected = statements(LOCAL_FIGURES, "1", date)
        self.assertEqual(self.read("memo1.txt"), crlf_lines(s for i, s in enumerate(expected) if i != 1).encode())
        self.assert_one_event(self.last_run, EVENT_WARNING, 1001, ["1", date, "4", "5"])

    def test_memo_file_that_cannot_be_created_stops_the_run_with_error_box(self):
        self.start_local()
        self.start_central()
        os.mkdir(self.path("memo1.txt"))
        run = self.start()
        self.window(run, "parktotals", "the error box titled parktotals")
        wait_for_value(run.message_box_texts,
                       [f'Cannot create file "{windows_path(self.path("memo1.txt"))}". Access denied.'],
                       "the error box's text in the trace")
        self.assertEqual(len(self.central.batches()), 6)
        self.assertTrue(run.running())

    def test_encryption_value_not_understood_stops_before_any_connection(self):
        # A value the exe does not understand stops it before any connection.
        self.start_local()
        self.start_central()
        for value in ("always", "1"):
            with self.subTest(value):
                self.write("RegInfo.INI", reginfo(self.local.port).rstrip("\r\n") + f";Encrypt={value}\r\n")
                code, _ = self.run_to_end()
                self.assertEqual(code, 2)
                self.assertEqual(self.local.events("login"), [], "a login reached the local server")
                report = self.read("parktotals.log").decode("utf-8-sig")
                self.assertIn("the connection string in RegInfo.INI is not understood: \"Encrypt\" in the connection "
                              "string must be yes, no, true, false, Optional, Mandatory or Strict\r\n", report)

    def test_encryption_through_freetds_under_the_windows_drivers_name_sends_no_plain_login(self):
        # Under Wine the exe's "SQL Server" driver is the host's FreeTDS,
        # which ignores the Windows driver's Encrypt=yes. The exe asks the
        # driver manager which library serves the name: FreeTDS gets its own
        # keyword, and a server without encryption gets no login. A checked
        # certificate would need a freetds.conf, which this build cannot
        # hand FreeTDS: refused before any connection.
        self.start_local()
        self.start_central()
        cases = (("Encrypt=yes;Trust Server Certificate=True",
                  "cannot connect: The connection with encryption failed: "),
                 ("Use Encryption for Data=True",
                  "not understood: This build cannot check the server certificate through FreeTDS"))
        for ask, said in cases:
            with self.subTest(ask):
                self.write("RegInfo.INI", reginfo(self.local.port).rstrip("\r\n") + f";{ask}\r\n")
                code, _ = self.run_to_end()
                self.assertEqual(code, 2)
                self.assertEqual(self.local.events("login"), [], "a login reached the local server")
                self.assertIn(said, self.read("parktotals.log").decode("utf-8-sig"))

    def test_float_that_is_nan_is_not_sent(self):
        answers = ["float nan"] + TYPED_ANSWERS[1:]
        self.start_local(answers)
        self.start_central()
        code, date = self.run_to_end()
        self.assertEqual(code, 2)
        self.assertEqual(self.central.batches(), central_batches(statements(["NaN"] + TYPED_VALUES[1:], "1", date)[1:]))
        report = self.read("parktotals.log").decode("utf-8-sig")
        self.assertIn("Figure 1 (day_count_qinfei): not sent: The value is not a number (NaN) and cannot be sent\r\n",
                      report)

    def test_chinese_park_number_and_literals_under_code_page_936(self):
        # Wine gives code page 936 (GBK) as the ANSI code page for zh_CN.
        park = "南门停车场"
        self.start_local()
        self.start_central()
        self.write("weixinconfig.ini", f"[code]\r\njov_park_id={park}\r\n".encode("gbk"))
        code, date = self.run_to_end(LC_ALL="zh_CN.UTF-8")
        self.assertEqual(code, 0)

        expected = statements(LOCAL_FIGURES, park, date)
        self.assertEqual(self.central.batches(), central_batches(expected))
        self.assertEqual(self.read("memo1.txt"), crlf_lines(expected).encode("gbk"))
        self.assertEqual(self.local.batches(), batches(QUERIES))


if __name__ == "__main__":
    unittest.main(verbosity=2)
