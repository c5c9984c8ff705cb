"""Start-up on a fresh store, the default configuration, single instance, SIGTERM shut-down."""
import os
import socket
import subprocess
import unittest

import private_network
from gateway_process import BIN, PRODUCT_KEY, GatewayProcess


class StartupTest(unittest.TestCase):
    def setUp(self):
        self.gw = GatewayProcess()
        # The default services listen on privileged ports; keep them shut in this test.
        self.addCleanup(self.gw.close)

    def test_fresh_store_gets_the_default_configuration(self):
        self.gw.start()
        text = self.gw.reg("export", PRODUCT_KEY).stdout
        for line in ['"TotalServices"=dword:0000000a', '"ServiceType"="WWW"',
                     '"ServiceType"="DNS"', '"UseDialler"=dword:00000001',
                     '"Retires"=dword:00000000', '"Profile"=""']:
            self.assertIn(line, text)
        self.assertIn("[" + PRODUCT_KEY + "\\Service\\9]", text)
        self.assertIn("[" + PRODUCT_KEY + "\\Dialler]", text)
        code, took = self.gw.stop()
        self.assertEqual(code, 0)
        self.assertLess(took, 1.0)

    def test_gateway_listens_only_inside_the_tests_own_network(self):
        # The fresh store's services listen on 0.0.0.0 (80, 21, 1080 ...): only loopback
        # of the private namespace may hold them, never the machine's network.
        self.gw.start()
        pid = self.gw.proc.pid
        self.assertTrue(self.gw.in_private_network())
        self.assertNotEqual(os.readlink(f"/proc/{pid}/ns/net"),
                            os.environ[private_network.OUTSIDE])
        interfaces = [name for _, name in socket.if_nameindex()]
        self.assertEqual(interfaces, ["lo"])
        # Names outside the test's hosts file find no resolver to ask.
        with self.assertRaises(socket.gaierror):
            socket.getaddrinfo("www.example.com", 80)
        for name in [n for n in self.gw.env if n.lower().endswith("_proxy")]:
            self.fail(f"{name} reaches the gateway and the clients")

    def test_second_start_on_the_same_store_ends_at_once(self):
        self.gw.start()
        second = subprocess.run([os.path.join(BIN, "Wayfarer")], env=self.gw.env,
                                capture_output=True, text=True, timeout=10)
        self.assertEqual(second.returncode, 0)
        self.assertIn("already running", second.stderr)
        self.assertIsNone(self.gw.proc.poll(), "the first instance keeps running")

    def test_sigint_also_shuts_down_cleanly(self):
        self.gw.start()
        self.gw.proc.send_signal(2)
        self.assertEqual(self.gw.proc.wait(timeout=5), 0)


if __name__ == "__main__":
    unittest.main()
