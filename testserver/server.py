#!/usr/bin/env python3
"""Scriptable loopback HTTP/HTTPS server for the Windows tests.

One process listens on five loopback ports counted from --base:
  base+0  plain HTTP; also carries the control API under /__ctl/
  base+1  HTTPS, certificate for localhost/127.0.0.1 from the trusted test CA
  base+2  HTTPS, certificate from a CA the Wine prefix does not trust
  base+3  HTTPS, trusted CA but issued for another host name
  base+4  HTTPS, trusted CA but expired
  base+5  never accepts a connection: a listener with a backlog of 0 whose
          queue the server filled itself, so further connection requests are
          dropped (as behind a firewall that drops packets)
  base+6  accepts and reads, never sends a byte: over TLS the handshake never
          comes, over plain HTTP the answer never does
All ports serve the same routes. Any port but base+0 can be switched to the
behaviour of base+5 or base+6 for a while (/__ctl/listen); a reset puts every
port back. The wire format of the control API is
described in tests/README.md; tests/support/TestServer.cpp is its client.

The server has to survive every misbehaving client the tests produce
(aborted downloads, resets, half-sent requests), so each connection runs in
its own daemon thread and every socket error ends only that connection.
"""

import argparse
import fcntl
import os
import select
import socket
import ssl
import struct
import sys
import termios
import threading
import time
import urllib.parse

PATTERN_PERIOD = 251
# A whole number of pattern periods close to 1 MiB, so that any slice of the
# stream starts at a known phase and large bodies go out in big sendall calls.
PATTERN_BLOCK = bytes(i % PATTERN_PERIOD for i in range(PATTERN_PERIOD * 4177))
PATTERN_BLOCK2 = PATTERN_BLOCK * 2

MAX_HEAD = 4 * 1024 * 1024  # request heads are small; 4 MiB bounds a runaway client


class ClientGone(Exception):
    """The peer closed or reset the connection; end it quietly."""


class Route:
    """How to answer one request target. Built from the control API text."""

    def __init__(self):
        self.status = 200
        self.reason = None
        self.headers = []          # (name, value) in order; override automatic ones
        self.remove = set()        # lower-case names of automatic headers to drop
        self.length = "auto"       # auto | none | literal text
        self.body = b""
        self.pattern = None        # int size, or -1 for endless
        self.chunked = None        # None | "valid" | "broken"
        self.chunk_size = 65536
        self.delay_status_ms = 0
        self.delay_headers_ms = 0
        self.chunk_delay_ms = 0
        self.rate = 0              # body bytes per second, 0 = unlimited
        self.close_after = None    # close after N body bytes
        self.reset_after = None    # RST after N body bytes
        self.stall_after = None    # hang after N body bytes
        self.reset_now = False     # RST before any response byte
        self.drop = False          # close before any response byte
        self.raw = False           # body is the whole response, sent verbatim
        self.close = False         # answer with Connection: close

    @staticmethod
    def parse(text_and_body):
        """Options are 'key value' lines, a blank line, then the body bytes."""
        sep = text_and_body.find(b"\n\n")
        if sep < 0:
            head, body = text_and_body, b""
        else:
            head, body = text_and_body[:sep], text_and_body[sep + 2:]
        route = Route()
        route.body = body
        target = None
        for raw_line in head.split(b"\n"):
            line = raw_line.rstrip(b"\r")
            if not line:
                continue
            key, _, value = line.partition(b" ")
            key = key.decode("ascii")
            if key == "target":
                target = value
            elif key == "status":
                route.status = int(value)
            elif key == "reason":
                route.reason = value
            elif key == "header":
                name, _, hval = value.partition(b":")
                route.headers.append((name.strip(), hval.lstrip(b" ")))
            elif key == "noheader":
                route.remove.add(value.strip().lower())
            elif key == "length":
                route.length = value.decode("latin-1")
            elif key == "pattern":
                route.pattern = -1 if value == b"endless" else int(value)
            elif key == "chunked":
                route.chunked = value.decode("ascii") or "valid"
                if route.chunked not in ("valid", "broken"):
                    raise ValueError("chunked must be valid or broken")
            elif key == "chunk_size":
                route.chunk_size = max(1, int(value))
            elif key in ("delay_status_ms", "delay_headers_ms", "chunk_delay_ms",
                         "rate", "close_after", "reset_after", "stall_after"):
                setattr(route, key, int(value))
            elif key in ("reset_now", "drop", "raw", "close"):
                setattr(route, key, value.strip() not in (b"", b"0"))
            else:
                raise ValueError("unknown route option " + key)
        if target is None:
            raise ValueError("route without target")
        return target, route


