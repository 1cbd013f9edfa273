#!/usr/bin/env python3
"""Checks of the test server from the Unix side, where TCP resets, TLS
certificates and abrupt clients can be observed directly (Wine blurs some of
these). Starts its own server on VELTA_TEST_PORT_BASE+5 .. +9 with fresh
certificates, so it can run next to the server of with-test-env.sh."""

import os
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
BASE = int(os.environ.get("VELTA_TEST_PORT_BASE", "18400")) + 5


def pattern(offset, n):
    return bytes((offset + i) % 251 for i in range(n))


def set_route(options, body=b""):
    description = "".join("%s %s\n" % kv for kv in options).encode("latin-1") + b"\n" + body
    status, _, _ = exchange(BASE, b"POST /__ctl/route HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                            b"Content-Length: %d\r\n\r\n" % len(description) + description)
    assert status == 200, status


def exchange(port, request, tls=None, server_hostname="localhost", timeout=10):
    """Sends one request and reads until the server closes: (status, head, body)."""
    raw = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    sock = tls.wrap_socket(raw, server_hostname=server_hostname) if tls else raw
    try:
        sock.sendall(request)
        data = b""
        while True:
            chunk = sock.recv(65536)
            if not chunk:
                break
            data += chunk
    finally:
        sock.close()
    head, _, body = data.partition(b"\r\n\r\n")
    status = int(head.split(b" ")[1]) if head.startswith(b"HTTP/") else None
    return status, head, body


def get(target, port=None, tls=None, host="localhost"):
    return exchange(port or BASE, b"GET " + target + b" HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
                    tls, host)


class ServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="velta-selftest-")
        certs = os.path.join(cls.tmp, "certs")
        subprocess.run([os.path.join(ROOT, "scripts", "gen-certs.sh"), certs], check=True)
        cls.docroot = os.path.join(cls.tmp, "site")
        os.makedirs(cls.docroot)
        with open(os.path.join(cls.docroot, "file.txt"), "wb") as f:
            f.write(b"from the docroot")
        with open(os.path.join(cls.tmp, "secret.txt"), "wb") as f:
            f.write(b"outside")
        state = os.path.join(cls.tmp, "state")
        cls.server = subprocess.Popen([sys.executable, os.path.join(HERE, "server.py"), "--base", str(BASE),
                                       "--certs", certs, "--docroot", cls.docroot, "--state", state],
                                      stdout=subprocess.PIPE)
        ready = cls.server.stdout.readline()
        assert b"ready" in ready, ready
        cls.ca = ssl.create_default_context(cafile=os.path.join(certs, "ca.pem"))

    @classmethod
    def tearDownClass(cls):
        cls.server.terminate()
        cls.server.wait(timeout=10)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def setUp(self):
        exchange(BASE, b"POST /__ctl/reset HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")

    def test_resets_are_real_tcp_resets(self):
        for options in ([("target", "/r"), ("reset_now", "1")],
                        [("target", "/r"), ("pattern", "100000"), ("reset_after", "3000")]):
            with self.subTest(options=options):
                set_route(options)
                with self.assertRaises(ConnectionResetError):
                    get(b"/r")

    def test_close_after_is_an_orderly_close_at_that_byte(self):
        set_route([("target", "/c"), ("pattern", "100000"), ("close_after", "4321")])
        status, head, body = get(b"/c")
        self.assertEqual(200, status)
        self.assertIn(b"Content-Length: 100000", head)
        self.assertEqual(pattern(0, 4321), body)

    def test_each_tls_port_presents_its_certificate(self):
        set_route([("target", "/t")], b"secure")
        self.assertEqual(b"secure", get(b"/t", BASE + 1, self.ca)[2])
        self.assertEqual(b"secure", get(b"/t", BASE + 1, self.ca, "127.0.0.1")[2])
        for port, reason in ((BASE + 2, "self-signed certificate in certificate chain"), (BASE + 3, "Hostname mismatch"),
                             (BASE + 4, "expired")):
            with self.subTest(port=port):
                with self.assertRaises(ssl.SSLCertVerificationError) as caught:
                    get(b"/t", port, self.ca)
                self.assertIn(reason, str(caught.exception))
        log = self.log(b"/t")
        self.assertEqual([(BASE + 1, b"localhost"), (BASE + 1, b"-")], [(p, sni) for p, sni, _, _, _ in log])

    def test_keep_alive_serves_several_requests_on_one_connection(self):
        set_route([("target", "/k")], b"12345")
        sock = socket.create_connection(("127.0.0.1", BASE), timeout=10)
        sock.sendall(b"GET /k HTTP/1.1\r\nHost: x\r\n\r\nHEAD /k HTTP/1.1\r\nHost: x\r\n\r\n"
                     b"GET /k HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        data = b""
        while True:
            chunk = sock.recv(65536)
            if not chunk:
                break
            data += chunk
        sock.close()
        one = b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"
        self.assertEqual(one + b"12345" + one + one + b"12345", data)

    def test_clients_that_vanish_do_not_hurt_the_server(self):
        set_route([("target", "/big"), ("pattern", "50000000")])
        set_route([("target", "/slow"), ("pattern", "1000"), ("stall_after", "10")])
        for target in (b"/big", b"/slow"):
            sock = socket.create_connection(("127.0.0.1", BASE), timeout=10)
            sock.sendall(b"GET " + target + b" HTTP/1.1\r\nHost: x\r\n\r\n")
            sock.recv(100)
            sock.close()
        # Half a request, then gone.
        sock = socket.create_connection(("127.0.0.1", BASE), timeout=10)
        sock.sendall(b"POST /up HTTP/1.1\r\nContent-Length: 100\r\n\r\nabc")
        deadline = time.monotonic() + 10
        while len(self.log(b"/up")) < 1 and time.monotonic() < deadline:
            time.sleep(0.01)
        sock.close()
        self.assertEqual(b"pong", get(b"/__ctl/ping")[2])
        [(_, _, complete, _, body)] = self.log(b"/up")
        self.assertEqual((0, b"abc"), (complete, body))

    def test_log_selects_targets_byte_exactly(self):
        for target in (b"/q?a=%41+b&c", b"/q?a=A+b&c", b"/q"):
            set_route([("target", target.decode())], b"x")
        get(b"/q?a=%41+b&c")
        get(b"/q")
        self.assertEqual([b"GET /q?a=%41+b&c HTTP/1.1"],
                         [head.split(b"\r\n")[0] for _, _, _, head, _ in self.log(b"/q?a=%41+b&c")])
        self.assertEqual(1, len(self.log(b"/q")))
        self.assertEqual(2, len(self.log(None)))

    def test_docroot_serves_files_but_not_outside_it(self):
        self.assertEqual(b"from the docroot", get(b"/file.txt")[2])
        self.assertEqual(404, get(b"/../secret.txt")[0])
        self.assertEqual(404, get(b"/%2e%2e/secret.txt")[0])

    def test_endless_body_and_chunked_pattern(self):
        set_route([("target", "/e"), ("pattern", "endless")])
        sock = socket.create_connection(("127.0.0.1", BASE), timeout=10)
        sock.sendall(b"GET /e HTTP/1.1\r\nHost: x\r\n\r\n")
        data = b""
        while len(data) < 3 * 1024 * 1024:
            data += sock.recv(1 << 20)
        sock.close()
        head, _, body = data.partition(b"\r\n\r\n")
        self.assertNotIn(b"Content-Length", head)
        self.assertEqual(pattern(0, len(body)), body)

    def test_huge_header_and_raw_answer(self):
        set_route([("target", "/h"), ("header", "X-Big: " + "a" * (1 << 20))])
        status, head, _ = get(b"/h")
        self.assertEqual(200, status)
        self.assertIn(b"X-Big: " + b"a" * (1 << 20) + b"\r\n", head + b"\r\n")
        set_route([("target", "/raw"), ("raw", "1")], b"NONSENSE\r\n")
        self.assertEqual((None, b"NONSENSE\r\n"), get(b"/raw")[:2])

    def log(self, target):
        query = b"" if target is None else b"?target=" + urllib.parse.quote(target, safe="/").encode()
        _, _, body = get(b"/__ctl/log" + query)
        records = []
        while body:
            meta, _, rest = body.partition(b"\n")
            port, sni, complete, hl, bl = meta.split(b" ")
            hl, bl = int(hl), int(bl)
            records.append((int(port), sni, int(complete), rest[:hl], rest[hl:hl + bl]))
            body = rest[hl + bl:]
        return records


if __name__ == "__main__":
    unittest.main()
