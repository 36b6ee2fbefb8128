#!/usr/bin/env python3
"""Builds deleted-record and write-ahead-log fixtures with sqlite3 and scores
salvix-cli against them.

Deleted records: every fixture is written with secure_delete off (as phones
ship it); the ground truth is every row version the script deleted, dropped
or overwrote. A truth row is recovered whole when some reported record of its
table has every value (the rowid column may be null: a freeblock header
overwrites it), in part when at least half of its values. A reported record
equal to a live row is a live row reported; one matching no truth row is a
phantom.

Write-ahead logs: databases copied while their writer still holds them
(wal_autocheckpoint=0); `tables --wal` and `rows --wal` must equal what
sqlite3 shows on a copy of the database and its log.

usage: recover_score.py SALVIX_CLI [WORKDIR] [--quick]"""
import json, os, random, shutil, sqlite3, struct, subprocess, sys

CLI = sys.argv[1]
WORK = sys.argv[2] if len(sys.argv) > 2 and not sys.argv[2].startswith('--') else '/tmp/salvix-recover'
QUICK = '--quick' in sys.argv
WORDS = ["hello", "see you", "meeting at 5", "call me", "on my way", "ok", "thanks",
         "你好", "明天见", "好的", "😀", "🎉", "lunch?", "where are you", "love you"]

def disp(v):
    return "" if v is None else str(v)

def connect(path, page_size, encoding, auto_vacuum, wal=False):
    for suffix in ("", "-wal", "-shm", "-journal"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)
    c = sqlite3.connect(path, isolation_level=None)
    c.execute("PRAGMA secure_delete=OFF")
    c.execute("PRAGMA page_size=%d" % page_size)
    c.execute("PRAGMA encoding='%s'" % encoding)
    c.execute("PRAGMA auto_vacuum=%s" % auto_vacuum)
    if wal:
        c.execute("PRAGMA journal_mode=WAL")
        c.execute("PRAGMA wal_autocheckpoint=0")
    return c

SCHEMA = {
    "messages": "CREATE TABLE messages(_id INTEGER PRIMARY KEY, thread_id INTEGER, address TEXT, date INTEGER, body TEXT, read INTEGER)",
    "contacts": "CREATE TABLE contacts(name TEXT, phone TEXT, email TEXT, starred INTEGER)",
    "calls": "CREATE TABLE calls(id INTEGER PRIMARY KEY, number TEXT, duration INTEGER, ts INTEGER, kind INTEGER)",
    "notes": "CREATE TABLE notes(id INTEGER PRIMARY KEY, title TEXT, content TEXT, modified INTEGER)",
}

def rows_of(c, table):
    if table in ("messages", "calls", "notes"):
        return [tuple(disp(v) for v in r) for r in c.execute("SELECT * FROM %s" % table)]
    return [tuple(disp(v) for v in r) for r in c.execute("SELECT * FROM %s" % table)]

def fill(c, rng, n):
    c.execute(SCHEMA["messages"]); c.execute(SCHEMA["contacts"]); c.execute(SCHEMA["calls"])
    c.execute("BEGIN")
    for i in range(1, n + 1):
        body = " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 10)))
        c.execute("INSERT INTO messages VALUES(?,?,?,?,?,?)",
                  (i, rng.randint(1, 40), "+1555%07d" % rng.randint(0, 9999999),
                   1600000000000 + i * 61000 + rng.randint(0, 999), body, rng.randint(0, 1)))
        if i <= n // 2:
            c.execute("INSERT INTO contacts VALUES(?,?,?,?)",
                      ("Person %d %s" % (i, rng.choice(WORDS)), "+1555%07d" % rng.randint(0, 9999999),
                       "p%d@example.com" % i, rng.randint(0, 1)))
            c.execute("INSERT INTO calls VALUES(?,?,?,?,?)",
                      (i, "+1555%07d" % rng.randint(0, 9999999), rng.randint(0, 3600),
                       1600000000 + i * 977, rng.randint(1, 3)))
    c.execute("COMMIT")

