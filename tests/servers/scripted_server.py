#!/usr/bin/env python3
"""A scripted HTTP/1.x server for the test suite (standard library only).

It listens on 127.0.0.1 on two ports the system chooses and prints them on
stdout once both are listening, as the lines "port <http port>", "control
<control port>" and "ready" (the answer of tests/launcher/server_launcher.py).

The HTTP port answers every request with a script of steps that a test sent
over the control port beforehand, and records each request exactly as it came
(request line, raw header lines in order, body, TCP connection number).

Control protocol: one TCP connection per command. The client sends fields and
then shuts down its sending side; the server answers with fields and closes.
A field is "<name> <length>\n<length bytes>\n", so any byte may be carried.

Commands (field "cmd"):
  answer   path, then steps: the standing answer for that path
  enqueue  path, then steps: used once, before any standing answer
  auth     path, scheme (basic|digest), user, password, realm, proxy (0|1):
           requests to path without valid credentials get a 401 (or 407)
  received -> "requests" (the count), then for each request: "request" then its fields
  clear    forget the recorded requests
  count    -> "requests" and "connections"

  greet    bytes: sent to every new connection as soon as it is accepted,
           then the connection is closed without reading a request (a
           server that is not what the client expects); empty bytes: off

Steps: "head" bytes (always sent), "body" bytes (not sent to HEAD requests),
"sleep" milliseconds, "close" (orderly close), "reset" (close with RST),
"pace" "<bytes> <milliseconds>" (the sends after it go out that many bytes at
a time with that pause after each piece).
A script that ends without close or reset keeps the connection for the next
request, unless the request asked for the connection to be closed.
"Expect: 100-continue" is not answered by itself: a test that wants the
100 scripts it as an interim answer. Paths are matched against the whole target, then the target without
its query, then "*".
"""

import base64
import collections
import hashlib
import os
import re
import secrets
import socket
import struct
import sys
import threading
import time

MAX_HEAD = 4 * 1024 * 1024
IDLE_SECONDS = 120


class Closed(Exception):
    pass


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.standing = {}
        self.queued = collections.defaultdict(collections.deque)
        self.auth = {}
        self.nonces = set()
        self.requests = []
        self.connections = 0
        self.greeting = b""

    def next_connection(self):
        with self.lock:
            self.connections += 1
            return self.connections

    def steps_for(self, target):
        path = target.split("?", 1)[0]
        with self.lock:
            for key in (target, path, "*"):
                if self.queued[key]:
                    return self.queued[key].popleft()
                if key in self.standing:
                    return self.standing[key]
        body = b"no answer scripted for " + target.encode("latin-1", "replace")
        return [("head", b"HTTP/1.1 404 Not Found\r\nContent-Length: %d\r\n\r\n" % len(body)), ("body", body)]

    def auth_rule(self, target):
        path = target.split("?", 1)[0]
        with self.lock:
            return self.auth.get(target) or self.auth.get(path)


STATE = State()


# ---- field encoding shared by both directions of the control channel ----

def encode_fields(fields):
    out = bytearray()
    for name, value in fields:
        if isinstance(value, str):
            value = value.encode("latin-1")
        out += b"%s %d\n" % (name.encode(), len(value)) + value + b"\n"
    return bytes(out)


def decode_fields(data):
    fields = []
    pos = 0
    while pos < len(data):
        eol = data.index(b"\n", pos)
        name, length = data[pos:eol].split(b" ")
        start = eol + 1
        end = start + int(length)
        fields.append((name.decode(), data[start:end]))
        pos = end + 1
    return fields


# ---- reading requests ----

class Reader:
    # A bytearray grows in place: request bodies of many megabytes arrive in
    # thousands of pieces, and re-copying the whole buffer per piece would
    # make the server crawl.
    def __init__(self, sock):
        self.sock = sock
        self.buf = bytearray()

    def fill(self):
        chunk = self.sock.recv(262144)
        if not chunk:
            raise Closed()
        self.buf += chunk

    def take(self, n, skip=0):
        out = bytes(memoryview(self.buf)[:n])
        del self.buf[:n + skip]
        return out

    def until(self, marker, limit):
        start = 0
        while True:
            idx = self.buf.find(marker, start)
            if idx >= 0:
                return self.take(idx, len(marker))
            if len(self.buf) > limit:
                raise Closed()
            start = max(0, len(self.buf) - len(marker) + 1)
            self.fill()

    def exactly(self, n):
        while len(self.buf) < n:
            self.fill()
        return self.take(n)


def header_value(lines, name):
    wanted = name.lower().encode("latin-1")
    for line in lines:
        key, _, value = line.partition(b":")
        if key.strip().lower() == wanted:
            return value.strip()
    return None


