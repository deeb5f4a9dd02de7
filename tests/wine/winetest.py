"""What the wine tests share: runs of the Windows exe under Wine in the
session that session.py started, what the X server can tell about the
exe's windows and pixels, the stand-in servers, and the nightly job's
texts.

Settings come from the environment, set by tests/wine/CMakeLists.txt.

Tests wait on conditions, never for a fixed time. A deadline only bounds a
failure, so it is generous: on a cold machine (a new prefix, fonts found for
the first time, both cores busy) the first start of a program under Wine
takes many seconds.
"""
import datetime
import json
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import time
import unittest
import zlib

import session as wine_session

EXE = os.environ.get("PARKTOTALS_EXE", "")
LAUNCHER = os.environ.get("PARKTOTALS_LAUNCHER", "")
STANDIN = os.environ.get("PARKTOTALS_STANDIN", "")
ARTIFACTS = os.environ.get("PARKTOTALS_WINE_ARTIFACTS", "")
CENTRAL_PORT = int(os.environ.get("PARKTOTALS_CENTRAL_PORT", "0"))
CENTRAL_USER = os.environ.get("PARKTOTALS_CENTRAL_USER", "")
CENTRAL_PASSWORD = os.environ.get("PARKTOTALS_CENTRAL_PASSWORD", "")

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# scripts/release's output for the tests (test_release.py build), signed
# with a code-signing certificate from a throw-away authority beside it.
RELEASE_BUILD = os.environ.get("PARKTOTALS_RELEASE_BUILD", "")
SIGNING_FOLDER = RELEASE_BUILD + ".signing"
SIGNING_CA = os.path.join(SIGNING_FOLDER, "ca.pem")


def signature_check(path):
    """osslsigncode's check of a file's Authenticode signature against the
    throw-away authority: its exit code and what it said."""
    done = subprocess.run(["osslsigncode", "verify", "-CAfile", SIGNING_CA, "-in", path], capture_output=True,
                          text=True, timeout=120)
    return done.returncode, done.stdout + done.stderr

# Seconds a test waits for something that should happen.
DEADLINE = 90

CAPTION = "formmaindalventis"

# Under Xvfb there is no window manager. A managed window (Wine's default)
# then has no title bar at all and X shows just its client area, which Wine
# places 3 px right of and 22 px below the outer position (the dialog frame
# and the caption). An unmanaged one (see session.py) is drawn by Wine with
# its frame and X shows the whole window.
CLIENT_RECT = (1216, 459, 116, 9)
WINDOW_RECT = (1213, 437, 122, 34)

# ShowWindow commands, as a launcher puts them in STARTUPINFO.
SW_HIDE, SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED = 0, 1, 2, 3
SW_SHOWMINNOACTIVE, SW_SHOWDEFAULT = 7, 10


def wait_for(predicate, what, timeout=DEADLINE):
    """Polls until predicate() gives something true and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"waited {timeout} s for {what}")
        time.sleep(0.1)


def wait_for_value(get, expected, what, timeout=DEADLINE):
    """Polls get() until it gives `expected`; the failure names the last
    value seen."""
    seen = []

    def matches():
        seen[:] = [get()]
        return seen[0] == expected

    try:
        wait_for(matches, what, timeout)
    except AssertionError as e:
        raise AssertionError(f"{e}: expected {expected!r}, last seen {seen[0]!r}") from None


def holds_for(predicate, seconds, what):
    """Checks that predicate() stays true for `seconds`. Only for what must
    NOT happen (a second tick, the process ending): no condition can say
    that it never will, so a test watches for a stated period."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not predicate():
            raise AssertionError(f"no longer true after {seconds - (deadline - time.monotonic()):.1f} s: {what}")
        time.sleep(0.1)


def port_is_closed(port):
    with socket.socket() as s:
        return s.connect_ex(("127.0.0.1", port)) != 0


