#!/usr/bin/env python3
"""The setup program and its uninstaller as users run them (silent), under Wine, each case
on a machine (Wine prefix) of its own.   setup_tests.py BUILD_DIR [unittest arguments]

Playing a starter sound after the setup is the conversation's job (scripts/conversation.py
installs both of its users through the setup program)."""
import os
import re
import shutil
import stat
import subprocess
import sys
import time
import unittest
import zipfile
from pathlib import Path

BUILD = Path(sys.argv.pop(1)).resolve()
SCRIPTS = Path(__file__).resolve().parent.parent / "scripts"
HOST_KEY = r"HKLM\Software\Drovask\MsgPlus2"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tunelark"
DATABASE = r"SOFTWARE\vorquell_ software\Tlx3"  # below HKLM
SOUNDS_KEY = "HKLM\\" + DATABASE + r"\Sounds"
OPTIONS_KEY = r"HKCU\Software\vorquell_ software\Tunelark"
STARTER = "Tunelark Starter"
PROGRAM = r"C:\Tunelark"  # no blank: the uninstaller's "_?=" cannot be quoted
EXIT_NO_HOST, EXIT_IN_USE = 3, 4
GRANTED = "CCDCLCSWRPSDRC"  # KEY_READ | KEY_WRITE | DELETE, as SDDL writes it (full control: KA, GA)
os.umask(0o022)  # files the setup writes are not group-writable unless it shares them


def windows_path(path: Path) -> str:
    return "Z:" + str(path).replace("/", "\\")


