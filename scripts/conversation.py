#!/usr/bin/env python3
"""A conversation between two users, each on a machine of their own.

Each user runs the host stand-in (tlhost.exe) with the plug-in, under Wine in a prefix
of their own, so each has their own registry, sound database, blocklist and audio
device. What one user types goes through that user's ParseCommand; what the
conversation then carries is delivered to the other user's host, which hands a
notification to ReceiveNotify. Audio goes to a capture file per user; after each
delivery the listener's audio is collected, and at the end each user's is written to
a WAV file.

  conversation.py --build BUILD_DIR [--check]

--check compares what each listener heard with what the script expects and exits
non-zero on a difference.
"""
import argparse
import array
import os
import queue
import shutil
import subprocess
import sys
import threading
import time
import wave
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
RATE, CHANNELS = 48000, 2  # what the capture device always writes (S16_LE)

PACK = "Tunelark Demo"
SOUNDS = [  # SoundIndex, command, file, default message, pitch in Hz, seconds
    (7001, "moo", "moo.wav", "says moo", 330, 0.8),
    (7002, "baa", "baa.mp3", "bleats at you", 550, 0.6),
    (7003, "ding", "ding.ogg", "rings a bell", 880, 0.5),
]

USERS = {
    # display name as the messenger reports it (with the host's formatting codes: a
    # colour, a reset and a trailing status), the plain name the host passes with a
    # received text, and the sign-in name
    "alice": ("\u00b7$12Alice\u00b70\u00a0{listening}", "Alice", "alice@example.com"),
    "bob": ("\u00b7#Bob\u00b7#\u00a0{at work}", "Bob", "bob@example.com"),
}

SCRIPT = [  # who types what
    ("alice", "Hi Bob, listen to this"),
    ("alice", "/xTLmoo Hello Bob!"),
    ("bob", "/xTLding"),
    ("alice", "/xTLbaa"),
    ("bob", "/xTLBlock"),
    ("alice", "/xTLmoo Are you still there?"),
]

# What each listener must have heard, in order: (command, pitch, seconds).
EXPECTED = {
    "bob": [("moo", 330, 0.8), ("baa", 550, 0.6)],
    "alice": [("ding", 880, 0.5)],
}


def windows_path(path: Path) -> str:
    return "Z:" + str(path).replace("/", "\\")