def windows_path(path):
    """The Z: drive path under which Wine sees a host file."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def tail(path, lines):
    """The last `lines` lines of a text file, or why there are none."""
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read().splitlines()
    except OSError as e:
        return [f"({e.strerror}: {path})"]
    if not text:
        return [f"(empty: {path})"]
    skipped = [f"({len(text) - lines} earlier lines in {path})"] if len(text) > lines else []
    return skipped + text[-lines:]


# The nightly job's texts, as the program sends them.

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

# {0}..{4}: the five figures, {5}: the car park number, {6}: yesterday as YYYYMMDD.
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

# The car park's day of figures (tests/support/local_figures.rules), and
# the values the program sends for it.
LOCAL_FIGURES_RULES = os.path.join(SOURCE, "tests", "support", "local_figures.rules")
LOCAL_FIGURES = ["17", "5400", "1234.5", "0", "86.25"]

LOCAL_USER, LOCAL_PASSWORD = "sa", "Local-Pass-1"

# For the central stand-in: every update waits until the test releases it
# (StandIn.release), so a run stays in progress, its window up, for as long
# as the test needs to look.
HOLD_UPDATES = "regex hold rows 1 | update T_kextotal [\\s\\S]*\n"


def yesterday_key():
    return (datetime.date.today() - datetime.timedelta(days=1)).strftime("%Y%m%d")


def statements(values, park, date):
    return [s.format(*values, park, date) for s in STATEMENTS]


# ReportEventW's types, as Wine's trace gives them.
EVENT_ERROR, EVENT_WARNING, EVENT_INFORMATION = 1, 2, 4


def crlf_lines(texts):
    """The texts as the program writes lines: each ends in CR LF."""
    return "".join(t + "\r\n" for t in texts)


def batches(texts):
    """The batches the servers receive for these texts (CR LF at the end)."""
    return [t + "\r\n" for t in texts]


# The batch that starts every central session: the program asks for row
# counts, whatever the server's default.
SET_NOCOUNT_OFF = "SET NOCOUNT OFF\r\n"


def central_batches(texts):
    """The batches a central session receives for these updates: its set-up,
    then each update."""
    return [SET_NOCOUNT_OFF] + batches(texts)


def local_rules(answers=None):
    """The local statistics database's rules with the test account: the car
    park's day of figures, or one answer of the given ones per query."""
    if answers is None:
        with open(LOCAL_FIGURES_RULES, encoding="utf-8") as f:
            body = f.read()
    else:
        body = "".join(f"escaped {answer} | {json.dumps(query + chr(13) + chr(10), ensure_ascii=False)[1:-1]}\n"
                       for answer, query in zip(answers, QUERIES)) + "default error 208 'Invalid object name'\n"
    return f"login {LOCAL_USER} {LOCAL_PASSWORD}\n{body}"


def reginfo(port):
    """RegInfo.INI naming the local stand-in on `port`."""
    return (f"Provider=SQLOLEDB.1;Data Source=127.0.0.1,{port};"
            f"Initial Catalog=park;User ID={LOCAL_USER};Password={LOCAL_PASSWORD}\r\n")


def central_rules(extra="", user=CENTRAL_USER, password=CENTRAL_PASSWORD):
    """The central totals database: accepts the test exe's account (or the
    one given) and every update; `extra` rules come first."""
    return (f"login {user} {password}\n{extra}"
            "regex rows 1 | update T_kextotal [\\s\\S]*\ndefault ok\n")


class Picture:
    """RGB pixels of a screen rectangle."""

    def __init__(self, rect, rgb):
        self.rect = rect
        self.width, self.height = rect[2], rect[3]
        self.rgb = rgb

    def __eq__(self, other):
        return isinstance(other, Picture) and (self.rect, self.rgb) == (other.rect, other.rgb)

    def pixel(self, x, y):
        """The pixel at screen position x, y."""
        i = 3 * ((y - self.rect[1]) * self.width + x - self.rect[0])
        return tuple(self.rgb[i:i + 3])

    def pixels(self, rect):
        """The pixels of a screen rectangle inside the picture."""
        x0, y0, width, height = rect
        return [self.pixel(x, y) for y in range(y0, y0 + height) for x in range(x0, x0 + width)]

    def png(self):
        rows = b"".join(b"\0" + self.rgb[3 * self.width * y:3 * self.width * (y + 1)] for y in range(self.height))

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))

    def save(self, path):
        with open(path, "wb") as f:
            f.write(self.png())


