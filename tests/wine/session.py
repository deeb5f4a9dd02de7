#!/usr/bin/env python3
"""Starts and stops what every wine test shares: an Xvfb display and a
private, initialised Wine prefix with FreeTDS registered under the driver
name the Windows build asks for.

Usage: session.py start|stop   (folder: $PARKTOTALS_WINE_SESSION)

On a fresh machine everything here is cold: a new prefix takes seconds to
set up, fonts are found for the first time. The start waits until Wine has
finished all of it, so the first test does not race the set-up.
"""
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SESSION_FILE = "session.json"

# Wine's odbc32 hands every call to the host's unixODBC, which reads its
# driver list from $ODBCSYSINI/odbcinst.ini: the exe's "SQL Server" becomes
# FreeTDS without touching /etc/odbcinst.ini.
ODBCINST_INI = """[SQL Server]
Description=FreeTDS under the name of the Windows driver
Driver=libtdsodbc.so
"""

# Fonts for Chinese. Debian's fonts-wqy-microhei is all the prefix needs
# under code page 936: Wine then finds no SimSun and takes any font with
# the code page's characters. Under any other code page it takes fonts
# without them, and Chinese shows as empty boxes: in the dialogs of NSIS's
# Chinese language table, which ask for SimSun by its Chinese name 宋体, and
# in message boxes, whose Tahoma Debian's Wine lacks and replaces by DejaVu
# Sans. So 宋体 becomes the installed font, as a Chinese Windows has SimSun,
# and DejaVu Sans is linked to it for the characters it lacks. Not SimSun
# for Tahoma's own links: Wine would then draw Tahoma, English too, wholly
# in the Chinese font. Through a .reg file in UTF-16: `wine reg add` would
# take the Chinese name through the host's character set (not UTF-8 here,
# where no locale is generated) and garble it.
CHINESE_FONT = "WenQuanYi Micro Hei"
# Wine draws its title bars' buttons with Marlett, which Debian's fonts-wine
# has but Debian's wine.inf does not register: without it they show as the
# letters "0 1 r".
MARLETT = "Z:" + "/usr/share/wine/fonts/marlett.ttf".replace("/", "\\\\")
# REG_MULTI_SZ, one "file,face" entry, as hexadecimal UTF-16.
_LINK = ",".join(f"{b:02x}" for b in f"wqy-microhei.ttc,{CHINESE_FONT}\0\0".encode("utf-16-le"))
FONTS_REG = f"""Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]
"宋体"="{CHINESE_FONT}"

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]
"DejaVu Sans"=hex(7):{_LINK}

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts]
"Marlett (TrueType)"="{MARLETT}"
"""

# Chinese as on the car parks' PCs: code page 936 and display language
# 0x0804 (GetUserDefaultUILanguage, by which NSIS picks its language). Wine
# takes the first from LC_CTYPE and the second from LC_MESSAGES as the C
# library's setlocale() gives them; with no zh_CN locale generated on the
# host setlocale() fails, and Wine falls back to LC_ALL for both.
CHINESE = {"LC_ALL": "zh_CN.UTF-8"}

# Windows the tests want drawn with their frames: Wine then positions them
# itself instead of leaving that to a window manager (there is none).
UNMANAGED_EXE = "Unmanaged.exe"

SCREEN = (1920, 1080)

# Bound on each step of the set-up. It only ends a set-up that hangs: a
# first wineboot on a loaded machine with cold caches takes far longer than
# the 6 s it takes warm.
SETUP_TIMEOUT = 180


def session_dir():
    return os.environ["PARKTOTALS_WINE_SESSION"]


def load():
    """The running session's settings (display, prefix, ...)."""
    with open(os.path.join(session_dir(), SESSION_FILE)) as f:
        return json.load(f)


def wine_environment(session):
    env = dict(os.environ)
    env.update(
        DISPLAY=session["display"],
        WINEPREFIX=session["prefix"],
        WINEDEBUG="-all",
        # No offer to download Mono or Gecko into a fresh prefix.
        WINEDLLOVERRIDES="mscoree,mshtml=",
        ODBCSYSINI=session["odbc"],
        # Wine takes its ANSI code page from the locale's name (1252 here,
        # 936 for zh_CN). With the locale not generated on the host, only
        # LC_ALL is heeded, not LANG.
        LC_ALL="en_US.UTF-8",
    )
    return env


