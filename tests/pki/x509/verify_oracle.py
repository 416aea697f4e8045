"""openssl verify's verdict on many certificates under one set of options.

Usage: verify_oracle.py CERT... -- OPTION...
Prints one line per certificate, in order: "0" when openssl verify accepts
it, else its exit status. Four run at a time."""
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

split = sys.argv.index('--')
certs, options = sys.argv[1:split], sys.argv[split + 1:]


def verdict(cert):
    return subprocess.run(['openssl', 'verify', *options, cert], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode


with ThreadPoolExecutor(4) as pool:
    for status in pool.map(verdict, certs):
        print(status)