# Wine 8's default colours, as it draws frames and boxes.
ACTIVE_CAPTION = (0x32, 0x96, 0xFA)
INACTIVE_CAPTION = (0x80, 0x80, 0x80)
WHITE = (0xFF, 0xFF, 0xFF)

# An unmanaged window as Wine draws it: a 3 px dialog frame around an 18 px
# caption, a 1 px line, then the client area.
FRAME, CAPTION_HEIGHT = 3, 18


def caption_band(rect):
    x, y, width, _ = rect
    return (x + FRAME, y + FRAME, width - 2 * FRAME, CAPTION_HEIGHT)


def frame_problem(picture, rect, active):
    """What is wrong with the frame Wine drew for the window at `rect`: its
    caption band in the active or inactive colour, with the title written
    in it. None when it is right."""
    colour = ACTIVE_CAPTION if active else INACTIVE_CAPTION
    band = picture.pixels(caption_band(rect))
    in_colour = sum(1 for p in band if p == colour)
    if in_colour < len(band) // 2:
        state = "active" if active else "inactive"
        return f"caption at {rect[:2]}: {in_colour} of {len(band)} pixels in the {state} colour {colour}"
    # The title's letters: a few hundred pixels in another colour.
    if len(band) - in_colour < 60:
        return f"caption at {rect[:2]}: no title written ({len(band) - in_colour} pixels of letters)"
    return None


def stop_icon_pixels(pixels):
    """How many of the pixels are the stop icon's red."""
    return sum(1 for r, g, b in pixels if r > 180 and g < 90 and b < 90)


def stop_icon_problem(picture, box_rect):
    red = stop_icon_pixels(picture.pixels(box_rect))
    return None if red > 50 else f"no stop icon in the box at {box_rect[:2]} ({red} red pixels)"


def error_box_problem(window_rect, box_rect):
    """For pictures of an unmanaged window with its error box: both frames
    drawn, the box's caption active and the window's not, and the box's
    stop icon."""
    return lambda picture: (frame_problem(picture, window_rect, active=False)
                            or frame_problem(picture, box_rect, active=True)
                            or stop_icon_problem(picture, box_rect))


def text_pixels(pixels):
    """How many of the pixels are dark enough to be letters."""
    return sum(1 for p in pixels if max(p) < 100)


def empty_box(letter):
    """Whether a letter (its columns of dark pixels, top to bottom) is an
    empty box, as Wine draws a character its fonts lack: the top and bottom
    lines of a box at least 4 px wide and 6 high (its sides are grey, or
    dark), nothing inside."""
    rows = [i for column in letter for i, dark in enumerate(column) if dark]
    top, bottom = min(rows), max(rows)
    if bottom - top < 5 or len(letter) < 4:
        return False
    side = tuple(top <= i <= bottom for i in range(len(letter[0])))
    rim = tuple(i in (top, bottom) for i in range(len(letter[0])))
    return all(column == rim for column in letter[1:-1]) and {letter[0], letter[-1]} <= {rim, side}