def read_head(reader):
    while reader.buf.startswith(b"\r\n"):
        del reader.buf[:2]
    head = reader.until(b"\r\n\r\n", MAX_HEAD)
    lines = head.split(b"\r\n")
    parts = lines[0].split(b" ")
    method = parts[0] if parts else b""
    target = parts[1] if len(parts) > 1 else b""
    version = parts[2] if len(parts) > 2 else b""
    return {"method": method, "target": target, "version": version, "headers": lines[1:]}


def read_body(reader, request):
    headers = request["headers"]
    chunked = False
    te = header_value(headers, "transfer-encoding")
    if te is not None and b"chunked" in te.lower():
        chunked = True
        body = bytearray()
        while True:
            size_line = reader.until(b"\r\n", 1024)
            size = int(size_line.split(b";")[0].strip() or b"0", 16)
            if size == 0:
                while reader.until(b"\r\n", MAX_HEAD):
                    pass  # trailer lines
                break
            body += reader.exactly(size)
            reader.exactly(2)
        body = bytes(body)
    else:
        length = header_value(headers, "content-length")
        body = reader.exactly(int(length)) if length and length.isdigit() else b""
    request["body"] = body
    request["chunked"] = chunked


# ---- credentials ----

AUTH_PARAM = re.compile(r'\s*([A-Za-z0-9_-]+)\s*=\s*("((?:[^"\\]|\\.)*)"|[^,\s]*)\s*,?')


def parse_auth_params(text):
    params = {}
    for match in AUTH_PARAM.finditer(text):
        quoted = match.group(3)
        params[match.group(1).lower()] = quoted if quoted is not None else match.group(2)
    return params


def md5(text):
    return hashlib.md5(text.encode("latin-1")).hexdigest()


def check_credentials(rule, request):
    header = "proxy-authorization" if rule["proxy"] else "authorization"
    value = header_value(request["headers"], header)
    if value is None:
        return False
    scheme, _, rest = value.decode("latin-1").partition(" ")
    if rule["scheme"] == "basic" and scheme.lower() == "basic":
        try:
            decoded = base64.b64decode(rest.strip()).decode("latin-1")
        except ValueError:
            return False
        return decoded == "%s:%s" % (rule["user"], rule["password"])
    if rule["scheme"] == "digest" and scheme.lower() == "digest":
        p = parse_auth_params(rest)
        with STATE.lock:
            known = p.get("nonce") in STATE.nonces
        if not known or p.get("username") != rule["user"] or p.get("realm") != rule["realm"]:
            return False
        ha1 = md5("%s:%s:%s" % (rule["user"], rule["realm"], rule["password"]))
        ha2 = md5("%s:%s" % (request["method"].decode("latin-1"), p.get("uri", "")))
        if p.get("qop"):
            expected = md5(":".join([ha1, p["nonce"], p.get("nc", ""), p.get("cnonce", ""), p["qop"], ha2]))
        else:
            expected = md5("%s:%s:%s" % (ha1, p["nonce"], ha2))
        return p.get("response") == expected
    return False


def challenge(rule):
    if rule["scheme"] == "digest":
        nonce = secrets.token_hex(16)
        with STATE.lock:
            STATE.nonces.add(nonce)
        value = 'Digest realm="%s", qop="auth", nonce="%s", opaque="%s", algorithm=MD5' % (
            rule["realm"], nonce, secrets.token_hex(8))
    else:
        value = 'Basic realm="%s"' % rule["realm"]
    if rule["proxy"]:
        status, header = b"407 Proxy Authentication Required", b"Proxy-Authenticate"
    else:
        status, header = b"401 Unauthorized", b"WWW-Authenticate"
    body = b"credentials required"
    head = b"HTTP/1.1 %s\r\n%s: %s\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n\r\n" % (
        status, header, value.encode("latin-1"), len(body))
    return [("head", head), ("body", body)]


# ---- serving ----

def reset(sock):
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


def close(sock):
    try:
        sock.shutdown(socket.SHUT_WR)
    except OSError:
        pass
    sock.close()


def paced_send(sock, data, pace):
    if pace is None:
        sock.sendall(data)
        return
    size, pause = pace
    for pos in range(0, len(data), size):
        sock.sendall(data[pos:pos + size])
        time.sleep(pause)


def run_steps(sock, steps, is_head):
    """Returns False once the connection is gone."""
    pace = None
    for kind, value in steps:
        if kind == "head" or (kind == "body" and not is_head):
            paced_send(sock, value, pace)
        elif kind == "pace":
            size, pause = value.split()
            pace = (max(1, int(size)), int(pause) / 1000.0)
        elif kind == "sleep":
            time.sleep(int(value) / 1000.0)
        elif kind == "close":
            close(sock)
            return False
        elif kind == "reset":
            reset(sock)
            return False
    return True