class Record:
    __slots__ = ("port", "sni", "head", "body", "complete")

    def __init__(self, port, sni, head):
        self.port = port
        self.sni = sni
        self.head = head
        self.body = bytearray()
        self.complete = False


class State:
    """Routes and the request log, shared by all connection threads."""

    def __init__(self):
        self.lock = threading.Lock()
        self.routes = {}
        self.log = []  # (target, Record) in arrival order
        # Whole route tables kept aside by number ("stages" of a site being
        # published), and the requests that put one in place when they
        # arrive, in order: a test moves the site on at a chosen moment of a
        # client's run without racing it.
        self.stages = {}
        self.switches = []  # (target, stage)
        # Replaced on every reset: delays and stalls wait on it, so a reset
        # releases every connection that is still parked in a route.
        self.released = threading.Event()
        self.held = 0  # connections accepted by silent listeners since the reset

    def reset(self):
        with self.lock:
            self.routes.clear()
            self.log.clear()
            self.held = 0
            self.stages.clear()
            self.switches.clear()
            old, self.released = self.released, threading.Event()
        old.set()

    def hold(self):
        """Counts one held connection; returns the event that releases it."""
        with self.lock:
            self.held += 1
            return self.released

    def set_route(self, target, route):
        with self.lock:
            self.routes[target] = route

    def set_stage_route(self, stage, target, route):
        with self.lock:
            self.stages.setdefault(stage, {})[target] = route

    def switch_to(self, stage):
        with self.lock:
            self.routes = dict(self.stages.get(stage, {}))

    def switch_when_requested(self, target, stage):
        with self.lock:
            self.switches.append((target, stage))

    def route_for(self, target):
        """The route that answers this request. When the request is the one
        the next switch waits for, the switch follows at once: this request
        is still answered as before, every later one by the new table."""
        with self.lock:
            route = self.routes.get(target)
            if self.switches and self.switches[0][0] == target:
                _, stage = self.switches.pop(0)
                self.routes = dict(self.stages.get(stage, {}))
            return route, self.released

    def add_record(self, target, record):
        with self.lock:
            self.log.append((target, record))

    def records(self, target):
        with self.lock:
            return [(r.port, r.sni, bytes(r.head), bytes(r.body), r.complete)
                    for t, r in self.log if target is None or t == target]


