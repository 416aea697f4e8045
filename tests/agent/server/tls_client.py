#!/usr/bin/python3
"""TLS client for the command server tests.

  tls_client.py CAFILE PORT send               send each line of standard input
                                               (hex) as its own TLS record,
                                               print the reply
  tls_client.py CAFILE PORT big SIZE           POST SIZE bytes while reading;
                                               print the status line
  tls_client.py CAFILE PORT silent SECONDS     handshake, send nothing; print
                                               how long until the server closed
  tls_client.py CAFILE PORT handshake-close    handshake, then close
  tls_client.py CAFILE PORT burst N [FUNC]     N connections at once, each
                                               FUNC (isRunning); print the
                                               count of answers
  tls_client.py CAFILE PORT idle N             hold N bare TCP connections,
                                               then ask isRunning; print the
                                               reply's last line and how many
                                               of the N the server closed
"""
import socket
import ssl
import sys
import threading
import time

cafile, port, mode = sys.argv[1], int(sys.argv[2]), sys.argv[3]
ctx = ssl.create_default_context(cafile=cafile)


def connect(timeout=20):
    raw = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    return ctx.wrap_socket(raw, server_hostname="127.0.0.1")


def read_all(s):
    out = b""
    try:
        while True:
            d = s.recv(65536)
            if not d:
                break
            out += d
    except (ssl.SSLError, ConnectionResetError, socket.timeout):
        pass
    return out


if mode == "send":
    s = connect()
    for chunk in sys.stdin.read().split():
        s.sendall(bytes.fromhex(chunk))
        time.sleep(0.05)
    sys.stdout.buffer.write(read_all(s))
elif mode == "big":
    # One thread, non-blocking: keeps sending while watching for the reply
    # (an SSL object must not be read and written from two threads).
    import select
    size = int(sys.argv[4])
    s = connect()
    s.setblocking(False)
    data = b"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: %d\r\n\r\n" % size + b"x" * size
    sent = 0
    reply = b""
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        want_write = sent < len(data)
        readable, writable, _ = select.select([s], [s] if want_write else [], [], 1)
        try:
            if readable or s.pending():
                d = s.recv(65536)
                if not d:
                    break
                reply += d
                if b"\r\n" in reply:
                    break
            if writable and want_write:
                sent += s.send(data[sent:sent + 16384])
        except (ssl.SSLWantReadError, ssl.SSLWantWriteError):
            continue
        except (OSError, ssl.SSLError):
            break
    print(reply.split(b"\r\n", 1)[0].decode())
elif mode == "silent":
    limit = float(sys.argv[4])
    s = connect(timeout=limit)
    start = time.monotonic()
    try:
        d = s.recv(1)
        print("closed %.2f %d" % (time.monotonic() - start, len(d)))
    except (ssl.SSLError, ConnectionResetError) as e:
        print("closed %.2f reset" % (time.monotonic() - start))
    except socket.timeout:
        print("still open")
elif mode == "handshake-close":
    s = connect()
    s.close()
    print("ok")
elif mode == "burst":
    n = int(sys.argv[4])
    func = sys.argv[5] if len(sys.argv) > 5 else "isRunning"
    body = b'data={"func":"%s","param":"SESSION=a|reqID=1"}' % func.encode()
    req = b"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: %d\r\n\r\n%s" % (len(body), body)
    ok = [0]
    lock = threading.Lock()
    start = threading.Barrier(n)

    def one():
        try:
            start.wait(timeout=30)
            s = connect(timeout=30)
            s.sendall(req)
            reply = read_all(s)
            if reply.startswith(b"HTTP/1.1 200 OK") and (
                    reply.endswith(b'{"zunres":"1"}') or func != "isRunning"):
                with lock:
                    ok[0] += 1
        except Exception as e:  # counted as a failure
            sys.stderr.write("%r\n" % e)

    threads = [threading.Thread(target=one) for _ in range(n)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    print(ok[0])
elif mode == "idle":
    import resource
    n = int(sys.argv[4])
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < n + 64:
        resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, n + 64), hard))
    idle = [socket.create_connection(("127.0.0.1", port)) for _ in range(n)]
    time.sleep(0.5)
    try:
        s = connect(timeout=10)
        s.sendall(b'POST / HTTP/1.1\r\nContent-Length: 25\r\n\r\ndata={"func":"isRunning"}')
        print(read_all(s).split(b"\r\n")[-1].decode() or "no answer")
    except OSError as e:
        print("failed %r" % e)
    import select
    readable, _, _ = select.select(idle, [], [], 0.5)
    print(len(readable))
