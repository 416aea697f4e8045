"""Reference values for the 64-bit time functions, from Python's datetime and
zoneinfo in the zone named by TZ.

Usage: time64_oracle.py COUNT SEED
One line per instant t:
  t | UTC: year mon mday hour min sec wday yday
    | local: year mon mday hour min sec wday yday isdst gmtoff
    | the instants of those local fields with fold 0 and fold 1
Years run from -2000 to 12000. datetime stops at 1..9999, so instants outside
are moved by whole 400-year Gregorian cycles (146097 days, the same calendar)
into a range with the same zone rules: before any zone transition for the
past, under the zone's closing rule for the future.
"""
import datetime
import os
import random
import sys
import zoneinfo

CYCLE = 146097 * 86400
EPOCH = datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc)
FIRST = int((datetime.datetime(400, 1, 1, tzinfo=datetime.timezone.utc) - EPOCH).total_seconds()) - 6 * CYCLE
LAST = int((datetime.datetime(9999, 12, 31, tzinfo=datetime.timezone.utc) - EPOCH).total_seconds()) + 5 * CYCLE
NEAR_FIRST = int((datetime.datetime(1890, 1, 1, tzinfo=datetime.timezone.utc) - EPOCH).total_seconds())
NEAR_LAST = int((datetime.datetime(2110, 1, 1, tzinfo=datetime.timezone.utc) - EPOCH).total_seconds())


def cycles(t):
    year = 1970 + t / 31556952
    if year > 9400:
        return int((year - 9000) // 400)
    if year < 400:
        return -int((800 - year) // 400)
    return 0


def fields(dt, k):
    tt = dt.timetuple()
    return [dt.year + 400 * k, dt.month - 1, dt.day, dt.hour, dt.minute, dt.second,
            (dt.weekday() + 1) % 7, tt.tm_yday - 1]


def main():
    count, seed = int(sys.argv[1]), int(sys.argv[2])
    tz = zoneinfo.ZoneInfo(os.environ.get("TZ", "UTC"))
    rnd = random.Random(seed)
    out = []
    for i in range(count):
        # Half across the whole range, half where the zone rules change.
        t = rnd.randint(FIRST, LAST) if i % 2 else rnd.randint(NEAR_FIRST, NEAR_LAST)
        k = cycles(t)
        shifted = t - k * CYCLE
        utc = EPOCH + datetime.timedelta(seconds=shifted)
        local = utc.astimezone(tz)
        naive = local.replace(tzinfo=None)
        m = [int(naive.replace(tzinfo=tz, fold=f).timestamp()) + k * CYCLE for f in (0, 1)]
        row = [t] + fields(utc, k) + fields(local, k)
        row += [1 if local.dst() else 0, int(local.utcoffset().total_seconds())] + m
        out.append(" ".join(map(str, row)))
    sys.stdout.write("\n".join(out) + "\n")


main()
