"""The DNS service under failure, and its AAAA answers, through the real gateway.

The service must not feed on itself when the gateway's own resolver points at it, must bound
the lookups it has under way when a name server never answers (while names of the hosts file
are still answered), and must answer AAAA queries with IPv6 addresses or an empty answer. The
DNS port is fixed, so the module runs inside a private network and mount namespace with its own
hosts and resolv.conf; run from outside, the single outer test starts it inside one.
"""
import os
import socket
import struct
import subprocess
import time
import unittest

from gateway_process import GatewayProcess, configure
from private_namespace import own_etc_files, run_inside

INSIDE = "WAYFARER_DNS_FAULTS_NETNS"
HOSTS = """127.0.0.1 localhost
192.0.2.10 wf-host.test
192.0.2.11 wf-dual.test
2001:db8::11 wf-dual.test
2001:db8::12 wf-dual.test
"""
# A name server that never answers: every query sent there vanishes.
SILENT = "nameserver 10.99.0.2\noptions timeout:2 attempts:1\n"
# Finished session threads the gateway keeps parked for reuse, at most.
PARKED = 64
# The gateway's resolver asks the gateway itself.
ITSELF = "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n"


def dig(*args, timeout=3):
    r = subprocess.run(["dig", "@127.0.0.1", "+tries=1", f"+time={timeout}", *args],
                       capture_output=True, text=True, timeout=30)
    return r.stdout


def query(name, ident):
    wire = b"".join(bytes([len(p)]) + p.encode() for p in name.split(".")) + b"\0"
    return struct.pack(">HHHHHH", ident, 0x0100, 1, 0, 0, 0) + wire + struct.pack(">HH", 1, 1)


def threads(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("Threads:"):
                return int(line.split()[1])
    return 0


def wait_for_threads(pid, at_most, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if threads(pid) <= at_most:
            return True
        time.sleep(0.2)
    return False


if os.environ.get(INSIDE) == "1":

    def setUpModule():
        global FILES
        FILES = own_etc_files(HOSTS, SILENT)
        # Queries to 10.99.0.0/24 loop back through lo to no address of ours and are dropped.
        subprocess.run(["ip", "route", "add", "10.99.0.0/24", "dev", "lo"], check=True)

    def tearDownModule():
        FILES.cleanup()

    def use_resolver(text):
        with open(os.path.join(FILES.name, "resolv.conf"), "w") as f:
            f.write(text)

    class Dns(unittest.TestCase):
        def setUp(self):
            self.gw = GatewayProcess()
            configure(self.gw, dns_active=True)
            self.gw.start()
            self.pid = self.gw.proc.pid
            self.idle_threads = threads(self.pid)

        def tearDown(self):
            use_resolver(SILENT)
            code, _ = self.gw.stop()
            self.gw.close()
            self.assertEqual(code, 0)

        def test_lookup_that_comes_back_to_the_service_ends_at_once(self):
            use_resolver(ITSELF)
            began = time.monotonic()
            out = dig("wf-loop.test", "A")
            self.assertIn("status: NXDOMAIN", out, out)
            self.assertLess(time.monotonic() - began, 2.5)
            # At most the one session's thread, parked: no chain of sessions was started.
            self.assertTrue(wait_for_threads(self.pid, self.idle_threads + 4, 5),
                            threads(self.pid))
            self.assertIn("192.0.2.10", dig("+short", "wf-host.test", "A"))

        def test_flood_with_a_silent_name_server_is_bounded_and_the_hosts_file_answers(self):
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
                for i in range(1000):
                    s.sendto(query(f"n{i}.wf-none.test", i), ("127.0.0.1", 53))
                time.sleep(0.5)
                peak = threads(self.pid)
                # dig gives up after 2 s, the name server's time-out: an answer that had to wait
                # behind the flood's lookups (or was dropped with them) never reaches it.
                out = dig("wf-host.test", "A", timeout=2)
            self.assertIn("status: NOERROR", out, out)
            self.assertRegex(out, r"wf-host\.test\.\s+3600\s+IN\s+A\s+192\.0\.2\.10")
            self.assertLessEqual(peak, self.idle_threads + 256, peak)
            self.assertGreater(peak, self.idle_threads + 100, "the lookups ran in sessions")
            # Every lookup ends with the name server's time-out; so do their sessions.
            self.assertTrue(wait_for_threads(self.pid, self.idle_threads + PARKED + 2, 15),
                            threads(self.pid))
            self.assertIsNone(self.gw.proc.poll())

        def test_a_client_here_asking_a_name_under_lookup_is_answered(self):
            # The AAAA lookup of an IPv4-only name waits on the silent name server; a client
            # of this machine asking for the same name meanwhile is no loop.
            slow = subprocess.Popen(["dig", "@127.0.0.1", "+tries=1", "+time=5", "wf-host.test",
                                     "AAAA"], stdout=subprocess.PIPE, text=True)
            try:
                time.sleep(0.5)
                out = dig("wf-host.test", "A")
                self.assertIn("status: NOERROR", out, out)
                self.assertIn("192.0.2.10", out, out)
            finally:
                slow_out, _ = slow.communicate(timeout=30)
            self.assertIn("status: NOERROR", slow_out, slow_out)

        def test_aaaa_gets_ipv6_addresses_or_an_empty_answer(self):
            out = dig("wf-dual.test", "AAAA")
            self.assertIn("status: NOERROR", out, out)
            self.assertIn("ANSWER: 2,", out, out)
            self.assertRegex(out, r"wf-dual\.test\.\s+3600\s+IN\s+AAAA\s+2001:db8::11")
            self.assertRegex(out, r"wf-dual\.test\.\s+3600\s+IN\s+AAAA\s+2001:db8::12")
            out = dig("wf-host.test", "AAAA", timeout=5)
            self.assertIn("status: NOERROR", out, out)
            self.assertIn("ANSWER: 0,", out, out)
            out = dig("wf-none.test", "AAAA", timeout=5)
            self.assertIn("status: NXDOMAIN", out, out)
            # Other types keep their answers: the A record.
            out = dig("wf-dual.test", "MX")
            self.assertRegex(out, r"wf-dual\.test\.\s+3600\s+IN\s+A\s+192\.0\.2\.11")

else:

    class InPrivateNamespace(unittest.TestCase):
        def test_dns_faults(self):
            run_inside(self, "test_dns_faults", INSIDE)
