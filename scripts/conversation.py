#!/usr/bin/env python3
"""A conversation between two users, each on a machine of their own.

Each user's machine is a Wine prefix of their own (own registry, sound database,
blocklist and audio device) where the messenger host is installed; the setup program
(silent) puts the plug-in into the host's plug-in directory and installs the starter
SoundPack, and the host stand-in (tlhost.exe) loads the plug-in from there. What one user types goes through that user's ParseCommand; what the
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
import concurrent.futures
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

# Each user's machine gets the plug-in and the starter SoundPack from the setup program,
# as a user would; the listener must hear the very sound the sender picked.
SOUND_FILES = {"doorbell": "doorbell.ogg", "knock": "knock.ogg", "tada": "tada.ogg"}

USERS = {
    # display name as the messenger reports it (with the host's formatting codes: a
    # colour, a reset and a trailing status), the plain name the host passes with a
    # received text, and the sign-in name
    "alice": ("\u00b7$12Alice\u00b70\u00a0{listening}", "Alice", "alice@example.com"),
    "bob": ("\u00b7#Bob\u00b7#\u00a0{at work}", "Bob", "bob@example.com"),
}

SCRIPT = [  # who types what
    ("alice", "Hi Bob, listen to this"),
    ("alice", "/xTLdoorbell Hello Bob!"),
    ("bob", "/xTLtada"),
    ("alice", "/xTLknock"),
    ("bob", "/xTLBlock"),
    ("alice", "/xTLdoorbell Are you still there?"),
]

# What each listener must have heard, in order.
EXPECTED = {
    "bob": ["doorbell", "knock"],
    "alice": ["tada"],
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
        self.plugin_dir = self.home / "plugin"
        self.build = build
        self.heard = []  # raw PCM of each sound heard
        self.starts = []  # how long each heard sound took to start
        self.lines = queue.Queue()
        self.env = dict(os.environ, LANG="C.UTF-8", TUNELARK_BUILD_DIR=str(build), TUNELARK_WINEPREFIX=str(self.prefix),
                        WINEPREFIX=str(self.prefix), TUNELARK_AUDIO="capture",
                        TUNELARK_CAPTURE_FILE=str(self.capture))

    def wine(self, *args):
        subprocess.run([str(self.build / "wine-run.sh"), *args], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def install(self, setup: Path):
        """Installs Tunelark as a user would: the setup program, silent, on a machine where
        the messenger host is installed; it puts in the starter SoundPack too."""
        shutil.rmtree(self.home, ignore_errors=True)
        self.plugin_dir.mkdir(parents=True)
        self.wine("reg", "add", "HKLM\\Software\\Drovask\\MsgPlus2", "/v", "PluginDir", "/d",
                  windows_path(self.plugin_dir), "/f")
        result = subprocess.run([str(self.build / "wine-run.sh"), windows_path(setup), "/S"], env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if result.returncode != 0:
            raise RuntimeError(f"{self.name}: the setup program failed with exit code {result.returncode}")
        listed = subprocess.run([str(self.build / "wine-run.sh"), "C:\\Program Files\\Tunelark\\tlpack.exe", "list"],
                                env=self.env, capture_output=True, text=True)
        print(f"  [{self.name}] {setup.name} /S installed: {listed.stdout.splitlines()[0] if listed.stdout else '?'}")

    def start(self, other):
        """Starts this user's host; until_ready() then waits for it."""
        args = [str(self.build / "wine-run.sh"), "tlhost.exe", "--dll", windows_path(self.plugin_dir / "Tunelark.dll"),
                "--me", self.display,
                "--contact", f"{other.display}|{other.signin}", "--answer-prompt", "allow"]
        self.process = subprocess.Popen(args, cwd=self.build / "bin", env=self.env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        threading.Thread(target=self._read, daemon=True).start()

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

    def listen(self, since, wait_start=3.0, quiet_for=0.8, timeout=30.0):
        """Collects the sound this user's plug-in plays now, if any: one that starts within
        wait_start of `since` (when the notification was sent), which self.starts notes."""
        deadline = since + wait_start
        while time.time() < deadline and not (self.capture.exists() and self.capture.stat().st_size > 0):
            time.sleep(0.05)
        if not (self.capture.exists() and self.capture.stat().st_size > 0):
            return None
        self.starts.append(time.time() - since)
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


def both(action, users):
    """Runs action(user) for each user at once, each user's machine being its own; raises the
    first failure in the users' order."""
    with concurrent.futures.ThreadPoolExecutor(len(users)) as pool:
        list(pool.map(action, users))


def envelope(pcm: bytes):
    """Loudness of S16 stereo PCM at 48 kHz in 10 ms windows, from the first audible window
    to the last: a sound's shape, which tells the starter sounds apart."""
    samples = array.array("h")
    samples.frombytes(pcm[: len(pcm) - len(pcm) % 4])
    window = RATE // 100 * CHANNELS
    levels = []
    for start in range(0, len(samples) - window + 1, window):
        part = samples[start:start + window]
        levels.append((sum(v * v for v in part) / window) ** 0.5)
    loud = [i for i, v in enumerate(levels) if v > 300]
    return levels[loud[0]:loud[-1] + 1] if loud else []


def likeness(a, b):
    """Correlation of two envelopes, at the best shift of up to 50 ms."""
    best = 0.0
    for shift in range(-5, 6):
        x = a[max(0, shift):]
        y = b[max(0, -shift):]
        n = min(len(x), len(y))
        if n < 5:
            continue
        x, y = x[:n], y[:n]
        mx, my = sum(x) / n, sum(y) / n
        sxy = sum((p - mx) * (q - my) for p, q in zip(x, y))
        sxx = sum((p - mx) ** 2 for p in x)
        syy = sum((q - my) ** 2 for q in y)
        if sxx > 0 and syy > 0:
            best = max(best, sxy / (sxx * syy) ** 0.5)
    return best


def reference(path: Path) -> bytes:
    """A sound file decoded as the capture device records: S16 stereo at 48 kHz."""
    return subprocess.run(["sox", str(path), "-t", "raw", "-e", "signed", "-b", "16", "-c", "2", "-r", str(RATE), "-"],
                          check=True, capture_output=True).stdout


def show_text(data: bytes) -> str:
    if data[:1] == b"\x12":
        index = " ".join(f"{b:02x}" for b in data[3:6])
        return f"<marker>{data[1:3].decode()}<{index}>{data[6:].decode('cp1252')}"
    return data.decode("cp1252")


def run(build: Path, check: bool) -> int:
    setups = sorted((build / "dist").glob("Tunelark-*-setup.exe"))
    if not setups:
        print("conversation.py: no setup program in the build's dist/; build the target distribution",
              file=sys.stderr)
        return 2
    users = {name: User(name, build) for name in USERS}
    alice, bob = users["alice"], users["bob"]
    both(lambda user: user.install(setups[-1]), users.values())
    alice.start(bob)
    bob.start(alice)
    outcome = {name: [] for name in users}
    try:
        for user in users.values():
            user.until_ready(quiet=True)
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
                sent_at = time.time()
                listener.send(f":receive {speaker.plain}\t{data.hex()}")
                listener.until_ready()
                if data[:1] != b"\x12":
                    continue
                # A sound that plays starts about as soon as the others did: three times the
                # longest of them (at least 1 s, at most 3 s) without one is silence.
                starts = alice.starts + bob.starts
                pcm = listener.listen(sent_at, min(3.0, max(1.0, 3 * max(starts))) if starts else 3.0)
                if pcm is None:
                    print(f"  {listener.plain} hears nothing")
                    outcome[listener.name].append(None)
                else:
                    shape = envelope(pcm)
                    print(f"  {listener.plain} hears {len(shape) / 100:.2f} s of sound")
                    outcome[listener.name].append(shape)
    finally:
        both(User.stop, users.values())

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
        for command, shape in zip(expected, heard):
            # The best match among all three sounds must be the one sent, and close.
            scores = {c: likeness(shape, envelope(reference(build / "starter" / f))) for c, f in SOUND_FILES.items()}
            best = max(scores, key=scores.get)
            if best != command or scores[command] < 0.9:
                failures.append(f"{name} heard {command} as {len(shape) / 100:.2f} s of sound that matches it "
                                f"{scores[command]:.2f} (best: {best})")
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