class Connection:
    def __init__(self, server, sock, port, tls_ctx):
        self.server = server
        self.state = server.state
        self.sock = sock
        self.port = port
        self.tls_ctx = tls_ctx
        self.sni = None
        self.buf = b""

    # ---- socket primitives -------------------------------------------------
    def recv_some(self):
        try:
            data = self.sock.recv(65536)
        except (OSError, ssl.SSLError) as exc:
            raise ClientGone() from exc
        if not data:
            raise ClientGone()
        return data

    def send(self, data):
        try:
            self.sock.sendall(data)
        except (OSError, ssl.SSLError) as exc:
            raise ClientGone() from exc

    def unacked_bytes(self):
        try:
            buf = fcntl.ioctl(self.sock.fileno(), termios.TIOCOUTQ, b"\0\0\0\0")
            return struct.unpack("i", buf)[0]
        except OSError:
            return 0

    def reset(self, flush=False):
        # An RST throws away whatever still sits in our send queue, so a reset
        # "after N bytes" first waits (bounded) until the peer has acknowledged
        # them; otherwise the client would see fewer bytes than scripted.
        if flush:
            deadline = time.monotonic() + 5.0
            while self.unacked_bytes() > 0 and time.monotonic() < deadline:
                time.sleep(0.002)
        # SO_LINGER with a zero timeout turns close() into an RST.
        try:
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            pass
        self.close()

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass

    def wait_released(self, released, ms):
        """Waits up to ms (None = forever) for a reset, or until the peer goes."""
        deadline = None if ms is None else time.monotonic() + ms / 1000.0
        while True:
            if released.is_set() or self.server.stopping.is_set():
                return
            left = 0.25 if deadline is None else min(0.25, deadline - time.monotonic())
            if left <= 0:
                return
            try:
                readable, _, _ = select.select([self.sock], [], [], left)
            except (OSError, ValueError) as exc:
                raise ClientGone() from exc
            if readable:
                # A parked connection only notices its client leaving by reading;
                # any bytes of a pipelined next request are kept for later.
                try:
                    data = self.sock.recv(65536)
                except ssl.SSLWantReadError:
                    continue
                except (OSError, ssl.SSLError) as exc:
                    raise ClientGone() from exc
                if not data:
                    raise ClientGone()
                self.buf += data

    # ---- request side ------------------------------------------------------
    def read_head(self):
        while True:
            end = self.buf.find(b"\r\n\r\n")
            if end >= 0:
                head, self.buf = self.buf[:end + 4], self.buf[end + 4:]
                return head
            if len(self.buf) > MAX_HEAD:
                raise ClientGone()
            if not self.buf:
                try:
                    data = self.sock.recv(65536)
                except (OSError, ssl.SSLError) as exc:
                    raise ClientGone() from exc
                if not data:
                    return None  # clean end between requests
                self.buf += data
            else:
                self.buf += self.recv_some()

    def take(self, n):
        while len(self.buf) < n:
            self.buf += self.recv_some()
        data, self.buf = self.buf[:n], self.buf[n:]
        return data

    def read_line(self):
        while True:
            end = self.buf.find(b"\r\n")
            if end >= 0:
                line, self.buf = self.buf[:end + 2], self.buf[end + 2:]
                return line
            if len(self.buf) > MAX_HEAD:
                raise ClientGone()
            self.buf += self.recv_some()

    def read_body(self, headers, record):
        """Appends the request body, raw as sent, to the record as it arrives."""
        te = headers.get(b"transfer-encoding", b"").lower()
        if b"chunked" in te:
            while True:
                line = self.read_line()
                record.body += line
                size = int(line.split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while True:
                        trailer = self.read_line()
                        record.body += trailer
                        if trailer == b"\r\n":
                            return
                data = self.take(size + 2)
                record.body += data
        length = headers.get(b"content-length")
        if length is None:
            return
        left = int(length)
        while left > 0:
            if not self.buf:
                self.buf = self.recv_some()
            piece = self.buf[:left]
            self.buf = self.buf[len(piece):]
            record.body += piece
            left -= len(piece)

    # ---- main loop ---------------------------------------------------------
    def run_silent(self, released):
        """Reads whatever comes and answers nothing until a reset or the peer goes."""
        try:
            self.wait_released(released, None)
        except ClientGone:
            pass
        finally:
            self.close()

    def run(self):
        try:
            if self.tls_ctx is not None:
                self.sock.settimeout(30)
                self.sock = self.tls_ctx.wrap_socket(self.sock, server_side=True)
                self.sock.settimeout(None)
                self.sni = getattr(self.sock, "velta_sni", None)
            while not self.server.stopping.is_set():
                if not self.handle_one():
                    break
        except ClientGone:
            pass
        except (OSError, ssl.SSLError, ValueError):
            pass
        finally:
            self.close()

    def handle_one(self):
        head = self.read_head()
        if head is None:
            return False
        lines = head[:-4].split(b"\r\n")
        parts = lines[0].split(b" ")
        if len(parts) != 3:
            self.send(b"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            return False
        method, target, version = parts
        headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(b":")
            headers[name.strip().lower()] = value.strip()
        record = Record(self.port, self.sni, head)
        is_control = target.startswith(b"/__ctl/") and self.tls_ctx is None
        if not is_control:
            self.state.add_record(target, record)
        self.read_body(headers, record)
        record.complete = True
        keep = version == b"HTTP/1.1" and headers.get(b"connection", b"").lower() != b"close"
        if is_control:
            return self.control(method, target, bytes(record.body)) and keep
        route, released = self.state.route_for(target)
        if route is None:
            return self.fallback(method, target) and keep
        return self.answer(route, released, method == b"HEAD") and keep

    # ---- answers -----------------------------------------------------------
    def simple(self, status, reason, body, ctype=b"text/plain", close=False):
        head = b"HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %d\r\n" % (
            status, reason, ctype, len(body))
        if close:
            head += b"Connection: close\r\n"
        self.send(head + b"\r\n" + body)
        return not close

    def fallback(self, method, target):
        docroot = self.server.docroot
        if docroot and method in (b"GET", b"HEAD"):
            path = urllib.parse.unquote_to_bytes(target.split(b"?")[0]).decode("utf-8", "replace")
            full = os.path.realpath(os.path.join(docroot, path.lstrip("/")))
            if full.startswith(docroot + os.sep) and os.path.isfile(full):
                with open(full, "rb") as f:
                    data = f.read()
                head = b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(data)
                self.send(head if method == b"HEAD" else head + data)
                return True
        return self.simple(404, b"Not Found", b"no route for " + target + b"\n")

    def answer(self, route, released, is_head):
        if route.reset_now:
            self.reset()
            return False
        if route.drop:
            self.close()
            return False
        if route.delay_status_ms:
            self.wait_released(released, route.delay_status_ms)
        if route.raw:
            return self.send_body(route, released, route.body, len(route.body), False) and False

        if route.pattern is None:
            size = len(route.body)
        else:
            size = route.pattern
        closing = route.close or route.length == "none" and route.chunked is None
        reason = route.reason
        if reason is None:
            reason = REASONS.get(route.status, b"Status")
        auto = []
        if route.chunked is not None:
            auto.append((b"Transfer-Encoding", b"chunked"))
        elif route.length == "auto":
            if size >= 0:
                auto.append((b"Content-Length", b"%d" % size))
            else:
                closing = True
        elif route.length != "none":
            auto.append((b"Content-Length", route.length.encode("latin-1")))
        if closing:
            auto.append((b"Connection", b"close"))
        overridden = {name.lower() for name, _ in route.headers} | route.remove
        lines = [b"HTTP/1.1 %d %s\r\n" % (route.status, reason)]
        lines += [b"%s: %s\r\n" % kv for kv in auto if kv[0].lower() not in overridden]
        lines += [b"%s: %s\r\n" % kv for kv in route.headers]
        lines.append(b"\r\n")
        self.send(b"".join(lines))
        if route.delay_headers_ms:
            self.wait_released(released, route.delay_headers_ms)
        if is_head:
            return not closing
        if not self.send_body(route, released, route.body if route.pattern is None else None,
                              size, route.chunked is not None):
            return False
        return not closing

    def send_body(self, route, released, data, size, chunked):
        """Sends size bytes (-1 endless) of data or of the pattern, applying the
        route's pacing and its close/reset/stall point. False ends the connection."""
        cut = None
        cut_kind = None
        for kind in ("close_after", "reset_after", "stall_after"):
            value = getattr(route, kind)
            if value is not None and (cut is None or value < cut):
                cut, cut_kind = value, kind
        piece = route.chunk_size if (chunked or route.chunk_delay_ms) else 1 << 20
        if route.rate:
            piece = max(1, min(piece, route.rate // 20 or 1))
        sent = 0
        started = time.monotonic()
        first = True
        while size < 0 or sent < size:
            if self.server.stopping.is_set():
                return False
            n = piece if size < 0 else min(piece, size - sent)
            if cut is not None:
                n = min(n, cut - sent)
                if n <= 0:
                    break
            if data is not None:
                chunk = data[sent:sent + n]
            else:
                phase = sent % PATTERN_PERIOD
                chunk = PATTERN_BLOCK2[phase:phase + n] if n <= len(PATTERN_BLOCK) else \
                    pattern_bytes(sent, n)
            if route.chunk_delay_ms and not first:
                self.wait_released(released, route.chunk_delay_ms)
            first = False
            if chunked:
                self.send(b"%x\r\n" % len(chunk) + chunk + b"\r\n")
                if route.chunked == "broken":
                    # One good chunk, then a size line that is not hex.
                    self.send(b"zz\r\nthis is not a chunk\r\n")
                    self.close()
                    return False
            else:
                self.send(chunk)
            sent += len(chunk)
            if route.rate:
                ahead = sent / route.rate - (time.monotonic() - started)
                if ahead > 0:
                    self.wait_released(released, ahead * 1000.0)
        if cut is not None and sent >= cut:
            if cut_kind == "close_after":
                self.close()
            elif cut_kind == "reset_after":
                self.reset(flush=True)
            else:
                self.wait_released(released, None)
                self.close()
            return False
        if chunked:
            self.send(b"0\r\n\r\n")
        return True

    # ---- control API -------------------------------------------------------
    def control(self, method, target, body):
        path, _, query = target.partition(b"?")
        # Decoded once and byte-exact ('+' stays '+'): the value is a request
        # target that may itself hold %-escapes and '+'.
        want = None
        stage = None
        for pair in query.split(b"&"):
            if pair.startswith(b"target="):
                want = urllib.parse.unquote_to_bytes(pair[len(b"target="):])
            elif pair.startswith(b"stage="):
                stage = int(pair[len(b"stage="):])
        try:
            if path == b"/__ctl/ping":
                return self.simple(200, b"OK", b"pong")
            if path == b"/__ctl/reset":
                self.state.reset()
                self.server.restore_modes()
                return self.simple(200, b"OK", b"reset")
            if path == b"/__ctl/route" and method == b"POST":
                route_target, route = Route.parse(body)
                if stage is None:
                    self.state.set_route(route_target, route)
                else:
                    self.state.set_stage_route(stage, route_target, route)
                return self.simple(200, b"OK", b"route " + route_target)
            if path == b"/__ctl/held":
                return self.simple(200, b"OK", b"%d" % self.state.held)
            if path == b"/__ctl/listen":
                args = urllib.parse.parse_qs(query.decode("ascii"))
                self.server.set_mode(int(args["port"][0]), args["mode"][0])
                return self.simple(200, b"OK", b"listening")
            if path == b"/__ctl/stage" and stage is not None:
                if want is None:
                    self.state.switch_to(stage)
                else:
                    self.state.switch_when_requested(want, stage)
                return self.simple(200, b"OK", b"stage %d" % stage)
            if path == b"/__ctl/count":
                return self.simple(200, b"OK", b"%d" % len(self.state.records(want)))
            if path == b"/__ctl/log":
                out = []
                for port, sni, head, rbody, complete in self.state.records(want):
                    out.append(b"%d %s %d %d %d\n" % (port, (sni or "-").encode("ascii"),
                                                       1 if complete else 0, len(head), len(rbody)))
                    out.append(head)
                    out.append(rbody)
                return self.simple(200, b"OK", b"".join(out), b"application/octet-stream")
        except (ValueError, KeyError) as exc:
            return self.simple(400, b"Bad Request", str(exc).encode("utf-8", "replace"))
        return self.simple(404, b"Not Found", b"unknown control call")


def pattern_bytes(offset, n):
    phase = offset % PATTERN_PERIOD
    reps = (phase + n) // len(PATTERN_BLOCK) + 1
    return (PATTERN_BLOCK * reps)[phase:phase + n]


REASONS = {
    200: b"OK", 201: b"Created", 204: b"No Content", 206: b"Partial Content",
    301: b"Moved Permanently", 302: b"Found", 303: b"See Other", 304: b"Not Modified",
    307: b"Temporary Redirect", 308: b"Permanent Redirect", 400: b"Bad Request",
    401: b"Unauthorized", 403: b"Forbidden", 404: b"Not Found", 500: b"Internal Server Error",
    502: b"Bad Gateway", 503: b"Service Unavailable",
}


MODES = ("normal", "silent", "unaccepted")


class Listener:
    """One port and how it treats connections: answers them (normal), holds
    them without a byte (silent), or never accepts them (unaccepted)."""

    def __init__(self, port, tls_ctx, mode):
        self.port = port
        self.tls_ctx = tls_ctx
        self.default = mode
        self.lock = threading.Lock()
        self.mode = None
        self.sock = None
        self.fillers = []
        self.switch(mode)

    def switch(self, mode):
        if mode not in MODES:
            raise ValueError("mode must be one of " + ", ".join(MODES))
        with self.lock:
            if self.sock is not None and mode == self.mode:
                return
            # The accept loop may be inside select() on the old listener,
            # which keeps it listening past a bare close: shut it down first.
            for s in [self.sock] + self.fillers:
                if s is not None:
                    try:
                        s.shutdown(socket.SHUT_RDWR)
                    except OSError:
                        pass
                    s.close()
            self.fillers = []
            self.sock = None
            if mode == "unaccepted":
                self.sock = self.full_listener()
            else:
                self.sock = socket.create_server(("127.0.0.1", self.port), backlog=128)
            self.mode = mode

    def full_listener(self):
        """A listener with a backlog of 0 whose queue is filled by connections
        of our own that are never accepted: Linux then drops every further
        connection request, so a client's connect waits for its own limit."""
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.bind(("127.0.0.1", self.port))
        sock.listen(0)
        for _ in range(8):
            filler = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            filler.setblocking(False)
            filler.connect_ex(("127.0.0.1", self.port))
            _, writable, _ = select.select([], [filler], [], 0.3)
            if not writable or filler.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR) != 0:
                filler.close()
                break
            self.fillers.append(filler)
        return sock

    def current(self):
        with self.lock:
            return self.sock, self.mode


class Server:
    def __init__(self, base, certs, docroot):
        self.state = State()
        self.stopping = threading.Event()
        self.docroot = os.path.realpath(docroot) if docroot else None
        self.listeners = []
        plan = [(base, None, "normal")]
        if certs:
            for offset, name in ((1, "localhost"), (2, "untrusted"), (3, "wronghost"), (4, "expired")):
                plan.append((base + offset, self.tls_context(certs, name), "normal"))
        plan.append((base + 5, None, "unaccepted"))
        plan.append((base + 6, None, "silent"))
        for port, ctx, mode in plan:
            self.listeners.append(Listener(port, ctx, mode))
        self.base = base

    @staticmethod
    def tls_context(certs, name):
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.minimum_version = ssl.TLSVersion.TLSv1_2
        ctx.load_cert_chain(os.path.join(certs, name + ".pem"), os.path.join(certs, name + ".key"))

        def remember_sni(sslsock, server_name, _ctx):
            sslsock.velta_sni = server_name
        ctx.sni_callback = remember_sni
        return ctx

    def set_mode(self, offset, mode):
        """Switches the port base+offset; the control port keeps answering."""
        matches = [l for l in self.listeners if l.port == self.base + offset]
        if offset == 0 or not matches:
            raise ValueError("no such port to switch: %d" % offset)
        matches[0].switch(mode)

    def restore_modes(self):
        for listener in self.listeners:
            listener.switch(listener.default)

    def serve(self):
        threads = []
        for listener in self.listeners:
            t = threading.Thread(target=self.accept_loop, args=(listener,), daemon=True)
            t.start()
            threads.append(t)
        return threads

    def accept_loop(self, listener):
        while not self.stopping.is_set():
            sock, mode = listener.current()
            if mode == "unaccepted":
                time.sleep(0.1)
                continue
            try:
                readable, _, _ = select.select([sock], [], [], 0.25)
                if not readable:
                    continue
                conn, _ = sock.accept()
                conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            except (OSError, ValueError, TypeError):
                continue  # switched while we waited, or the client left: go on
            if mode == "silent":
                worker = Connection(self, conn, listener.port, None)
                threading.Thread(target=worker.run_silent, args=(self.state.hold(),),
                                 daemon=True).start()
            else:
                worker = Connection(self, conn, listener.port, listener.tls_ctx)
                threading.Thread(target=worker.run, daemon=True).start()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--base", type=int, default=int(os.environ.get("VELTA_TEST_PORT_BASE", "18400")))
    parser.add_argument("--certs", help="folder made by scripts/gen-certs.sh; without it only base+0, +5 and +6 listen")
    parser.add_argument("--docroot", help="files served when no route matches")
    parser.add_argument("--state", help="file to write ports and pid to once listening")
    args = parser.parse_args()
    try:
        server = Server(args.base, args.certs, args.docroot)
    except OSError as exc:
        print("testserver: cannot listen from port %d: %s" % (args.base, exc), file=sys.stderr)
        return 2
    server.serve()
    if args.state:
        tmp = args.state + ".tmp"
        with open(tmp, "w") as f:
            f.write("pid=%d\n" % os.getpid())
            f.write("base=%d\n" % args.base)
            names = ["http", "https", "https_untrusted", "https_wronghost", "https_expired",
                     "unaccepted", "silent"]
            if not args.certs:
                names = ["http", "unaccepted", "silent"]
            for listener, name in zip(server.listeners, names):
                f.write("%s=%d\n" % (name, listener.port))
        os.replace(tmp, args.state)
    print("testserver ready on 127.0.0.1:%d-%d" % (args.base, server.listeners[-1].port), flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass
    server.stopping.set()
    return 0


if __name__ == "__main__":
    import signal
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    sys.exit(main())
