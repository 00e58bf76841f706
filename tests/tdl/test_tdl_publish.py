#!/usr/bin/env python3
"""tdl keygen, publish, unpack and verify from a shell.

Usage: test_tdl_publish.py TDL RELEASE_FOLDER [RUNNER]. RELEASE_FOLDER holds a release
published on Linux with the test key (files/, update.pak, version.def). With a runner (the
Wine wrapper) the program is a Windows build: only unpack and verify exist there, paths are
given in Wine's Z: form, and output goes to files rather than pipes.
"""
import filecmp
import os
import random
import shutil
import stat
import subprocess
import sys
import tempfile
import time
import unittest

TDL = ""
RELEASE = ""
RUNNER = []
WINDOWS = False
FILES = ["readme.txt", "sub/data.bin", "version"]
TEST_KEY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "keys", "test_key.pem")


def arg(path):
    return "Z:" + path.replace("/", "\\") if WINDOWS else path


class TdlPublishTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tdl-publish-")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def run_tdl(self, *args, cwd=None):
        out_path = os.path.join(self.folder, "tdl.out")
        with open(out_path, "wb") as out:
            code = subprocess.run(RUNNER + [TDL] + list(args), stdout=out, stderr=subprocess.STDOUT,
                                  cwd=cwd, timeout=120).returncode
        with open(out_path, "rb") as out:
            return code, out.read()

    def unpack_into(self, pak, name):
        target = os.path.join(self.folder, name)
        os.makedirs(os.path.join(target, "sub"))
        code, out = self.run_tdl("unpack", arg(pak), arg(target))
        self.assertEqual(code, 0, out)
        return target

    def assert_same_files(self, source, target):
        for name in FILES:
            self.assertTrue(filecmp.cmp(os.path.join(source, name), os.path.join(target, name), shallow=False), name)

    def test_a_release_published_on_linux_verifies_and_unpacks(self):
        pak = os.path.join(RELEASE, "update.pak")
        code, out = self.run_tdl("verify", arg(os.path.join(RELEASE, "version.def")), arg(pak))
        self.assertEqual(code, 0, out)
        self.assert_same_files(os.path.join(RELEASE, "files"), self.unpack_into(pak, "installed"))
        # A changed byte anywhere, in either file, fails the check.
        with open(os.path.join(RELEASE, "version.def"), "rb") as f:
            definition = f.read()
        with open(pak, "rb") as f:
            package = f.read()
        rng = random.Random(3)
        spots = [("version.def", i) for i in [0, 3, 40, len(definition) - 3, len(definition) - 1]]
        spots += [("update.pak", rng.randrange(len(package))) for _ in range(3)]
        for which, at in spots:
            data = bytearray(definition if which == "version.def" else package)
            data[at] ^= 0x01
            bad = {"version.def": definition, "update.pak": package}
            bad[which] = bytes(data)
            for name, content in bad.items():
                with open(os.path.join(self.folder, name), "wb") as f:
                    f.write(content)
            code, out = self.run_tdl("verify", arg(os.path.join(self.folder, "version.def")),
                                     arg(os.path.join(self.folder, "update.pak")))
            self.assertNotEqual(code, 0, (which, at, out))

    def test_the_committed_release_is_what_publish_makes_of_its_files(self):
        # The end-to-end update serves this release; encoding and PKCS#1 v1.5 signing are
        # deterministic, so publishing files/ again must give the same bytes.
        if WINDOWS:
            self.skipTest("publishing is Linux-only")
        code, out = self.run_tdl("publish", "--version", "1.4.0", "--notes", "-Schneller -Signiert",
                                 "--key", TEST_KEY, "--out", self.folder, "--serial", "1",
                                 "--expires", "2100-01-01", *FILES,
                                 cwd=os.path.join(RELEASE, "files"))
        self.assertEqual(code, 0, out)
        for name in ["update.pak", "version.def"]:
            self.assertTrue(filecmp.cmp(os.path.join(RELEASE, name), os.path.join(self.folder, name),
                                        shallow=False), name)

    def test_keygen_makes_the_private_key_for_its_owner_alone_and_never_writes_through_a_link(self):
        if WINDOWS:
            self.skipTest("keygen is Linux-only")
        key = os.path.join(self.folder, "key")
        umask = os.umask(0)
        try:
            code, out = self.run_tdl("keygen", key)
        finally:
            os.umask(umask)
        self.assertEqual(code, 0, out)
        self.assertEqual(stat.S_IMODE(os.stat(key).st_mode), 0o600)
        with open(key, "rb") as f:
            private = f.read()
        self.assertNotEqual(self.run_tdl("keygen", key)[0], 0)
        with open(key, "rb") as f:
            self.assertEqual(f.read(), private, "an existing key was overwritten")
        # A link in the key's place, even one that leads nowhere yet, is refused.
        elsewhere = os.path.join(self.folder, "elsewhere")
        os.symlink(elsewhere, os.path.join(self.folder, "link"))
        self.assertNotEqual(self.run_tdl("keygen", os.path.join(self.folder, "link"))[0], 0)
        self.assertFalse(os.path.lexists(elsewhere))

    def test_publish_then_unpack_gives_the_same_files_and_every_byte_is_signed(self):
        if WINDOWS:
            self.skipTest("publishing is Linux-only")
        key = os.path.join(self.folder, "key")
        code, out = self.run_tdl("keygen", key)
        self.assertEqual(code, 0, out)
        self.assertNotEqual(self.run_tdl("keygen", key)[0], 0)
        source = os.path.join(RELEASE, "files")
        out_folder = os.path.join(self.folder, "out")
        os.mkdir(out_folder)
        started = int(time.time())
        code, out = self.run_tdl("publish", "--version", "1.3.10", "--notes", "-Eins -Zwei", "--key", key,
                                 "--out", out_folder, *FILES, cwd=source)
        ended = int(time.time()) + 1
        self.assertEqual(code, 0, out)
        pak = os.path.join(out_folder, "update.pak")
        self.assert_same_files(source, self.unpack_into(pak, "installed"))

        definition_path = os.path.join(out_folder, "version.def")
        with open(definition_path, "rb") as f:
            definition = f.read()
        self.assertEqual(definition[:3], bytes([1, 3, 10]))
        lines = definition.split(b"\r\n")
        self.assertEqual(lines[1], b"-Eins -Zwei")
        # By default the serial is the time of publishing and the description lives 90 days.
        self.assertEqual([line.split(b" ")[0] for line in lines[2:9]],
                         [b"sha256", b"sig", b"serial", b"expires", b"length", b"sig", b""])
        self.assertTrue(started <= int(lines[4].split(b" ")[1]) <= ended, lines[4])
        self.assertTrue(started + 90 * 86400 <= int(lines[5].split(b" ")[1]) <= ended + 90 * 86400, lines[5])
        self.assertEqual(int(lines[6].split(b" ")[1]), os.path.getsize(pak))
        verify = ["verify", definition_path, pak, "--key", key + ".pub.hex"]
        self.assertEqual(self.run_tdl(*verify)[0], 0)
        # The build's own (test) key did not sign this release.
        self.assertNotEqual(self.run_tdl("verify", definition_path, pak)[0], 0)
        # Every byte is covered in-process by the unit tests; here a spread of them.
        for at in sorted(set([0, 1, 2, 3, 36, 37, 38, 50, len(definition) - 1, len(definition) - 2]
                             + list(range(60, len(definition), 97)))):
            changed = bytearray(definition)
            changed[at] = (changed[at] + 1) % 256
            with open(definition_path, "wb") as f:
                f.write(changed)
            self.assertNotEqual(self.run_tdl(*verify)[0], 0, at)
        with open(definition_path, "wb") as f:
            f.write(definition + b"x")
        self.assertNotEqual(self.run_tdl(*verify)[0], 0)

        for name in ["../x", "sub/../version", "/etc/passwd", "\\abs", "C:x", "a:b", "con", "sub/nul.txt",
                     "COM1.log", "a\x01b", "sub//version", b"COM\xb9", b"lpt\xb3.txt", "readme.txt.",
                     "readme.txt ", "version.serial"]:
            code, out = self.run_tdl("publish", "--version", "1.0.0", "--notes", "n", "--key", key,
                                     "--out", out_folder, "readme.txt", name, cwd=source)
            self.assertNotEqual(code, 0, name)
            self.assertIn(b"refused file name", out, name)
        for bad in (["--version", "1.0.128"], ["--version", "1.0.0", "--serial", "0"],
                    ["--version", "1.0.0", "--expires", "2100-02-30"]):
            code, out = self.run_tdl("publish", *bad, "--notes", "n", "--key", key, "--out", out_folder,
                                     "readme.txt", cwd=source)
            self.assertEqual(code, 2, (bad, out))
        code, out = self.run_tdl("publish", "--version", "1.0.0", "--expires", "2001-01-01", "--notes", "n",
                                 "--key", key, "--out", out_folder, "readme.txt", cwd=source)
        self.assertEqual(code, 1, out)
        self.assertIn(b"expired already", out)


if __name__ == "__main__":
    TDL = os.path.abspath(sys.argv[1])
    RELEASE = os.path.abspath(sys.argv[2])
    RUNNER = sys.argv[3:]
    WINDOWS = bool(RUNNER)
    unittest.main(argv=sys.argv[:1])
