"""The real telnet client at the gateway's host prompt: its Backspace key sends DEL (0x7f).

The Telnet proxy always connects to port 23, so the module runs inside a private network
namespace where a small server holds port 23 on loopback; run from outside, the single outer
test starts the module inside such a namespace.
"""
import os
import pty
import select
import shutil
import signal
import socket
import subprocess
import threading
import time
import unittest

from gateway_process import GatewayProcess, configure, free_port
from private_namespace import run_inside

INSIDE = "WAYFARER_TELNET_DELETE_NETNS"
GREETING = b"port 23 here"


class Pty:
    """A program on a pseudo-terminal, read with a deadline."""

    def __init__(self, argv):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execvp(argv[0], argv)
        self.seen = b""

    def expect(self, wanted, timeout=10):
        deadline = time.monotonic() + timeout
        while wanted not in self.seen:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                raise AssertionError(f"no {wanted!r} in {self.seen!r}")
            try:
                data = os.read(self.fd, 4096)
            except OSError:
                raise AssertionError(f"ended before {wanted!r}: {self.seen!r}")
            self.seen += data
        return self.seen

    def send(self, data):
        os.write(self.fd, data)

    def close(self):
        try:
            os.kill(self.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        os.waitpid(self.pid, 0)
        os.close(self.fd)


if os.environ.get(INSIDE) == "1":

    class TelnetDelete(unittest.TestCase):
        def setUp(self):
            subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
            self.server = socket.socket()
            self.server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            self.server.bind(("127.0.0.1", 23))
            self.server.listen(4)
            threading.Thread(target=self._serve, daemon=True).start()
            self.gw = GatewayProcess()
            self.port = free_port()
            configure(self.gw, active={"Telnet": self.port})
            self.gw.start()

        def _serve(self):
            while True:
                try:
                    conn, _ = self.server.accept()
                except OSError:
                    return
                with conn:
                    conn.sendall(GREETING + b"\r\n")
                    time.sleep(1)

        def tearDown(self):
            self.server.close()
            code, _ = self.gw.stop()
            self.gw.close()
            self.assertEqual(code, 0)

        def test_backspace_key_of_the_telnet_client_edits_the_host(self):
            client = Pty(["telnet", "127.0.0.1", str(self.port)])
            try:
                client.expect(b"Wayfarer (Host Name) >")
                # In character mode every key goes to the gateway as typed, DEL included.
                client.send(b"\x1d")
                client.expect(b"telnet>")
                client.send(b"mode character\r")
                time.sleep(0.5)
                client.send(b"127.0.0.1x\x7f\r")
                seen = client.expect(GREETING)
                self.assertIn(b"\b \b", seen)
                self.assertIn(b"Connected.", seen)
                self.assertNotIn(b"No host in that name", seen)
            finally:
                client.close()

else:

    class InPrivateNamespace(unittest.TestCase):
        @unittest.skipUnless(shutil.which("telnet") and shutil.which("unshare"),
                             "needs telnet and unshare")
        def test_telnet_delete(self):
            run_inside(self, "test_telnet_delete", INSIDE, mount=False)
