#!/usr/bin/env python3
"""The relay server of the job tests: HTTPS on 127.0.0.1.

Usage: relay_stub.py <state-dir> <cert.pem> <key.pem>

Binds a free port and writes it to <state-dir>/port. Every request is
recorded as <state-dir>/req-NNNN.head ("METHOD path", then "Cookie: ..." when
one came) and req-NNNN.body (the body's bytes). The answer to a POST is read
from <state-dir>/answer_<Action> (the form's Action field), to a GET from
answer_GET: its first line is the HTTP status, the rest the body; without
the file, 404. While <state-dir>/silent exists, requests are read and never
answered. Ended by its process id.
"""
import http.server
import os
import ssl
import sys
import threading
import time
import urllib.parse

state, cert, key = sys.argv[1:4]
lock = threading.Lock()
count = [0]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def record(self, body):
        with lock:
            count[0] += 1
            n = count[0]
        base = os.path.join(state, "req-%04d" % n)
        head = "%s %s\n" % (self.command, self.path)
        if "Cookie" in self.headers:
            head += "Cookie: %s\n" % self.headers["Cookie"]
        with open(base + ".body", "wb") as f:
            f.write(body)
        with open(base + ".head", "w") as f:
            f.write(head)

    def answer(self, name):
        path = os.path.join(state, "answer_" + name)
        if os.path.exists(os.path.join(state, "silent")):
            while os.path.exists(os.path.join(state, "silent")):
                time.sleep(0.2)
            self.close_connection = True
            return
        try:
            with open(path, "rb") as f:
                data = f.read()
            status_line, _, body = data.partition(b"\n")
            status = int(status_line)
        except (OSError, ValueError):
            status, body = 404, b""
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        try:
            self.wfile.write(body)
        except (OSError, ssl.SSLError):
            pass  # the client went (a reply over its cap)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        self.record(body)
        form = urllib.parse.parse_qs(body.decode("latin-1"), keep_blank_values=True)
        self.answer(form.get("Action", ["none"])[0])

    def do_GET(self):
        self.record(b"")
        self.answer("GET")


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # refused handshakes and clients that went: expected here


server = Server(("127.0.0.1", 0), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
# The handshake happens in the request's thread, so a client that never
# speaks holds up nobody else.
server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
with open(os.path.join(state, "port.tmp"), "w") as f:
    f.write(str(server.server_address[1]))
os.rename(os.path.join(state, "port.tmp"), os.path.join(state, "port"))
server.serve_forever()