def empty_boxes_problem(picture, rect):
    """Whether the text in `rect` shows characters as empty boxes, three or
    more in a row (a word of Chinese without a font for it). Line by line,
    letters split at blank columns. None when there are none."""
    x0, y0, width, height = rect
    dark = [[max(picture.pixel(x, y)) < 100 for x in range(x0, x0 + width)] for y in range(y0, y0 + height)]
    y = 0
    while y < height:
        top = y
        while y < height and any(dark[y]):
            y += 1
        if y == top:
            y += 1
            continue
        run, letter = 0, []
        for x in range(width + 1):
            column = tuple(row[x] for row in dark[top:y]) if x < width else ()
            if any(column):
                letter.append(column)
            elif letter:
                run = run + 1 if empty_box(letter) else 0
                letter = []
                if run == 3:
                    return (f"characters drawn as empty boxes at y={y0 + top} (fonts-wqy-microhei missing, or the "
                            "fonts of session.py?)")
    return None


def memo_problem(picture, client_rect):
    """What is wrong with the memo strip of a window whose client area is
    at `client_rect`: it lies 16 px in, is cut off by the client area's
    right and bottom, and is white with letters in it (its text as the
    window was last painted). None when it is right."""
    x, y, width, height = client_rect
    memo = picture.pixels((x + 16, y, width - 16, height))
    white = sum(1 for p in memo if p == WHITE)
    letters = text_pixels(memo)
    if white < len(memo) // 3 or letters < 15:
        return f"memo at {(x + 16, y)}: {white} white pixels and {letters} of letters of {len(memo)}"
    return None


def union(*rects, margin=0):
    left = min(r[0] for r in rects) - margin
    top = min(r[1] for r in rects) - margin
    right = max(r[0] + r[2] for r in rects) + margin
    bottom = max(r[1] + r[3] for r in rects) + margin
    return (max(left, 0), max(top, 0), right - max(left, 0), bottom - max(top, 0))


class Display:
    """Questions to the X server, through xdotool, xwininfo, xprop and import."""

    def __init__(self, name):
        self.env = dict(os.environ, DISPLAY=name)

    def _run(self, *command):
        return subprocess.run(command, env=self.env, capture_output=True, timeout=60)

    def windows(self, name, pid=None):
        """Ids of the windows called exactly `name`, of process `pid` if given."""
        # xdotool matches names ignoring case, and reads what is not ASCII in
        # them as "?" where Wine's Unix character set is ASCII (zh_CN not
        # generated): it finds candidates, the title is compared here.
        pattern = "".join(re.escape(c) if c.isascii() else ".*" for c in name)
        found = self._run("xdotool", "search", "--name", "^" + pattern + "$")
        ids = [int(line) for line in found.stdout.split()]
        return [w for w in ids if self.title(w) == name and (pid is None or self.pid(w) == pid)]

    def title(self, window):
        match = re.match(r'"(.*)"$', self.prop(window, "_NET_WM_NAME"))
        return json.loads('"' + match.group(1) + '"') if match else None

    def rect(self, window, shown=False):
        """(x, y, width, height) on the screen, or None once the window is
        gone (with `shown`: or while it is not mapped yet)."""
        info = self._run("xwininfo", "-id", str(window))
        if info.returncode != 0:
            return None
        text = info.stdout.decode()
        if shown and "IsViewable" not in text:
            return None

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

    def picture(self, rect=None):
        """The pixels of a screen rectangle (the part on the screen), or of
        the whole screen."""
        width, height = wine_session.SCREEN
        x, y, w, h = union(rect or (0, 0, width, height))
        rect = (x, y, min(w, width - x), min(h, height - y))
        shot = self._run("import", "-window", "root", "-crop", "{2}x{3}+{0}+{1}".format(*rect), "+repage",
                         "-depth", "8", "rgb:-")
        if len(shot.stdout) != 3 * rect[2] * rect[3]:
            raise AssertionError(f"import gave {len(shot.stdout)} bytes for {rect}: {shot.stderr.decode()}")
        return Picture(rect, shot.stdout)

    def press(self, window, key):
        self._run("xdotool", "windowfocus", "--sync", str(window), "key", "--clearmodifiers", key)

    def type(self, window, text):
        """Types text into the window's focused field; a tab moves on to the next."""
        for i, part in enumerate(text.split("\t")):
            if i:
                self.press(window, "Tab")
            if part:
                self._run("xdotool", "windowfocus", "--sync", str(window), "type", "--delay", "20", part)


