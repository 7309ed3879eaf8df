#!/usr/bin/env python3
"""Pictures of the plug-in's dialogs, as a user sees them.

Runs the host stand-in under Wine on a virtual X display (Xvfb), in a prefix of its own
whose windows Wine frames itself, brings up each dialog the way a user would, and
photographs it into docs/screenshots/<name>.png, cropped to the dialog's window.

  screenshots.py --build BUILD_DIR [--out DIR]

SHOTS_ONLY=name,name... takes only those pictures ("setup": the setup program's).
"""
import argparse
import os
import re
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DISPLAY = ":57"


def notification(index_bytes: bytes) -> str:
    """A ':receive' line carrying a sound notification, as the stand-in reads it."""
    return "\x12TL".encode().hex() + index_bytes.hex()


def sound_database(sounds):
    """Registry values for Sounds given as (their key below Sounds, command, file, message)."""
    return [("HKLM\\SOFTWARE\\vorquell_ software\\Tlx3\\Sounds\\" + key, value, data)
            for key, *texts in sounds
            for value, data in zip(("Command", "Filename", "Message"), texts)]


PANEL_DATABASE = sound_database([
    ("Farm Animals\\300", "moo", "C:\\Sounds\\moo.wav", "The cows are home"),
    ("Farm Animals\\301", "baa", "C:\\Sounds\\baa.mp3", "Baa baa"),
    ("Bells\\7", "ding", "C:\\Sounds\\ding.ogg", "Ding dong")])
# The same on Japanese Windows (code page 932): names whose second bytes are "\\" (ソ, 表,
# 能) and "|" (ポ).
JAPANESE_DATABASE = sound_database([
    ("ソングパック\\300", "ア", "C:\\サウンド\\表.wav", "こんにちは"),
    ("ソングパック\\301", "ヂ", "C:\\サウンド\\ポン能.ogg", "ポン"),
    ("Bells\\7", "ding", "C:\\Sounds\\ding.ogg", "Ding dong")])
# name, stand-in arguments, lines typed, caption of the dialog that then shows, the steps
# taken once it shows (keys, typing, clicks, and waiting for the dialog they bring up),
# and registry values (key, value, text) written before the stand-in starts
DIALOGS = [
    ("first-send-prompt", ["--me", "Alice", "--contact", "Bob|bob@example.com"],
     [":receive Bob\t" + notification(b"\x01\x01\x02")], "Tunelark Blocklist...", None, []),
    ("config-panel", [], ["/xTLConfig"], "Tunelark Config Panel", None, PANEL_DATABASE),
    ("about", [], ["/xTLAbout"], "About - Tunelark Plugin", None, []),
    ("advanced-options", [], ["/xTLOptions"], "Tunelark Advanced Options", None, []),
    ("blocklist", [], ["/xTLBlocklist"], "Tunelark Blocklist", None,
     [("HKCU\\Software\\vorquell_ software\\Tunelark\\Blocklist", name, "dword:" + flag)
      for name, flag in (("ann@example.com", "1"), ("bob@example.com", "0"), ("carol@example.com", "1"))]),
    ("help", [], ["/xTLAbout"], "About - Tunelark Plugin", [("key", "F1"), ("wait", "Tunelark Help")], []),
    # The panel's dialogs, reached as a user does: clicks at points of the panel (from its
    # top-left corner) and its keyboard mnemonics.
    ("add-sound", [], ["/xTLConfig"], "Tunelark Config Panel",
     [("click", 67, 172, 1), ("key", "alt+a"), ("wait", "Add Sounds")], PANEL_DATABASE),
    ("edit-sound", [], ["/xTLConfig"], "Tunelark Config Panel",
     [("click", 240, 172, 1), ("key", "alt+e"), ("wait", "Edit Sound")], PANEL_DATABASE),
    ("confirm-delete", [], ["/xTLConfig"], "Tunelark Config Panel",
     [("click", 240, 172, 1), ("key", "alt+d"), ("wait", "Confirm Delete")], PANEL_DATABASE),
    ("install", [], ["/xTLConfig"], "Tunelark Config Panel",
     [("key", "alt+s"), ("wait", "Install a Soundpack")], PANEL_DATABASE),
    ("error-dialog", [], ["/xTLConfig"], "Tunelark Config Panel",
     [("key", "alt+s"), ("wait", "Install a Soundpack"), ("click", 64, 219, 1), ("type", "nothing.ini"),
      ("key", "alt+i"), ("wait", "Tunelark Error Dialog")], PANEL_DATABASE),
    ("new-soundpack", [], ["/xTLConfig"], "Tunelark Config Panel",
     [("click", 60, 155, 3), ("key", "Down"), ("key", "Return"), ("wait", "New SoundPack")], PANEL_DATABASE),
    ("properties", [], ["/xTLConfig"], "Tunelark Config Panel",
     [("click", 67, 172, 3), ("key", "Up"), ("key", "Return"), ("wait", "Tunelark3 SoundPack Properties")], PANEL_DATABASE),
    # Last element, when there: the locale the shot runs in (the system code page follows it).
    ("config-panel-932", [], ["/xTLConfig"], "Tunelark Config Panel", None, JAPANESE_DATABASE, "ja_JP.UTF-8"),
]


