#!/usr/bin/env python3
"""Whole runs of the exe under Wine against two stand-ins: the local
statistics database (named in RegInfo.INI) and the central totals database
(on the port built into the test exe)."""
import datetime
import json
import os
import unittest

from winetest import (CENTRAL_PASSWORD, CENTRAL_PORT, CENTRAL_USER, STANDIN, StandIn, WineTestCase, wait_for,
                      windows_path)

QUERIES = [
    "SELECT COUNT(*) FROM [T_SCcarset] where kaleibie in ('04','05') and carddatelast<GETDATE()",
    "SELECT sum((datediff(month, GETDATE(),carddatelast)-1)*Deposit) FROM T_SCcarset where "
    "kaleibie in ('04','05') and datediff(month, GETDATE(),carddatelast)>1",
    "SELECT SUM(chargemoney) FROM T_noinmoeny where Amount  like '%微信%' and "
    "YEAR(opdate)*10000+MONTH(opdate)*100+DAY(opdate)=YEAR(GETDATE()-1)*10000+MONTH(GETDATE()-1)*100+DAY(GETDATE()-1)",
    "SELECT SUM(chargemoney) FROM T_noinmoeny where Amount  in ( '确认放行','免费放行') and "
    "YEAR(opdate)*10000+MONTH(opdate)*100+DAY(opdate)=YEAR(GETDATE()-1)*10000+MONTH(GETDATE()-1)*100+DAY(GETDATE()-1)",
    "SELECT SUM(chargemoney) FROM T_noinmoeny where opremark like '%-1%'  and "
    "YEAR(opdate)*10000+MONTH(opdate)*100+DAY(opdate)=YEAR(GETDATE()-1)*10000+MONTH(GETDATE()-1)*100+DAY(GETDATE()-1)",
]

# What the local stand-in answers, and the text each answer becomes in the
# statement. Only the exact query text (sent with CR LF, as the gateway
# does) gets its answer; anything else is an error and costs the figure.
ANSWERS = ["int 7", "money 1234.5", "money 88.5", "null money", "float 0.1"]
VALUES = ["7", "1234.5", "88.5", "0", "0.1"]

STATEMENTS = [
    "update T_kextotal set day_count_qinfei='{0}'  from  T_kextotal ,T_kexbase where  "
    "T_kextotal.kex_name = T_kexbase.kex_name and T_kexbase.kex_no='{5}' and YEAR(siji)*10000+month(siji)*100+day(siji)='{6}'",
    "update T_kextotal set month_money_yushou='{1}'  from  T_kextotal ,T_kexbase where "
    "T_kextotal.kex_name = T_kexbase.kex_name and T_kexbase.kex_no='{5}' and YEAR(siji)*10000+month(siji)*100+day(siji)='{6}'",
    "update T_kextotal set weixin_money_lishi='{2}'  from  T_kextotal ,T_kexbase where  "
    "T_kextotal.kex_name = T_kexbase.kex_name and T_kexbase.kex_no='{5}' and YEAR(siji)*10000+month(siji)*100+day(siji)='{6}'",
    "update T_kextotal set xinjin_money_lishi='{3}'  from  T_kextotal ,T_kexbase where  "
    "T_kextotal.kex_name = T_kexbase.kex_name and T_kexbase.kex_no='{5}' and YEAR(siji)*10000+month(siji)*100+day(siji)='{6}'",
    "update T_kextotal set yichan_money_lishi='{4}'  from  T_kextotal ,T_kexbase where  "
    "T_kextotal.kex_name = T_kexbase.kex_name and T_kexbase.kex_no='{5}' and YEAR(siji)*10000+month(siji)*100+day(siji)='{6}'",
]

LOCAL_USER, LOCAL_PASSWORD = "sa", "Local-Pass-1"


def yesterday_key():
    return (datetime.date.today() - datetime.timedelta(days=1)).strftime("%Y%m%d")


def local_rules():
    rules = [f"login {LOCAL_USER} {LOCAL_PASSWORD}"]
    for answer, query in zip(ANSWERS, QUERIES):
        rules.append(f"escaped {answer} | {json.dumps(query + chr(13) + chr(10), ensure_ascii=False)[1:-1]}")
    rules.append("default error 208 'Invalid object name'")
    return "\n".join(rules) + "\n"


