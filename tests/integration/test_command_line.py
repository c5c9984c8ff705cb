"""The programs' command lines: help and version end at once without touching the store,
unknown options end with the usage and status 2, --registry picks the store."""
import os
import shutil
import subprocess
import tempfile
import unittest

from gateway_process import BIN


def run(program, *args, env=None):
    return subprocess.run([os.path.join(BIN, program), *args], capture_output=True, text=True,
                          timeout=30, env=env)


class CommandLineTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="wayfarer-cl-")
        self.env = dict(os.environ, WAYFARER_REGISTRY=os.path.join(self.dir, "env.db"),
                        QT_QPA_PLATFORM="offscreen")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def test_every_program_answers_help_version_and_bad_options(self):
        for program in ("Wayfarer", "wayfarer-reg", "Outfitter", "Lookout"):
            if not os.path.exists(os.path.join(BIN, program)):
                continue
            with self.subTest(program=program):
                result = run(program, "--help", env=self.env)
                self.assertEqual(result.returncode, 0)
                self.assertTrue(result.stdout.startswith("usage: " + program), result.stdout)
                result = run(program, "--version", env=self.env)
                self.assertEqual((result.returncode, result.stdout.split()[0]), (0, program))
                result = run(program, "--no-such-option", env=self.env)
                self.assertEqual(result.returncode, 2)
                self.assertIn("--no-such-option", result.stderr)
                self.assertIn("usage: " + program, result.stderr)
                self.assertEqual(result.stdout, "")
        # None of these opened the store.
        self.assertEqual(os.listdir(self.dir), [])

    def test_gateway_refuses_two_modes_and_stray_arguments(self):
        for args in (["--tray", "--headless"], ["start"], ["--registry"]):
            result = run("Wayfarer", *args, env=self.env)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn("usage: Wayfarer", result.stderr)
        self.assertEqual(os.listdir(self.dir), [])

    def test_registry_option_picks_the_store_over_the_environment(self):
        chosen = os.path.join(self.dir, "chosen.db")
        key = r"HKLM\Software\Test"
        self.assertEqual(run("wayfarer-reg", "--registry", chosen, "set", key, "v", "REG_SZ",
                             "-leading-dash", env=self.env).returncode, 0)
        result = run("wayfarer-reg", "--registry=" + chosen, "query", key, "v", env=self.env)
        self.assertIn("-leading-dash", result.stdout)
        self.assertEqual(run("wayfarer-reg", "query", key, "v", env=self.env).returncode, 1)

    @unittest.skipUnless(os.geteuid() == 0, "needs root")
    def test_root_works_as_the_owner_of_the_store(self):
        os.chmod(self.dir, 0o711)  # the owner passes through to its own directory
        service_dir = os.path.join(self.dir, "state")
        os.mkdir(service_dir, 0o700)
        os.chown(service_dir, 65534, 65534)
        store = os.path.join(service_dir, "registry.db")
        result = run("wayfarer-reg", "--registry", store, "set", r"HKLM\Software\Test", "v",
                     "REG_SZ", "x", env=self.env)
        self.assertEqual(result.returncode, 0, result.stderr)
        made = os.listdir(service_dir)
        self.assertIn("registry.db", made)
        for name in made:
            self.assertEqual(os.stat(os.path.join(service_dir, name)).st_uid, 65534, name)

    def test_reload_without_a_running_gateway_fails_plainly(self):
        result = run("wayfarer-reg", "--reload", env=self.env)
        self.assertEqual(result.returncode, 1)
        self.assertIn("no gateway is running", result.stderr)
        self.assertEqual(run("wayfarer-reg", env=self.env).returncode, 2)


if __name__ == "__main__":
    unittest.main()
