#!/usr/bin/env python3
"""The issuing web server of the PKCS#10 tests: HTTPS on 127.0.0.1.

Usage: p10_issuer.py <state-dir> <cert.pem> <key.pem> <ca.pem> <ca.key>

Binds a free port and writes it to <state-dir>/port. A POST's body is
recorded as <state-dir>/last.body; its form field "req" (the Base64 PKCS#10
request) is issued with `openssl x509 -req` under the CA, and the answer is
"success", one separator and the PEM. While <state-dir>/answer exists, its
bytes are the answer instead (a certificate for another key). Ended by its
process id.
"""
import base64
import http.server
import os
import ssl
import subprocess
import sys
import tempfile
import urllib.parse

state, cert, key, ca, ca_key = sys.argv[1:6]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with open(os.path.join(state, "last.body"), "wb") as f:
            f.write(body)
        fixed = os.path.join(state, "answer")
        if os.path.exists(fixed):
            with open(fixed, "rb") as f:
                reply = f.read()
        else:
            form = urllib.parse.parse_qs(body.decode("latin-1"), keep_blank_values=True)
            der = base64.b64decode(form.get("req", [""])[0])
            with tempfile.TemporaryDirectory() as d:
                with open(os.path.join(d, "req.der"), "wb") as f:
                    f.write(der)
                r = subprocess.run(["openssl", "x509", "-req", "-inform", "DER", "-in", os.path.join(d, "req.der"),
                                    "-CA", ca, "-CAkey", ca_key, "-set_serial", "4242", "-days", "5"],
                                   capture_output=True)
            reply = b"success|" + r.stdout if r.returncode == 0 else b"failure"
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(reply)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(reply)


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
with open(os.path.join(state, "port.tmp"), "w") as f:
    f.write(str(server.server_address[1]))
os.rename(os.path.join(state, "port.tmp"), os.path.join(state, "port"))
server.serve_forever()