class Machine:
    def __init__(self, name):
        self.home = BUILD / "setup-tests" / name
        shutil.rmtree(self.home, ignore_errors=True)
        self.plugin = self.home / "plugin"
        self.plugin.mkdir(parents=True)
        self.prefix = self.home / "prefix"
        self.program = self.prefix / "drive_c" / "Tunelark"
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("CTEST_RESOURCE")}
        self.env.update(TUNELARK_BUILD_DIR=str(BUILD), TUNELARK_WINEPREFIX=str(self.prefix),
                        WINEPREFIX=str(self.prefix), TUNELARK_AUDIO="none",
                        TUNELARK_PREFIX_TEMPLATE=str(BUILD / "wineprefix"))
        # A copy of the build's template, which no test runs in; nothing has run in it yet.
        subprocess.run([str(SCRIPTS / "wine-prefix.sh"), "--create"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL)

    def keys_at_start(self):
        """The host's and Tunelark's keys in the registry files of the machine, before it ever ran
        (so the files hold all there is), and how many keys the files hold in all."""
        text = "".join((self.prefix / hive).read_text(errors="replace") for hive in ("system.reg", "user.reg"))
        keys = re.findall(r"^\[([^\]]*)\]", text, re.M)
        return [k for k in keys if re.match(r"software\\\\(drovask|vorquell_ software)\b", k, re.I)], len(keys)

    def run(self, *args, timeout=90):
        return subprocess.run([str(BUILD / "wine-run.sh"), *args], env=self.env, cwd=BUILD / "bin",
                              capture_output=True, text=True, errors="replace", timeout=timeout)

    def add_host(self):
        self.run("reg", "add", HOST_KEY, "/v", "PluginDir", "/d", windows_path(self.plugin), "/f")

    def setup(self, *options):
        setup = sorted((BUILD / "dist").glob("Tunelark-*-setup.exe"))[-1]
        return self.run(windows_path(setup), "/S", *options, "/D=" + PROGRAM).returncode

    def users_rights(self, key):
        """[(ACE flags, rights)] the key below DATABASE allows Users, in SDDL (Wine keeps it while the wineserver runs)."""
        result = self.run("dacl_probe.exe", DATABASE + key)
        if result.returncode != 0 or not result.stdout.startswith("D:"):
            raise AssertionError(f"no DACL read for {key}: {result.stderr}")
        aces = (ace.split(";") for ace in re.findall(r"\(([^)]*)\)", result.stdout))
        return [(flags, rights) for kind, flags, rights, _, _, sid in aces if kind == "A" and sid == "BU"]

    def group_writable(self, path):
        """Wine keeps no file DACL: what one gives a group of the token (Users) sets the Unix group's bits."""
        return bool(path.stat().st_mode & stat.S_IWGRP)

    def query(self, key):
        result = self.run("reg", "query", key, "/s")
        return result.stdout if result.returncode == 0 else ""

    def listed(self):
        return self.run(PROGRAM + r"\tlpack.exe", "list").stdout

    def state(self):
        """What a setup may change: the files it writes to and the keys it touches."""
        files = sorted((str(p.relative_to(self.home)), p.stat().st_size, p.stat().st_mtime_ns)
                       for root in (self.plugin, self.program) if root.exists() for p in root.rglob("*"))
        return files, [self.query(k) for k in (HOST_KEY, UNINSTALL_KEY, SOUNDS_KEY, OPTIONS_KEY)]

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class SetupTest(unittest.TestCase):
    def machine(self, name):
        m = Machine(name)
        self.addCleanup(m.stop)
        theirs, keys = m.keys_at_start()
        self.assertGreater(keys, 100, "a registry as Wine makes it")
        self.assertEqual(theirs, [], "a new machine has neither the host nor a SoundPack")
        self.assertFalse(m.program.exists())
        return m

    def assertShared(self, m, shared=True):
        """Users' right to change the database key, and nothing wider, passes on to the keys below,
        once however often the setup ran; the same for the directory and its files."""
        for key, flags in (("", "CI"), (rf"\Sounds\{STARTER}", "CIID"), (rf"\Sounds\{STARTER}\16380001", "CIID")):
            rights = m.users_rights(key)
            self.assertEqual(rights.count((flags, GRANTED)), int(shared), key)
            self.assertFalse({"KA", "GA"} & {r for _, r in rights}, key)
        starter = m.plugin / "Tunelark" / STARTER
        for path in (m.plugin / "Tunelark", starter, starter / "install.ini"):
            self.assertEqual(m.group_writable(path), shared, path)

    def test_installs_updates_and_uninstalls_leaving_the_users_own(self):
        m = self.machine("install")
        m.add_host()
        self.assertEqual(m.setup(), 0)
        self.assertTrue((m.plugin / "Tunelark.dll").is_file())
        self.assertEqual(sorted(p.name for p in m.program.iterdir()), ["README.txt", "Uninstall.exe", "tlpack.exe"])
        starter = m.plugin / "Tunelark" / STARTER
        made = sorted(p.name for p in (BUILD / "starter").iterdir())
        self.assertEqual(sorted(p.name for p in starter.iterdir()), made)
        self.assertIn(f"{STARTER} - The Tunelark team, version", m.listed())
        entry = m.query(UNINSTALL_KEY)
        for value in ("DisplayName", "DisplayVersion", "EstimatedSize", "Publisher"):
            self.assertIn(value, entry)
        self.assertIn(PROGRAM + r"\Uninstall.exe", entry)
        self.assertShared(m)

        # The user's own: a pack with its file, options, a blocked contact, a formatting code.
        mine = m.plugin / "Tunelark" / "Mine"
        mine.mkdir()
        shutil.copy(starter / "pop.ogg", mine / "mine.ogg")
        (mine / "install.ini").write_text("[Header]\r\nTotalSounds=1\r\nName=Mine\r\nArtist=Me\r\nVersion=1\r\n"
                                          "[Sound1]\r\nSoundIndex=4242\r\nCommand=mine\r\nFilename=mine.ogg\r\n"
                                          "Message=\r\n")
        self.assertEqual(m.run(PROGRAM + r"\tlpack.exe", "install", windows_path(mine / "install.ini")).returncode, 0)
        for key, value in (("", "SoundsEnabled"), (r"\Blocklist", "carol@example.com"), (r"\PlusCodes", "1")):
            m.run("reg", "add", OPTIONS_KEY + key, "/v", value, "/t", "REG_DWORD", "/d", "1", "/f")

        self.assertEqual(m.setup(), 0, "a second run updates")
        listed = m.listed()
        self.assertEqual(sum(line.startswith(STARTER) for line in listed.splitlines()), 1, listed)
        self.assertEqual(listed.count("/xTL"), len(made), listed)  # every sound but install.ini, and Mine's
        self.assertShared(m)
        # ... and passes the grant on to what came since (Windows does so when it comes).
        mine_rights = m.users_rights(r"\Sounds\Mine")
        self.assertIn(("CIID", GRANTED), mine_rights)
        self.assertTrue(m.group_writable(mine / "mine.ogg"))
        own = m.query(OPTIONS_KEY)
        mine_key = m.query(SOUNDS_KEY + r"\Mine")

        m.run(PROGRAM + r"\Uninstall.exe", "/S")
        # The uninstaller goes on from a copy of itself in the temporary folder.
        deadline = time.time() + 60
        while time.time() < deadline and (m.program.exists() or m.query(UNINSTALL_KEY)):
            time.sleep(0.1)
        self.assertFalse(m.program.exists())
        self.assertEqual(m.query(UNINSTALL_KEY), "")
        self.assertFalse((m.plugin / "Tunelark.dll").exists())
        self.assertFalse(starter.exists())
        self.assertEqual(m.query(SOUNDS_KEY + "\\" + STARTER), "")
        self.assertEqual(sorted(p.name for p in mine.iterdir()), ["install.ini", "mine.ogg"])
        self.assertEqual(m.query(SOUNDS_KEY + r"\Mine"), mine_key)
        self.assertEqual(m.users_rights(r"\Sounds\Mine"), mine_rights, "the uninstaller revokes nothing")
        self.assertTrue(m.group_writable(mine / "mine.ogg"))
        self.assertNotEqual(own, "")
        self.assertEqual(m.query(OPTIONS_KEY), own)

    def test_the_archive_holds_a_manual_install(self):
        archive = sorted((BUILD / "dist").glob("Tunelark-*.zip"))[-1]
        top = archive.stem + "/"
        with zipfile.ZipFile(archive) as z:
            names = set(z.namelist())
            readme = z.read(top + "README.txt")
        wanted = ["Tunelark.dll", "tlpack.exe"] + [f"{STARTER}/{p.name}" for p in (BUILD / "starter").iterdir()]
        self.assertEqual([n for n in wanted if top + n not in names], [])
        self.assertNotIn(b"\n", readme.replace(b"\r\n", b""), "Windows line ends throughout")
        self.assertIn(f"tlpack install \"<plug-in directory>\\Tunelark\\{STARTER}\\install.ini\"".encode(), readme)

    def test_refusals_change_nothing(self):
        m = self.machine("refusals")
        before = m.state()
        self.assertEqual(before, ([], [""] * 4), "no host, no Tunelark, no SoundPacks, no options")
        self.assertEqual(m.setup(), EXIT_NO_HOST)
        self.assertEqual(m.state(), before)

        m.add_host()
        # Installed for an administrator who keeps the SoundPacks to administrators.
        self.assertEqual(m.setup("/NOSHARE"), 0)
        self.assertShared(m, False)
        dll = m.plugin / "Tunelark.dll"
        os.utime(dll, (1e9, 1e9))  # an older DLL, which must stay
        host = subprocess.Popen([str(BUILD / "wine-run.sh"), "tlhost.exe", "--dll", windows_path(dll), "--no-messenger"],
                                env=m.env, cwd=BUILD / "bin", stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True)
        try:
            self.assertIn("ready", (line.strip() for line in host.stdout), "the host did not load the plug-in")
            before = m.state()
            self.assertEqual(m.setup(), EXIT_IN_USE)
            uninstall = m.run(PROGRAM + r"\Uninstall.exe", "/S", "_?=" + PROGRAM)
            self.assertEqual(uninstall.returncode, EXIT_IN_USE)
            self.assertEqual(m.state(), before)
        finally:
            host.communicate(":quit\n", timeout=30)


if __name__ == "__main__":
    unittest.main(verbosity=2)
