#!/usr/bin/env python3
"""Starts the loopback servers of the test suite (standard library only).

A test program that can start programs itself runs this script once per
server; one that cannot (a Windows test program under Wine) asks a running
launcher over TCP. Both ways take the same request and give the same answer.

  server_launcher.py nginx | tinyproxy [USER PASSWORD]
      Starts that server, prints its answer and keeps it running until this
      script gets SIGTERM or SIGINT.
  server_launcher.py serve
      Listens on 127.0.0.1 (a port the system chooses) and prints that port
      on one line once it listens. Each connection sends one request line,
      "scripted", "nginx" or "tinyproxy [USER PASSWORD]", gets the answer and
      keeps its server until it closes. On SIGTERM or SIGINT every server
      still running is stopped.

An answer is lines "<name> <value>" ending with the line "ready", or one line
"error <text>". Paths in it are this machine's paths.
  scripted:  port, control (the scripted server's HTTP and control ports)
  nginx:     http, https (valid for 127.0.0.1 and localhost), wrong_host
             (valid, for another host name), expired, ca (the test CA that
             signed the three certificates), folder (www below it is served
             at "/" and accepts PUT and DELETE)
  tinyproxy: port, folder (tinyproxy.log in it); a forwarding proxy adding
             "Via: 1.1 zemproxy (...)", demanding Basic credentials when a
             user is given
"""

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTED_SERVER = os.path.join(HERE, "..", "servers", "scripted_server.py")
START_SECONDS = 15

# Extensions for the test CA and its three server certificates. EC keys keep
# the start-up quick; the CA is the only issuer, so a client that trusts it
# sees exactly one fault per certificate.
OPENSSL_CONFIG = """[ req ]
distinguished_name = dn
prompt = no
[ dn ]
CN = unused
[ ca_ext ]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[ local_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ other_host_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:other-host.invalid
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ ca ]
default_ca = test_ca
[ test_ca ]
database = {tls}/index.txt
new_certs_dir = {tls}
serial = {tls}/serial
default_md = sha256
policy = any_name
unique_subject = no
[ any_name ]
commonName = supplied
"""

SERVER_BLOCK = """  server {{
    listen 127.0.0.1:{port}{ssl};
{tls}    server_name localhost;
    root {dir}/www;
    location / {{
      dav_methods PUT DELETE;
      create_full_put_path on;
      dav_access user:rw group:r all:r;
    }}
  }}
"""

NGINX_CONFIG = """master_process off;
pid {dir}/nginx.pid;
error_log {dir}/error.log info;
events {{ worker_connections 512; }}
http {{
  access_log {dir}/access.log;
  client_body_temp_path {dir}/body;
  proxy_temp_path {dir}/proxy;
  fastcgi_temp_path {dir}/fastcgi;
  uwsgi_temp_path {dir}/uwsgi;
  scgi_temp_path {dir}/scgi;
  types {{ text/html html; text/plain txt; application/json json; }}
  default_type application/octet-stream;
  sendfile on;
  keepalive_timeout 60s;
  keepalive_requests 1000000;
  client_max_body_size 0;
{servers}}}
"""


class StartError(Exception):
    pass


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)
    return path


def free_ports(n):
    # All held at once while choosing, so they differ from one another.
    held = []
    for _ in range(n):
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        held.append(s)
    ports = [s.getsockname()[1] for s in held]
    for s in held:
        s.close()
    return ports


def spawn(argv, output):
    # A server dies with the thread that started it, so a launcher that is
    # killed leaves nothing behind holding ports.
    with open(output, "ab") as out:
        return subprocess.Popen(["setpriv", "--pdeathsig", "KILL"] + argv, stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.STDOUT)


def wait_listening(process, port, what, log):
    deadline = time.monotonic() + START_SECONDS
    while time.monotonic() < deadline and process.poll() is None:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.02)
    raise StartError("%s did not start listening on 127.0.0.1:%d %s" % (what, port, read(log)))


def read(path):
    try:
        with open(path, errors="replace") as f:
            return f.read().replace("\n", " | ")
    except OSError:
        return ""


def stop(process):
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class Server:
    """One started server: its process, its folder, and the answer lines."""

    def __init__(self):
        self.process = None
        self.folder = None
        self.lines = []

    def stop(self):
        stop(self.process)
        if self.folder:
            shutil.rmtree(self.folder, ignore_errors=True)


def make_certificates(tls):
    cnf = write(tls + "/openssl.cnf", OPENSSL_CONFIG.format(tls=tls))
    write(tls + "/index.txt", "")
    write(tls + "/serial", "1000\n")
    log = tls + "/openssl.log"

    def openssl(*args):
        with open(log, "ab") as out:
            if subprocess.call(("openssl",) + args, stdout=out, stderr=subprocess.STDOUT) != 0:
                raise StartError("openssl could not make the test certificates: " + read(log))

    new_key = ("-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes")
    openssl("req", "-config", cnf, "-new", *new_key, "-keyout", tls + "/ca.key", "-subj", "/CN=ZEMHTTP Test CA",
            "-x509", "-days", "3650", "-extensions", "ca_ext", "-out", tls + "/ca.crt")
    # Fixed dates far in the past and future: the valid certificates stay
    # valid on a machine whose clock is off, the expired one stays expired.
    for name, subject, ext, end in (("local", "localhost", "local_ext", "20991231000000Z"),
                                    ("other", "other-host.invalid", "other_host_ext", "20991231000000Z"),
                                    ("expired", "localhost", "local_ext", "20200201000000Z")):
        openssl("req", "-config", cnf, "-new", *new_key, "-keyout", "%s/%s.key" % (tls, name),
                "-subj", "/CN=" + subject, "-out", "%s/%s.csr" % (tls, name))
        openssl("ca", "-config", cnf, "-batch", "-notext", "-cert", tls + "/ca.crt", "-keyfile", tls + "/ca.key",
                "-in", "%s/%s.csr" % (tls, name), "-out", "%s/%s.crt" % (tls, name), "-extensions", ext,
                "-startdate", "20200101000000Z", "-enddate", end)
    return tls + "/ca.crt"