def take(c, truth, table, where):
    for r in c.execute("SELECT * FROM %s WHERE %s" % (table, where)):
        truth.append((table, tuple(disp(v) for v in r)))

def deleted_fixture(path, page_size, encoding, auto_vacuum, seed, n):
    rng = random.Random(seed)
    c = connect(path, page_size, encoding, auto_vacuum)
    fill(c, rng, n)
    truth = []
    # Single rows.
    singles = rng.sample(range(1, n + 1), 8)
    take(c, truth, "messages", "_id IN (%s)" % ",".join(map(str, singles)))
    c.execute("DELETE FROM messages WHERE _id IN (%s)" % ",".join(map(str, singles)))
    take(c, truth, "contacts", "rowid IN (3, 17, 18)")
    c.execute("DELETE FROM contacts WHERE rowid IN (3, 17, 18)")
    # A run of rows.
    a = rng.randint(1, n // 2 - 20)
    take(c, truth, "calls", "id BETWEEN %d AND %d" % (a, a + 11))
    c.execute("DELETE FROM calls WHERE id BETWEEN %d AND %d" % (a, a + 11))
    # Whole pages: a long run of messages.
    per_page = min(n // 8, max(4, page_size // 80))
    b = rng.randint(n // 2, n - 3 * per_page)
    take(c, truth, "messages", "_id BETWEEN %d AND %d" % (b, b + 2 * per_page))
    c.execute("DELETE FROM messages WHERE _id BETWEEN %d AND %d" % (b, b + 2 * per_page))
    # Shrinking and growing updates: the old versions are the truth.
    for rid in rng.sample(range(1, n // 2), 6):
        take(c, truth, "messages", "_id = %d" % rid)
        c.execute("UPDATE messages SET body = ? WHERE _id = ?", ("ok" if rid % 2 else " ".join(WORDS), rid))
    # A dropped table.
    c.execute(SCHEMA["notes"])
    for i in range(1, 25):
        c.execute("INSERT INTO notes VALUES(?,?,?,?)", (i, "note %d" % i, " ".join(rng.choice(WORDS) for _ in range(8)), 1600000000 + i))
    take(c, truth, "notes", "1")
    c.execute("DROP TABLE notes")
    # Inserts that partly overwrite freed cells.
    for i in range(3):
        c.execute("INSERT INTO messages(thread_id, address, date, body, read) VALUES(?,?,?,?,?)",
                  (99, "+15550000000", 1700000000000 + i, "new %d" % i, 0))
    live = {t: rows_of(c, t) for t in ("messages", "contacts", "calls")}
    c.close()
    return truth, live

def wal_fixture(path, kind, seed):
    """Returns (truth of deleted/overwritten rows, path of the copied db)."""
    rng = random.Random(seed)
    d = os.path.dirname(path)
    c = connect(path, 4096, "UTF-8", "NONE", wal=True)
    truth = []
    if kind == "log_only":
        fill(c, rng, 300)
    else:
        fill(c, rng, 300)
        c.execute("PRAGMA wal_checkpoint(TRUNCATE)")
        if kind == "restart":
            c.execute("BEGIN")
            for i in range(301, 700):
                c.execute("INSERT INTO messages(thread_id,address,date,body,read) VALUES(1,'x',?,?,0)", (i, "filler %d" % i))
            c.execute("COMMIT")
            c.execute("PRAGMA wal_checkpoint(PASSIVE)")
        take(c, truth, "messages", "_id % 9 = 0 AND _id <= 300")
        c.execute("DELETE FROM messages WHERE _id % 9 = 0 AND _id <= 300")
        take(c, truth, "calls", "id % 4 = 1")
        c.execute("UPDATE calls SET duration = duration + 1 WHERE id % 4 = 1")
    copy = os.path.join(d, "copy-" + os.path.basename(path))
    for suffix in ("", "-wal"):
        shutil.copyfile(path + suffix, copy + suffix)
    c.close()
    if kind == "truncated":
        size = os.path.getsize(copy + "-wal")
        with open(copy + "-wal", "r+b") as f:
            f.truncate(size - 1000)
    if kind == "bigendian":
        rewrite_big_endian(copy + "-wal")
    if kind == "flipped":
        size = os.path.getsize(copy + "-wal")
        frames = (size - 32) // (4096 + 24)
        with open(copy + "-wal", "r+b") as f:
            f.seek(32 + (frames * 2 // 3) * (4096 + 24) + 24 + 2000)
            b = f.read(1)
            f.seek(-1, 1)
            f.write(bytes([b[0] ^ 0x40]))
    return truth, copy

def wal_checksum(data, s0, s1, big):
    fmt = ">%dI" if big else "<%dI"
    words = struct.unpack(fmt % (len(data) // 4), data)
    for i in range(0, len(words), 2):
        s0 = (s0 + words[i] + s1) & 0xFFFFFFFF
        s1 = (s1 + words[i + 1] + s0) & 0xFFFFFFFF
    return s0, s1

def rewrite_big_endian(path):
    """The same log as a big-endian machine writes it: magic 0x377f0683 and
    checksums over big-endian words."""
    data = bytearray(open(path, "rb").read())
    page = struct.unpack(">I", data[8:12])[0]
    data[0:4] = struct.pack(">I", 0x377f0683)
    s0, s1 = wal_checksum(bytes(data[0:24]), 0, 0, True)
    data[24:32] = struct.pack(">II", s0, s1)
    at = 32
    while at + 24 + page <= len(data):
        s0, s1 = wal_checksum(bytes(data[at:at + 8]) + bytes(data[at + 24:at + 24 + page]), s0, s1, True)
        data[at + 16:at + 24] = struct.pack(">II", s0, s1)
        at += 24 + page
    open(path, "wb").write(data)

def oracle(copy):
    """Tables and rows as sqlite3 shows them, read from a scratch copy."""
    scratch = copy + ".oracle"
    for suffix in ("", "-wal"):
        if os.path.exists(copy + suffix):
            shutil.copyfile(copy + suffix, scratch + suffix)
    c = sqlite3.connect(scratch)
    names = [r[0] for r in c.execute("SELECT name FROM sqlite_master WHERE type='table'")]
    rows = {t: sorted(tuple(disp(v) for v in r) for r in c.execute('SELECT * FROM "%s"' % t)) for t in names}
    c.close()
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(scratch + suffix):
            os.remove(scratch + suffix)
    return names, rows

def cli(*args):
    return subprocess.run([CLI] + list(args), capture_output=True, text=True).stdout

def recover(path, wal):
    out = cli("recover", "--json", *(["--wal"] if wal else []), path)
    return [json.loads(line) for line in out.splitlines() if line.strip()]

def in_file(truth, path, encoding):
    """Truth rows whose text values are all still somewhere in the file or its
    log (each on its own, so a loose upper bound on what any reader can
    recover whole)."""
    data = b""
    for suffix in ("", "-wal"):
        if os.path.exists(path + suffix):
            data += open(path + suffix, "rb").read()
    codec = "utf-16-le" if encoding == "UTF-16le" else "utf-8"
    count = 0
    for _, row in truth:
        texts = [v for v in row if not v.lstrip("-").isdigit()]
        count += all(t.encode(codec) in data for t in texts)
    return count

def matches(rec, table, row):
    """2: every value of the truth row (a lost rowid column aside), 1: at
    least half of them, 0: neither."""
    if rec["table"] != table:
        return 0
    vals = rec["values"]
    alias = 0 if table != "contacts" else -1
    same = sum(1 for i, v in enumerate(row) if i < len(vals) and vals[i] == v)
    lost_id = 1 if alias == 0 and vals and vals[0] is None else 0
    if same + lost_id == len(row):
        return 2
    return 1 if same * 2 >= len(row) else 0

def score(truth, live, records):
    whole = part = 0
    for table, row in truth:
        best = max((matches(rec, table, row) for rec in records), default=0)
        whole += best == 2
        part += best == 1
    live_reported = phantoms = 0
    for rec in records:
        rows = live.get(rec["table"], [])
        vals = rec["values"]
        alias = 0 if rec["table"] != "contacts" else -1
        if any(all(v is None or i == alias or v == r[i] for i, v in enumerate(vals) if i < len(r)) for r in rows):
            live_reported += 1
        elif not any(matches(rec, table, row) for table, row in truth):
            phantoms += 1
    return whole, part, live_reported, phantoms

def main():
    os.makedirs(WORK, exist_ok=True)
    layouts = [(4096, "UTF-8", "NONE"), (1024, "UTF-8", "NONE"), (8192, "UTF-16le", "NONE"),
               (4096, "UTF-16le", "INCREMENTAL"), (2048, "UTF-8", "FULL"), (65536, "UTF-8", "NONE")]
    if QUICK:
        layouts = layouts[:2]
    total = [0, 0, 0, 0, 0, 0, 0]
    print("%-34s %6s %7s %6s %6s %6s %8s %8s" % ("fixture", "truth", "in file", "whole", "part", "live", "phantom", "reported"))
    for k, (ps, enc, av) in enumerate(layouts):
        path = os.path.join(WORK, "del-%d-%s-%s.db" % (ps, enc, av))
        truth, live = deleted_fixture(path, ps, enc, av, 1000 + k, 400 if QUICK else 1200)
        recs = recover(path, False)
        w, p, l, ph = score(truth, live, recs)
        f = in_file(truth, path, enc)
        for i, v in enumerate((len(truth), w, p, l, ph, len(recs), f)):
            total[i] += v
        print("%-34s %6d %7d %6d %6d %6d %8d %8d" % (os.path.basename(path), len(truth), f, w, p, l, ph, len(recs)))
    wal_ok = 0
    kinds = ["log_only", "update", "restart", "truncated", "flipped", "bigendian"]
    for k, kind in enumerate(kinds):
        path = os.path.join(WORK, "wal-%s.db" % kind)
        truth, copy = wal_fixture(path, kind, 2000 + k)
        names, rows = oracle(copy)
        tables = json.loads(cli("tables", "--json", "--wal", copy).splitlines()[0])
        ours = [t["name"] for t in tables["tables"]]
        same = sorted(ours) == sorted(names)
        for t in names:
            got = sorted(tuple(r) for r in map(json.loads, cli("rows", "--json", "--wal", copy, t).splitlines()))
            same = same and got == rows[t]
        wal_ok += same
        line = "%-34s tables/rows --wal %s" % (os.path.basename(copy), "equal to sqlite3" if same else "DIFFER")
        if truth and kind in ("update", "restart"):
            live = {t: [tuple(r) for r in rows[t]] for t in rows}
            recs = recover(copy, True)
            w, p, l, ph = score(truth, live, recs)
            f = in_file(truth, copy, "UTF-8")
            for i, v in enumerate((len(truth), w, p, l, ph, len(recs), f)):
                total[i] += v
            line += "; recover --wal: truth %d in file %d whole %d part %d live %d phantom %d reported %d" % (len(truth), f, w, p, l, ph, len(recs))
        print(line)
    t, w, p, l, ph, rep, f = total
    print("TOTAL truth %d (%d still in the files): whole %d (%.1f%% of truth, %.1f%% of those in the files), "
          "part %d, live rows reported %d, phantoms %d of %d reported (%.2f%%)"
          % (t, f, w, 100.0 * w / max(t, 1), 100.0 * w / max(f, 1), p, l, ph, rep, 100.0 * ph / max(rep, 1)))
    print("WAL agreement: %d of %d fixtures" % (wal_ok, len(kinds)))
    ok = l == 0 and wal_ok == len(kinds) and w * 100 >= 79 * t and ph * 50 <= rep
    return 0 if ok else 1

if __name__ == "__main__":
    sys.exit(main())
