"""Name lookups that hang or fail, through the real gateway.

A name server that never answers (a UDP socket that reads and drops) must cost each name one
wait, shared by every session that needs it, never a queue of sessions behind a lock; and a
mapping whose target did not resolve must resolve again later. Runs inside a private network
and mount namespace with its own hosts, resolv.conf and nsswitch.conf; run from outside, the
single outer test starts the module inside such a namespace.
"""
import os
import socket
import threading
import time
import unittest

from gateway_process import GatewayProcess, PRODUCT_KEY, configure, free_port
from private_namespace import own_etc_files, run_inside
from socket_helpers import TcpServer, echo
from test_rules_and_dial import E10026 as REFUSED

INSIDE = "WAYFARER_LOOKUP_FAULTS_NETNS"
LOOKUP = 2.0  # resolv.conf's timeout: one lookup of a name the server never answers
RESOLV = "nameserver 127.0.0.1\noptions timeout:2 attempts:1\n"
HOSTS = "127.0.0.1 localhost\n"


class BlackHole:
    """Port 53 that reads every query, notes its name and never answers."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", 53))
        self.sock.settimeout(0.2)
        self.stopped = False
        self.names = []
        self.thread = threading.Thread(target=self._drop, daemon=True)
        self.thread.start()

    def _drop(self):
        while not self.stopped:
            try:
                data = self.sock.recv(4096)
            except socket.timeout:
                continue
            except OSError:
                return
            at, labels = 12, []
            while at < len(data) and data[at] != 0:
                labels.append(data[at + 1:at + 1 + data[at]].decode(errors="replace"))
                at += 1 + data[at]
            self.names.append(".".join(labels).lower())

    def queries_for(self, name):
        return sum(1 for n in self.names if n == name or n.startswith(name + "."))

    def close(self):
        self.stopped = True
        self.thread.join(timeout=5)
        self.sock.close()


def first_reply(port, results, i):
    """Connects, says ping, and records (seconds to the first bytes, those bytes)."""
    began = time.monotonic()
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
            s.sendall(b"ping")
            data = s.recv(4096)
    except OSError as e:
        data = repr(e).encode()
    results[i] = (time.monotonic() - began, data)


def parallel(port, n):
    results = [None] * n
    threads = [threading.Thread(target=first_reply, args=(port, results, i)) for i in range(n)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=60)
    return results


if os.environ.get(INSIDE) == "1":

    def setUpModule():
        global FILES
        FILES = own_etc_files(HOSTS, RESOLV)

    def tearDownModule():
        FILES.cleanup()

    class LookupFaults(unittest.TestCase):
        def setUp(self):
            self.hole = BlackHole()
            self.echo = TcpServer(echo, timeout=None)
            self.gw = GatewayProcess()

        def tearDown(self):
            code, _ = self.gw.stop()
            self.gw.close()
            self.echo.close()
            self.hole.close()
            self.assertEqual(code, 0)

        def start(self, host):
            port = free_port()
            configure(self.gw, mappings=[{"name": "echo", "port": port, "host": host,
                                          "target_port": self.echo.port}])
            return port

        def test_rule_host_that_never_resolves_costs_one_shared_wait(self):
            port = self.start("127.0.0.1")
            key = PRODUCT_KEY + r"\Security\0"
            for name, kind, value in (("ServiceNum", "REG_DWORD", "6"), ("ClientIP", "REG_SZ", "All"),
                                      ("HostIP", "REG_SZ", "wf-never.test"),
                                      ("Data", "REG_SZ", "")):
                self.gw.reg("set", key, name, kind, value)
            self.gw.reg("set", PRODUCT_KEY + r"\Configuration", "TotalSecurity", "REG_DWORD", "1")
            self.gw.start()
            results = parallel(port, 4)
            for seconds, data in results:
                self.assertEqual(data, b"ping", results)
                # Checks queued behind one lock would answer at 2, 4, 6 and 8 s.
                self.assertLess(seconds, LOOKUP * 1.75, results)
            self.assertLessEqual(self.hole.queries_for("wf-never.test"), 2, self.hole.names)
            seconds, data = parallel(port, 1)[0]
            self.assertEqual(data, b"ping")
            self.assertLess(seconds, LOOKUP / 2, "the failed lookup is remembered")

        def test_mapping_target_that_failed_resolves_again_later(self):
            port = self.start("wf-late.test")
            self.gw.start()
            began = time.monotonic()
            results = parallel(port, 4)
            for seconds, data in results:
                self.assertEqual(data, REFUSED, results)
                self.assertLess(seconds, LOOKUP * 1.75, results)
            self.assertLessEqual(self.hole.queries_for("wf-late.test"), 2, self.hole.names)
            asked = self.hole.queries_for("wf-late.test")
            with open(os.path.join(FILES.name, "hosts"), "w") as f:
                f.write(HOSTS + "127.0.0.1 wf-late.test\n")
            try:
                seconds, data = parallel(port, 1)[0]
                self.assertEqual(data, REFUSED, "within a minute the failure is remembered")
                self.assertLess(seconds, LOOKUP / 2)
                self.assertEqual(self.hole.queries_for("wf-late.test"), asked)
                # The failure is remembered for 60 s from the end of the first lookup.
                time.sleep(max(0.0, began + LOOKUP + 61 - time.monotonic()))
                self.assertEqual(parallel(port, 1)[0][1], b"ping")
                self.assertEqual(parallel(port, 1)[0][1], b"ping")
            finally:
                with open(os.path.join(FILES.name, "hosts"), "w") as f:
                    f.write(HOSTS)

else:

    class InPrivateNamespace(unittest.TestCase):
        def test_lookup_faults(self):
            run_inside(self, "test_lookup_faults", INSIDE)
