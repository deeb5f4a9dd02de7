"""What the wine tests share: runs of the Windows exe under Wine in the
session that session.py started, and what the X server can tell about the
exe's windows.

Settings come from the environment, set by tests/wine/CMakeLists.txt.
"""
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import time
import unittest

import session as wine_session

EXE = os.environ.get("PARKTOTALS_EXE", "")
LAUNCHER = os.environ.get("PARKTOTALS_LAUNCHER", "")
STANDIN = os.environ.get("PARKTOTALS_STANDIN", "")
ARTIFACTS = os.environ.get("PARKTOTALS_WINE_ARTIFACTS", "")
CENTRAL_PORT = int(os.environ.get("PARKTOTALS_CENTRAL_PORT", "0"))
CENTRAL_USER = os.environ.get("PARKTOTALS_CENTRAL_USER", "")
CENTRAL_PASSWORD = os.environ.get("PARKTOTALS_CENTRAL_PASSWORD", "")

CAPTION = "formmaindalventis"

# ShowWindow commands, as a launcher puts them in STARTUPINFO.
SW_HIDE, SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED = 0, 1, 2, 3
SW_SHOWMINNOACTIVE, SW_SHOWDEFAULT = 7, 10


def wait_for(predicate, timeout, what):
    """Polls until predicate() gives something true and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"waited {timeout} s for {what}")
        time.sleep(0.1)


def port_is_closed(port):
    with socket.socket() as s:
        return s.connect_ex(("127.0.0.1", port)) != 0


def windows_path(path):
    """The Z: drive path under which Wine sees a host file."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Display:
    """Questions to the X server, through xdotool, xwininfo, xprop and import."""

    def __init__(self, name):
        self.env = dict(os.environ, DISPLAY=name)

    def _run(self, *command):
        return subprocess.run(command, env=self.env, capture_output=True, timeout=30)

    def windows(self, name, pid=None):
        """Ids of the windows called exactly `name`, of process `pid` if given."""
        found = self._run("xdotool", "search", "--name", "^" + re.escape(name) + "$")
        ids = [int(line) for line in found.stdout.split()]
        return [w for w in ids if pid is None or self.pid(w) == pid]

    def rect(self, window):
        """(x, y, width, height) on the screen, or None once the window is gone."""
        info = self._run("xwininfo", "-id", str(window))
        if info.returncode != 0:
            return None
        text = info.stdout.decode()

        def field(label):
            return int(re.search(label + r":\s+(-?\d+)", text).group(1))

        return (field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height"))

    def prop(self, window, name):
        """The property's value as xprop prints it, without the name; empty
        when the window has none, or is gone."""
        out = self._run("xprop", "-notype", "-id", str(window), name).stdout.decode().strip()
        for separator in ("=", ":"):
            if separator in out:
                return out.split(separator, 1)[1].strip()
        return ""

    def pid(self, window):
        value = self.prop(window, "_NET_WM_PID")
        return int(value) if value.isdigit() else None

    def numbers(self, window, name):
        return [int(v, 0) for v in re.findall(r"0x[0-9a-f]+|\d+", self.prop(window, name))]

    def icons(self, window):
        """_NET_WM_ICON as {(width, height): [ARGB pixel, ...]}."""
        values = [int(v) for v in re.findall(r"\d+", self._run(
            "xprop", "-notype", "-id", str(window), "32c", "_NET_WM_ICON").stdout.decode())]
        icons = {}
        while len(values) >= 2:
            width, height = values[0], values[1]
            icons[(width, height)] = values[2:2 + width * height]
            values = values[2 + width * height:]
        return icons

    def pixels(self, rect):
        """The RGB bytes of a screen rectangle, row by row."""
        x, y, width, height = rect
        shot = self._run("import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                         "-depth", "8", "rgb:-")
        return shot.stdout

    def screenshot(self, path, rect=None):
        crop = ["-crop", "{2}x{3}+{0}+{1}".format(*rect), "+repage"] if rect else []
        self._run("import", "-window", "root", *crop, path)

    def press(self, window, key):
        self._run("xdotool", "windowfocus", "--sync", str(window), "key", "--clearmodifiers", key)


def union(*rects, margin=0):
    left = min(r[0] for r in rects) - margin
    top = min(r[1] for r in rects) - margin
    right = max(r[0] + r[2] for r in rects) + margin
    bottom = max(r[1] + r[3] for r in rects) + margin
    return (max(left, 0), max(top, 0), right - max(left, 0), bottom - max(top, 0))


class Run:
    """One start of the exe under Wine. `pid` is the Windows process's own,
    which is also the _NET_WM_PID of its windows."""

    def __init__(self, command, folder, env, launched=False):
        self.log_path = os.path.join(folder, "wine.log")
        with open(self.log_path, "ab") as log:
            self.process = subprocess.Popen(command, cwd=folder, env=env, stdin=subprocess.DEVNULL,
                                            stdout=log, stderr=log)
        # Through the launcher the exe is not our child: its pid is learnt
        # from its first window.
        self.launched = launched
        self.pid = None if launched else self.process.pid

    def wait(self, timeout):
        return self.process.wait(timeout=timeout)

    def running(self):
        return self.process.poll() is None

    def kill(self):
        if self.launched and self.pid is not None:
            try:
                os.kill(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        if self.running():
            self.process.kill()
        self.process.wait(timeout=30)

    def message_box_texts(self):
        """Texts of the message boxes shown so far (needs WINEDEBUG +msgbox)."""
        with open(self.log_path, encoding="utf-8", errors="replace") as f:
            log = f.read()
        return [decode_wine_string(m) for m in re.findall(r'trace:msgbox:MSGBOX_OnInit L"((?:[^"\\]|\\.)*)"', log)]


def decode_wine_string(text):
    """Undoes Wine's debugstr_w escapes: \\n, \\", \\\\ and \\XXXX (hex)."""
    simple = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}

    def one(match):
        escape = match.group(1)
        return simple[escape] if escape in simple else chr(int(escape, 16))

    return re.sub(r'\\([nrt"\\]|[0-9a-fA-F]{4})', one, text)


class WineTestCase(unittest.TestCase):
    """A test with a fresh working folder (kept under the artifacts folder
    for a look after a failure) and the runs it started ended afterwards."""

    @classmethod
    def setUpClass(cls):
        with open(os.path.join(wine_session.session_dir(), wine_session.SESSION_FILE)) as f:
            cls.session = json.load(f)
        cls.display = Display(cls.session["display"])

    def setUp(self):
        self.folder = os.path.join(ARTIFACTS, self.id().split(".", 1)[1])
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.runs = []

    def tearDown(self):
        for run in self.runs:
            self.end(run)

    def end(self, run):
        """Kills the run and waits until its windows are gone, so that the
        next run's windows cannot be mistaken for them."""
        run.kill()
        if run.pid is not None:
            wait_for(lambda: not [w for w in self.display.windows(CAPTION) if self.display.pid(w) == run.pid],
                     10, "the killed run's windows to go")

    def path(self, name):
        return os.path.join(self.folder, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())

    def start(self, exe_name="parktotals.exe", show=None, **env):
        """Starts a copy of the exe named `exe_name` in the working folder,
        through the launcher when a show command is given."""
        exe = self.path(exe_name)
        if not os.path.exists(exe):
            try:
                os.link(EXE, exe)
            except OSError:
                shutil.copy(EXE, exe)
        command = ["wine", exe] if show is None else ["wine", LAUNCHER, str(show), windows_path(exe)]
        run = Run(command, self.folder, dict(wine_session.wine_environment(self.session), **env),
                  launched=show is not None)
        self.runs.append(run)
        return run

    def windows_of(self, run, name):
        """The run's windows called `name`."""
        windows = self.display.windows(name)
        if run.pid is None and windows:
            run.pid = self.display.pid(windows[0])
        return [w for w in windows if self.display.pid(w) == run.pid]

    def main_window(self, run, timeout=30):
        """The run's main window, once it is on the screen."""
        return wait_for(lambda: self.windows_of(run, CAPTION), timeout, "the main window")[0]


class StandIn:
    """A sqlserver-standin process answering from a rules file and logging
    every login and batch as a JSON line."""

    def __init__(self, folder, name, rules, port=0):
        rules_path = os.path.join(folder, name + ".rules")
        with open(rules_path, "w", encoding="utf-8") as f:
            f.write(rules)
        self.log_path = os.path.join(folder, name + ".log")
        with open(os.path.join(folder, name + ".stderr"), "ab") as err:
            self.process = subprocess.Popen(
                [STANDIN, "--port", str(port), "--rules", rules_path, "--log", self.log_path],
                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=err)
        line = self.process.stdout.readline().decode()
        match = re.match(r"listening on 127\.0\.0\.1:(\d+)", line)
        if not match:
            self.stop()
            raise AssertionError(f"{name} stand-in did not start: {line!r} (see {name}.stderr)")
        self.port = int(match.group(1))

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
        self.process.wait(timeout=30)
        self.process.stdout.close()

    def events(self, kind):
        with open(self.log_path, encoding="utf-8") as f:
            return [e for e in map(json.loads, f) if e["event"] == kind]

    def batches(self):
        return [e["text"] for e in self.events("batch")]
