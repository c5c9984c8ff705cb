#!/usr/bin/env python3
# Writes the seed corpora of the fuzz targets (corpus/NAME/NN), one small file per input taken
# from the unit tests' cases. Run again after adding seeds here; the files are committed.
import os
import shutil
import struct


def dns_query(name, qtype=1, opt=True):
    q = bytes([0xBE, 0xEF, 0x01, 0x20, 0, 1, 0, 0, 0, 0, 0, 1 if opt else 0])
    for label in name.split('.'):
        if label:
            q += bytes([len(label)]) + label.encode()
    q += b'\0' + struct.pack('>HH', qtype, 1)
    if opt:
        q += bytes([0, 0, 41, 0x10, 0, 0, 0, 0, 0, 0, 0])
    return q


def ra(*messages):
    return b''.join(struct.pack('>H', len(m)) + m for m in messages)


SEEDS = {
    'http_request': [
        b'GET http://host:8080/a/b HTTP/1.0\r\nHost: host\r\n\r\n',
        b'CONNECT host:443 HTTP/1.1\r\nProxy-Connection: keep-alive\r\n\r\n',
        b'POST http://h/x HTTP/1.1\r\nContent-Length: 5\r\n\r\nhelloGET http://h/ HTTP/1.1\r\n\r\n',
        b'POST http://h/x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5;x=y\r\nhello\r\n0\r\nT: 1\r\n\r\n',
        b'GET   http://h   HTTP/1.0\n'
        b'Connection: close, keep-alive\nKeep-Alive: 300\nUser-Agent: MSIE 5\n\n',
        b'POST http://h/ HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n',
    ],
    'request_head': [
        b'GET http://h/ HTTP/1.0\r\nHost: h\r\n\r\n',
        b'GET http://h/ HTTP/1.0\nHost: h\n\n',
        b'GET http://h/ HTTP/1.0\r\nHost: h\r\n',
    ],
    'host_text': [b'host:8080', b'host', b'host:0', b'host:65536', b'10.0.0.1:21', b':80', b'h:-1'],
    'response_head': [
        b'HTTP/1.0 200 OK\r\nContent-Length: 12\r\nExpires: Thu, 01 Dec 1994 16:00:00 GMT\r\n'
        b'Last-Modified: Thursday, 01-Dec-94 16:00:00 GMT\r\n\r\nhello world!',
        b'HTTP/1.1 304 Not Modified\r\nCache-Control: no-store, private\r\n\r\n',
        b'HTTP/1.1 404 Not Found\nContent-Encoding: gzip\nContent-Length: 99999999999999999999\n\n',
        b'HTTP/1.1 302 Found\r\nLocation: /x\r\n\r\n',
    ],
    'http_date': [
        b'expires: thu, 01 dec 1994 16:00:00 gmt\r\n',
        b'thu, 01 dec 1994 16:00:00',
        b'thursday, 01 dec 94 16:00:00',
        b'last-modified: thursday, 01-dec-94 16:00:00 gmt\r\n',
        b'sun nov  6 08:49:37 1994',
        b'fri, 31 dec 2100 23:59:59',
    ],
    'socks_request': [
        b'\x04\x01\x00\x50\x0a\x00\x00\x01user\x00',
        b'\x04\x01\x00\x15\x7f\x00\x00\x01\x00',
        b'\x04\x02\x00\x50\x0a\x00\x00\x01\x00',
        b'\x04\x01\x00\x50\x00\x00\x00\x01\x00host.example\x00',
        b'\x05\x01\x00\x05\x01\x00\x03\x04host\x00\x50',
    ],
    'socks5_request': [
        b'\x05\x01\x00' + b'\x05\x01\x00\x01\x7f\x00\x00\x01\x00\x50',
        b'\x05\x02\x02\x00' + b'\x05\x01\x00\x03\x0chost.example\x1f\x90',
        b'\x05\x01\x00' + b'\x05\x01\x00\x04' + bytes(15) + b'\x01\xff\xff',
        b'\x05\x01\x00' + b'\x05\x02\x00\x01\x7f\x00\x00\x01\x00\x15',
        b'\x05\x01\x00' + b'\x05\x01\x00\x09',
        b'\x05\x01\x02', b'\x05\x00', b'\x05\x01\x00\x05\x01\x00\x03\x00\x00\x01',
    ],
    'ftp_command': [
        b'USER anonymous@ftp.example.com\r\n', b'USER a@b:2121\r\n', b'USER a@b:0\r\n',
        b'PORT 10,0,0,5,4,1\r\n', b'port 127,0,0,1,255,255\r\n', b'PORT 1,2,3,4,5\r\n',
        b'RETR file\r\n', b'QUIT\r\n', b'EPRT |1|10.0.0.5|1025|\r\n', b'PASV\r\n', b'EPSV\r\n',
    ],
    'ftp_reply': [
        b'220-Welcome\r\n220-more\r\n220 ready\r\n',
        b'227 Entering Passive Mode (10,0,0,1,4,1)\r\n',
        b'229 Entering Extended Passive Mode (|||6446|)\r\n',
        b'150 Opening\r\n226 Done\r\n', b'220 ready', b'x' * 1100 + b'\r\n200 ok\r\n',
    ],
    'pop3': [b'USER account@mail.example.com\r\n', b'USER a@\r\n', b'USER @b\r\n',
             b'+OK POP3 ready\r\n', b'-ERR no\r\n', b'+OKAY\r\n'],
    'telnet_line': [b'\x10host.example\r', b'\x01exit\r', b'\x08ab\x08\x7fc\r',
                    b'\x3f' + b'a' * 600 + b'\r', b'\x05h\x00ost\r\n'],
    'realaudio': [
        ra(b'\x01', b'\x00\x00\x07', b'\x02host.example', b'\x03', b'\x06'),
        ra(b'\x02h'), ra(b'\x01', b'\x07'), ra(b'\x01', b'\x04\x00\x10', b'\x05'),
        b'\x04\x01',
    ],
    'dns_query': [
        dns_query('www.example.com'), dns_query('host', 28), dns_query('a.b', 1, False),
        dns_query('x.y', 15), dns_query('.'), bytes([0xBE, 0xEF, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xC0, 12, 0, 1, 0, 1]),
    ],
    'regedit': [
        b'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\A]\n"N"="a\\"b"\n@=""\n"D"=dword:0000000a\n',
        b'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n"B"=hex:01,ab,\\\r\n  ff\r\n"M"=hex(7):61,00\r\n',
        b'REGEDIT4\n[-HKEY_CLASSES_ROOT\\X]\n[HKLM\\Y]\n"Z"=-\n',
        b'REGEDIT4\n\n[HKEY_NOWHERE\\A]\n', b'REGEDIT4\n"x"="1"\n',
    ],
    'cache_record': [bytes(16), bytes(range(16)), b'\xff' * 16 + b'body', b'short'],
    'purge_work': [
        b'www.example.com/abc'.ljust(260, b'\0') + struct.pack('<II', 7200, 512),
        b'x' * 260 + struct.pack('<II', 1, 2) + b'h/f'.ljust(260, b'\0') + b'\0' * 8,
    ],
}

here = os.path.dirname(os.path.abspath(__file__))
for name, seeds in SEEDS.items():
    folder = os.path.join(here, 'corpus', name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for i, seed in enumerate(seeds):
        with open(os.path.join(folder, '%02d' % i), 'wb') as f:
            f.write(seed)
