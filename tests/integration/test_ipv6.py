"""IPv6 through the real gateway: IPv6 clients on its dual-stack listeners, IPv6 origins reached
by literal and by a name with only an IPv6 address, for WWW, CONNECT, SOCKS 5 and a mapping; an
IPv4 client still seen as IPv4; an IPv6 deny rule; no way into the gateway's own IPv6 loopback.
The office of office_network.py gets IPv6 addresses on both sides (nodad: usable at once)."""
import os
import socket
import struct
import tempfile
import threading
import time
import unittest

import office_network as office
import private_network
from socket_helpers import WAIT, connect, echo, listener, read_exact, read_until, serve
from gateway_process import PRODUCT_KEY, configure

LAN6, GW_LAN6 = "fd00:77::10", "fd00:77::1"
GW_WAN6, WAN6, WAN6_DENIED = "2001:db8:100::1", "2001:db8:100::20", "2001:db8:100::21"
PORTS = {"WWW": 3128, "Socks": 1080}
MAP_PORT, ECHO_PORT, ORIGIN_PORT, LOCAL_ORIGIN_PORT, TLS_PORT = 4000, 7, 8080, 8081, 443
UDP_MAP_PORT, UDP_ECHO_PORT = 5300, 9999
V6_ONLY_NAME = "v6only.office.test"
# A name whose IPv4 address refuses every port used here and whose IPv6 address serves them.
DUAL_NAME = "dual.office.test"
DUAL_MAP_PORT = 4001
ACCESS_DENIED = b"Access Denied</H1><P> The Rule Set Does Not Permit This Action"
SOCKS_RULE, WWW_RULE = 5, 1


def origin(name):
    """An HTTP/1.0 origin answering with its name, the path and the peer it saw."""
    def handle(conn):
        with conn:
            conn.settimeout(WAIT)
            head = read_until(conn, b"\r\n\r\n")
            path = head.split(b" ")[1] if b" " in head else b"?"
            peer = conn.getpeername()[0].encode()
            body = b"%s %s from %s" % (name, path, peer)
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n%s" % (len(body), body))
    return handle


def udp_echo(sock):
    while True:
        try:
            data, peer = sock.recvfrom(65536)
        except OSError:
            return
        sock.sendto(b"echo:" + data, peer)


def udp_exchange(net, family, address, port, datagram):
    with net.inside("lan"):
        s = socket.socket(family, socket.SOCK_DGRAM)
    with s:
        s.settimeout(WAIT)
        s.sendto(datagram, (address, port))
        try:
            return s.recv(65536)
        except socket.timeout:
            return None


def dns_query(name, qtype):
    wire = b"".join(bytes([len(p)]) + p.encode() for p in name.split(".")) + b"\0"
    return struct.pack(">HHHHHH", 0x4142, 0x0100, 1, 0, 0, 0) + wire + struct.pack(">HH", qtype, 1)


def add_ipv6(net):
    for side, dev, address in (("lan", "eth0", LAN6), ("gw", "lan0", GW_LAN6),
                               ("gw", "wan0", GW_WAN6), ("wan", "eth0", WAN6),
                               ("wan", "eth0", WAN6_DENIED)):
        office._ip("-n", net.ns[side], "addr", "add", address + "/64", "dev", dev, "nodad")
    office._ip("-n", net.ns["lan"], "-6", "route", "add", "default", "via", GW_LAN6)
    office._ip("-n", net.ns["wan"], "-6", "route", "add", "default", "via", GW_WAN6)


