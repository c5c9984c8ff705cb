"""The Debian package: built with CPack from this build tree, unpacked into a throwaway root and
its files listed and checked; its unit verified by systemd-analyze and the package by lintian
where those tools are installed."""
import os
import shutil
import subprocess
import tempfile
import unittest

from gateway_process import BIN

BUILD = os.path.dirname(os.path.abspath(BIN))
EXPECTED = [
    "./usr/bin/Wayfarer", "./usr/bin/wayfarer-reg", "./usr/bin/Outfitter", "./usr/bin/Lookout",
    "./usr/lib/wayfarer/Wayfarer", "./usr/lib/wayfarer/wayfarer-reg",
    "./usr/lib/wayfarer/WayfarerIcons.png", "./usr/lib/systemd/system/wayfarer.service",
    "./etc/logrotate.d/wayfarer", "./usr/share/man/man8/Wayfarer.8.gz",
    "./usr/share/man/man8/wayfarer-reg.8.gz", "./usr/share/doc/wayfarer/copyright",
    "./usr/share/applications/wayfarer.desktop", "./usr/share/applications/outfitter.desktop",
    "./usr/share/applications/lookout.desktop",
    "./usr/share/icons/hicolor/scalable/apps/wayfarer.svg",
]


def run(*command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=300, **kwargs)


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.exists(os.path.join(BUILD, "CPackConfig.cmake")):
            raise unittest.SkipTest("no CPack configuration in " + BUILD)
        cls.dir = tempfile.mkdtemp(prefix="wayfarer-pkg-")
        made = run("cpack", "-G", "DEB", "-B", cls.dir, cwd=BUILD)
        if made.returncode != 0:
            shutil.rmtree(cls.dir)
            raise AssertionError("cpack failed: " + made.stdout + made.stderr)
        cls.deb = next(os.path.join(cls.dir, f) for f in os.listdir(cls.dir)
                       if f.endswith(".deb"))
        cls.root = os.path.join(cls.dir, "root")
        subprocess.run(["dpkg", "-x", cls.deb, cls.root], check=True, timeout=120)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def test_files_programs_and_scripts(self):
        listing = run("dpkg-deb", "-c", self.deb).stdout
        files = [line.split()[5] for line in listing.splitlines()]
        print("\n".join(files))
        for path in EXPECTED:
            self.assertIn(path, files)
        # The links in bin reach the programs, which find their pictures beside themselves.
        result = run(os.path.join(self.root, "usr/bin/Wayfarer"), "--version")
        self.assertEqual(result.stdout.strip(), "Wayfarer 2.0")
        control = run("dpkg-deb", "-e", self.deb, os.path.join(self.dir, "control"))
        self.assertEqual(control.returncode, 0, control.stderr)
        for script in ("postinst", "prerm", "postrm"):
            path = os.path.join(self.dir, "control", script)
            self.assertTrue(os.access(path, os.X_OK), script)
            self.assertEqual(run("sh", "-n", path).returncode, 0, script)
        with open(os.path.join(self.dir, "control", "conffiles")) as f:
            self.assertEqual(f.read().split(), ["/etc/logrotate.d/wayfarer"])
        fields = run("dpkg-deb", "-f", self.deb, "Depends").stdout
        self.assertIn("adduser", fields)

    @unittest.skipUnless(os.geteuid() == 0 and shutil.which("unshare"), "needs root")
    def test_remove_keeps_the_data_and_purge_drops_it(self):
        """postrm in a mount namespace whose /var and /run are empty directories of the test."""
        control = os.path.join(self.dir, "control-purge")
        run("dpkg-deb", "-e", self.deb, control)
        var, run_dir = os.path.join(self.dir, "var"), os.path.join(self.dir, "run")
        os.makedirs(run_dir)
        names = ("lib/wayfarer", "cache/wayfarer", "log/wayfarer")
        for name in names:
            os.makedirs(os.path.join(var, name))
        script = os.path.join(control, "postrm")
        steps = (f"mount --bind {var} /var && mount --bind {run_dir} /run && "
                 f"sh {script} remove && ls /var/lib /var/cache /var/log && "
                 f"sh {script} purge && ls /var/lib /var/cache /var/log")
        result = run("unshare", "-m", "--propagation", "private", "sh", "-c", steps)
        self.assertEqual(result.returncode, 0, result.stderr)
        listed = result.stdout.split()
        self.assertEqual(listed.count("wayfarer"), 3, result.stdout)  # after remove only
        for name in names:
            self.assertFalse(os.path.exists(os.path.join(var, name)), name)

    @unittest.skipUnless(shutil.which("systemd-analyze"), "no systemd-analyze")
    def test_unit_verifies(self):
        unit = os.path.join(self.root, "usr/lib/systemd/system/wayfarer.service")
        with open(unit) as f:
            text = f.read()
        for line in ("Type=notify", "User=wayfarer", "AmbientCapabilities=CAP_NET_BIND_SERVICE",
                     "ProtectSystem=strict", "ProtectHome=yes", "PrivateTmp=yes",
                     "NoNewPrivileges=yes", "StateDirectory=wayfarer", "CacheDirectory=wayfarer",
                     "LogsDirectory=wayfarer", "Restart=on-failure",
                     "--registry /var/lib/wayfarer/registry.db"):
            self.assertIn(line, text)
        # Verified against the unpacked programs: the unit's own paths exist only once installed.
        local = os.path.join(self.dir, "wayfarer.service")
        with open(local, "w") as f:
            f.write(text.replace("/usr/bin/Wayfarer", os.path.join(self.root, "usr/bin/Wayfarer")))
        result = run("systemd-analyze", "verify", "--man=no", local)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr.strip(), "")

    @unittest.skipUnless(shutil.which("lintian"), "no lintian")
    def test_lintian_finds_no_errors(self):
        result = run("lintian", "--no-tag-display-limit", self.deb)
        print(result.stdout)
        errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
        self.assertEqual(errors, [])


if __name__ == "__main__":
    unittest.main()