class User:
    def __init__(self, name, build: Path):
        self.name = name
        self.display, self.plain, self.signin = USERS[name]
        self.home = build / "conversation" / name
        self.prefix = self.home / "prefix"
        self.capture = self.home / "capture.raw"
        self.sounds = self.home / "sounds"
        self.build = build
        self.heard = []  # raw PCM of each sound heard
        self.lines = queue.Queue()
        self.env = dict(os.environ, LANG="C.UTF-8", TUNELARK_BUILD_DIR=str(build), TUNELARK_WINEPREFIX=str(self.prefix),
                        WINEPREFIX=str(self.prefix), TUNELARK_AUDIO="capture",
                        TUNELARK_CAPTURE_FILE=str(self.capture))

    def wine(self, *args):
        subprocess.run([str(self.build / "wine-run.sh"), *args], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def install_demo_pack(self):
        """Installs the demo SoundPack as a user would: the pack's sound files go into its
        directory below the host's plug-in directory, then its install.ini is installed."""
        self.home.mkdir(parents=True, exist_ok=True)
        plugin_dir = self.home / "plugin"
        pack_dir = plugin_dir / "Tunelark" / PACK
        shutil.rmtree(plugin_dir, ignore_errors=True)
        subprocess.run(["bash", str(ROOT / "scripts" / "make_demo_pack.sh"), str(pack_dir)], check=True)
        lines = ["[Header]", f"TotalSounds={len(SOUNDS)}", f"Name={PACK}", "Artist=The Tunelark team", "Version=1.0"]
        for n, (index, command, filename, message, _, _) in enumerate(SOUNDS, start=1):
            lines += ["", f"[Sound{n}]", f"SoundIndex={index}", f"Command={command}", f"Filename={filename}",
                      f"Message={message}"]
        ini = pack_dir / "install.ini"
        ini.write_text("\r\n".join(lines) + "\r\n", encoding="cp1252")
        for key in ("HKLM\\SOFTWARE\\vorquell_ software", "HKCU\\Software\\vorquell_ software"):
            subprocess.run([str(self.build / "wine-run.sh"), "reg", "delete", key, "/f"], env=self.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wine("reg", "add", "HKLM\\Software\\Drovask\\MsgPlus2", "/v", "PluginDir", "/d",
                  windows_path(plugin_dir), "/f")
        result = subprocess.run([str(self.build / "wine-run.sh"), "tlpack.exe", "install", windows_path(ini)],
                                cwd=self.build / "bin", env=self.env, capture_output=True, text=True)
        print(f"  [{self.name}] tlpack install: {result.stdout.strip()}")
        if result.returncode != 0:
            raise RuntimeError(f"{self.name}: the demo SoundPack did not install: {result.stdout}{result.stderr}")

    def start(self, other):
        args = [str(self.build / "wine-run.sh"), "tlhost.exe", "--me", self.display,
                "--contact", f"{other.display}|{other.signin}", "--answer-prompt", "allow"]
        self.process = subprocess.Popen(args, cwd=self.build / "bin", env=self.env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        threading.Thread(target=self._read, daemon=True).start()
        self.until_ready(quiet=True)

    def _read(self):
        for raw in self.process.stdout:
            self.lines.put(raw.decode("utf-8", "replace").rstrip("\r\n"))
        self.lines.put(None)

    def send(self, line):
        self.process.stdin.write((line + "\n").encode("utf-8"))
        self.process.stdin.flush()

    def until_ready(self, quiet=False, timeout=60):
        """The host's output for one input line, up to its "ready"."""
        out = []
        deadline = time.time() + timeout
        while True:
            line = self.lines.get(timeout=max(0.1, deadline - time.time()))
            if line is None:
                raise RuntimeError(f"{self.name}'s host ended unexpectedly")
            if line == "ready":
                return out
            out.append(line)
            if not quiet and not line.startswith("send: "):
                print(f"    [{self.name}'s host] {line}")

    def listen(self, wait_start=3.0, quiet_for=0.8, timeout=30.0):
        """Collects the sound this user's plug-in plays now, if any."""
        deadline = time.time() + wait_start
        while time.time() < deadline and not (self.capture.exists() and self.capture.stat().st_size > 0):
            time.sleep(0.05)
        if not (self.capture.exists() and self.capture.stat().st_size > 0):
            return None
        size, still_since, end = -1, time.time(), time.time() + timeout
        while time.time() < end:
            now = self.capture.stat().st_size
            if now != size:
                size, still_since = now, time.time()
            elif time.time() - still_since >= quiet_for:
                break
            time.sleep(0.05)
        pcm = self.capture.read_bytes()
        self.heard.append(pcm)
        return pcm

    def forget_capture(self):
        self.capture.unlink(missing_ok=True)

    def stop(self):
        try:
            self.send(":quit")
            self.process.wait(timeout=30)
        finally:
            if self.process.poll() is None:
                self.process.kill()
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def describe(pcm: bytes):
    """Audible seconds and pitch (from zero crossings) of captured S16 stereo PCM."""
    samples = array.array("h")
    samples.frombytes(pcm[: len(pcm) - len(pcm) % 4])
    left = samples[0::CHANNELS]
    loud = [i for i, v in enumerate(left) if abs(v) > 1000]
    if not loud:
        return 0.0, 0.0
    first, last = loud[0], loud[-1]
    part = left[first:last + 1]
    crossings = sum(1 for a, b in zip(part, part[1:]) if (a < 0) != (b < 0))
    seconds = (last - first + 1) / RATE
    return seconds, crossings / 2 / seconds


def show_text(data: bytes) -> str:
    if data[:1] == b"\x12":
        index = " ".join(f"{b:02x}" for b in data[3:6])
        return f"<marker>{data[1:3].decode()}<{index}>{data[6:].decode('cp1252')}"
    return data.decode("cp1252")


def run(build: Path, check: bool) -> int:
    users = {name: User(name, build) for name in USERS}
    alice, bob = users["alice"], users["bob"]
    for user in users.values():
        user.install_demo_pack()
    alice.start(bob)
    bob.start(alice)
    outcome = {name: [] for name in users}
    try:
        for who, line in SCRIPT:
            speaker = users[who]
            listener = bob if speaker is alice else alice
            print(f"{speaker.plain} types: {line}")
            speaker.send(line)
            out = speaker.until_ready()
            sent = [bytes.fromhex(l[6:]) for l in out if l.startswith("send: ")]
            for data in sent:
                print(f"  the conversation carries: {show_text(data)}")
                listener.forget_capture()
                listener.send(f":receive {speaker.plain}\t{data.hex()}")
                listener.until_ready()
                if data[:1] != b"\x12":
                    continue
                pcm = listener.listen()
                if pcm is None:
                    print(f"  {listener.plain} hears nothing")
                    outcome[listener.name].append(None)
                else:
                    seconds, pitch = describe(pcm)
                    print(f"  {listener.plain} hears {seconds:.2f} s of sound at about {pitch:.0f} Hz")
                    outcome[listener.name].append((seconds, pitch))
    finally:
        for user in users.values():
            user.stop()

    for user in users.values():
        out = user.home / f"{user.name}-heard.wav"
        with wave.open(str(out), "wb") as w:
            w.setnchannels(CHANNELS)
            w.setsampwidth(2)
            w.setframerate(RATE)
            for pcm in user.heard:
                w.writeframes(pcm)
        frames = sum(len(p) for p in user.heard) // (2 * CHANNELS)
        print(f"{user.plain}'s plug-in played {len(user.heard)} sound(s), {frames / RATE:.2f} s in all: {out}")

    if not check:
        return 0
    failures = []
    for name, expected in EXPECTED.items():
        heard = [h for h in outcome[name] if h is not None]
        if len(heard) != len(expected):
            failures.append(f"{name} heard {len(heard)} sounds, expected {len(expected)}")
            continue
        for (command, pitch, seconds), (got_seconds, got_pitch) in zip(expected, heard):
            if abs(got_seconds - seconds) > 0.1 or abs(got_pitch - pitch) > pitch * 0.05:
                failures.append(f"{name}: {command} came out as {got_seconds:.2f} s at {got_pitch:.0f} Hz")
    if outcome["bob"][-1] is not None:
        failures.append("bob heard alice's sound after blocking her")
    for f in failures:
        print("FAILED:", f)
    print("conversation check:", "1 passed, 0 failed" if not failures else "0 passed, 1 failed")
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, type=Path)
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    if not shutil.which("sox"):
        print("conversation.py: sox is missing; run scripts/setup.sh", file=sys.stderr)
        return 2
    return run(args.build.resolve(), args.check)


if __name__ == "__main__":
    sys.exit(main())