def wants_close(request):
    connection = (header_value(request["headers"], "connection") or b"").lower()
    if request["version"] == b"HTTP/1.0":
        return b"keep-alive" not in connection
    return b"close" in connection


def serve_connection(sock):
    conn_id = STATE.next_connection()
    sock.settimeout(IDLE_SECONDS)
    with STATE.lock:
        greeting = STATE.greeting
    if greeting:
        try:
            sock.sendall(greeting)
        except OSError:
            pass
        close(sock)
        return
    reader = Reader(sock)
    try:
        while True:
            request = read_head(reader)
            target = request["target"].decode("latin-1")
            is_head = request["method"] == b"HEAD"
            rule = STATE.auth_rule(target)
            steps = STATE.steps_for(target) if rule is None else []
            early = [i for i, step in enumerate(steps) if step[0] == "early"]
            if early:
                # The answer's head goes out before the request's body is
                # read, the rest of the answer after it.
                if not run_steps(sock, steps[:early[0]], is_head):
                    return
                steps = steps[early[0] + 1:]
            read_body(reader, request)
            authorized = None if rule is None else check_credentials(rule, request)
            with STATE.lock:
                STATE.requests.append(dict(request, connection=conn_id, authorized=authorized))
            if authorized is False:
                steps = challenge(rule)
            elif rule is not None:
                steps = STATE.steps_for(target)
            if not run_steps(sock, steps, is_head):
                return
            if wants_close(request):
                close(sock)
                return
    except (Closed, OSError, ValueError):
        pass
    try:
        sock.close()
    except OSError:
        pass


def parse_steps(fields):
    steps = []
    for name, value in fields:
        if name in ("head", "body"):
            steps.append((name, value))
        elif name in ("sleep", "pace"):
            steps.append((name, value.decode()))
        elif name in ("close", "reset", "early"):
            steps.append((name, None))
    return steps


def run_command(fields):
    args = {}
    for name, value in fields:
        args.setdefault(name, value.decode("latin-1"))
    cmd = args.get("cmd")
    if cmd in ("answer", "enqueue"):
        steps = parse_steps(fields)
        with STATE.lock:
            if cmd == "answer":
                STATE.standing[args["path"]] = steps
            else:
                STATE.queued[args["path"]].append(steps)
        return [("ok", "")]
    if cmd == "auth":
        rule = {"scheme": args["scheme"], "user": args["user"], "password": args["password"],
                "realm": args["realm"], "proxy": args.get("proxy") == "1"}
        with STATE.lock:
            STATE.auth[args["path"]] = rule
        return [("ok", "")]
    if cmd == "received":
        # The count comes first, so that no requests is still an answer.
        with STATE.lock:
            out = [("requests", str(len(STATE.requests)))]
            for r in STATE.requests:
                out.append(("request", ""))
                out += [("method", r["method"]), ("target", r["target"]), ("version", r["version"])]
                out += [("header", h) for h in r["headers"]]
                out += [("body", r["body"]), ("connection", str(r["connection"])),
                        ("chunked", "1" if r["chunked"] else "0"),
                        ("authorized", {None: "-1", False: "0", True: "1"}[r["authorized"]])]
        return out
    if cmd == "greet":
        with STATE.lock:
            STATE.greeting = dict(fields).get("bytes", b"")
        return [("ok", "")]
    if cmd == "clear":
        with STATE.lock:
            STATE.requests = []
        return [("ok", "")]
    if cmd == "count":
        with STATE.lock:
            return [("requests", str(len(STATE.requests))), ("connections", str(STATE.connections))]
    return [("error", "unknown command %r" % cmd)]


def serve_control(sock):
    try:
        sock.settimeout(IDLE_SECONDS)
        data = b""
        while True:
            chunk = sock.recv(65536)
            if not chunk:
                break
            data += chunk
        try:
            reply = run_command(decode_fields(data))
        except (KeyError, ValueError) as exc:
            reply = [("error", "bad command: %s" % exc)]
        sock.sendall(encode_fields(reply))
    except OSError:
        pass
    finally:
        sock.close()


def accept_loop(listener, handler):
    while True:
        sock, _ = listener.accept()
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        threading.Thread(target=handler, args=(sock,), daemon=True).start()


def listen():
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
    s.listen(128)
    return s


def main():
    http = listen()
    control = listen()
    threading.Thread(target=accept_loop, args=(control, serve_control), daemon=True).start()
    sys.stdout.write("port %d\ncontrol %d\nready\n" % (http.getsockname()[1], control.getsockname()[1]))
    sys.stdout.flush()
    try:
        accept_loop(http, serve_connection)
    except KeyboardInterrupt:
        pass
    os._exit(0)


if __name__ == "__main__":
    main()
