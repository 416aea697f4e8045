#!/usr/bin/env python3
# The python3-cryptography side of the certificate benchmark: each request line
# "PATH CALLS" loads the certificate CALLS times with its subject and
# extensions, and answers the nanoseconds per load.
import sys
import time

from cryptography import x509

cache = {}
for line in sys.stdin:
    path, calls = line.split()
    der = cache.setdefault(path, open(path, "rb").read())
    n = int(calls)
    start = time.perf_counter_ns()
    for _ in range(n):
        cert = x509.load_der_x509_certificate(der)
        cert.subject
        cert.extensions
    print((time.perf_counter_ns() - start) / n, flush=True)