class Run:
    """One start of the exe under Wine. `pid` is the Windows process's own,
    which is also the _NET_WM_PID of its windows."""

    # Now and then Wine cannot start a process at all: "failed to map the
    # shared user data" (c0000018), its fixed address taken by chance. The
    # exe never ran, so it is started again, a few times at most.
    START_FAILURE = b"failed to map the shared user data"
    RESTARTS = 3

    def __init__(self, command, folder, env, launched=False):
        self.command = command
        self.folder = folder
        self.env = env
        self.log_path = os.path.join(folder, "wine.log")
        self.restarts = 0
        # Through the launcher the exe is not our child: its pid is learnt
        # from its first window.
        self.launched = launched
        self.killed = False
        self._launch()

    def _launch(self):
        with open(self.log_path, "ab") as log:
            self.log_start = log.tell()
            self.process = subprocess.Popen(self.command, cwd=self.folder, env=self.env, stdin=subprocess.DEVNULL,
                                            stdout=log, stderr=log)
        self.pid = None if self.launched else self.process.pid

    def _restarted(self):
        """Starts the exe again when Wine could not start it; true then."""
        if self.killed or self.restarts >= self.RESTARTS or self.process.poll() is None:
            return False
        with open(self.log_path, "rb") as f:
            f.seek(self.log_start)
            if self.START_FAILURE not in f.read():
                return False
        self.restarts += 1
        self._launch()
        return True

    def wait(self, timeout=DEADLINE):
        while True:
            code = self.process.wait(timeout=timeout)
            if not self._restarted():
                return code

    def running(self):
        return self.process.poll() is None or self._restarted()

    def kill(self):
        if self.running():
            self.killed = True
        if self.launched and self.pid is not None:
            try:
                os.kill(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        if self.running():
            self.process.kill()
        self.process.wait(timeout=DEADLINE)

    def message_box_texts(self):
        """Texts of the message boxes this run has shown so far (needs
        WINEDEBUG +msgbox); earlier runs in the folder share its log."""
        with open(self.log_path, "rb") as f:
            f.seek(self.log_start)
            log = f.read().decode("utf-8", errors="replace")
        return [decode_wine_string(m) for m in re.findall(r'trace:msgbox:MSGBOX_OnInit L"((?:[^"\\]|\\.)*)"', log)]

    def events(self):
        """The events the run wrote to the Application log, as (type, id,
        strings), from Wine's trace of ReportEventW (which stores nothing):
        a fixme line with the call's arguments, then one line for each
        string, on the channel of its type."""
        with open(self.log_path, encoding="utf-8", errors="replace") as f:
            log = f.read()
        events = []
        for call, string in re.findall(r":fixme:advapi:ReportEventW \(\w+,(0x\w+,0x\w+,0x\w+),.*"
                                       r'|:(?:trace|warn|err):eventlog:ReportEventW L"((?:[^"\\]|\\.)*)"', log):
            if call:
                event_type, _, event_id = (int(value, 16) for value in call.split(","))
                events.append((event_type, event_id, []))
            elif events:
                events[-1][2].append(decode_wine_string(string))
        return events

    def report(self):
        state = ("killed by the test's end" if self.killed else
                 "running" if self.running() else f"exit code {self.process.returncode}")
        return [f"{' '.join(self.command)}: {state}; {self.log_path}:"] + [
            "  " + line for line in tail(self.log_path, 30)]


def decode_wine_string(text):
    """Undoes Wine's debugstr_w escapes: \\n, \\", \\\\ and \\XXXX (hex)."""
    simple = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}

    def one(match):
        escape = match.group(1)
        return simple[escape] if escape in simple else chr(int(escape, 16))

    return re.sub(r'\\([nrt"\\]|[0-9a-fA-F]{4})', one, text)


