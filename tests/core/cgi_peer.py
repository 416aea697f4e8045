#!/usr/bin/python3
# The CGI tests' peer: the same request read by python's urllib.parse and
# email, written in the probe's entry format ("<length>:<bytes>" pairs, one
# entry a line). PATH_INFO /cookies reads HTTP_COOKIE instead.
import email
import email.policy
import os
import re
import sys
from urllib.parse import parse_qsl, unquote_to_bytes


def qsl(text):
    # latin-1 both ways keeps the decoded bytes as they are.
    return [(n.encode("latin-1"), v.encode("latin-1"))
            for n, v in parse_qsl(text, keep_blank_values=True, encoding="latin-1")]


def plus(b):
    return unquote_to_bytes(b.replace(b"+", b" "))


env = os.environ
entries = []
if env.get("PATH_INFO") == "/cookies":
    for item in env.get("HTTP_COOKIE", "").encode("latin-1", "surrogateescape").split(b";"):
        if not item.strip():
            continue
        name, eq, value = item.partition(b"=")
        entries.append((plus(name).strip(b" \t\r\n"), plus(value) if eq else b""))
else:
    ctype = env.get("CONTENT_TYPE", "")
    length = int(env.get("CONTENT_LENGTH") or 0)
    body = sys.stdin.buffer.read(length) if length else b""
    if ctype.lower().startswith("multipart/form-data"):
        whole = b"Content-Type: " + ctype.encode() + b"\r\n\r\n" + body
        msg = email.message_from_bytes(whole, policy=email.policy.HTTP)
        for part in msg.iter_parts():
            name = part.get_param("name", header="content-disposition").encode()
            data = part.get_payload(decode=True)
            entries.append((name, data))
            if part.get_param("filename", header="content-disposition") is None:
                continue
            # Browsers send the backslashes of Windows paths as they are, not
            # as quoted pairs: the file name is read from the raw header.
            raw = dict((k.lower(), v) for k, v in part.raw_items())["content-disposition"]
            filename = re.search(r'filename="([^"]*)"', raw).group(1).encode("utf-8", "surrogateescape")
            entries.append((name + b".length", str(len(data)).encode()))
            entries.append((name + b".filename", filename.rsplit(b"\\", 1)[-1]))
    else:
        entries += qsl(env.get("QUERY_STRING", ""))
        if env.get("REQUEST_METHOD") == "POST":
            entries += qsl(body.decode("latin-1"))

out = sys.stdout.buffer
out.write(b"Content-type: application/octet-stream\n\n")
for name, value in entries:
    out.write(b"%d:%s%d:%s\n" % (len(name), name, len(value), value))
