#!/usr/bin/env python3
"""The release zip of scripts/release: what it holds, the task it brings, and
a run of the exe unpacked from it, started under Wine the way the task starts
it. Also the Linux scheduling files.

`test_release.py build` makes the zip with the wine tests' central account
(a ctest fixture, so the build does not hold the display); without arguments
the cases run.
"""
import ntpath
import os
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
import zipfile

from winetest import (CENTRAL_PASSWORD, CENTRAL_PORT, CENTRAL_USER, LOCAL_FIGURES, LOCAL_PASSWORD, LOCAL_USER,
                      QUERIES, RELEASE_BUILD, SIGNING_FOLDER, SOURCE, STANDIN, WineTestCase, batches, central_batches,
                      central_rules, crlf_lines, local_rules, signature_check, statements, yesterday_key)

RELEASE_SCRIPT = os.path.join(SOURCE, "scripts", "release")
LINUX_FILES = os.path.join(SOURCE, "packaging", "linux")
RELEASE_OUTPUT = RELEASE_BUILD + ".out"
SIGNING_CERTIFICATE = os.path.join(SIGNING_FOLDER, "sign.pfx")
SIGN_PASSWORD = "Sign-Pass 7'$x"
VERSION = os.environ.get("PARKTOTALS_VERSION", "")

TASK_NS = {"t": "http://schemas.microsoft.com/windows/2004/02/mit/task"}
PLACEHOLDERS = ("<server>", "<database>", "<user>", "<password>")