class StandIn:
    """A sqlserver-standin process answering from a rules file and logging
    every login and batch as a JSON line."""

    def __init__(self, folder, name, rules, port=0):
        self.name = name
        rules_path = os.path.join(folder, name + ".rules")
        with open(rules_path, "w", encoding="utf-8") as f:
            f.write(rules)
        self.log_path = os.path.join(folder, name + ".log")
        self.stderr_path = os.path.join(folder, name + ".stderr")
        with open(self.stderr_path, "ab") as err:
            self.process = subprocess.Popen(
                [STANDIN, "--port", str(port), "--rules", rules_path, "--log", self.log_path],
                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=err)
        line = self.process.stdout.readline().decode()
        match = re.match(r"listening on 127\.0\.0\.1:(\d+)", line)
        if not match:
            self.stop()
            raise AssertionError(f"{name} stand-in did not start: {line!r}; {self.stderr_path}: "
                                 + " | ".join(tail(self.stderr_path, 5)))
        self.port = int(match.group(1))

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
        self.process.wait(timeout=DEADLINE)
        self.process.stdout.close()

    def release(self):
        """Lets the held answers go (SIGUSR1), and waits until the stand-in
        says it has."""
        self.process.send_signal(signal.SIGUSR1)
        wait_for(lambda: any("held answers released" in line for line in tail(self.stderr_path, 20)),
                 f"the {self.name} stand-in to release its held answers")

    def events(self, kind):
        if not os.path.exists(self.log_path):
            return []
        with open(self.log_path, encoding="utf-8") as f:
            return [e for e in map(json.loads, f) if e["event"] == kind]

    def batches(self):
        return [e["text"] for e in self.events("batch")]

    def report(self):
        return ([f"{self.name} stand-in, {self.log_path}:"] + ["  " + line for line in tail(self.log_path, 20)]
                + [f"{self.name} stand-in, {self.stderr_path}:"] + ["  " + line for line in tail(self.stderr_path, 10)])