def chinese_display_language_only():
    """The environment of a PC whose display language is Chinese but whose
    code page stays 1252 (its language for non-Unicode programs English).
    LC_MESSAGES alone takes a real zh_CN locale: generated once per session
    into the session's folder, for this process's children only (LOCPATH)."""
    locales = os.path.join(session_dir(), "locales")
    locale = os.path.join(locales, "zh_CN.UTF-8")
    if not os.path.isdir(locale):
        os.makedirs(locales, exist_ok=True)
        # Its exit code also counts warnings: the locale made is what counts.
        made = subprocess.run(["localedef", "-i", "zh_CN", "-f", "UTF-8", locale], stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=SETUP_TIMEOUT)
        if not os.path.isdir(locale):
            raise AssertionError(f"localedef could not make {locale} (package locales missing?): {made.stderr}")
    # An empty LC_ALL counts as unset.
    return {"LC_ALL": "", "LOCPATH": locales, "LC_CTYPE": "C.UTF-8", "LC_MESSAGES": "zh_CN.UTF-8"}


def start_xvfb(log):
    """An Xvfb on a display number it picks itself; returns (pid, ":N")."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        # -noreset: an X server resets when its last client leaves and
        # refuses connections meanwhile. Between two runs the only clients
        # are the tests' short xdotool calls, so a run starting then could
        # find no display.
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "{}x{}x24".format(*SCREEN), "-nolisten", "tcp",
         "-noreset"],
        pass_fds=[write_end], stdin=subprocess.DEVNULL, stdout=log, stderr=log,
        # Outlives this process: ctest would otherwise wait for its output.
        start_new_session=True)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 60
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        ready, _, _ = select.select([read_end], [], [], 0.5)
        if ready:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
    os.close(read_end)
    if not number.strip():
        xvfb.kill()
        sys.exit("Xvfb did not report its display")
    return xvfb.pid, ":" + number.decode().strip()


def run_logged(command, env, log, timeout=SETUP_TIMEOUT):
    """Runs a step of the set-up with its output in the log, and says how
    long it took; when it fails, what the log says."""
    began = time.monotonic()
    try:
        subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                       timeout=timeout, check=True)
    except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as e:
        log.flush()
        with open(log.name, encoding="utf-8", errors="replace") as f:
            sys.stdout.write("".join(f.readlines()[-40:]))
        sys.exit(f"Wine session set-up failed: {e} (log: {log.name})")
    print(f"{' '.join(command[:2])}: {time.monotonic() - began:.1f} s", flush=True)


def start(unmanaged=(UNMANAGED_EXE,)):
    """Starts Xvfb and sets up the prefix; the windows of exes named in
    `unmanaged` are drawn by Wine with their frames."""
    directory = session_dir()
    if os.path.exists(os.path.join(directory, SESSION_FILE)):
        stop()  # left over from an interrupted run
    os.makedirs(directory, exist_ok=True)
    log = open(os.path.join(directory, "session.log"), "ab")
    started = time.monotonic()

    odbc = os.path.join(directory, "odbc")
    os.makedirs(odbc, exist_ok=True)
    with open(os.path.join(odbc, "odbcinst.ini"), "w") as f:
        f.write(ODBCINST_INI)
    open(os.path.join(odbc, "odbc.ini"), "w").close()

    xvfb_pid, display = start_xvfb(log)
    session = {
        "display": display,
        "xvfb_pid": xvfb_pid,
        "prefix": tempfile.mkdtemp(prefix="parktotals-wine-"),
        "odbc": odbc,
    }
    with open(os.path.join(directory, SESSION_FILE), "w") as f:
        json.dump(session, f)

    env = wine_environment(session)
    run_logged(["wineboot", "-i"], env, log)
    for exe in unmanaged:
        run_logged(["wine", "reg", "add", rf"HKCU\Software\Wine\AppDefaults\{exe}\X11 Driver",
                    "/v", "Managed", "/d", "N", "/f"], env, log)
    fonts = os.path.join(directory, "fonts.reg")
    with open(fonts, "wb") as f:
        f.write(b"\xff\xfe" + FONTS_REG.replace("\n", "\r\n").encode("utf-16-le"))
    run_logged(["wine", "reg", "import", fonts], env, log)
    # wineboot returns before what it started (services, the desktop
    # process building the font cache) has finished. The server ends only
    # once they have and it has written the registry to disk: wait for that.
    run_logged(["wineserver", "-w"], env, log)
    # Then a persistent server for the tests, started here so that its
    # output goes to the log: one started by a test's first wine call would
    # hold that call's pipes open.
    run_logged(["wineserver", "-p"], env, log, 60)
    print(f"Xvfb on {display}, Wine prefix {session['prefix']} ready in {time.monotonic() - started:.1f} s")


def is_xvfb(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return os.path.basename(f.read().split(b"\0")[0]) == b"Xvfb"
    except OSError:
        return False


def stop():
    path = os.path.join(session_dir(), SESSION_FILE)
    if not os.path.exists(path):
        return
    session = load()
    env = wine_environment(session)
    subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    if is_xvfb(session["xvfb_pid"]):
        os.kill(session["xvfb_pid"], signal.SIGTERM)
    shutil.rmtree(session["prefix"], ignore_errors=True)
    os.remove(path)


if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in ("start", "stop"):
        sys.exit(__doc__)
    start() if sys.argv[1] == "start" else stop()
