#!/usr/bin/env python3
"""The installer of scripts/release under Wine. Silent: what it writes (the
exe of the zip, RegInfo.INI byte for byte, weixinconfig.ini, the task),
the folder's rights, that the installed exe then transfers the five figures
with the values given, upgrades that keep the car park's files and the keys
of RegInfo.INI the switches do not set, in any encoding, the uninstaller,
and switches that are missing or wrong. The wizard: an upgrade clicked
through shows and keeps the values already there, and "Run once now"
reports the run. Under a Chinese display language its boxes, pages and
reasons are in Chinese, drawn with a font that has it (no empty boxes)
in code page 936 and in 1252.

Wine 8 takes the folder's rights (SetNamedSecurityInfoW succeeds) but keeps
none of them: the call and its rights are checked in Wine's trace.

Wine 8 registers a task from XML but keeps only its description and
settings (no trigger, principal or action): the task's XML the installer
hands to schtasks is checked as a file, and Wine's stored copy for what it
keeps.
"""
import os
import re
import shutil
import subprocess
import unittest
import zipfile

import session as wine_session
from winetest import (CENTRAL_PORT, DEADLINE, LOCAL_FIGURES, LOCAL_FIGURES_RULES, QUERIES, STANDIN, WineTestCase,
                      batches, central_batches, central_rules, crlf_lines, decode_wine_string, empty_boxes_problem,
                      signature_check, statements, text_pixels, wait_for, windows_path, yesterday_key)

RELEASE_BUILD = os.environ.get("PARKTOTALS_RELEASE_BUILD", "")
VERSION = os.environ.get("PARKTOTALS_VERSION", "")
SETUP = os.path.join(RELEASE_BUILD, f"parktotals-{VERSION}-setup.exe")
ZIP = os.path.join(RELEASE_BUILD, f"parktotals-{VERSION}-win64.zip")
# NSIS puts a blank after its window's title; its message boxes have none.
SETUP_CAPTION = f"parktotals {VERSION} Setup "
CHINESE_CAPTION = f"parktotals {VERSION} 安装 "
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\parktotals"
EVENT_SOURCE_KEY = r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\parktotals"

# Everything the connection string reader treats specially.
PASSWORD = ' pa;ss"wo\'rd=1 '
PASSWORD_IN_REGINFO = '" pa;ss""wo\'rd=1 "'
# On the command line, by Windows' rules.
PASSWORD_SWITCH = '"/PASSWORD= pa;ss\\"wo\'rd=1 "'
CHINESE_DATABASE = "停车场统计"

# Code page 936 (GBK) and a Chinese display language, as on the car parks' PCs.
CHINESE = wine_session.CHINESE

# Wine's trace of every process started, with its command line.
TRACE_PROCESSES = {"WINEDEBUG": "-all,+process"}
# ... and of the security calls, with their arguments.
TRACE_PROCESSES_AND_RIGHTS = {"WINEDEBUG": "-all,+process,+advapi,+security"}
# Full control for SYSTEM, the Administrators and the account (Wine's is
# S-1-5-21-0-0-0-1000), passed on to files and folders; nothing inherited.
FOLDER_RIGHTS = re.compile(r"D:PAI\(A;OICI;FA;;;SY\)\(A;OICI;FA;;;BA\)\(A;OICI;FA;;;S-1-5-21-[0-9-]+\)")


def command_lines(output):
    """The command lines of the processes a traced run started."""
    return [decode_wine_string(m) for m in
            re.findall(r'trace:process:CreateProcessInternalW app \S+ cmdline L"((?:[^"\\]|\\.)*)"', output)]


def traced_calls(output, function):
    """The first argument (a string) of each traced call of `function`, with
    the line's place in the trace."""
    return [(m.start(), decode_wine_string(m.group(1))) for m in
            re.finditer(rf':{function} L"((?:[^"\\]|\\.)*)"', output)]


def schtasks(*arguments):
    return '"C:\\windows\\system32\\schtasks.exe" ' + " ".join(arguments)


def zip_file(name):
    with zipfile.ZipFile(ZIP) as z:
        return z.read("parktotals/" + name)


def local_rules_for_any_login():
    """The car park's day of figures; every login accepted, and logged with
    its user, password and database."""
    with open(LOCAL_FIGURES_RULES, encoding="utf-8") as f:
        return f.read()


