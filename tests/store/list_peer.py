"""Reads a certificate-list record string as the agent does, without our
library, and compares it with the records make_list_tree.py expects for a
storage type and a filter text (filtered here by the filter grammar).

Usage: list_peer.py EXPECTED.tsv TYPE FILTER LIST_FILE
Prints the number of records read and every difference; exits 1 when the
records (in any order) are not the expected ones, 2 when the string is
malformed. Texts go through iconv -f EUC-KR; dates are the local dates of
notAfter under this process's TZ."""
import base64
import collections
import datetime
import subprocess
import sys
import urllib.parse

NAMES = ["subject", "issuer", "oidtype", "expiredata", "certpath", "keypath", "expireflag", "certtype"]
TEXTS = ["subject", "issuer", "oidtype"]


def url_bytes(value):
    return urllib.parse.unquote_to_bytes(value.replace("+", " "))


def parse(data):
    """Records of exactly the eight items in order; each value decoded."""
    text = data.decode("ascii")
    if not text.endswith("|"):
        raise ValueError("the string does not end in |")
    records = []
    for raw in text[:-1].split("|"):
        items = raw.split("&")
        if len(items) != 8:
            raise ValueError(f"{len(items)} items: {raw}")
        record = {}
        for want, item in zip(NAMES, items):
            name, sep, value = item.partition("^")
            if name != want or not sep:
                raise ValueError(f"item {item!r} where {want} belongs")
            decoded = url_bytes(value)
            if name == "certpath":
                decoded = base64.b64decode(decoded, validate=True)
            record[name] = decoded
        records.append(record)
    # Korean texts are EUC-KR: one iconv over all of them.
    joined = b"\n".join(r[n] for r in records for n in TEXTS)
    utf8 = subprocess.run(["iconv", "-f", "EUC-KR", "-t", "UTF-8"], input=joined, check=True,
                          capture_output=True).stdout.decode("utf-8").split("\n") if records else []
    out = []
    for i, r in enumerate(records):
        row = [utf8[i * 3], utf8[i * 3 + 1], utf8[i * 3 + 2]]
        row += [r[n].decode("utf-8") for n in NAMES[3:]]
        out.append(tuple(row))
    return out


def filter_values(raw, kind):
    if kind <= 4:
        if not raw.endswith("|"):
            raw += "|"
        pieces = url_bytes(raw).split(b"|")
        return pieces[:-1]
    value = url_bytes(raw).split(b"\0")[0].decode("latin-1").strip()
    digits = value.lstrip("+-")
    number = ""
    for c in digits:
        if not c.isdigit():
            break
        number += c
    return int(number or "0") != 0


KEYWORDS = [("oid=", 1), ("issuer=", 2), ("subject=", 3), ("serial=", 4), ("expire=", 5), ("crl=", 6)]


def keep(row, filter_text):
    lists, expire = {}, False
    for token in filter_text.split("&"):
        if not token:
            continue
        for word, kind in KEYWORDS:
            if token.lower().startswith(word):
                value = filter_values(token[len(word):], kind)
                if kind <= 4:
                    lists[kind] = value
                elif kind == 5:
                    expire = value
                break
    fields = {1: row["policy"], 2: row["issuer_cn"], 3: row["subject"], 4: row["serial"]}
    for kind, values in lists.items():
        # Letters without case, ASCII only, over the EUC-KR bytes.
        text = fields[kind].encode("euc-kr").lower()
        if not any(text.startswith(v.lower()) for v in values):
            return False
    return not (expire and row["flag"] == "1")


def expected(path, storage_type, filter_text):
    rows = []
    for line in open(path, encoding="utf-8"):
        f = line.rstrip("\n").split("\t")
        if storage_type not in f[0].split(","):
            continue
        row = dict(subject=f[1], issuer=f[2], type=f[3], not_after=f[4], cert=f[5], key=f[6], flag=f[7], cls=f[8],
                   issuer_cn=f[9], serial=f[10], policy=f[11])
        if not keep(row, filter_text):
            continue
        end = datetime.datetime.strptime(row["not_after"], "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=datetime.timezone.utc)
        rows.append((row["subject"], row["issuer"], row["type"], end.astimezone().strftime("%Y-%m-%d"), row["cert"],
                     row["key"], row["flag"], row["cls"]))
    return rows


def main():
    expected_path, storage_type, filter_text, list_path = sys.argv[1:5]
    data = open(list_path, "rb").read()
    try:
        got = parse(data) if data else []
    except Exception as e:  # noqa: BLE001 - any malformation is reported the same way
        print(f"malformed: {e}")
        return 2
    want = expected(expected_path, storage_type, filter_text)
    print(f"records {len(got)} expected {len(want)}")
    missing = collections.Counter(want) - collections.Counter(got)
    extra = collections.Counter(got) - collections.Counter(want)
    for r in missing.elements():
        print("missing:", r)
    for r in extra.elements():
        print("extra:", r)
    return 1 if missing or extra else 0


sys.exit(main())
