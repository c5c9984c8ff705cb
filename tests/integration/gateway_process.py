"""Starts the real Wayfarer on a private settings store and talks to it like an administrator.

Each GatewayProcess has its own temporary directory, store and environment; tests run side by
side without touching each other or the machine's own settings.
"""
import os
import shutil
import signal
import subprocess
import tempfile
import time

BIN = os.environ.get("WAYFARER_BIN", os.path.join(os.path.dirname(__file__), "../../build/bin"))
PRODUCT_KEY = r"HKEY_LOCAL_MACHINE\Software\Wayfarer Computer Products Ltd.\Wayfarer\2.0"


class GatewayProcess:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="wayfarer-it-")
        self.env = dict(os.environ)
        self.env["WAYFARER_REGISTRY"] = os.path.join(self.dir, "registry.db")
        self.env["WAYFARER_WINDIR"] = os.path.join(self.dir, "windows")
        self.env.pop("DISPLAY", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.proc = None

    def reg(self, *args, check=True):
        result = subprocess.run([os.path.join(BIN, "wayfarer-reg"), *args], env=self.env,
                                capture_output=True, text=True, timeout=30)
        if check and result.returncode != 0:
            raise AssertionError(f"wayfarer-reg {args}: {result.stderr}")
        return result

    def start(self, wait_for="running headless"):
        self.proc = subprocess.Popen([os.path.join(BIN, "Wayfarer")], env=self.env,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.stderr_lines = []
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            line = self.proc.stderr.readline()
            if not line:
                break
            self.stderr_lines.append(line)
            if wait_for in line:
                return self
        raise AssertionError("gateway did not start: " + "".join(self.stderr_lines))

    def stop(self, timeout=5):
        """SIGTERM; returns (exit code, seconds it took)."""
        if not self.proc:
            return None, 0
        began = time.monotonic()
        self.proc.send_signal(signal.SIGTERM)
        try:
            code = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            code = self.proc.wait()
        self.proc.stdout.close()
        self.proc.stderr.close()
        self.proc = None
        return code, time.monotonic() - began

    def close(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)
