"""The gateway under a service manager: the readiness notice arrives once the listeners are
open, a reload is announced, and the manager's cache directory becomes the cache location."""
import os
import signal
import socket
import subprocess
import unittest

from gateway_process import PRODUCT_KEY, GatewayProcess, configure


class ServiceManagerTest(unittest.TestCase):
    def setUp(self):
        if os.geteuid() != 0:
            self.skipTest("needs root for a network namespace")
        self.ns = f"service-notify-{os.getpid()}"
        subprocess.run(["ip", "netns", "add", self.ns], check=True, timeout=30)
        self.addCleanup(subprocess.run, ["ip", "netns", "del", self.ns], timeout=30)
        subprocess.run(["ip", "-n", self.ns, "link", "set", "lo", "up"], check=True, timeout=30)
        self.gw = GatewayProcess(wrapper=["ip", "netns", "exec", self.ns])
        self.addCleanup(self.gw.close)
        self.manager = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.addCleanup(self.manager.close)
        path = os.path.join(self.gw.dir, "notify")
        self.manager.bind(path)
        self.manager.settimeout(10)
        self.cache = os.path.join(self.gw.dir, "cache")
        os.mkdir(self.cache)
        self.gw.env.update(NOTIFY_SOCKET=path, CACHE_DIRECTORY=self.cache)

    def test_ready_after_listeners_and_reload_announced(self):
        configure(self.gw, mappings=[dict(name="m", port=7001, host="127.0.0.1",
                                          target_port=9)])
        self.gw.start()
        self.assertTrue(self.manager.recv(256).startswith(b"READY=1"))
        # Ready means listening: the mapping accepts at once.
        probe = subprocess.run(["ip", "netns", "exec", self.ns, "python3", "-c",
                                "import socket; socket.create_connection(('127.0.0.1', 7001), 5)"],
                               timeout=30)
        self.assertEqual(probe.returncode, 0)
        self.gw.proc.send_signal(signal.SIGHUP)
        self.assertEqual(self.manager.recv(256), b"RELOADING=1")
        self.assertEqual(self.manager.recv(256), b"READY=1")
        self.assertEqual(self.gw.stop()[0], 0)
        stored = self.gw.reg("query", PRODUCT_KEY + r"\Cache", "CacheLocation").stdout
        self.assertIn(self.cache, stored)

    def test_a_stored_cache_location_is_kept(self):
        configure(self.gw)
        self.gw.reg("set", PRODUCT_KEY + r"\Cache", "CacheLocation", "REG_SZ", "/srv/cache")
        self.gw.start()
        self.assertTrue(self.manager.recv(256).startswith(b"READY=1"))
        self.gw.stop()
        stored = self.gw.reg("query", PRODUCT_KEY + r"\Cache", "CacheLocation").stdout
        self.assertIn("/srv/cache", stored)


if __name__ == "__main__":
    unittest.main()