class WineTestCase(unittest.TestCase):
    """A test with a fresh working folder (kept under the artifacts folder
    for a look after a failure) and the runs and stand-ins it started ended
    afterwards. A failure is followed by what a person needs to find its
    cause: the runs' wine.log, the stand-ins' logs, the pictures taken and
    a picture of the screen as the test failed."""

    @classmethod
    def setUpClass(cls):
        cls.session = wine_session.load()
        cls.display = Display(cls.session["display"])

    def run(self, result=None):
        if result is None:
            return super().run(result)
        self._result = result
        self._reported = len(result.failures), len(result.errors)
        super().run(result)
        problems = result.failures[self._reported[0]:] + result.errors[self._reported[1]:]
        if problems:
            # At once rather than in the summary at the end: a test run that
            # ctest stops at its time limit prints no summary.
            sys.stderr.write(f"\n==== {self.id()} failed\n" + "".join(text for _, text in problems)
                             + self.report() + "====\n")
            sys.stderr.flush()
        return result

    def _failed(self):
        """Whether a check of this test (or of one of its subtests) failed so far."""
        result = getattr(self, "_result", None)
        return result is not None and (len(result.failures), len(result.errors)) != self._reported

    def setUp(self):
        self.folder = os.path.join(ARTIFACTS, self.id().split(".", 1)[1])
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.runs = []
        self.standins = []
        self.pictures = []

    def tearDown(self):
        if self._failed():
            try:
                self.save_picture("screen-at-failure.png", self.display.picture())
            except (AssertionError, OSError, subprocess.SubprocessError) as e:
                self.pictures.append(f"(no picture of the screen: {e})")
        for run in self.runs:
            self.end(run)

    def report(self):
        lines = [f"What the test left in {self.folder}:"]
        lines += [f"picture: {path}" for path in getattr(self, "pictures", [])]
        for run in getattr(self, "runs", []):
            lines += run.report()
        for server in getattr(self, "standins", []):
            lines += server.report()
        return "\n".join(lines) + "\n"

    def end(self, run):
        """Kills the run and waits until its windows are gone, so that the
        next run's windows cannot be mistaken for them."""
        run.kill()
        if run.pid is not None:
            wait_for(lambda: not self.display.windows(CAPTION, run.pid), "the killed run's windows to go")

    def path(self, name):
        return os.path.join(self.folder, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def standin(self, name, rules, port=0):
        """A stand-in for this test, stopped at its end."""
        server = StandIn(self.folder, name, rules, port)
        self.standins.append(server)
        self.addCleanup(server.stop)
        return server

    def start(self, exe_name="parktotals.exe", show=None, folder=None, args=(), **env):
        """Starts a copy of the exe named `exe_name` with `args` in the
        working folder, through the launcher when a show command is given."""
        folder = folder or self.folder
        exe = os.path.join(folder, exe_name)
        if not os.path.exists(exe):
            try:
                os.link(EXE, exe)
            except OSError:
                shutil.copy(EXE, exe)
        command = ["wine", exe] if show is None else ["wine", LAUNCHER, str(show), windows_path(exe)]
        command += args
        # Wine's errors and the texts of message boxes go to wine.log: a
        # failure's report then says what went wrong, or what a box said.
        # And each event the run writes (Run.events).
        env = {**wine_session.wine_environment(self.session),
               "WINEDEBUG": "-all,err+all,+msgbox,fixme+advapi,+eventlog", **env}
        run = Run(command, folder, env, launched=show is not None)
        self.runs.append(run)
        return run

    def assert_one_event(self, run, event_type, event_id, strings):
        """The run wrote one event: its type, ID and first four strings (car
        park, date key, transferred, asked); the fifth is its report block,
        as far as Wine's trace shows it."""
        events = run.events()
        self.assertEqual([(t, i, s[:4]) for t, i, s in events], [(event_type, event_id, strings)])
        self.assertTrue(events[0][2][4].startswith("==== Run of "), events[0][2][4])

    def wait_to_end(self, run):
        """Waits until the run ends by itself and returns its exit code. An
        error box would keep it waiting for a click: the test fails at once
        with the box's text."""
        wait_for(lambda: not run.running() or run.message_box_texts(), "the run to end")
        self.assertFalse(run.message_box_texts(), "the run showed an error box")
        return run.wait()

    def windows_of(self, run, name):
        """The run's windows called `name`."""
        run.running()  # starts it again if Wine could not
        windows = self.display.windows(name)
        if run.pid is None and windows:
            run.pid = self.display.pid(windows[0])
        return [w for w in windows if self.display.pid(w) == run.pid]

    def window(self, run, name, what):
        """The run's window called `name`, once it is there."""
        return wait_for(lambda: self.windows_of(run, name), what)[0]

    def main_window(self, run):
        return self.window(run, CAPTION, "the main window")

    def wait_for_rect(self, window, rect, what):
        """Waits until the window has the rectangle: a window is named
        before it is mapped and placed."""
        wait_for_value(lambda: self.display.rect(window), rect, what)

    def save_picture(self, name, picture):
        path = self.path(name)
        picture.save(path)
        self.pictures.append(path)
        return path

    def wait_for_picture(self, name, rect, problem, what):
        """Takes pictures of `rect` until `problem(picture)` finds nothing
        wrong and two pictures in a row are the same (Wine has finished
        drawing); saves that one as `name` in the working folder."""
        last, seen = [None], [None]

        def drawn():
            picture = self.display.picture(rect)
            seen[0] = problem(picture)
            done = seen[0] is None and picture == last[0]
            last[0] = picture
            return done

        try:
            wait_for(drawn, what)
        except AssertionError as e:
            path = self.save_picture(name, last[0])
            raise AssertionError(f"{e}: {seen[0] or 'the picture kept changing'} (last picture: {path})") from None
        self.save_picture(name, last[0])
        return last[0]