def central_rules(extra=""):
    return (f"login {CENTRAL_USER} {CENTRAL_PASSWORD}\n{extra}"
            "regex rows 1 | update T_kextotal [\\s\\S]*\ndefault ok\n")


@unittest.skipUnless(STANDIN, "needs tools/sqlserver-standin")
class DailyRunTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.local = StandIn(self.folder, "local", local_rules())
        self.addCleanup(self.local.stop)
        self.write("RegInfo.INI", f"Provider=SQLOLEDB.1;Data Source=127.0.0.1,{self.local.port};"
                                  f"Initial Catalog=park;User ID={LOCAL_USER};Password={LOCAL_PASSWORD}\r\n")

    def start_central(self, extra_rules=""):
        self.central = StandIn(self.folder, "central", central_rules(extra_rules), port=CENTRAL_PORT)
        self.addCleanup(self.central.stop)

    def run_to_end(self, **env):
        """Runs the exe until it ends by itself; returns its exit code and
        the date key of the run."""
        before = yesterday_key()
        code = self.start(**env).wait(timeout=60)
        if yesterday_key() != before:
            self.skipTest("the run crossed midnight")
        return code, before

    def test_normal_run_sends_five_updates_logs_them_and_exits_0(self):
        self.start_central()
        self.write("weixinconfig.ini", "[code]\r\njov_park_id=42\r\n")
        code, date = self.run_to_end()
        self.assertEqual(code, 0)

        statements = [s.format(*VALUES, "42", date) for s in STATEMENTS]
        self.assertEqual(self.central.batches(), [s + "\r\n" for s in statements])
        with open(self.path("memo1.txt"), "rb") as f:
            self.assertEqual(f.read(), "".join(s + "\r\n" for s in statements).encode("ascii"))
        self.assertEqual(self.local.batches(), [q + "\r\n" for q in QUERIES])

        login = self.central.events("login")[0]
        self.assertEqual((login["user"], login["password"], login["database"]),
                         (CENTRAL_USER, CENTRAL_PASSWORD, CENTRAL_USER + "_db"))
        self.assertEqual(self.local.events("login")[0]["database"], "park")

    def test_refused_update_is_left_out_and_exit_code_is_2(self):
        self.start_central("regex error 245 'Conversion failed' | update T_kextotal set month_money_yushou=[\\s\\S]*\n")
        code, date = self.run_to_end()  # no weixinconfig.ini: car park 1
        self.assertEqual(code, 2)
        statements = [s.format(*VALUES, "1", date) for s in STATEMENTS]
        with open(self.path("memo1.txt"), "rb") as f:
            self.assertEqual(f.read(), "".join(s + "\r\n" for i, s in enumerate(statements) if i != 1).encode())

    def test_memo_file_that_cannot_be_created_stops_the_run_with_error_box(self):
        self.start_central()
        os.mkdir(self.path("memo1.txt"))
        run = self.start(WINEDEBUG="-all,+msgbox")
        wait_for(lambda: self.windows_of(run, "Parktotals"), 60, "the error box")
        self.assertEqual(run.message_box_texts(),
                         [f'Cannot create file "{windows_path(self.path("memo1.txt"))}". Access denied.'])
        self.assertEqual(len(self.central.batches()), 5)
        self.assertTrue(run.running())

    def test_chinese_park_number_and_literals_under_code_page_936(self):
        # Wine gives code page 936 (GBK) as the ANSI code page for zh_CN.
        park = "南门停车场"
        self.start_central()
        self.write("weixinconfig.ini", f"[code]\r\njov_park_id={park}\r\n".encode("gbk"))
        code, date = self.run_to_end(LC_ALL="zh_CN.UTF-8")
        self.assertEqual(code, 0)

        statements = [s.format(*VALUES, park, date) for s in STATEMENTS]
        self.assertEqual(self.central.batches(), [s + "\r\n" for s in statements])
        with open(self.path("memo1.txt"), "rb") as f:
            self.assertEqual(f.read(), "".join(s + "\r\n" for s in statements).encode("gbk"))
        self.assertEqual(self.local.batches(), [q + "\r\n" for q in QUERIES])


if __name__ == "__main__":
    unittest.main(verbosity=2)
