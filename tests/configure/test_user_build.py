#!/usr/bin/env python3
"""A build meant for users configures only with a real key and a real update server.

Usage: test_user_build.py CMAKE SOURCE_FOLDER SCRATCH_FOLDER. Configures the project
natively, without the test option, in folders below SCRATCH_FOLDER.
"""
import os
import shutil
import subprocess
import sys
import unittest

CMAKE = ""
SOURCE = ""
SCRATCH = ""
TEST_KEY = ""
# Any well-formed key that is not the test key will do: the build only compiles it in.
USERS_KEY = "10001 " + "c3" * 256 + "\n"
NEXT_KEY = "10001 " + "d5" * 256 + "\n"


class UserBuildTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(SCRATCH, ignore_errors=True)
        os.makedirs(SCRATCH)
        cls.users_key = os.path.join(SCRATCH, "users.pub.hex")
        cls.next_key = os.path.join(SCRATCH, "next.pub.hex")
        for path, key in ((cls.users_key, USERS_KEY), (cls.next_key, NEXT_KEY)):
            with open(path, "w") as f:
                f.write(key)

    def configure(self, folder, **variables):
        """(exit status, output) of a configure; every trust variable is given, empty or not."""
        settings = {"TANDREL_UPDATE_PUBLIC_KEY": "", "TANDREL_UPDATE_NEXT_PUBLIC_KEY": "",
                    "UpdateServerHost": "", "TANDREL_TEST_BUILD": "OFF"}
        settings.update(variables)
        command = [CMAKE, "-S", SOURCE, "-B", os.path.join(SCRATCH, folder), "-G", "Ninja",
                   "-DTANDREL_BUILD_BENCHMARKS=OFF"]
        command += ["-D%s=%s" % item for item in settings.items()]
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=240)
        return done.returncode, done.stdout.decode(errors="replace")

    def assert_refused(self, why, **variables):
        code, out = self.configure("refused", **variables)
        self.assertNotEqual(code, 0, (variables, out[-2000:]))
        self.assertIn(why, out, variables)

    def test_without_key_or_server_or_with_the_test_key_or_the_machine_itself_it_refuses(self):
        self.assert_refused("needs the publisher's key and update server")
        self.assert_refused("needs the publisher's key and update server",
                            TANDREL_UPDATE_PUBLIC_KEY=self.users_key)
        self.assert_refused("needs the publisher's key and update server", UpdateServerHost="updates.example.org")
        self.assert_refused("is the test key", TANDREL_UPDATE_PUBLIC_KEY=TEST_KEY,
                            UpdateServerHost="updates.example.org")
        self.assert_refused("is the test key", TANDREL_UPDATE_PUBLIC_KEY=self.users_key,
                            TANDREL_UPDATE_NEXT_PUBLIC_KEY=TEST_KEY, UpdateServerHost="updates.example.org")
        for host in ["127.0.0.1:8087", "localhost", "LocalHost:80", "a.localhost", "127.1", "0.0.0.0",
                     "2130706433", "0x7f.0.0.1", "updates.example.org/x", "updates.example.org:0",
                     "up dates.example.org"]:
            self.assert_refused("cannot be the update server", TANDREL_UPDATE_PUBLIC_KEY=self.users_key,
                                UpdateServerHost=host)
        # A test build trusts the test key and the loopback server alone.
        self.assert_refused("trusts only the test key", TANDREL_TEST_BUILD="ON",
                            TANDREL_UPDATE_PUBLIC_KEY=self.users_key)
        self.assert_refused("fetches updates from 127.0.0.1:8087 only", TANDREL_TEST_BUILD="ON",
                            UpdateServerHost="updates.example.org")

    def test_with_its_own_keys_and_a_real_server_it_configures_them_in(self):
        code, out = self.configure("users", TANDREL_UPDATE_PUBLIC_KEY=self.users_key,
                                   TANDREL_UPDATE_NEXT_PUBLIC_KEY=self.next_key,
                                   UpdateServerHost="updates.example.org:8080")
        self.assertEqual(code, 0, out[-3000:])
        with open(os.path.join(SCRATCH, "users", "updater", "update_public_key.cpp")) as f:
            keys = f.read()
        self.assertIn('Key("%s", 0x10001u),\n      Key("%s", 0x10001u),' % ("c3" * 256, "d5" * 256), keys)
        with open(TEST_KEY) as f:
            self.assertNotIn(f.read().split()[1], keys)
        with open(os.path.join(SCRATCH, "users", "CMakeCache.txt")) as f:
            cache = f.read()
        self.assertIn("UpdateServerHost:STRING=updates.example.org:8080", cache)
        self.assertFalse(os.path.exists(os.path.join(SCRATCH, "users", "tests")), "tests in a build for users")


if __name__ == "__main__":
    CMAKE, SOURCE, SCRATCH = sys.argv[1:4]
    TEST_KEY = os.path.join(SOURCE, "tests", "keys", "test_key.pub.hex")
    del sys.argv[1:4]
    unittest.main()