def run(build: Path, out: Path) -> int:
    home = build / "screenshots"
    prefix = home / "prefix"
    env = dict(os.environ, DISPLAY=DISPLAY, WINEPREFIX=str(prefix), WINEARCH="win32", WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=", LANG="C.UTF-8", TUNELARK_AUDIO="none",
               ALSA_CONFIG_PATH=str(ROOT / "scripts" / "alsa-none.conf"))
    env.pop("WAYLAND_DISPLAY", None)
    out.mkdir(parents=True, exist_ok=True)
    xvfb = subprocess.Popen(["Xvfb", DISPLAY, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    def prepared(shot_env, japanese=False):
        if not (Path(shot_env["WINEPREFIX"]) / "system.reg").exists():
            home.mkdir(parents=True, exist_ok=True)
            subprocess.run(["wineboot", "-i"], env=shot_env, **quiet)
            subprocess.run([str(Path(__file__).parent / "wine-fonts.sh")], env=shot_env, check=True)
            for value in ("Managed", "Decorated"):
                subprocess.run(["wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", value,
                                "/d", "N", "/f"], env=shot_env, **quiet)
            if japanese:
                # Japanese Windows draws a dialog font without Japanese characters (MS Sans
                # Serif) in one that has them (MS UI Gothic); Wine keeps the face it is
                # asked for, so the picture's prefix has IPA P Gothic (fonts-ipafont-gothic)
                # in its place.
                for font in (Path(shot_env["WINEPREFIX"]) / "drive_c" / "windows" / "Fonts").glob("ss*.fon"):
                    font.unlink()
                for face in ("MS Sans Serif", "MS Shell Dlg"):
                    subprocess.run(["wine", "reg", "add", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\"
                                    "FontSubstitutes", "/v", face, "/d", "IPAPGothic", "/f"], env=shot_env, **quiet)
            subprocess.run(["wineserver", "-w"], env=shot_env, **quiet)
        return shot_env

    # A shot in another locale has a prefix of its own: Wine rewrites a prefix's locale
    # settings, the font substitutes among them, for the code page a program starts in.
    localised = set()
    try:
        time.sleep(1)
        prepared(env)
        failures = 0
        only = os.environ.get("SHOTS_ONLY", "").split(",") if os.environ.get("SHOTS_ONLY") else None
        for name, args, lines, caption, keys, values, *locale in DIALOGS:
            if only and name not in only:
                continue
            shot_env = env
            if locale:
                shot_env = prepared(dict(env, LANG=locale[0], WINEPREFIX=str(home / f"prefix-{locale[0]}")),
                                    japanese=locale[0].startswith("ja"))
                localised.add(shot_env["WINEPREFIX"])
            if not shoot(build, shot_env, name, args, lines, caption, keys, out / f"{name}.png", values):
                failures += 1
        if not only or "setup" in only:
            failures += not shoot_setup(build, env, out)
        return 1 if failures else 0
    finally:
        for other in [str(prefix), *localised]:
            subprocess.run(["wineserver", "-k"], env=dict(env, WINEPREFIX=other), **quiet)
        xvfb.terminate()


def window_rect(env, caption, exact=True):
    """The dialog's frame on the screen, from the X server's window tree."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], env=env, capture_output=True, text=True).stdout
    for line in tree.splitlines():
        if (f'"{caption}"' if exact else f'"{caption}') in line:
            m = re.search(r"(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s+\+(-?\d+)\+(-?\d+)", line)
            if m:
                w, h, _, _, x, y = map(int, m.groups())
                return w, h, x, y
    return None


def xdotool(env, *arguments):
    subprocess.run(["xdotool", *arguments], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wait_for(env, caption, seconds=20, exact=True):
    deadline = time.time() + seconds
    while time.time() < deadline:
        rect = window_rect(env, caption, exact)
        if rect:
            return rect
        time.sleep(0.5)
    return None


def shoot(build, env, name, args, lines, caption, keys, target: Path, values=()) -> bool:
    for key in ("HKCU\\Software\\vorquell_ software", "HKLM\\SOFTWARE\\vorquell_ software"):
        subprocess.run(["wine", "reg", "delete", key, "/f"], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for key, value, data in values:
        kind = ["/t", "REG_DWORD"] if data.startswith("dword:") else []
        subprocess.run(["wine", "reg", "add", key, "/v", value, *kind, "/d", data.removeprefix("dword:"), "/f"],
                       env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    host = subprocess.Popen(["wine", "tlhost.exe", *args], cwd=build / "bin", env=env, stdin=subprocess.PIPE,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for line in lines:
            host.stdin.write((line + "\n").encode("utf-8"))
        host.stdin.flush()
        rect = wait_for(env, caption)
        steps = keys or []
        for number, step in enumerate(steps):
            if not rect:
                break
            kind, *arguments = step
            time.sleep(1)
            if kind == "key":
                xdotool(env, "key", arguments[0])
            elif kind == "type":
                xdotool(env, "type", "--delay", "20", arguments[0])
            elif kind == "click":
                x, y, button = arguments
                xdotool(env, "mousemove", str(rect[2] + x), str(rect[3] + y), "click", str(button))
            elif kind == "wait":
                caption = arguments[0]
                rect = wait_for(env, caption)
                # Only the dialog photographed is moved: Wine does not hear of a move made
                # behind its back, and clicks on a moved dialog would land beside it.
                if rect and number == len(steps) - 1:
                    # A dialog opened over another one stays unpainted on the virtual display
                    # until it is moved; moved clear, it is drawn.
                    xdotool(env, "search", "--name", caption, "windowmove", "40", "40")
                    time.sleep(1)
                    rect = wait_for(env, caption)
        if not rect:
            print(f"{name}: no window '{caption}' appeared", file=sys.stderr)
            return False
        snap(env, name, rect, target)
        return True
    finally:
        host.kill()
        host.wait()


def snap(env, name, rect, target: Path):
    time.sleep(1.5)  # let it paint
    w, h, x, y = rect
    shot = subprocess.run(["xwd", "-root", "-silent"], env=env, capture_output=True).stdout
    subprocess.run(["convert", "xwd:-", "-crop", f"{w}x{h}+{x}+{y}", "+repage", str(target)],
                   input=shot, check=True)
    print(f"{name}: {target} ({w}x{h})")


def shoot_setup(build, env, out: Path) -> bool:
    """The setup program's pages as a user goes through them, and its refusal on a machine
    without the messenger host."""
    setup = sorted((build / "dist").glob("Tunelark-*-setup.exe"))
    if not setup:
        print("setup: no setup program in the build's dist/", file=sys.stderr)
        return False
    caption = setup[-1].name.split("-setup")[0].replace("-", " ") + " Setup"
    plugin = build / "screenshots" / "plugin"
    plugin.mkdir(parents=True, exist_ok=True)
    host_key = ["HKLM\\Software\\Drovask\\MsgPlus2"]
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wine", "reg", "add", *host_key, "/v", "PluginDir", "/d", "Z:" + str(plugin).replace("/", "\\"),
                    "/f"], env=env, **quiet)
    pages = [("setup-welcome", 0), ("setup-share", 0), ("setup-folder", 0), ("setup-finish", 8)]
    host = None
    runs = (("install", pages, "Return"), ("in use", [("setup-in-use", 0)], "Escape"),
            ("no host", [("setup-no-messenger", 0)], "Return"))
    for run, shots, answer in runs:
        if run == "in use":  # the host stand-in holds the DLL the setup has just installed
            dll = "Z:" + str(plugin / "Tunelark.dll").replace("/", "\\")
            host = subprocess.Popen(["wine", "tlhost.exe", "--dll", dll, "--no-messenger"], cwd=build / "bin",
                                    env=env, stdin=subprocess.PIPE, **quiet)
            wait_for(env, "Tunelark host")
        if run == "no host":
            subprocess.run(["wine", "reg", "delete", *host_key, "/f"], env=env, **quiet)
        program = subprocess.Popen(["wine", str(setup[-1])], env=env, **quiet)
        try:
            for name, settle in shots:
                time.sleep(settle)
                rect = wait_for(env, caption, exact=False)  # later pages add a blank
                if not rect:
                    print(f"{name}: no window '{caption}' appeared", file=sys.stderr)
                    return False
                snap(env, name, rect, out / f"{name}.png")
                xdotool(env, "key", answer)
            program.wait(timeout=30)
        finally:
            if program.poll() is None:
                program.kill()
            if host:
                host.kill()
                host.wait()
                host = None
    return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", type=Path, required=True)
    parser.add_argument("--out", type=Path, default=ROOT / "docs" / "screenshots")
    a = parser.parse_args()
    sys.exit(run(a.build.resolve(), a.out.resolve()))


if __name__ == "__main__":
    main()
