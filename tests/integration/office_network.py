"""A small office in three network namespaces joined by veth pairs.

    lan (client 192.168.77.10) -- gw (192.168.77.1 | 198.51.100.1) -- wan (198.51.100.20,
                                                                         203.0.113.20)

The gateway runs in `gw` with two addresses, one on each side; the WAN side holds servers on
TEST-NET addresses and can act as a client from the Internet. Namespace names start with the
given prefix and the process id, and are removed by close(). Needs root (ip netns).
"""
import contextlib
import ctypes
import os
import subprocess

from gateway_process import GatewayProcess

CLONE_NEWNET = 0x40000000
LAN_CLIENT = "192.168.77.10"
GW_LAN = "192.168.77.1"
GW_WAN = "198.51.100.1"
WAN_HOST = "198.51.100.20"
WAN_OTHER = "203.0.113.20"  # a second Internet address of the WAN side

_libc = ctypes.CDLL(None, use_errno=True)


def _ip(*args):
    subprocess.run(["ip", *args], check=True, capture_output=True, timeout=30)


def available():
    """True when namespaces can be made here (root and the ip tool)."""
    if os.geteuid() != 0:
        return False
    probe = subprocess.run(["ip", "netns", "list"], capture_output=True, timeout=30)
    return probe.returncode == 0


class OfficeNetwork:
    def __init__(self, prefix="openproxy"):
        tag = f"{prefix}-{os.getpid()}"
        self.ns = {side: f"{tag}-{side}" for side in ("lan", "gw", "wan")}
        self.made = []
        try:
            for name in self.ns.values():
                _ip("netns", "add", name)
                self.made.append(name)
                _ip("-n", name, "link", "set", "lo", "up")
            lan, gw, wan = self.ns["lan"], self.ns["gw"], self.ns["wan"]
            _ip("-n", lan, "link", "add", "eth0", "type", "veth", "peer", "name", "lan0",
                "netns", gw)
            _ip("-n", wan, "link", "add", "eth0", "type", "veth", "peer", "name", "wan0",
                "netns", gw)
            for ns, dev, address in ((lan, "eth0", LAN_CLIENT + "/24"), (gw, "lan0", GW_LAN + "/24"),
                                     (gw, "wan0", GW_WAN + "/24"), (wan, "eth0", WAN_HOST + "/24"),
                                     (wan, "eth0", WAN_OTHER + "/24")):
                _ip("-n", ns, "addr", "add", address, "dev", dev)
                _ip("-n", ns, "link", "set", dev, "up")
            _ip("-n", lan, "route", "add", "default", "via", GW_LAN)
            _ip("-n", wan, "route", "add", "default", "via", GW_WAN)
            _ip("-n", gw, "route", "add", "203.0.113.0/24", "via", WAN_HOST)
        except Exception:
            self.close()
            raise

    def close(self):
        for name in reversed(self.made):
            subprocess.run(["ip", "netns", "del", name], capture_output=True, timeout=30)
        self.made = []

    @contextlib.contextmanager
    def inside(self, side):
        """Runs the block's socket calls in a namespace (this thread only). Sockets made
        inside stay in that namespace after the block."""
        home = os.open("/proc/thread-self/ns/net", os.O_RDONLY)
        target = os.open(f"/run/netns/{self.ns[side]}", os.O_RDONLY)
        try:
            if _libc.setns(target, CLONE_NEWNET) != 0:
                raise OSError(ctypes.get_errno(), "setns")
            try:
                yield
            finally:
                if _libc.setns(home, CLONE_NEWNET) != 0:
                    raise OSError(ctypes.get_errno(), "setns back")
        finally:
            os.close(target)
            os.close(home)

    def run(self, side, *command, timeout=30, **kwargs):
        """Runs a program in a namespace and returns its CompletedProcess."""
        return subprocess.run(["ip", "netns", "exec", self.ns[side], *command],
                              capture_output=True, timeout=timeout, **kwargs)

    def gateway(self):
        """A GatewayProcess that starts inside the gateway namespace."""
        return GatewayProcess(wrapper=["ip", "netns", "exec", self.ns["gw"]])
