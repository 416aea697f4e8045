#!/usr/bin/python3
"""The tests' keypad page: plain HTTP on a free port of 127.0.0.1.

  keypad_page.py <dir> <inca iv hex> [<certificate> <key>]

With a certificate and key it serves HTTPS instead.

Writes its port to <dir>/port and appends every request path to
<dir>/requests. A page is /kp/<provider>/<via>/<variant>/<plain hex>
(the NSHC adapter appends ?publickey=...):
  provider  lumen, inca, nshc
  via       nav (location.href), img (an image request), none (no callback),
            away (location.href to the same page on another origin,
            localhost, which would call back), open (window.open of it)
  variant   ok; upper (the scheme in capitals); flip (one cipher text byte
            changed: for NSHC a tag byte); hex600 (600 hex digits as result)
Every page also loads an ordinary image and script of its own first. The
callbacks are enciphered by keypad_peer.py's peers (openssl enc, hashlib,
python3-cryptography) when the page is asked for.
"""
import base64
import http.server
import os
import ssl
import sys
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import keypad_peer  # noqa: E402

PNG = base64.b64decode(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==")


def flip_hex(text):
    i = len(text) - 3
    return text[:i] + ("1" if text[i] == "0" else "0") + text[i + 1:]


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def reply(self, status, kind, body):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)

    def callback(self, provider, variant, plain):
        host = "127.0.0.1:%d" % self.server.server_port
        if provider == "lumen":
            rand = "c0ffee42"
            result = keypad_peer.lumen_result(host, rand, plain)
            if variant == "flip":
                result = flip_hex(result)
            if variant == "hex600":
                result = "ab" * 300
            scheme = "TRANSKEY://" if variant == "upper" else "transkey://"
            return "%s%s/?rand=%s&result=%s" % (scheme, host, rand, result)
        if provider == "inca":
            rand = "00112233445566778899aabbccddeeff"
            result = keypad_peer.inca_result(bytes.fromhex(rand), self.server.inca_iv, plain)
            if variant == "flip":
                result = flip_hex(result)
            if variant == "hex600":
                result = "ab" * 300
            scheme = "TRANSKEY://" if variant == "upper" else "transkey://"
            return "%s%s/?rand=%s&result=%s" % (scheme, host, rand, result)
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)
        public = query.get("publickey", [""])[0]
        encdata = keypad_peer.nshc_encdata(public, plain)
        if variant == "flip":
            i = len(encdata) - 6  # inside the tag, never a padding bit
            encdata = encdata[:i] + ("B" if encdata[i] == "A" else "A") + encdata[i + 1:]
        scheme = "NFILTERKEY://" if variant == "upper" else "nFilterkey://"
        return "%s%s/?encdata=%s" % (scheme, host, encdata)

    def do_GET(self):
        with open(os.path.join(self.server.dir, "requests"), "a") as f:
            f.write(self.path + "\n")
        path = urllib.parse.urlsplit(self.path).path
        if path == "/img.png":
            return self.reply(200, "image/png", PNG)
        if path == "/script.js":
            return self.reply(200, "text/javascript", b"window.ordinaryScript = 1;\n")
        parts = path.strip("/").split("/")
        if len(parts) != 5 or parts[0] != "kp":
            return self.reply(404, "text/plain", b"no such page")
        _, provider, via, variant, plain_hex = parts
        cb = self.callback(provider, variant, bytes.fromhex(plain_hex)) if via in ("nav", "img") else ""
        if via in ("away", "open"):
            cb = "http://localhost:%d/kp/%s/nav/%s/%s" % (self.server.server_port, provider, variant, plain_hex)
        page = """<!DOCTYPE html><html><head><title>keypad</title>
<script src="/script.js"></script></head>
<body style="background:#dde"><p>Keypad %s</p><img src="/img.png" width="20" height="20">
<script>
var cb = %r, via = %r;
window.addEventListener("load", function () {
  setTimeout(function () {
    if (via == "nav" || via == "away") location.href = cb;
    else if (via == "open") window.open(cb);
    else if (via == "img") { var i = new Image(); i.src = cb; }
  }, 100);
});
</script></body></html>
""" % (provider, cb, via)
        self.reply(200, "text/html; charset=utf-8", page.encode())


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.dir = sys.argv[1]
    server.inca_iv = bytes.fromhex(sys.argv[2])
    if len(sys.argv) > 4:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[3], sys.argv[4])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    tmp = os.path.join(server.dir, "port.tmp")
    with open(tmp, "w") as f:
        f.write(str(server.server_port))
    os.rename(tmp, os.path.join(server.dir, "port"))
    server.serve_forever()


if __name__ == "__main__":
    main()
