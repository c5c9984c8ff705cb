"""Puts the calling process (and so every server, client and gateway it starts) into a network
namespace of its own with only loopback up (127.0.0.1 and OWN_ADDRESS), and a mount namespace
whose hosts file, resolver settings and name-service switch are the test's: names not in the
hosts file fail at once, because the resolver's address has no route. Nothing a test does
reaches the machine's network.

Used two ways: `enter()` from a test module before it starts any thread (gateway_process does this
at import), or as a launcher: `private_network.py COMMAND ARGS...` runs COMMAND inside and
returns its exit code.
"""
import atexit
import ctypes
import fcntl
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile

HOSTS = "127.0.0.1 localhost\n::1 localhost\n"
# The machine's own address besides loopback, as a gateway has one on its LAN. A /32 on lo:
# it adds no route, so nothing but this address is reachable through it.
OWN_ADDRESS = "10.77.0.1"
# 192.0.2.0/24 is reserved for documentation; in a namespace with only loopback it has no route.
RESOLV = "nameserver 192.0.2.53\noptions timeout:1 attempts:1\n"
NSSWITCH = "hosts: files dns\n"
MARK = "WAYFARER_PRIVATE_NETWORK"
# The network namespace the first enter() left (the machine's, as far as the tests know).
OUTSIDE = "WAYFARER_OUTSIDE_NETWORK"

_CLONE_NEWNS = 0x00020000
_CLONE_NEWUSER = 0x10000000
_CLONE_NEWNET = 0x40000000
_MS_BIND = 4096
_MS_REC = 16384
_MS_PRIVATE = 1 << 18
_MNT_DETACH = 2
_SIOCGIFFLAGS = 0x8913
_SIOCSIFFLAGS = 0x8914
_IFF_UP = 1

_libc = ctypes.CDLL(None, use_errno=True)


def _fail(what):
    err = ctypes.get_errno()
    raise OSError(err, f"private network: {what}: {os.strerror(err)}")


def _unshare():
    if _libc.unshare(_CLONE_NEWNET | _CLONE_NEWNS) == 0:
        return
    if ctypes.get_errno() != 1:  # anything but EPERM is a real fault
        _fail("unshare")
    # Not root: a user namespace of our own makes us root over the new namespaces.
    uid, gid = os.getuid(), os.getgid()
    if _libc.unshare(_CLONE_NEWUSER | _CLONE_NEWNET | _CLONE_NEWNS) != 0:
        _fail("unshare with a user namespace")
    with open("/proc/self/setgroups", "w") as f:
        f.write("deny")
    with open("/proc/self/uid_map", "w") as f:
        f.write(f"0 {uid} 1")
    with open("/proc/self/gid_map", "w") as f:
        f.write(f"0 {gid} 1")


def _loopback_up():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        request = struct.pack("16sh14x", b"lo", 0)
        flags = struct.unpack("16sh14x", fcntl.ioctl(s, _SIOCGIFFLAGS, request))[1]
        fcntl.ioctl(s, _SIOCSIFFLAGS, struct.pack("16sh14x", b"lo", flags | _IFF_UP))


def bind_file(text, target, directory):
    """Mounts a file holding text over target (in this mount namespace only)."""
    path = os.path.join(directory, os.path.basename(target))
    with open(path, "w") as f:
        f.write(text)
    if _libc.mount(path.encode(), target.encode(), None, _MS_BIND, None) != 0:
        _fail("bind " + target)


def enter():
    """Moves this process into its private namespaces; call before any thread starts.

    A second call in the same process, or in a child that inherited the namespaces, does
    nothing. Raises OSError when no namespace can be made: a test must never fall back to the
    machine's network.
    """
    if os.environ.get(MARK) == _namespace_id():
        return
    os.environ.setdefault(OUTSIDE, _namespace_id())
    _unshare()
    if _libc.mount(b"none", b"/", None, _MS_REC | _MS_PRIVATE, None) != 0:
        _fail("make / private")
    _loopback_up()
    subprocess.run(["ip", "addr", "add", OWN_ADDRESS + "/32", "dev", "lo"], check=True,
                   capture_output=True, timeout=30)
    directory = tempfile.mkdtemp(prefix="wayfarer-netns-")
    for text, target in ((HOSTS, "/etc/hosts"), (RESOLV, "/etc/resolv.conf"),
                         (NSSWITCH, "/etc/nsswitch.conf")):
        bind_file(text, target, directory)
    # The files stay while the process lives: a nested namespace may bind over them again,
    # which a deleted file would refuse.
    atexit.register(_remove, directory)
    os.environ[MARK] = _namespace_id()


def _remove(directory):
    """Takes every mount off the bound files (a test may have stacked its own on them, which
    makes ours busy), then deletes them."""
    for target in ("/etc/hosts", "/etc/resolv.conf", "/etc/nsswitch.conf"):
        for _ in range(16):  # bounded: each call takes one mount off the stack
            if _libc.umount2(target.encode(), _MNT_DETACH) != 0:
                break
    shutil.rmtree(directory, True)


def _namespace_id():
    return os.readlink("/proc/self/ns/net")


def inside(pid="self"):
    """True when process pid runs in a network namespace this module made."""
    return os.environ.get(MARK) == os.readlink(f"/proc/{pid}/ns/net")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: private_network.py COMMAND [ARGS...]")
    enter()
    sys.exit(subprocess.call(sys.argv[1:]))