def start_nginx(server):
    d = server.folder
    ca = make_certificates(d + "/tls")
    write(d + "/www/index.html", "<html><body>zemtest</body></html>\n")
    ports = free_ports(4)
    blocks = ""
    for port, cert in zip(ports, ("", "local", "other", "expired")):
        tls = "" if not cert else "    ssl_certificate {d}/tls/{c}.crt;\n    ssl_certificate_key {d}/tls/{c}.key;\n" \
            .format(d=d, c=cert)
        blocks += SERVER_BLOCK.format(port=port, ssl=" ssl" if cert else "", tls=tls, dir=d)
    conf = write(d + "/nginx.conf", NGINX_CONFIG.format(dir=d, servers=blocks))
    server.process = spawn(["nginx", "-p", d + "/", "-e", d + "/error.log", "-c", conf, "-g", "daemon off;"],
                           d + "/nginx.out")
    for port in ports:
        wait_listening(server.process, port, "nginx", d + "/error.log")
    server.lines = ["http %d" % ports[0], "https %d" % ports[1], "wrong_host %d" % ports[2],
                    "expired %d" % ports[3], "ca " + ca]


def start_tinyproxy(server, user="", password=""):
    d = server.folder
    port = free_ports(1)[0]
    conf = ("Port %d\nListen 127.0.0.1\nTimeout 60\nMaxClients 64\nLogFile \"%s/tinyproxy.log\"\nLogLevel Info\n"
            "PidFile \"%s/tinyproxy.pid\"\nAllow 127.0.0.1\nViaProxyName \"zemproxy\"\n") % (port, d, d)
    if user:
        conf += "BasicAuth %s %s\n" % (user, password)
    path = write(d + "/tinyproxy.conf", conf)
    server.process = spawn(["tinyproxy", "-d", "-c", path], d + "/tinyproxy.out")
    wait_listening(server.process, port, "tinyproxy", d + "/tinyproxy.out")
    server.lines = ["port %d" % port]


def start_scripted(server):
    server.process = subprocess.Popen(["setpriv", "--pdeathsig", "KILL", sys.executable, "-u", SCRIPTED_SERVER],
                                      stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
    for line in server.process.stdout:
        if line.strip() == "ready":
            return
        server.lines.append(line.strip())
    raise StartError("the scripted server did not start")


def start(words):
    """Starts the server a request names; the Server, or StartError."""
    server = Server()
    kind, args = (words[0], words[1:]) if words else ("", [])
    try:
        if kind == "scripted" and not args:
            start_scripted(server)
        elif kind == "nginx" and not args:
            server.folder = tempfile.mkdtemp(prefix="zemtest-")
            start_nginx(server)
        elif kind == "tinyproxy" and len(args) in (0, 2):
            server.folder = tempfile.mkdtemp(prefix="zemtest-")
            start_tinyproxy(server, *args)
        else:
            raise StartError("unknown request %r" % " ".join(words))
    except (StartError, OSError) as exc:
        server.stop()
        raise StartError(str(exc))
    if server.folder:
        server.lines.append("folder " + server.folder)
    return server


def answer(server):
    return "".join(line + "\n" for line in server.lines) + "ready\n"


# ---- the service ----

class Launcher:
    def __init__(self):
        self.lock = threading.Lock()
        self.running = set()

    def serve_connection(self, sock):
        server = None
        try:
            sock.settimeout(START_SECONDS)
            request = sock.makefile("r").readline()
            sock.settimeout(None)
            try:
                server = start(request.split())
            except StartError as exc:
                sock.sendall(("error %s\n" % exc).encode())
                return
            with self.lock:
                self.running.add(server)
            sock.sendall(answer(server).encode())
            # The server lives as long as the connection that asked for it.
            while sock.recv(4096):
                pass
        except OSError:
            pass
        finally:
            if server:
                with self.lock:
                    self.running.discard(server)
                server.stop()
            sock.close()

    def stop_all(self):
        with self.lock:
            servers, self.running = list(self.running), set()
        for server in servers:
            server.stop()


def on_signal(signum, frame):
    raise SystemExit(0)


def main(argv):
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    if argv[:1] == ["serve"]:
        launcher = Launcher()
        listener = socket.socket()
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", 0))
        listener.listen(64)
        print(listener.getsockname()[1], flush=True)
        try:
            while True:
                sock, _ = listener.accept()
                threading.Thread(target=launcher.serve_connection, args=(sock,), daemon=True).start()
        finally:
            launcher.stop_all()
    try:
        server = start(argv)
    except StartError as exc:
        print("error %s" % exc, flush=True)
        return 1
    try:
        sys.stdout.write(answer(server))
        sys.stdout.flush()
        while True:
            signal.pause()
    finally:
        server.stop()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
