"""The access log of the real gateway: a line per ended mapping session in the documented
format, SIGUSR1 reopening the file after it was moved, and an empty setting turning it off."""
import os
import signal
import socket
import subprocess
import time
import unittest

from gateway_process import PRODUCT_KEY, GatewayProcess, configure
from test_reload import echo_server, inside, talk, wait_line


def lines_of(path, count, timeout=10):
    """The file's lines once it holds count of them (what it holds at the deadline)."""
    deadline = time.monotonic() + timeout
    lines = []
    while time.monotonic() < deadline:
        if os.path.exists(path):
            with open(path) as f:
                lines = f.read().splitlines()
            if len(lines) >= count:
                break
        time.sleep(0.05)
    return lines


class AccessLogTest(unittest.TestCase):
    def setUp(self):
        if os.geteuid() != 0:
            self.skipTest("needs root for a network namespace")
        self.ns = f"service-alog-{os.getpid()}"
        subprocess.run(["ip", "netns", "add", self.ns], check=True, timeout=30)
        self.addCleanup(subprocess.run, ["ip", "netns", "del", self.ns], timeout=30)
        subprocess.run(["ip", "-n", self.ns, "link", "set", "lo", "up"], check=True, timeout=30)
        self.server = echo_server(self.ns, 9001)
        self.addCleanup(self.server.close)
        self.addCleanup(self.server.shutdown, socket.SHUT_RDWR)
        self.gw = GatewayProcess(wrapper=["ip", "netns", "exec", self.ns])
        self.addCleanup(self.gw.close)
        configure(self.gw, mappings=[dict(name="echo back", port=7001, host="127.0.0.1",
                                          target_port=9001)])
        self.log = os.path.join(self.gw.dir, "access.log")

    def test_one_line_per_session_and_reopen_on_sigusr1(self):
        self.gw.start()
        self.assertEqual(talk(self.ns, 7001, "127.0.0.5"), b"ping\n")
        lines = lines_of(self.log, 1)
        self.assertEqual(len(lines), 1, lines)
        fields = lines[0].split(" ")
        self.assertEqual(len(fields), 8, lines[0])
        self.assertRegex(fields[0], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
        self.assertRegex(fields[1], r"^\d+\.\d{3}$")
        self.assertEqual(fields[2:4], ["127.0.0.5", "echo%20back"])
        os.rename(self.log, self.log + ".1")
        self.gw.proc.send_signal(signal.SIGUSR1)
        deadline = time.monotonic() + 10  # the reopen makes the file anew
        while not os.path.exists(self.log) and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(talk(self.ns, 7001, "127.0.0.6"), b"ping\n")
        lines = lines_of(self.log, 1)
        self.assertEqual([line.split(" ")[2] for line in lines], ["127.0.0.6"])
        with open(self.log + ".1") as f:
            self.assertEqual(len(f.read().splitlines()), 1)
        self.assertEqual(self.gw.stop()[0], 0)

    def test_empty_setting_turns_it_off(self):
        self.gw.reg("set", PRODUCT_KEY + r"\Configuration", "AccessLog", "REG_SZ", "")
        self.gw.start()
        self.assertEqual(talk(self.ns, 7001), b"ping\n")
        self.assertEqual(self.gw.stop()[0], 0)
        self.assertFalse(os.path.exists(self.log))


if __name__ == "__main__":
    unittest.main()
