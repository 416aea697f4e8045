#!/usr/bin/env python3
"""scripts/check-includes on small trees: each boundary it guards is crossed
once, and a tree that keeps to them passes."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check-includes")

# Files every tree has: one public and one private header per layer.
BASE = {
    "pki/include/zunPKI/asn1/ber.h": "",
    "pki/include/zunPKI/x509/x509.h": '#include "asn1/ber.h"\n',
    "pki/include/zunPKI/pkcs/pkcs7.h": "#include <zunPKI/x509/x509.h>\n",
    "pki/asn1/der_cursor.hpp": "#include <zunPKI/asn1/ber.h>\n",
    "pki/x509/x509_list.hpp": '#include "asn1/der_cursor.hpp"\n',
    "pki/pkcs/pkcs7.hpp": '#include "x509/x509_list.hpp"\n',
    "core/include/zunCore/VCL.h": "#include <zunPKI/pkcs/pkcs7.h>\n",
    "core/util/log.cpp": "#include <zunCore/VCL.h>\n#include <stdio.h>\n",
    "store/include/zephaltpavix/VPL.h": "",
    "store/store.cpp": "#include <zephaltpavix/VPL.h>\n#include <zunCore/VCL.h>\n",
    "agent/common/Log.h": "",
    "agent/job/include/LinuxQuillet.h": "",
    "agent/job/Job.hpp": '#include <LinuxQuillet.h>\n#include "common/Log.h"\n',
    "agent/server/Server.cpp": '#include "common/Log.h"\n#include <zephaltpavix/VPL.h>\n',
    "agent/daemon/Main.cpp": '#include "server/Server.cpp"\n#include <LinuxQuillet.h>\n',
    "tests/pki/Anything.cpp": '#include "asn1/der_cursor.hpp"\n#include "pkcs/pkcs7.hpp"\n',
}

# One crossing per row: the file added and the rule it breaks.
CROSSINGS = [
    ("asn1 includes x509", "pki/asn1/up.cpp", '#include "x509/x509_list.hpp"\n'),
    ("asn1 includes a pkcs public header", "pki/asn1/up2.cpp", "#include <zunPKI/pkcs/pkcs7.h>\n"),
    ("x509 includes pkcs", "pki/x509/up.cpp", '#include "pkcs/pkcs7.hpp"\n'),
    ("public asn1 header includes x509", "pki/include/zunPKI/asn1/bad.h", "#include <zunPKI/x509/x509.h>\n"),
    ("public header includes a private one", "pki/include/zunPKI/x509/bad.h", '#include "asn1/der_cursor.hpp"\n'),
    ("pki includes core", "pki/x509/core.cpp", "#include <zunCore/VCL.h>\n"),
    ("core includes pki internals", "core/crypto/x.cpp", '#include "asn1/der_cursor.hpp"\n'),
    ("core includes store", "core/crypto/y.cpp", "#include <zephaltpavix/VPL.h>\n"),
    ("store includes agent", "store/z.cpp", '#include "../agent/common/Log.h"\n'),
    ("agent includes pki internals", "agent/job/j.cpp", '#include "x509/x509_list.hpp"\n'),
    ("server includes daemon", "agent/server/up.cpp", '#include "daemon/Main.cpp"\n'),
    ("common includes server", "agent/common/up.cpp", '#include "server/Server.cpp"\n'),
    ("daemon includes the job side past its entry header", "agent/daemon/job.cpp", '#include "job/Job.hpp"\n'),
    ("job entry header includes the log", "agent/job/include/up.h", '#include "common/Log.h"\n'),
]


def run(tree):
    return subprocess.run([sys.executable, SCRIPT, tree], capture_output=True, text=True)


def make_tree(root, files):
    for path, text in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as f:
            f.write(text)


class CheckIncludes(unittest.TestCase):
    def test_a_tree_within_its_boundaries_passes(self):
        with tempfile.TemporaryDirectory() as root:
            make_tree(root, BASE)
            r = run(root)
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)

    def test_each_crossing_fails_and_names_the_line(self):
        for what, path, text in CROSSINGS:
            with self.subTest(what), tempfile.TemporaryDirectory() as root:
                make_tree(root, {**BASE, path: "// first line\n" + text})
                r = run(root)
                self.assertEqual(r.returncode, 1, what)
                self.assertIn(path + ":2:", r.stdout, what)


if __name__ == "__main__":
    unittest.main()