@unittest.skipUnless(office.available(), "needs root and ip netns")
class Ipv6Office(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = tempfile.TemporaryDirectory(prefix="wayfarer-ipv6-")
        # The gateway's resolver knows one name with an IPv6 address only, and one with both.
        hosts = (private_network.HOSTS + f"{WAN6} {V6_ONLY_NAME}\n"
                 f"{office.WAN_HOST} {DUAL_NAME}\n{WAN6} {DUAL_NAME}\n")
        private_network.bind_file(hosts, "/etc/hosts", cls.files.name)
        cls.net = office.OfficeNetwork(prefix="ipv6")
        cls.sockets = []
        try:
            add_ipv6(cls.net)
            with cls.net.inside("wan"):
                for address, port, handle in ((WAN6, ORIGIN_PORT, origin(b"v6origin")),
                                              (WAN6, TLS_PORT, origin(b"tunnelled")),
                                              (WAN6_DENIED, ORIGIN_PORT, origin(b"denied")),
                                              (WAN6, ECHO_PORT, echo)):
                    cls.sockets.append(listener(address, port))
                    serve(cls.sockets[-1], handle)
                udp = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
                udp.bind((WAN6, UDP_ECHO_PORT))
            cls.sockets.append(udp)
            threading.Thread(target=udp_echo, args=(udp,), daemon=True).start()
            with cls.net.inside("gw"):  # an origin only the gateway machine reaches
                cls.sockets.append(listener("::1", LOCAL_ORIGIN_PORT))
            serve(cls.sockets[-1], origin(b"loopback"))
            cls.gw = cls.net.gateway()
            configure(cls.gw, active=PORTS, dns_active=True, mappings=[
                dict(name="EchoV6", port=MAP_PORT, host=WAN6, target_port=ECHO_PORT),
                dict(name="EchoDual", port=DUAL_MAP_PORT, host=DUAL_NAME, target_port=ECHO_PORT),
                dict(name="UdpEchoV6", type="UDP Mapped Link", port=UDP_MAP_PORT, host=WAN6,
                     target_port=UDP_ECHO_PORT, protocol=1)])
            rules = [(WWW_RULE, "All", WAN6_DENIED), (SOCKS_RULE, office.LAN_CLIENT, "All")]
            for n, (service, client, host) in enumerate(rules):
                key = PRODUCT_KEY + rf"\Security\{n}"
                cls.gw.reg("set", key, "ServiceNum", "REG_DWORD", str(service))
                cls.gw.reg("set", key, "ClientIP", "REG_SZ", client)
                cls.gw.reg("set", key, "HostIP", "REG_SZ", host)
                cls.gw.reg("set", key, "Data", "REG_SZ", "")
            cls.gw.reg("set", PRODUCT_KEY + r"\Configuration", "TotalSecurity", "REG_DWORD",
                       str(len(rules)))
            cls.gw.start()
        except Exception:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        code = 0
        if getattr(cls, "gw", None):
            code, _ = cls.gw.stop()
            cls.gw.close()
        for s in cls.sockets:
            s.close()
        cls.net.close()
        cls.files.cleanup()
        assert code == 0, f"gateway exit code {code}"

    def curl(self, side, *args):
        r = self.net.run(side, "curl", "-sS", "--max-time", "10", *args)
        return r.stdout

    def test_web_proxy_serves_ipv6_clients_and_reaches_ipv6_literals_and_names(self):
        proxy6 = f"http://[{GW_LAN6}]:{PORTS['WWW']}"
        url = f"http://[{WAN6}]:{ORIGIN_PORT}/a"
        expected = f"v6origin /a from {GW_WAN6}".encode()
        self.assertEqual(self.curl("lan", "-x", proxy6, url), expected)
        self.assertEqual(self.curl("lan", "-x", f"http://{office.GW_LAN}:3128", url), expected)
        by_name = f"http://{V6_ONLY_NAME}:{ORIGIN_PORT}/name"
        self.assertEqual(self.curl("lan", "-x", proxy6, by_name),
                         f"v6origin /name from {GW_WAN6}".encode())
        # CONNECT to a bracketed literal: the tunnel carries the client's own request.
        tunnelled = self.curl("lan", "-p", "-x", proxy6, f"http://[{WAN6}]:{TLS_PORT}/t")
        self.assertEqual(tunnelled, f"tunnelled /t from {GW_WAN6}".encode())

    def test_ipv6_deny_rule_and_own_loopback_guard(self):
        proxy6 = f"http://[{GW_LAN6}]:{PORTS['WWW']}"
        denied = self.curl("lan", "-x", proxy6, f"http://[{WAN6_DENIED}]:{ORIGIN_PORT}/")
        self.assertIn(ACCESS_DENIED, denied)
        # The same rule in another spelling of the address.
        spelled = "2001:0db8:0100:0000:0000:0000:0000:0021"
        self.assertIn(ACCESS_DENIED,
                      self.curl("lan", "-x", proxy6, f"http://[{spelled}]:{ORIGIN_PORT}/"))
        for target in ("[::1]", "[::ffff:127.0.0.1]", f"[{GW_LAN6}]"):
            answer = self.curl("lan", "-x", proxy6, f"http://{target}:{LOCAL_ORIGIN_PORT}/")
            self.assertIn(ACCESS_DENIED, answer, target)
        # A client on the gateway machine itself keeps its loopback, over IPv6 as well.
        local = self.curl("gw", "-x", f"http://[::1]:{PORTS['WWW']}",
                          f"http://[::1]:{LOCAL_ORIGIN_PORT}/own")
        self.assertEqual(local, b"loopback /own from ::1")

    def test_socks5_to_an_ipv6_literal_and_to_an_ipv6_only_name(self):
        socks6 = f"[{GW_LAN6}]:{PORTS['Socks']}"
        url = f"http://[{WAN6}]:{ORIGIN_PORT}/s"
        self.assertEqual(self.curl("lan", "--socks5", socks6, url),
                         f"v6origin /s from {GW_WAN6}".encode())
        self.assertEqual(
            self.curl("lan", "--socks5-hostname", socks6,
                      f"http://{V6_ONLY_NAME}:{ORIGIN_PORT}/h"),
            f"v6origin /h from {GW_WAN6}".encode())

    def test_ipv4_client_on_a_dual_stack_listener_is_seen_as_ipv4(self):
        # The SOCKS rule names the LAN client by its IPv4 address: it must match that client
        # when it comes over IPv4, and not when the same machine comes over IPv6.
        url = f"http://[{WAN6}]:{ORIGIN_PORT}/r"
        r = self.net.run("lan", "curl", "-sS", "--max-time", "10", "--socks5",
                         f"{office.GW_LAN}:{PORTS['Socks']}", url)
        self.assertNotEqual(r.returncode, 0)
        self.assertNotIn(b"v6origin", r.stdout)
        self.assertEqual(self.curl("lan", "--socks5", f"[{GW_LAN6}]:{PORTS['Socks']}", url),
                         f"v6origin /r from {GW_WAN6}".encode())
        log = os.path.join(self.gw.dir, "access.log")
        clients = set()
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline and not {office.LAN_CLIENT, LAN6} <= clients:
            if os.path.exists(log):
                with open(log) as f:
                    clients = {line.split(" ")[2] for line in f.read().splitlines()}
            time.sleep(0.05)
        self.assertIn(office.LAN_CLIENT, clients)
        self.assertIn(LAN6, clients)
        self.assertFalse([c for c in clients if c.startswith("::ffff:")], clients)

    def test_ipv6_client_from_the_internet_side_is_closed_without_a_byte(self):
        for port in (PORTS["WWW"], PORTS["Socks"], MAP_PORT):
            with self.net.inside("wan"):
                s = socket.create_connection((GW_WAN6, port), timeout=WAIT)
            with s:
                try:
                    self.assertEqual(s.recv(16), b"", port)
                except ConnectionResetError:
                    pass
        with self.net.inside("wan"):
            u = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
        with u:
            u.settimeout(1.5)
            u.sendto(b"u", (GW_WAN6, UDP_MAP_PORT))
            self.assertRaises(socket.timeout, u.recv, 64)

    def test_a_name_whose_ipv4_address_refuses_is_reached_at_its_ipv6_address(self):
        proxy6 = f"http://[{GW_LAN6}]:{PORTS['WWW']}"
        self.assertEqual(self.curl("lan", "-x", proxy6, f"http://{DUAL_NAME}:{ORIGIN_PORT}/d"),
                         f"v6origin /d from {GW_WAN6}".encode())
        self.assertEqual(
            self.curl("lan", "--socks5-hostname", f"[{GW_LAN6}]:{PORTS['Socks']}",
                      f"http://{DUAL_NAME}:{ORIGIN_PORT}/e"),
            f"v6origin /e from {GW_WAN6}".encode())
        with self.net.inside("lan"):
            s = connect(office.GW_LAN, DUAL_MAP_PORT)
        with s:
            s.sendall(b"dual")
            self.assertEqual(read_exact(s, 4), b"dual")

    def test_mapping_to_an_ipv6_target_for_both_families_of_client(self):
        for address in (GW_LAN6, office.GW_LAN):
            with self.net.inside("lan"):
                s = connect(address, MAP_PORT)
            with s:
                s.sendall(b"ping6")
                self.assertEqual(read_exact(s, 5), b"ping6", address)

    def test_udp_mapping_and_dns_answer_clients_of_both_families(self):
        for family, address in ((socket.AF_INET6, GW_LAN6), (socket.AF_INET, office.GW_LAN)):
            self.assertEqual(udp_exchange(self.net, family, address, UDP_MAP_PORT, b"u"),
                             b"echo:u", address)
        answer = udp_exchange(self.net, socket.AF_INET6, GW_LAN6, 53,
                              dns_query(V6_ONLY_NAME, 28))
        self.assertIsNotNone(answer)
        self.assertEqual(answer[:2], b"AB")
        self.assertIn(socket.inet_pton(socket.AF_INET6, WAN6), answer)
        answer = udp_exchange(self.net, socket.AF_INET, office.GW_LAN, 53,
                              dns_query("localhost", 1))
        self.assertIsNotNone(answer)
        self.assertIn(socket.inet_aton("127.0.0.1"), answer)


if __name__ == "__main__":
    unittest.main()