def release_environment(**account):
    """This environment with the central account replaced by `account`."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("PARKTOTALS_CENTRAL_")}
    env.update(account)
    return env


def make_signing_certificate():
    """A throw-away certificate authority (SIGNING_CA) and a code-signing
    certificate it issued, with its key, in SIGNING_CERTIFICATE."""
    shutil.rmtree(SIGNING_FOLDER, ignore_errors=True)
    os.makedirs(SIGNING_FOLDER)

    def openssl(*arguments):
        subprocess.run(["openssl", *arguments], cwd=SIGNING_FOLDER, check=True, capture_output=True, timeout=120,
                       env=dict(os.environ, SIGN_PASSWORD=SIGN_PASSWORD))

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "30",
            "-subj", "/CN=parktotals test authority", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "sign.key", "-out", "sign.csr",
            "-subj", "/CN=parktotals test publisher")
    with open(os.path.join(SIGNING_FOLDER, "code-signing.ext"), "w") as f:
        f.write("keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    openssl("x509", "-req", "-in", "sign.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial", "-days", "30",
            "-extfile", "code-signing.ext", "-out", "sign.pem")
    openssl("pkcs12", "-export", "-in", "sign.pem", "-inkey", "sign.key", "-certfile", "ca.pem",
            "-out", SIGNING_CERTIFICATE, "-passout", "env:SIGN_PASSWORD")


def build():
    make_signing_certificate()
    env = release_environment(PARKTOTALS_CENTRAL_HOST=f"127.0.0.1,{CENTRAL_PORT}",
                              PARKTOTALS_CENTRAL_USER=CENTRAL_USER, PARKTOTALS_CENTRAL_PASSWORD=CENTRAL_PASSWORD,
                              PARKTOTALS_SIGN_PASSWORD=SIGN_PASSWORD)
    with open(RELEASE_OUTPUT, "wb") as out:
        code = subprocess.run([RELEASE_SCRIPT, "--build-dir", RELEASE_BUILD, "--sign", SIGNING_CERTIFICATE], env=env,
                              stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT).returncode
    with open(RELEASE_OUTPUT, encoding="utf-8", errors="replace") as f:
        print(f.read())
    return code


def zip_path():
    return os.path.join(RELEASE_BUILD, f"parktotals-{VERSION}-win64.zip")


def setup_path():
    return os.path.join(RELEASE_BUILD, f"parktotals-{VERSION}-setup.exe")


def nightly_arguments():
    """The options parktotals.service starts the program with; the task and
    the cron line have to give the same."""
    return unit_values(os.path.join(LINUX_FILES, "parktotals.service"))["ExecStart"].split(None, 1)[1]


def room_for_retries(arguments):
    """Seconds a run with these options needs: its waits before retrying,
    plus an hour for the tries themselves."""
    options = dict(re.findall(r"(--[a-z-]+) (\S+)", arguments))
    return int(options.get("--retries", 0)) * int(options.get("--retry-wait", 300)) + 3600


def seconds(duration, units):
    """'PT20H' or '3h 30min' in seconds; `units` maps each unit to seconds."""
    return sum(int(n) * units[unit] for n, unit in re.findall(r"(\d+)([A-Za-z]+)", duration.removeprefix("PT")))


class ReleaseScriptTest(unittest.TestCase):
    def test_refuses_demo_account_and_missing_values_before_building(self):
        real = dict(PARKTOTALS_CENTRAL_HOST="central.example.com,1433", PARKTOTALS_CENTRAL_USER="acct",
                    PARKTOTALS_CENTRAL_PASSWORD="Real-Pass-9")
        cases = {
            "demo host": (dict(real, PARKTOTALS_CENTRAL_HOST="127.0.0.1,14330"), [], "demo central host"),
            "demo password": (dict(real, PARKTOTALS_CENTRAL_PASSWORD="Demo-Pass-123"), [], "demo central password"),
            "demo password as option": (real, ["--password", "Demo-Pass-123"], "demo central password"),
            "no host": ({k: v for k, v in real.items() if k != "PARKTOTALS_CENTRAL_HOST"}, [], "no central host"),
            "no password": ({k: v for k, v in real.items() if k != "PARKTOTALS_CENTRAL_PASSWORD"}, [],
                            "no central password"),
            "time-stamp without signing": (real, ["--timestamp", "http://ts.example.com"], "--timestamp needs --sign"),
            "wrong certificate password": (dict(real, PARKTOTALS_SIGN_PASSWORD="Real-Pass-9"),
                                           ["--sign", SIGNING_CERTIFICATE], "cannot be opened with that password"),
        }
        with tempfile.TemporaryDirectory() as folder:
            build_dir = os.path.join(folder, "release")
            for name, (account, options, message) in cases.items():
                with self.subTest(name):
                    done = subprocess.run([RELEASE_SCRIPT, "--build-dir", build_dir, *options],
                                          env=release_environment(**account), stdin=subprocess.DEVNULL,
                                          capture_output=True, text=True, timeout=120)
                    self.assertEqual(done.returncode, 1, done.stderr)
                    self.assertIn(message, done.stderr)
                    self.assertNotIn("Real-Pass-9", done.stdout + done.stderr)
                    self.assertFalse(os.path.exists(build_dir), "nothing built")


class ReleaseZipTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with zipfile.ZipFile(zip_path()) as z:
            cls.files = {name.split("/", 1)[1]: z.read(name) for name in z.namelist() if not name.endswith("/")}
            cls.folders = {name.split("/", 1)[0] for name in z.namelist()}

    def test_holds_only_the_program_its_samples_task_and_readme_in_one_folder(self):
        # Anything more could be a build file holding the central password.
        self.assertEqual(self.folders, {"parktotals"})
        self.assertEqual(set(self.files),
                         {"parktotals.exe", "RegInfo.INI", "weixinconfig.ini", "parktotals-task.xml", "README.txt",
                          "README.zh-CN.txt"})

    def test_build_output_and_log_never_show_the_passwords(self):
        for path in (RELEASE_OUTPUT, os.path.join(RELEASE_BUILD, "release.log")):
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            self.assertNotIn(CENTRAL_PASSWORD, text, path)
            self.assertNotIn(SIGN_PASSWORD, text, path)

    def test_exe_and_installer_are_signed_by_the_certificate_and_a_changed_byte_fails(self):
        # The uninstaller: test_installer.py, once the installer has written it.
        with tempfile.TemporaryDirectory() as folder:
            exe = os.path.join(folder, "parktotals.exe")
            with open(exe, "wb") as f:
                f.write(self.files["parktotals.exe"])
            for path in (exe, setup_path()):
                code, said = signature_check(path)
                self.assertEqual(code, 0, said)
                self.assertIn("Signature verification: ok", said)
            changed = bytearray(self.files["parktotals.exe"])
            changed[len(changed) // 2] ^= 0x01
            with open(exe, "wb") as f:
                f.write(changed)
            self.assertNotEqual(signature_check(exe)[0], 0, "a changed byte passed")

    def test_exe_is_stripped_and_under_2_mb(self):
        exe = self.files["parktotals.exe"]
        self.assertLess(len(exe), 2 * 1024 * 1024)
        pe = struct.unpack_from("<I", exe, 0x3C)[0]
        section_count = struct.unpack_from("<H", exe, pe + 6)[0]
        optional_size = struct.unpack_from("<H", exe, pe + 20)[0]
        sections = [exe[pe + 24 + optional_size + 40 * i:][:8].rstrip(b"\0") for i in range(section_count)]
        # Debug sections have long names, which PE stores as "/<offset>".
        self.assertFalse([s for s in sections if s.startswith((b"/", b".debug"))], sections)

    def test_text_files_have_crlf_line_ends_for_notepad(self):
        texts = {name: self.files[name].decode("ascii") for name in ("README.txt", "RegInfo.INI", "weixinconfig.ini")}
        texts["parktotals-task.xml"] = self.files["parktotals-task.xml"].decode("utf-16")
        # The Chinese guide: UTF-8 behind a byte-order mark, which every Notepad reads as such.
        texts["README.zh-CN.txt"] = self.files["README.zh-CN.txt"].decode("utf-8")
        self.assertTrue(texts["README.zh-CN.txt"].startswith("\ufeff"))
        for name, text in texts.items():
            with self.subTest(name):
                self.assertTrue(text.endswith("\r\n"))
                self.assertEqual(text.count("\n"), text.count("\r\n"))

    def test_task_runs_the_exe_from_the_folder_readme_names_on_the_users_desktop(self):
        data = self.files["parktotals-task.xml"]
        self.assertTrue(data.startswith(b"\xff\xfe"), "UTF-16 LE with byte-order mark")
        task = ET.fromstring(data)
        exec_ = task.find("t:Actions/t:Exec", TASK_NS)
        command = exec_.findtext("t:Command", namespaces=TASK_NS)
        folder = exec_.findtext("t:WorkingDirectory", namespaces=TASK_NS)
        # A quoted working directory makes the task fail to start (0x8007010B).
        self.assertEqual(folder, "C:\\parktotals")
        self.assertEqual(command.strip('"'), folder + "\\parktotals.exe")
        # The nightly options, as on Linux, with time enough for their waits.
        arguments = exec_.findtext("t:Arguments", namespaces=TASK_NS)
        self.assertEqual(arguments, nightly_arguments())
        limit = task.findtext("t:Settings/t:ExecutionTimeLimit", namespaces=TASK_NS)
        self.assertGreaterEqual(seconds(limit, {"H": 3600, "M": 60, "S": 1}), room_for_retries(arguments))
        self.assertIn(f"Put this folder here:  {folder}\r\n", self.files["README.txt"].decode())
        # The error box waits for a click: only an interactive run shows it.
        self.assertEqual(task.findtext("t:Principals/t:Principal/t:LogonType", namespaces=TASK_NS), "InteractiveToken")


@unittest.skipUnless(STANDIN, "needs tools/sqlserver-standin")
class ReleaseRunTest(WineTestCase):
    """The unpacked folder is the task's working directory, with the samples
    filled in the way README.txt says."""

    def setUp(self):
        super().setUp()
        with zipfile.ZipFile(zip_path()) as z:
            z.extractall(self.folder)
        self.program_folder = os.path.join(self.folder, "parktotals")
        with open(os.path.join(self.program_folder, "parktotals-task.xml"), "rb") as f:
            exec_ = ET.fromstring(f.read()).find("t:Actions/t:Exec", TASK_NS)
        command = exec_.findtext("t:Command", namespaces=TASK_NS).strip('"')
        # Run as the task runs it: a misspelt option would fail every night.
        self.arguments = exec_.findtext("t:Arguments", namespaces=TASK_NS).split()
        self.exe = os.path.join(self.program_folder,
                                ntpath.relpath(command, exec_.findtext("t:WorkingDirectory", namespaces=TASK_NS)))

        self.local = self.standin("local", local_rules())
        self.central = self.standin("central", central_rules(), port=CENTRAL_PORT)

    def fill_in(self, name, values):
        path = os.path.join(self.program_folder, name)
        with open(path, "rb") as f:
            text = f.read().decode("ascii")
        for placeholder, value in values.items():
            self.assertIn(placeholder, text)
            text = text.replace(placeholder, value)
        with open(path, "wb") as f:
            f.write(text.encode("ascii"))
        return text

    def test_exe_from_the_zip_sends_five_updates_and_exits_0(self):
        reginfo = self.fill_in("RegInfo.INI", dict(zip(PLACEHOLDERS, (f"127.0.0.1,{self.local.port}", "park",
                                                                      LOCAL_USER, LOCAL_PASSWORD))))
        # The program reads the first line whole: the sample has to be that line.
        self.assertEqual(reginfo.count("\r\n"), 1)
        self.fill_in("weixinconfig.ini", {"<car park number>": "42"})

        date = yesterday_key()
        code = self.wait_to_end(self.start(os.path.relpath(self.exe, self.program_folder), folder=self.program_folder,
                                           args=self.arguments))
        if yesterday_key() != date:
            self.skipTest("the run crossed midnight")
        self.assertEqual(code, 0)

        expected = statements(LOCAL_FIGURES, "42", date)
        self.assertEqual(self.central.batches(), central_batches(expected))
        with open(os.path.join(self.program_folder, "memo1.txt"), "rb") as f:
            self.assertEqual(f.read(), crlf_lines(expected).encode("ascii"))
        self.assertEqual(self.local.batches(), batches(QUERIES))
        login = self.local.events("login")[0]
        self.assertEqual((login["user"], login["password"], login["database"]), (LOCAL_USER, LOCAL_PASSWORD, "park"))


def unit_values(path):
    """{key: value} of a systemd unit file (the last value of a key wins)."""
    values = {}
    with open(path) as f:
        for line in f:
            if "=" in line and not line.startswith(("#", ";", "[")):
                key, value = line.rstrip("\n").split("=", 1)
                values[key.strip()] = value.strip()
    return values


class LinuxSchedulingTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="parktotals-units-")
        self.addCleanup(shutil.rmtree, self.folder)
        # A stand-in program that tells where it ran and ends as a run with a
        # missing figure does.
        self.program_folder = os.path.join(self.folder, "opt")
        os.mkdir(self.program_folder)
        program = os.path.join(self.program_folder, "parktotals")
        with open(program, "w") as f:
            f.write('#!/bin/sh\necho "ran in $(pwd) with $*"\nexit 2\n')
        os.chmod(program, stat.S_IRWXU)

    def installed(self, name):
        """The file from packaging/linux with /opt/parktotals moved to the temporary folder."""
        with open(os.path.join(LINUX_FILES, name)) as f:
            text = f.read().replace("/opt/parktotals", self.program_folder)
        path = os.path.join(self.folder, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    @unittest.skipUnless(shutil.which("systemd-analyze"), "systemd-analyze not installed (package systemd)")
    def test_systemd_units_pass_verify_without_a_warning(self):
        units = [self.installed("parktotals.service"), self.installed("parktotals.timer")]
        done = subprocess.run(["systemd-analyze", "verify", *units], capture_output=True, text=True, timeout=120)
        self.assertEqual((done.returncode, done.stdout + done.stderr), (0, ""))

    def test_service_and_cron_start_the_program_from_its_folder(self):
        service = unit_values(self.installed("parktotals.service"))
        self.assertEqual(os.path.dirname(service["ExecStart"].split()[0]), service["WorkingDirectory"])
        self.assertGreaterEqual(seconds(service["TimeoutStartSec"], {"h": 3600, "min": 60, "s": 1}),
                                room_for_retries(nightly_arguments()))

        with open(self.installed("parktotals.cron")) as f:
            lines = [line for line in f if line.strip() and not line.startswith("#")]
        self.assertEqual(len(lines), 1)
        minute, hour, day, month, weekday, user, command = lines[0].split(None, 6)
        self.assertEqual((minute, hour, day, month, weekday, user), ("30", "2", "*", "*", "*", "parktotals"))
        # cron runs the command with /bin/sh from the account's home folder.
        subprocess.run(["/bin/sh", "-c", command], cwd="/", env={"PATH": "/usr/bin:/bin"}, check=True, timeout=120)
        with open(os.path.join(self.program_folder, "cron.log")) as f:
            log = f.read()
        self.assertIn(f"ran in {self.program_folder} with {nightly_arguments()}\nexit code 2\n", log)


if __name__ == "__main__":
    if sys.argv[1:] == ["build"]:
        sys.exit(build())
    unittest.main(verbosity=2)