@unittest.skipUnless(STANDIN, "needs tools/sqlserver-standin")
class SilentInstallTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.target = self.path("parktotals")
        self.commands = 0
        self.tasks = os.path.join(self.session["prefix"], "drive_c", "windows", "system32", "tasks")
        # The task and the uninstall entry live in the shared prefix.
        self.addCleanup(self.wine, "reg", "delete", UNINSTALL_KEY, "/f")
        self.addCleanup(self.wine, "reg", "delete", EVENT_SOURCE_KEY, "/f")
        self.addCleanup(self.wine, "schtasks", "/delete", "/tn", "parktotals", "/f")

    def wine(self, *command, env=None):
        """Runs a Windows program to its end; its output is in `.output`.
        Into a file, not a pipe: a Wine process it starts (services, the
        desktop) may hold the pipe open long after it has ended."""
        environment = {**wine_session.wine_environment(self.session), **(env or {})}
        self.commands += 1
        path = self.path(f"command-{self.commands}.txt")
        with open(path, "wb") as out:
            done = subprocess.run(["wine", *command], env=environment, stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=out, timeout=DEADLINE)
        with open(path, encoding="utf-8", errors="replace") as f:
            done.output = f.read()
        done.output_path = path
        return done

    def install(self, *switches, env=None, folder=""):
        """Runs the installer silently from a batch file, as a roll-out
        would: the command line reaches it as written (switches quoted
        where they need it), with /D= last, as NSIS wants it. cmd reads
        the file in the code page: Wine's own command line cannot carry
        Chinese here, where the zh_CN locale is not installed."""
        target = [] if folder is None else [f"/D={folder or windows_path(self.target)}"]
        line = " ".join([f'@"{windows_path(SETUP)}" /S', *switches, *target]) + "\r\n"
        batch = self.path(f"install-{self.commands + 1}.cmd")
        with open(batch, "wb") as f:
            f.write(line.encode("gbk" if (env or {}).get("LC_ALL") == CHINESE["LC_ALL"] else "ascii"))
        return self.wine("cmd", "/c", windows_path(batch), env=env)

    def installed(self, name):
        with open(os.path.join(self.target, name), "rb") as f:
            return f.read()

    def uninstall_entry(self):
        return self.wine("reg", "query", UNINSTALL_KEY).output

    def task_registered(self):
        return os.path.exists(os.path.join(self.tasks, "parktotals"))

    def test_install_with_every_switch_writes_the_files_and_the_exe_transfers_five_figures(self):
        local = self.standin("local", local_rules_for_any_login())
        central = self.standin("central", central_rules(), port=CENTRAL_PORT)
        server = f"127.0.0.1,{local.port}"
        done = self.install("/PARK=208", f"/SERVER={server}", f"/DATABASE={CHINESE_DATABASE}", "/USER=sa",
                            PASSWORD_SWITCH, "/TIME=03:45", env={**CHINESE, **TRACE_PROCESSES_AND_RIGHTS})
        self.assertEqual(done.returncode, 0, done.output)
        commands = command_lines(done.output)
        self.assertIn(schtasks('/create /tn "parktotals" /xml', f'"{windows_path(self.target)}\\parktotals-task.xml"',
                               "/f"), commands)
        # The installed exe wrote RegInfo.INI; the password went by a file.
        written = [c for c in commands if c.startswith(f'"{windows_path(self.target)}\\parktotals.exe" '
                                                        "--write-connection ")]
        self.assertEqual(len(written), 1, commands)
        self.assertFalse([c for c in commands if PASSWORD.strip() in c])
        # The folder's own rights, set before RegInfo.INI was written.
        rights = traced_calls(done.output, "ConvertStringSecurityDescriptorToSecurityDescriptorW")
        self.assertEqual(len(rights), 1, rights)
        self.assertRegex(rights[0][1], FOLDER_RIGHTS)
        set_rights = [(at, name) for at, name in traced_calls(done.output, "SetNamedSecurityInfoW")
                      if name == windows_path(self.target)]
        self.assertEqual(len(set_rights), 1)
        self.assertRegex(done.output[set_rights[0][0]:].split("\n", 1)[0], r'" 1 -2147483644 ')
        self.assertLess(set_rights[0][0], done.output.index("--write-connection"))
        # The stripped exe of the zip, with the same central account.
        self.assertEqual(self.installed("parktotals.exe"), zip_file("parktotals.exe"))
        self.assertEqual(self.installed("RegInfo.INI"),
                         f"Provider=SQLOLEDB.1;Password={PASSWORD_IN_REGINFO};Persist Security Info=True;"
                         f"User ID=sa;Initial Catalog={CHINESE_DATABASE};Data Source={server}\r\n".encode("gbk"))
        self.assertEqual(self.installed("weixinconfig.ini"), b"[code]\r\njov_park_id=208\r\n")
        # The zip's task with the chosen folder and time.
        task = zip_file("parktotals-task.xml").decode("utf-16")
        task = task.replace("C:\\parktotals", windows_path(self.target)).replace("T02:30:00", "T03:45:00")
        self.assertEqual(self.installed("parktotals-task.xml"), b"\xff\xfe" + task.encode("utf-16-le"))
        with open(os.path.join(self.tasks, "parktotals"), encoding="utf-8-sig") as f:
            stored = f.read()
        for kept in (f"<Description>parktotals {VERSION}: ", "<StartWhenAvailable>true</StartWhenAvailable>",
                     "<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>",
                     "<ExecutionTimeLimit>PT20H</ExecutionTimeLimit>"):
            self.assertIn(kept, stored)
        entry = self.uninstall_entry()
        self.assertIn(f"DisplayVersion    REG_SZ    {VERSION}", entry)
        self.assertIn(f'"{windows_path(self.target)}\\uninstall.exe" /S', entry)
        self.assertNotIn(PASSWORD.strip(), entry)

        # The installed exe from its folder, as the task starts it: the
        # local server gets exactly the login that was given.
        date = yesterday_key()
        code = self.wait_to_end(self.start(folder=self.target, **CHINESE))
        if yesterday_key() != date:
            self.skipTest("the run crossed midnight")
        self.assertEqual(code, 0)
        login = local.events("login")[0]
        self.assertEqual((login["user"], login["password"], login["database"]), ("sa", PASSWORD, CHINESE_DATABASE))
        self.assertEqual(local.batches(), batches(QUERIES))
        expected = statements(LOCAL_FIGURES, "208", date)
        self.assertEqual(central.batches(), central_batches(expected))
        self.assertEqual(self.installed("memo1.txt"), crlf_lines(expected).encode("ascii"))

    def test_upgrade_replaces_the_program_and_keeps_the_car_parks_files(self):
        done = self.install("/PARK=208", "/SERVER=.", "/DATABASE=park", "/USER=sa", "/PASSWORD=x")
        self.assertEqual(done.returncode, 0, done.output)
        # As the car park left them: an edited connection string, a run's files.
        kept = {"RegInfo.INI": b"Provider=SQLOLEDB.1;Data Source=PC\\SQL;Initial Catalog=park;User ID=sa;"
                               b"Password=y;Connect Timeout=30\r\n",
                "weixinconfig.ini": b"; head office's number\r\n[code]\r\njov_park_id=77\r\n",
                "memo1.txt": b"update ...\r\n", "parktotals.log": b"\xef\xbb\xbf==== Run of ...\r\n"}
        for name, data in kept.items():
            with open(os.path.join(self.target, name), "wb") as f:
                f.write(data)
        with open(os.path.join(self.target, "parktotals.exe"), "wb") as f:
            f.write(b"an older version")

        # No switches but /S: the folder comes from the last install.
        done = self.install(folder=None)
        self.assertEqual(done.returncode, 0, done.output)
        self.assertEqual(self.installed("parktotals.exe"), zip_file("parktotals.exe"))
        for name, data in kept.items():
            self.assertEqual(self.installed(name), data, name)
        self.assertTrue(self.task_registered())

        # New values replace only what they are for: Connect Timeout stays.
        done = self.install("/PARK=78", "/SERVER=PC\\SQLEXPRESS", "/DATABASE=park2", "/WINDOWSAUTH")
        self.assertEqual(done.returncode, 0, done.output)
        self.assertEqual(self.installed("RegInfo.INI"), b"Provider=SQLOLEDB.1;Data Source=PC\\SQLEXPRESS;"
                         b"Initial Catalog=park2;Integrated Security=SSPI;Connect Timeout=30\r\n")
        self.assertEqual(self.installed("weixinconfig.ini"), b"; head office's number\r\n[code]\r\njov_park_id=78\r\n")
        self.assertEqual(self.installed("memo1.txt"), kept["memo1.txt"])

    def test_reinstall_with_a_new_password_keeps_the_other_keys_in_any_encoding(self):
        line = (f"Provider=SQLOLEDB.1;Data Source=PC\\SQL;Use Encryption for Data=True;"
                f"Initial Catalog={CHINESE_DATABASE};User ID=sa;Password=old;Trust Server Certificate=True;"
                f"Connect Timeout=30;Workstation ID=GATE-1")
        rest = "\r\n; set up by hand\r\n"
        # Quoted for its ';'.
        new_line = line.replace("Password=old", 'Password="新;pw"')
        encodings = {"UTF-8": lambda text: b"\xef\xbb\xbf" + text.encode("utf-8"),
                     "ANSI": lambda text: text.encode("gbk"),
                     "UTF-16": lambda text: b"\xff\xfe" + text.encode("utf-16-le")}
        for name, encode in encodings.items():
            with self.subTest(name):
                self.target = self.path(f"park-{name}")
                os.makedirs(self.target)
                for file, data in (("RegInfo.INI", encode(line + rest)), ("weixinconfig.ini", b"[code]\r\njov_park_id=7\r\n")):
                    with open(os.path.join(self.target, file), "wb") as f:
                        f.write(data)
                done = self.install('"/PASSWORD=新;pw"', env=CHINESE)
                self.assertEqual(done.returncode, 0, done.output)
                self.assertEqual(self.installed("RegInfo.INI"), encode(new_line + rest))

    def test_silent_uninstall_removes_program_and_task_and_keeps_the_car_parks_files(self):
        done = self.install("/PARK=208", "/SERVER=.", "/DATABASE=park", "/USER=sa", "/PASSWORD=x")
        self.assertEqual(done.returncode, 0, done.output)
        # The event source names the installed exe, whose message table
        # has the texts of its three types.
        source = self.wine("reg", "query", EVENT_SOURCE_KEY).output
        self.assertRegex(source, r"EventMessageFile\s+REG_EXPAND_SZ\s+" + re.escape(
            windows_path(self.target) + "\\parktotals.exe") + r"\r?\n")
        self.assertRegex(source, r"TypesSupported\s+REG_DWORD\s+0x7\r?\n")
        # Signed before it was packed (scripts/release --sign), and so as written.
        code, said = signature_check(os.path.join(self.target, "uninstall.exe"))
        self.assertEqual(code, 0, said)
        for name in ("memo1.txt", "parktotals.log", "transferred-nights.txt"):
            with open(os.path.join(self.target, name), "wb") as f:
                f.write(b"a run\r\n")
        self.assertTrue(self.task_registered())

        # The uninstaller runs on from a copy of itself and returns at once.
        done = self.wine(os.path.join(self.target, "uninstall.exe"), "/S", env=TRACE_PROCESSES)
        self.assertEqual(done.returncode, 0)
        wait_for(lambda: not os.path.exists(os.path.join(self.target, "uninstall.exe"))
                 and not self.task_registered() and "DisplayName" not in self.uninstall_entry()
                 and "EventMessageFile" not in self.wine("reg", "query", EVENT_SOURCE_KEY).output,
                 "the uninstaller to remove the program, the task, its entry and the event source")
        # What the uninstaller's copy of itself traced after it returned.
        with open(done.output_path, encoding="utf-8", errors="replace") as f:
            self.assertIn(schtasks('/delete /tn "parktotals" /f'), command_lines(f.read()))
        self.assertEqual(sorted(os.listdir(self.target)),
                         ["RegInfo.INI", "memo1.txt", "parktotals.log", "transferred-nights.txt", "weixinconfig.ini"])

        # Asked to, it removes them and the folder too.
        done = self.install("/PARK=208", "/SERVER=.", "/DATABASE=park", "/USER=sa", "/PASSWORD=x")
        self.assertEqual(done.returncode, 0, done.output)
        self.wine(os.path.join(self.target, "uninstall.exe"), "/S", "/REMOVEFILES")
        wait_for(lambda: not os.path.exists(self.target), "the uninstaller to remove the whole folder")

    def test_missing_or_wrong_switch_fails_and_writes_nothing(self):
        full = {"/PARK=": "208", "/SERVER=": ".", "/DATABASE=": "park", "/USER=": "sa", "/PASSWORD=": "Secret-9"}
        # The reason in the display language: on standard error in the ANSI
        # code page, or in UTF-8 where that code page has no Chinese.
        chinese_936, chinese_1252 = (CHINESE, "gbk"), (wine_session.chinese_display_language_only(), "utf-8")
        cases = {
            "no park, in Chinese": ({**full, "/PARK=": None}, [], "parktotals 安装程序：缺少 /PARK=：", chinese_936),
            "mistyped switch, in Chinese under code page 1252":
                (full, ["/PASWORD=Secret-9"], "parktotals 安装程序：未知的安装参数 /PASWORD（", chinese_1252),
            "no park": ({**full, "/PARK=": None}, [], "/PARK= is missing"),
            "empty park": ({**full, "/PARK=": ""}, [], "/PARK= is empty"),
            "no server": ({**full, "/SERVER=": None}, [], "/SERVER= is missing"),
            "no database": ({**full, "/DATABASE=": None}, [], "/DATABASE= is missing"),
            "no user": ({**full, "/USER=": None}, [], "/USER= is missing"),
            "no password": ({**full, "/PASSWORD=": None}, [], "/PASSWORD= is missing"),
            "windows login and a user": (full, ["/WINDOWSAUTH"], "leave out /USER= and /PASSWORD="),
            "bad time": (full, ["/TIME=2:30"], "The time must be HH:MM"),
            "hour 24": (full, ["/TIME=24:00"], "The time must be HH:MM"),
            "mistyped switch": (full, ["/PASWORD=Secret-9"], "unknown switch /PASWORD"),
        }
        for name, (values, extra, message, *language) in cases.items():
            env, encoding = language[0] if language else (None, "utf-8")
            with self.subTest(name):
                switches = [f'"{key}{value}"' for key, value in values.items() if value is not None] + extra
                done = self.install(*switches, env=env)
                with open(done.output_path, "rb") as f:
                    error = f.read().decode(encoding, errors="replace")
                self.assertEqual(done.returncode, 2, error)
                self.assertIn(message, error)
                self.assertNotIn("Secret-9", error)
                self.assertFalse(os.path.exists(self.target))
                self.assertFalse(self.task_registered())

        with self.subTest("under Program Files"):
            done = self.install(*[k + v for k, v in full.items()], folder="C:\\Program Files\\parktotals")
            self.assertEqual(done.returncode, 2)
            self.assertIn("where Windows does not let the program write memo1.txt", done.output)
            self.assertFalse(os.path.exists(os.path.join(self.session["prefix"], "drive_c", "Program Files",
                                                         "parktotals")))

        with self.subTest("a RegInfo.INI the program cannot read"):
            os.makedirs(self.target)
            broken = b"Data Source=.;Password='Secret-9\r\n"
            with open(os.path.join(self.target, "RegInfo.INI"), "wb") as f:
                f.write(broken)
            done = self.install(*[k + v for k, v in full.items()])
            self.assertEqual(done.returncode, 2)
            self.assertIn('RegInfo.INI cannot be read (In the connection string, the quote around the value of '
                          '"Password" is not closed)', done.output)
            self.assertNotIn("Secret-9", done.output)
            self.assertEqual(os.listdir(self.target), ["RegInfo.INI"])
            self.assertEqual(self.installed("RegInfo.INI"), broken)
        self.assertNotIn("DisplayName", self.uninstall_entry())


    def test_wizard_upgrade_shows_and_keeps_the_values_and_runs_once(self):
        """In English, then in Chinese after the English run's block: the
        box shows the last run's block from its first line, in either
        language."""
        local = self.standin("local", local_rules_for_any_login())
        central = self.standin("central", central_rules(), port=CENTRAL_PORT)
        done = self.install("/PARK=208", f"/SERVER=127.0.0.1,{local.port}", "/DATABASE=park", "/USER=sa",
                            PASSWORD_SWITCH)
        self.assertEqual(done.returncode, 0, done.output)
        settings = {name: self.installed(name) for name in ("RegInfo.INI", "weixinconfig.ini")}
        # Started from the test's folder, which then holds its wine.log.
        shutil.copy(SETUP, self.folder)
        box_starts = {"English": ({}, SETUP_CAPTION, "Exit code 0: all five figures were transferred.\r\n\r\n"
                                                      "The end of parktotals.log:\r\n==== Run of "),
                      "Chinese": (CHINESE, CHINESE_CAPTION, "退出代码 0：五项数据已全部写入总部。\r\n\r\n"
                                                             "parktotals.log 的末尾：\r\n==== 运行于 ")}
        for language, (env, caption, box_start) in box_starts.items():
            with self.subTest(language):
                date = yesterday_key()
                texts = self.click_through_and_run_once(caption, settings, env)
                if yesterday_key() != date:
                    self.skipTest("the run crossed midnight")
                self.assertTrue(texts[0].startswith(box_start), texts[0])
                # Wine's trace cuts the text short: the figures' lines are past it.
                self.assertEqual(local.events("login")[-1]["password"], PASSWORD)
                self.assertEqual(central.batches()[-6:], central_batches(statements(LOCAL_FIGURES, "208", date)))

    def click_through_and_run_once(self, caption, settings, env):
        """Next on every page, each showing what the files hold (which the
        pages would refuse if it were empty), then Finish with "Run once
        now" ticked: the texts of the run's box."""
        run = self.start(exe_name=os.path.basename(SETUP), **env)
        window = wait_for(lambda: self.display.windows(caption), "the installer's window")[0]
        rect = wait_for(lambda: self.display.rect(window), "the installer's window on the screen")
        last = [self.display.picture(rect)]

        def next_page(what):
            self.display.press(window, "Return")
            seen = [None]

            def changed():
                picture = self.display.picture(rect)
                done, seen[0] = picture == seen[0] and picture != last[0], picture
                return done

            wait_for(changed, what)
            last[0] = seen[0]

        for what in ("the car park number page", "the database page", "the time page", "the installation"):
            self.assertFalse(run.message_box_texts(), f"a box before {what}")
            next_page(what)
        # The finish page's picture on the left is dark blue.
        left = (rect[0] + 10, rect[1] + 40, 100, 200)
        wait_for(lambda: sum(1 for r, g, b in self.display.picture(left).pixels(left)
                             if b > 60 and r < 40 and g < 40) > 5000, "the finish page")
        for name, data in settings.items():
            self.assertEqual(self.installed(name), data, name)
        self.display.press(window, "Return")
        texts = wait_for(run.message_box_texts, "the box of the run")
        self.gone(run, caption.strip())
        return texts

    def test_chinese_display_language_shows_chinese_boxes_and_pages(self):
        """NSIS picks Chinese by the display language alone, and Wine draws
        it in either code page (see the fonts in session.py)."""
        shutil.copy(SETUP, self.folder)
        name = os.path.basename(SETUP)
        for code_page, env in (("936", CHINESE), ("1252", wine_session.chinese_display_language_only())):
            with self.subTest(f"code page {code_page}"):
                # A message box: a mistyped switch stops the wizard before it starts.
                run = self.start(exe_name=name, args=["/PASWORD=x"], **env)
                texts = wait_for(run.message_box_texts, "the box about the switch")
                self.assertTrue(texts[0].startswith("未知的安装参数 /PASWORD（"), texts[0])
                box = wait_for(lambda: self.display.windows(CHINESE_CAPTION.strip()), "the box")[0]
                rect = wait_for(lambda: self.display.rect(box, shown=True), "the box on the screen")
                self.wait_for_picture(f"box-{code_page}.png", rect, lambda picture: self.chinese_problem(picture, rect),
                                      "the box's text drawn")
                self.gone(run, CHINESE_CAPTION.strip())

                # NSIS's folder page, then the car park number page.
                run = self.start(exe_name=name, args=[f"/D={windows_path(self.target)}"], **env)
                window = wait_for(lambda: self.display.windows(CHINESE_CAPTION), "the installer, titled in Chinese")[0]
                rect = wait_for(lambda: self.display.rect(window, shown=True), "the installer's window on the screen")
                folder_page = self.wait_for_picture(f"folder-{code_page}.png", rect,
                                                    lambda picture: self.chinese_problem(picture, rect),
                                                    "the folder page drawn")
                self.display.press(window, "Return")
                self.wait_for_picture(f"park-{code_page}.png", rect, lambda picture: "still the folder page"
                                      if picture == folder_page else self.chinese_problem(picture, rect),
                                      "the car park number page drawn")
                self.gone(run, CHINESE_CAPTION)

    def chinese_problem(self, picture, rect):
        """Text on the window's light background, no character as an empty box."""
        pixels = picture.pixels(rect)
        if sum(1 for p in pixels if min(p) > 200) < len(pixels) // 2:
            return "not drawn yet"
        return empty_boxes_problem(picture, rect) or (None if text_pixels(pixels) > 300 else "no text drawn")

    def gone(self, run, caption):
        """Ends the run and waits until its windows are gone, so that the next
        run's windows of the same title are not mistaken for them."""
        run.kill()
        wait_for(lambda: not self.display.windows(caption), "the installer's windows to go")


if __name__ == "__main__":
    unittest.main(verbosity=2)
