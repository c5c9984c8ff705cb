"""SIGHUP and `wayfarer-reg --reload` on the running gateway: an added mapping listens, a changed
port rebinds, a deleted mapping stops and a new rule refuses, while a long transfer through
another mapping carries on byte for byte. Everything runs in a network namespace of its own."""
import contextlib
import ctypes
import hashlib
import os
import select
import signal
import socket
import subprocess
import threading
import time
import unittest

from gateway_process import BIN, PRODUCT_KEY, GatewayProcess, configure

CLONE_NEWNET = 0x40000000
_libc = ctypes.CDLL(None, use_errno=True)
DENIED = b"Access Denied Contact Admin \0"


@contextlib.contextmanager
def inside(ns):
    """This thread's sockets made in the block live in namespace ns."""
    home = os.open("/proc/thread-self/ns/net", os.O_RDONLY)
    target = os.open(f"/run/netns/{ns}", os.O_RDONLY)
    try:
        if _libc.setns(target, CLONE_NEWNET) != 0:
            raise OSError(ctypes.get_errno(), "setns")
        try:
            yield
        finally:
            _libc.setns(home, CLONE_NEWNET)
    finally:
        os.close(target)
        os.close(home)


def echo_server(ns, port):
    with inside(ns):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("127.0.0.1", port))
        s.listen(16)

    def echo(conn):
        with conn:
            while data := conn.recv(65536):
                conn.sendall(data)

    def loop():
        while True:
            try:
                conn, _ = s.accept()
            except OSError:
                return
            threading.Thread(target=echo, args=(conn,), daemon=True).start()
    threading.Thread(target=loop, daemon=True).start()
    return s


def talk(ns, port, source="127.0.0.1"):
    """A line sent and everything received until the close; None when nothing listens."""
    with inside(ns):
        c = socket.socket()
    with c:
        c.settimeout(10)
        c.bind((source, 0))
        try:
            c.connect(("127.0.0.1", port))
        except ConnectionRefusedError:
            return None
        c.sendall(b"ping\n")
        got = b""
        while b"\n" not in got and (data := c.recv(4096)):
            got += data
        return got


def wait_line(proc, text, timeout=10):
    """The first line of the gateway's stderr that holds text ("" when none came in time)."""
    data = b""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        ready, _, _ = select.select([proc.stderr], [], [], 0.2)
        if ready:
            part = os.read(proc.stderr.fileno(), 4096)
            if not part:
                break
            data += part
        for line in data.decode(errors="replace").splitlines():
            if text in line:
                return line
    return ""


class ReloadTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0:
            raise unittest.SkipTest("needs root for a network namespace")
        cls.ns = f"service-reload-{os.getpid()}"
        subprocess.run(["ip", "netns", "add", cls.ns], check=True, timeout=30)
        subprocess.run(["ip", "-n", cls.ns, "link", "set", "lo", "up"], check=True, timeout=30)

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["ip", "netns", "del", cls.ns], timeout=30)

    def setUp(self):
        self.servers = [echo_server(self.ns, port) for port in (9001, 9002, 9003, 9004)]
        self.addCleanup(self.close_servers)
        self.gw = GatewayProcess(wrapper=["ip", "netns", "exec", self.ns])
        self.addCleanup(self.gw.close)

    def close_servers(self):
        for s in self.servers:
            s.shutdown(socket.SHUT_RDWR)  # wakes the accept, which holds the socket open
            s.close()

    def mapping(self, name, port, target):
        return dict(name=name, port=port, host="127.0.0.1", target_port=target)

    def long_transfer(self, ready, resume, result):
        """Sends 64 MiB through mapping "long" and compares what comes back."""
        with inside(self.ns):
            c = socket.create_connection(("127.0.0.1", 7001), timeout=20)
        block = hashlib.sha256(b"long").digest() * 2048  # 64 KiB
        sent = hashlib.sha256()
        got = hashlib.sha256()
        received = 0

        def reader():
            nonlocal received
            while data := c.recv(65536):
                got.update(data)
                received += len(data)
        t = threading.Thread(target=reader)
        t.start()
        with c:
            for i in range(1024):
                chunk = block[i % 64:] + block[:i % 64]
                c.sendall(chunk)
                sent.update(chunk)
                if i == 256:
                    ready.set()
                    resume.wait(30)
            c.shutdown(socket.SHUT_WR)
            t.join(60)
        result.extend([received, sent.hexdigest() == got.hexdigest()])

    def reload_by(self, how):
        configure(self.gw, mappings=[self.mapping("long", 7001, 9001),
                                     self.mapping("old", 7002, 9002),
                                     self.mapping("moved", 7003, 9003)])
        self.gw.start()
        self.assertEqual(talk(self.ns, 7002), b"ping\n")
        self.assertEqual(talk(self.ns, 7003), b"ping\n")
        ready, resume, result = threading.Event(), threading.Event(), []
        self.addCleanup(resume.set)
        transfer = threading.Thread(target=self.long_transfer, args=(ready, resume, result))
        transfer.start()
        self.assertTrue(ready.wait(30))
        # "old" is gone, "moved" listens on 7103, "added" is new, and a rule refuses 127.0.0.2.
        configure(self.gw, mappings=[self.mapping("long", 7001, 9001),
                                     self.mapping("moved", 7103, 9003),
                                     self.mapping("added", 7004, 9004)])
        key = PRODUCT_KEY + r"\Security\0"
        for value, kind, data in (("ServiceNum", "REG_DWORD", "6"),
                                  ("ClientIP", "REG_SZ", "127.0.0.2"),
                                  ("HostIP", "REG_SZ", "All"), ("Data", "REG_SZ", "")):
            self.gw.reg("set", key, value, kind, data)
        self.gw.reg("set", PRODUCT_KEY + r"\Configuration", "TotalSecurity", "REG_DWORD", "1")
        how()
        line = wait_line(self.gw.proc, "settings reloaded")
        resume.set()
        self.assertIn("(services +1 ~1 -1, rules +1 -0)", line)
        self.assertEqual(talk(self.ns, 7004), b"ping\n")
        self.assertEqual(talk(self.ns, 7103), b"ping\n")
        self.assertIsNone(talk(self.ns, 7003))
        self.assertIsNone(talk(self.ns, 7002))
        self.assertTrue(talk(self.ns, 7001, "127.0.0.2").startswith(DENIED))
        self.assertEqual(talk(self.ns, 7001, "127.0.0.3"), b"ping\n")
        transfer.join(120)
        self.assertEqual(result, [64 << 20, True])
        self.assertEqual(self.gw.stop()[0], 0)

    def test_sighup_applies_the_store_while_a_transfer_goes_on(self):
        self.reload_by(lambda: self.gw.proc.send_signal(signal.SIGHUP))

    def test_reload_request_of_wayfarer_reg_does_the_same(self):
        # The request channel lives in the gateway's network namespace: ask from there.
        self.reload_by(lambda: subprocess.run(
            ["ip", "netns", "exec", self.ns, os.path.join(BIN, "wayfarer-reg"), "--reload"],
            env=self.gw.env, check=True, timeout=30))


if __name__ == "__main__":
    unittest.main()
