#!/usr/bin/env python3
"""Builds deleted-record and write-ahead-log fixtures with sqlite3 and scores
salvix-cli against them.

Deleted records come in three sets, every database written with secure_delete
off (as phones ship it); the ground truth is every row version the script
deleted, dropped or overwrote, whether or not its bytes survive:
  one kind per database  each database holds one kind of deletion (single
                         rows, a run, whole pages, shrinking or growing
                         updates, a dropped table, a drop followed by a new
                         table, inserts over freed cells, long rows on
                         overflow pages, rows of tables of numbers only
                         ("no-text": no text, an id that is not the rowid,
                         a millisecond time first), rows whose tails newer,
                         shorter rows took ("partial")), as a public corpus of
                         deleted-record cases is built; the target applies
                         to this set
  WITHOUT ROWID          a table whose key is not its first column, rows
                         deleted as in single and run, in every layout, in
                         the file and in WAL mode; shown, judged only for
                         live rows and phantoms
  WAL mode               the same kinds and layouts in WAL mode, checkpointed
                         once filled, each deletion only in the log; read
                         from a copy of the database and its log taken
                         while the writer holds them (`recover --wal`);
                         shown, not judged
  stress                 every kind in one database, one after the other, so
                         later steps destroy the evidence of earlier ones;
                         it must report no live row
Each set is scored per kind of truth: truth rows, those whose text values
(for a table of numbers only, the bytes of its values) are still in the
file, rows recovered whole and in part; and the rows partly overwritten
(their address still in the file, their body no more) that come back in
part or whole. A truth row is
recovered whole when some reported record of its table has every value (the
rowid column may be null: a freeblock header overwrites it), in part when at
least half of its values, or every value under no table name. A reported
record equal to a live row is a live row reported; one that holds every value
of a truth row under another table's name is misnamed; one matching no truth
row at all is a phantom.

Rollback journals (kinds of their own): hot journals copied mid-transaction
must read as sqlite3 reads the copy after its rollback (`tables/rows
--journal`); after several commits in PERSIST mode every row that only the
journal still holds must be recovered (`recover --journal`).

Write-ahead logs: databases copied while their writer still holds them
(wal_autocheckpoint=0); `tables --wal` and `rows --wal` must equal what
sqlite3 shows on a copy of the database and its log. The dropped fixture (kind
drop-in-log) holds a table created, filled and dropped with secure_delete on
since the checkpoint: its CREATE statement and its rows are only in older
log frames.

usage: recover_score.py SALVIX_CLI [WORKDIR] [--quick] [--verbose]"""
import json, os, random, shutil, sqlite3, struct, subprocess, sys

CLI = sys.argv[1]
WORK = sys.argv[2] if len(sys.argv) > 2 and not sys.argv[2].startswith('--') else '/tmp/salvix-recover'
QUICK = '--quick' in sys.argv
VERBOSE = '--verbose' in sys.argv
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

# The index of the "index" kind, made before the rows are inserted, as an
# app makes it.
MESSAGES_INDEX = "CREATE INDEX messages_address ON messages(address, date)"

def fill(c, rng, n, index=False):
    c.execute(SCHEMA["messages"]); c.execute(SCHEMA["contacts"]); c.execute(SCHEMA["calls"])
    if index:
        c.execute(MESSAGES_INDEX)
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

KINDS = ["single", "run", "page", "shrink", "grow", "drop", "drop+new", "overwrite", "long", "no-text",
         "partial", "no-rowid", "index", "wal", "drop-in-log"]
# The kinds of the one-kind-per-database sets; "wal" and "drop-in-log" are
# the log fixtures' own, and "no-rowid" is scored as a set of its own: a
# freed index cell loses the head that would prove its record, so the text
# of most such rows survives without any proof of where it ends. "index"
# (rows whose table bytes were rewritten, their index entries left) is a
# set of its own too: an entry holds only the indexed columns and the rowid.
SCENARIO_KINDS = KINDS[:-4]

# A WITHOUT ROWID table whose key is not its first column.
KV = "CREATE TABLE kv(n INTEGER, v TEXT, k TEXT PRIMARY KEY) WITHOUT ROWID"

# Tables of numbers only: an id that is not the rowid, and a millisecond
# time as the first column. Their column types, for the bytes a record of
# them holds.
NUMERIC = {
    "readings": ("CREATE TABLE readings(id INTEGER, ts INTEGER, value REAL, level REAL, flag INTEGER)", "IIRRI"),
    "samples": ("CREATE TABLE samples(ts INTEGER, lat REAL, lon REAL, acc INTEGER)", "IRRI"),
}
# The tables whose first column is not the rowid.
NO_ALIAS = ("contacts", "readings", "samples", "kv")

def alias_of(table):
    return -1 if table in NO_ALIAS else 0

def add_numeric(c, rng, n):
    c.execute(NUMERIC["readings"][0]); c.execute(NUMERIC["samples"][0])
    c.execute("BEGIN")
    for i in range(1, n + 1):
        # One level in ten is a whole number: a REAL column stores it as an integer.
        c.execute("INSERT INTO readings VALUES(?,?,?,?,?)",
                  (i, 1600000000000 + i * 61000 + rng.randint(0, 999), round(rng.uniform(-50, 50), 3),
                   float(rng.randint(0, 100)) if i % 10 == 0 else round(rng.random(), 4), rng.randint(0, 3)))
        c.execute("INSERT INTO samples VALUES(?,?,?,?)",
                  (1600000000000 + i * 1000 + rng.randint(0, 999), round(rng.uniform(-90, 90), 6),
                   round(rng.uniform(-180, 180), 6), rng.randint(1, 200)))
    c.execute("COMMIT")

def numeric_body(table, row):
    """The bytes of the values of a row of a NUMERIC table, as its record
    holds them."""
    out = b""
    for kind, v in zip(NUMERIC[table][1], row):
        x = float(v) if kind == "R" else int(v)
        if kind == "R" and x == int(x) and abs(x) < 2 ** 47:
            x = int(x)
        if isinstance(x, float):
            out += struct.pack(">d", x)
        elif x in (0, 1):
            pass
        else:
            for size in (1, 2, 3, 4, 6, 8):
                if -(1 << (8 * size - 1)) <= x < (1 << (8 * size - 1)):
                    out += x.to_bytes(size, "big", signed=True)
                    break
    return out

def take(c, truth, kind, table, where):
    for r in c.execute("SELECT * FROM %s WHERE %s" % (table, where)):
        truth.append((table, tuple(disp(v) for v in r), kind))

def update_body(c, truth, rid, body):
    """An update of one message's body; its old version is the truth, a
    shrinking or a growing one by the record's new length."""
    old = c.execute("SELECT body FROM messages WHERE _id = ?", (rid,)).fetchone()[0]
    take(c, truth, "shrink" if len(body) < len(old) else "grow", "messages", "_id = %d" % rid)
    c.execute("UPDATE messages SET body = ? WHERE _id = ?", (body, rid))

def add_notes(c, rng):
    c.execute(SCHEMA["notes"])
    for i in range(1, 25):
        c.execute("INSERT INTO notes VALUES(?,?,?,?)", (i, "note %d" % i, " ".join(rng.choice(WORDS) for _ in range(8)), 1600000000 + i))

def add_message(c, rid, i):
    c.execute("INSERT INTO messages(_id, thread_id, address, date, body, read) VALUES(?,?,?,?,?,?)",
              (rid, 99, "+15550000000", 1700000000000 + i, "new %d" % i, 0))

def live_rows(c):
    names = [r[0] for r in c.execute("SELECT name FROM sqlite_master WHERE type='table'")]
    return {t: rows_of(c, t) for t in names}

def deleted_fixture(path, page_size, encoding, auto_vacuum, seed, n):
    """The stress set: every kind of deletion in one database."""
    rng = random.Random(seed)
    c = connect(path, page_size, encoding, auto_vacuum)
    fill(c, rng, n)
    truth = []
    # Single rows.
    singles = rng.sample(range(1, n + 1), 8)
    take(c, truth, "single", "messages", "_id IN (%s)" % ",".join(map(str, singles)))
    c.execute("DELETE FROM messages WHERE _id IN (%s)" % ",".join(map(str, singles)))
    take(c, truth, "single", "contacts", "rowid IN (3, 17, 18)")
    c.execute("DELETE FROM contacts WHERE rowid IN (3, 17, 18)")
    # A run of rows.
    a = rng.randint(1, n // 2 - 20)
    take(c, truth, "run", "calls", "id BETWEEN %d AND %d" % (a, a + 11))
    c.execute("DELETE FROM calls WHERE id BETWEEN %d AND %d" % (a, a + 11))
    # Whole pages: a long run of messages.
    per_page = min(n // 8, max(4, page_size // 80))
    b = rng.randint(n // 2, n - 3 * per_page)
    take(c, truth, "page", "messages", "_id BETWEEN %d AND %d" % (b, b + 2 * per_page))
    c.execute("DELETE FROM messages WHERE _id BETWEEN %d AND %d" % (b, b + 2 * per_page))
    # Shrinking and growing updates: the old versions are the truth.
    for rid in rng.sample(range(1, n // 2), 6):
        update_body(c, truth, rid, "ok" if rid % 2 else " ".join(WORDS))
    # A dropped table.
    add_notes(c, rng)
    take(c, truth, "drop", "notes", "1")
    c.execute("DROP TABLE notes")
    # Inserts that partly overwrite freed cells.
    for i in range(3):
        c.execute("INSERT INTO messages(thread_id, address, date, body, read) VALUES(?,?,?,?,?)",
                  (99, "+15550000000", 1700000000000 + i, "new %d" % i, 0))
    live = live_rows(c)
    c.close()
    return truth, live

def scenario_fixture(path, page_size, encoding, auto_vacuum, seed, n, kind, wal=False):
    """The anchor-like set: one kind of deletion in its own database. With
    `wal`, the database is in WAL mode, checkpointed once filled, and the
    deletion is only in the log: returns the path of a copy of the database
    and its log taken while the writer still holds them."""
    rng = random.Random(seed)
    c = connect(path, page_size, encoding, auto_vacuum, wal)
    fill(c, rng, n, index=kind == "index")
    if kind in ("drop", "drop+new"):
        add_notes(c, rng)
    if wal:
        c.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    truth = []
    if kind == "single":
        singles = rng.sample(range(1, n + 1), 8)
        take(c, truth, kind, "messages", "_id IN (%s)" % ",".join(map(str, singles)))
        c.execute("DELETE FROM messages WHERE _id IN (%s)" % ",".join(map(str, singles)))
        take(c, truth, kind, "contacts", "rowid IN (3, 17, 18)")
        c.execute("DELETE FROM contacts WHERE rowid IN (3, 17, 18)")
    elif kind == "run":
        a = rng.randint(1, n // 2 - 20)
        take(c, truth, kind, "calls", "id BETWEEN %d AND %d" % (a, a + 11))
        c.execute("DELETE FROM calls WHERE id BETWEEN %d AND %d" % (a, a + 11))
        b = rng.randint(1, n - 20)
        take(c, truth, kind, "messages", "_id BETWEEN %d AND %d" % (b, b + 11))
        c.execute("DELETE FROM messages WHERE _id BETWEEN %d AND %d" % (b, b + 11))
    elif kind == "page":
        # A run three leaf pages long (by the average row size) frees at
        # least two pages whole; at most 400 rows, so that no database
        # outweighs the rest of the set (at 64 KiB pages such a run would be
        # thousands of rows, and the run then frees no page whole).
        per_page = min(133, page_size // 60 if encoding == "UTF-8" else page_size // 100)
        b = rng.randint(n // 4, n - 4 * per_page)
        take(c, truth, kind, "messages", "_id BETWEEN %d AND %d" % (b, b + 3 * per_page))
        c.execute("DELETE FROM messages WHERE _id BETWEEN %d AND %d" % (b, b + 3 * per_page))
    elif kind in ("shrink", "grow"):
        for rid in rng.sample(range(1, n + 1), 8):
            if kind == "shrink":
                update_body(c, truth, rid, rng.choice(["ok", "k", "yes", "no"]))
            else:
                update_body(c, truth, rid, " ".join(WORDS))
    elif kind in ("drop", "drop+new"):
        take(c, truth, "drop" if kind == "drop" else kind, "notes", "1")
        c.execute("DROP TABLE notes")
        if kind == "drop+new":
            c.execute("CREATE TABLE drafts(id INTEGER PRIMARY KEY, subject TEXT, body TEXT, created INTEGER)")
            for i in range(1, 13):
                c.execute("INSERT INTO drafts VALUES(?,?,?,?)",
                          (i, "draft %d" % i, " ".join(rng.choice(WORDS) for _ in range(8)), 1650000000 + i))
    elif kind == "overwrite":
        # Freed cells in the middle of the table and at its end, then new
        # rows that take their space: some with the freed rowids, some
        # appended.
        a = rng.randint(n // 4, n // 2)
        take(c, truth, kind, "messages", "_id BETWEEN %d AND %d OR _id > %d" % (a, a + 11, n - 6))
        c.execute("DELETE FROM messages WHERE _id BETWEEN %d AND %d OR _id > %d" % (a, a + 11, n - 6))
        for i, rid in enumerate((a, a + 3, a + 6, a + 9, n - 5, n - 4, n - 3)):
            add_message(c, rid, i)
    elif kind == "no-text":
        add_numeric(c, rng, n)
        for table in NUMERIC:
            dead = rng.sample(range(1, n + 1), 8)
            a = rng.randint(1, n - 20)
            where = "rowid IN (%s) OR rowid BETWEEN %d AND %d" % (",".join(map(str, dead)), a, a + 11)
            take(c, truth, kind, table, where)
            c.execute("DELETE FROM %s WHERE %s" % (table, where))
    elif kind == "partial":
        # Rows deleted one by one, then new, shorter rows with their rowids:
        # each lands on its old page, at the end of a freed cell it fits in,
        # and cuts off that record's tail.
        dead = sorted(rng.sample(range(1, n + 1), 24))
        take(c, truth, kind, "messages", "_id IN (%s)" % ",".join(map(str, dead)))
        c.execute("DELETE FROM messages WHERE _id IN (%s)" % ",".join(map(str, dead)))
        for i, rid in enumerate(dead):
            add_message(c, rid, i)
    elif kind == "no-rowid":
        # Single rows, a run and the last rows of a WITHOUT ROWID table.
        c.execute(KV)
        c.execute("BEGIN")
        for i in range(1, n + 1):
            c.execute("INSERT INTO kv VALUES(?,?,?)", (i * 7, " ".join(rng.choice(WORDS) for _ in range(3)), "key%05d" % i))
        c.execute("COMMIT")
        a = rng.randint(1, n // 2)
        where = "n IN (%s) OR n BETWEEN %d AND %d OR n > %d" % (
            ",".join(str(7 * i) for i in rng.sample(range(1, n + 1), 8)), 7 * a, 7 * (a + 11), 7 * (n - 40))
        take(c, truth, kind, "kv", where)
        c.execute("DELETE FROM kv WHERE " + where)
    elif kind == "index":
        # Single rows and a run whose table bytes are gone but whose index
        # entries are not: their address is first changed to one of the same
        # length (the table cell is overwritten in place, the old index entry
        # freed with secure_delete off), then the rows are deleted with
        # secure_delete on (which wipes the table cells and the new entries).
        a = rng.randint(1, n - 30)
        where = "_id IN (%s) OR _id BETWEEN %d AND %d" % (
            ",".join(map(str, rng.sample(range(1, n + 1), 12))), a, a + 23)
        take(c, truth, kind, "messages", where)
        c.execute("UPDATE messages SET address = '+1666' || substr(address, 6) WHERE " + where)
        take(c, truth, kind, "messages", where)  # the versions deleted
        c.execute("PRAGMA secure_delete=ON")
        c.execute("DELETE FROM messages WHERE " + where)
        c.execute("PRAGMA secure_delete=OFF")
    elif kind == "long":
        # Long messages (one to three pages of text) that go on to overflow
        # pages; every other one deleted.
        for i in range(n + 1, n + 17):
            words = []
            while sum(len(w) + 1 for w in words) < rng.randint(page_size, 3 * page_size):
                words.append(rng.choice(WORDS))
            c.execute("INSERT INTO messages VALUES(?,?,?,?,?,?)",
                      (i, rng.randint(1, 40), "+1555%07d" % rng.randint(0, 9999999),
                       1600000000000 + i * 61000, " ".join(words), 1))
        take(c, truth, kind, "messages", "_id > %d AND _id %% 2 = 1" % n)
        c.execute("DELETE FROM messages WHERE _id > %d AND _id %% 2 = 1" % n)
    live = live_rows(c)
    if wal:
        copy = os.path.join(os.path.dirname(path), "copy-" + os.path.basename(path))
        for suffix in ("", "-wal"):
            shutil.copyfile(path + suffix, copy + suffix)
        path = copy
    c.close()
    return truth, live, path

def wal_fixture(path, kind, seed):
    """Returns (truth of deleted/overwritten rows, path of the copied db)."""
    rng = random.Random(seed)
    d = os.path.dirname(path)
    c = connect(path, 4096, "UTF-8", "FULL" if kind == "vacuumed" else "NONE", wal=True)
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
        if kind == "dropped":
            # A table created, filled and dropped since the checkpoint, with
            # secure_delete on: its CREATE statement and rows are only in
            # older log frames.
            add_notes(c, rng)
            take(c, truth, "drop-in-log", "notes", "1")
            c.execute("PRAGMA secure_delete=ON")
            c.execute("DROP TABLE notes")
        elif kind == "vacuumed":
            # auto_vacuum FULL moves the last pages down over the freed ones
            # and the commit shrinks the database; the main file keeps its
            # old tail until a checkpoint.
            take(c, truth, "wal", "messages", "_id BETWEEN 100 AND 260")
            c.execute("DELETE FROM messages WHERE _id BETWEEN 100 AND 260")
        else:
            take(c, truth, "wal", "messages", "_id % 9 = 0 AND _id <= 300")
            c.execute("DELETE FROM messages WHERE _id % 9 = 0 AND _id <= 300")
            take(c, truth, "wal", "calls", "id % 4 = 1")
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

JOURNAL_KINDS = ["hot", "hot nosync", "persist"]

def journal_fixture(path, kind, seed):
    """Rollback-journal fixtures. hot, hot nosync: a copy of the database and
    its journal taken while a transaction that has spilled pages to the file
    is still open (a five-page cache); sqlite3 rolls it back on open, so the
    truth is empty and tables/rows --journal must equal sqlite3. persist:
    journal_mode=PERSIST after several commits (deletes with secure_delete
    on, same-length updates that overwrite cells in place, then a small
    commit): the truth is every deleted or overwritten row version, and the
    rows that only the journal still holds must all come back.
    Returns (truth, live rows, path of the copy)."""
    rng = random.Random(seed)
    c = connect(path, 4096 if kind == "persist" else 1024, "UTF-8", "NONE")
    c.execute("PRAGMA journal_mode=%s" % ("PERSIST" if kind == "persist" else "DELETE"))
    c.execute("PRAGMA synchronous=%s" % ("OFF" if kind == "hot nosync" else "FULL"))
    c.execute("PRAGMA cache_size=5")
    fill(c, rng, 600)
    truth = []
    copy = path.replace(".db", "-copy.db")
    for suffix in ("", "-journal"):
        if os.path.exists(copy + suffix):
            os.remove(copy + suffix)
    if kind == "persist":
        c.execute("PRAGMA secure_delete=ON")
        take(c, truth, kind, "messages", "_id % 9 = 0")
        c.execute("DELETE FROM messages WHERE _id % 9 = 0")
        take(c, truth, kind, "calls", "id % 4 = 0")
        c.execute("UPDATE calls SET number = '+1666' || substr(number, 6) WHERE id % 4 = 0")
        c.execute("INSERT INTO contacts VALUES('late', '+15550000000', 'late@example.com', 0)")
        live = live_rows(c)
        c.close()
    else:
        live = live_rows(c)
        c.execute("BEGIN")
        c.execute("DELETE FROM messages WHERE _id % 5 = 0")
        c.execute("UPDATE contacts SET name = name || ' (edited)' WHERE starred = 1")
        c.execute("DROP TABLE calls")
        add_notes(c, rng)
        for i in range(1, 400):
            add_message(c, 1000 + i, i)
    for suffix in ("", "-journal"):
        shutil.copyfile(path + suffix, copy + suffix)
    if kind != "persist":
        c.execute("ROLLBACK")
        c.close()
    return truth, live, copy

def journal_only(truth, path):
    """For each truth row, whether its texts are all in the journal and not
    all of them in the database file any more."""
    data = open(path, "rb").read()
    journal = open(path + "-journal", "rb").read()
    found = []
    for _, row, _ in truth:
        texts = [v.encode() for v in row if v and not v.lstrip("-").isdigit()]
        found.append(all(t in journal for t in texts) and not all(t in data for t in texts))
    return found

def score_journals(kinds):
    """Prints the journal fixtures; returns (fixtures that agree with
    sqlite3 or report every journal-only row, fixtures, their Score)."""
    ok, total = 0, Score()
    for k, kind in enumerate(JOURNAL_KINDS):
        path = os.path.join(WORK, "journal-%s.db" % kind.replace(" ", "-"))
        truth, live, copy = journal_fixture(path, kind, 4000 + k)
        recs = [json.loads(l) for l in cli("recover", "--json", "--journal", copy).splitlines() if l.strip()]
        if kind == "persist":
            only = journal_only(truth, copy)
            s = score(truth, live, recs, only, kinds)
            whole = sum(1 for (t, row, _), o in zip(truth, only)
                        if o and any(matches(r, t, row) == 2 for r in recs))
            good = whole == sum(only)
            text = "%-38s %d of %d rows only the journal holds come back whole" % (
                os.path.basename(copy), whole, sum(only))
        else:
            names, rows = oracle(copy)
            tables = json.loads(cli("tables", "--json", "--journal", copy).splitlines()[0])
            good = sorted(t["name"] for t in tables["tables"]) == sorted(names)
            for t in names:
                got = sorted(tuple(r) for r in map(json.loads, cli("rows", "--json", "--journal", copy, t).splitlines()))
                good = good and got == rows[t]
            s = score(truth, {t: [tuple(r) for r in rows[t]] for t in rows}, recs, [], kinds)
            text = "%-38s tables/rows --journal %s" % (os.path.basename(copy), "equal to sqlite3" if good else "DIFFER")
        ok += good
        total.add(s)
        print(text + "\n" + line("  recover --journal", s))
    return ok, len(JOURNAL_KINDS), total

def oracle(copy):
    """Tables and rows as sqlite3 shows them, read from a scratch copy."""
    scratch = copy + ".oracle"
    for suffix in ("", "-wal", "-journal"):
        if os.path.exists(copy + suffix):
            shutil.copyfile(copy + suffix, scratch + suffix)
    c = sqlite3.connect(scratch)
    names = [r[0] for r in c.execute("SELECT name FROM sqlite_master WHERE type='table'")]
    rows = {t: sorted(tuple(disp(v) for v in r) for r in c.execute('SELECT * FROM "%s"' % t)) for t in names}
    c.close()
    for suffix in ("", "-wal", "-shm", "-journal"):
        if os.path.exists(scratch + suffix):
            os.remove(scratch + suffix)
    return names, rows

def cli(*args):
    return subprocess.run([CLI] + list(args), capture_output=True, text=True).stdout

def recover(path, wal):
    out = cli("recover", "--json", *(["--wal"] if wal else []), path)
    return [json.loads(line) for line in out.splitlines() if line.strip()]

def in_file(truth, path, encoding):
    """For each truth row, whether its text values are all still somewhere in
    the file or its log (each on its own, so a loose upper bound on what any
    reader can recover whole). A text that went on to overflow pages is
    split by their page headers: it counts when its 200-byte pieces are
    there but for one per page it spans."""
    data = b""
    for suffix in ("", "-wal"):
        if os.path.exists(path + suffix):
            data += open(path + suffix, "rb").read()
    page_size = struct.unpack(">H", data[16:18])[0] if len(data) >= 18 else 4096
    page_size = 65536 if page_size == 1 else page_size
    codec = "utf-16-le" if encoding == "UTF-16le" else "utf-8"
    def there(text):
        raw = text.encode(codec)
        if raw in data:
            return True
        if len(raw) < page_size // 4:
            return False
        pieces = [raw[i:i + 200] for i in range(0, len(raw), 200)]
        missing = sum(1 for piece in pieces if piece not in data)
        return missing <= len(raw) // (page_size - 4) + 1
    found = []
    for table, row, kind in truth:
        if kind == "index":
            found.append(index_entry(row, codec) in data)
            continue
        if table in NUMERIC:
            found.append(numeric_body(table, row) in data)
            continue
        texts = [v for v in row if not v.lstrip("-").isdigit()]
        found.append(all(there(t) for t in texts))
    return found

def index_entry(row, codec):
    """The record of a message's entry in messages_address: address, date,
    rowid."""
    def integer(v):
        v = int(v)
        if v in (0, 1):
            return 8 + v, b""
        for t, size in ((1, 1), (2, 2), (3, 3), (4, 4), (5, 6), (6, 8)):
            if -(1 << (8 * size - 1)) <= v < (1 << (8 * size - 1)):
                return t, v.to_bytes(size, "big", signed=True)
    text = row[2].encode(codec)
    types, body = [13 + 2 * len(text)], text
    for v in (row[3], row[0]):
        t, b = integer(v)
        types.append(t)
        body += b
    header = b"".join(bytes([t]) if t < 128 else bytes([0x80 | (t >> 7), t & 0x7F]) for t in types)
    return bytes([len(header) + 1]) + header + body

def partly_there(truth, live, path, encoding):
    """For each truth row of messages, whether its record was partly
    overwritten: its address still in the main file, its body no more, and
    no live row with its head (an update that kept the head is never
    reported in part)."""
    data = open(path, "rb").read()
    codec = "utf-16-le" if encoding == "UTF-16le" else "utf-8"
    heads = {r[1:4] for r in live.get("messages", [])}
    return [table == "messages" and row[1:4] not in heads and row[2].encode(codec) in data and
            row[4].encode(codec) not in data for table, row, _ in truth]

def matches(rec, table, row):
    """2: every value of the truth row (a lost rowid column aside), 1: at
    least half of them, or every value under no table name (the record's
    table could not be told), 0: neither."""
    if rec["table"] != table and rec["table"] is not None:
        return 0
    vals = rec["values"]
    alias = alias_of(table)
    same = sum(1 for i, v in enumerate(row) if i < len(vals) and vals[i] == v)
    lost_id = 1 if alias == 0 and vals and vals[0] is None else 0
    if rec["table"] is None:
        return 1 if len(vals) == len(row) and same + lost_id == len(row) else 0
    if same + lost_id == len(row):
        return 2
    return 1 if same * 2 >= len(row) else 0

class Score:
    """Counts of one fixture, one set or one kind of truth."""
    FIELDS = ("truth", "in_file", "whole", "part", "live", "phantom", "misnamed", "reported", "partly",
              "partly_back")
    def __init__(self):
        for f in self.FIELDS:
            setattr(self, f, 0)
    def add(self, other):
        for f in self.FIELDS:
            setattr(self, f, getattr(self, f) + getattr(other, f))

def score(truth, live, records, present, kinds, partly=None):
    """Scores one fixture into a Score, and into `kinds` by kind of truth.
    `partly` tells the truth rows whose records were partly overwritten."""
    total = Score()
    for n, ((table, row, kind), there) in enumerate(zip(truth, present)):
        best = max((matches(rec, table, row) for rec in records), default=0)
        k = kinds.setdefault(kind, Score())
        for s in (total, k):
            s.truth += 1
            s.in_file += there
            s.whole += best == 2
            s.part += best == 1
            if partly and partly[n]:
                s.partly += 1
                s.partly_back += best >= 1
    for rec in records:
        vals = rec["values"]
        # A record under no table name is checked against every live table.
        rows = live.get(rec["table"], []) if rec["table"] is not None else \
            [r for t in live.values() for r in t if len(r) == len(vals)]
        alias = alias_of(rec["table"])
        if any(all(v is None or i == alias or v == r[i] for i, v in enumerate(vals) if i < len(r)) for r in rows):
            total.live += 1
        elif not any(matches(rec, table, row) for table, row, _ in truth):
            # Every value of a deleted row, but under another table's name
            # (a dropped table whose CREATE statement a new table of the
            # same column types overwrote): not an invented row, not a
            # recovered one either.
            renamed = dict(rec, table=None)
            if any(matches(renamed, table, row) for table, row, _ in truth):
                total.misnamed += 1
            else:
                total.phantom += 1
    total.reported = len(records)
    return total

HEADER = "%-38s %6s %7s %6s %6s %6s %8s %8s %8s" % ("fixture", "truth", "in file", "whole", "part", "live", "phantom", "misnamed", "reported")

def line(name, s):
    return "%-38s %6d %7d %6d %6d %6d %8d %8d %8d" % (name, s.truth, s.in_file, s.whole, s.part, s.live, s.phantom, s.misnamed, s.reported)

def print_kinds(kinds, order=KINDS):
    print("  %-12s %6s %7s %6s %6s %9s %12s" % ("kind", "truth", "in file", "whole", "part", "whole/all", "whole/infile"))
    for kind in order:
        if kind in kinds:
            k = kinds[kind]
            print("  %-12s %6d %7d %6d %6d %8.1f%% %11.1f%%" % (kind, k.truth, k.in_file, k.whole, k.part,
                  100.0 * k.whole / max(k.truth, 1), 100.0 * k.whole / max(k.in_file, 1)))
            if k.partly:
                what = ("rows whose index entry is in the file" if kind == "index" else
                        "rows partly overwritten (head in the file, body not)")
                print("  %-12s %d %s: %d back in part or whole (%.1f%%)" % (
                    "", k.partly, what, k.partly_back, 100.0 * k.partly_back / k.partly))

def print_total(title, t):
    print("%s: truth %d (%d still in the files): whole %d (%.1f%% of truth, %.1f%% of those in the files), "
          "part %d, live rows reported %d, phantoms %d of %d reported (%.2f%%), "
          "deleted rows under another table's name %d (%.2f%%)"
          % (title, t.truth, t.in_file, t.whole, 100.0 * t.whole / max(t.truth, 1),
             100.0 * t.whole / max(t.in_file, 1), t.part, t.live, t.phantom, t.reported,
             100.0 * t.phantom / max(t.reported, 1), t.misnamed, 100.0 * t.misnamed / max(t.reported, 1)))

def run_fixture(path, truth, live, encoding, wal, kinds):
    recs = recover(path, wal)
    present = in_file(truth, path, encoding)
    partly = None if wal else partly_there(truth, live, path, encoding)
    if all(kind == "index" for _, _, kind in truth):
        partly = present  # the rows an index entry still tells of
    return score(truth, live, recs, present, kinds, partly)

def main():
    os.makedirs(WORK, exist_ok=True)
    layouts = [(4096, "UTF-8", "NONE"), (1024, "UTF-8", "NONE"), (8192, "UTF-16le", "NONE"),
               (4096, "UTF-16le", "INCREMENTAL"), (2048, "UTF-8", "FULL"), (65536, "UTF-8", "NONE")]
    if QUICK:
        layouts = layouts[:2]
    n = 400 if QUICK else 1200

    # One kind of deletion per database.
    print("== one kind per database (the target applies here) ==")
    anchor, anchor_kinds, by_layout = Score(), {}, []
    for k, (ps, enc, av) in enumerate(layouts):
        layout = Score()
        for j, kind in enumerate(SCENARIO_KINDS):
            path = os.path.join(WORK, "one-%s-%d-%s-%s.db" % (kind.replace("+", "-"), ps, enc, av))
            truth, live, path = scenario_fixture(path, ps, enc, av, 3000 + 16 * k + j, n, kind)
            s = run_fixture(path, truth, live, enc, False, anchor_kinds)
            layout.add(s)
            if VERBOSE:
                print(line(os.path.basename(path), s))
        by_layout.append(("%d %s %s" % (ps, enc, av), layout))
        anchor.add(layout)
    print(HEADER.replace("fixture", "layout  "))
    for name, s in by_layout:
        print(line(name, s))
    print_kinds(anchor_kinds)

    # The same kinds and layouts in WAL mode, as phones mostly keep their
    # databases: each deletion is in the log, read with recover --wal.
    print("== one kind per database, in WAL mode, copied before a checkpoint ==")
    print(HEADER.replace("fixture", "layout  "))
    logged, logged_kinds = Score(), {}
    for k, (ps, enc, av) in enumerate(layouts):
        layout = Score()
        for j, kind in enumerate(SCENARIO_KINDS):
            path = os.path.join(WORK, "wal-one-%s-%d-%s-%s.db" % (kind.replace("+", "-"), ps, enc, av))
            truth, live, copy = scenario_fixture(path, ps, enc, av, 3000 + 16 * k + j, n, kind, wal=True)
            layout.add(run_fixture(copy, truth, live, enc, True, logged_kinds))
        print(line("%d %s %s" % (ps, enc, av), layout))
        logged.add(layout)
    print_kinds(logged_kinds)

    print("== WITHOUT ROWID, one database per layout, in the file and in WAL mode ==")
    print(HEADER.replace("fixture", "layout  "))
    norowid, norowid_kinds = Score(), {}
    for k, (ps, enc, av) in enumerate(layouts):
        for wal in (False, True):
            path = os.path.join(WORK, "%sno-rowid-%d-%s-%s.db" % ("wal-" if wal else "", ps, enc, av))
            truth, live, path = scenario_fixture(path, ps, enc, av, 3500 + k, n, "no-rowid", wal=wal)
            s = run_fixture(path, truth, live, enc, wal, norowid_kinds.setdefault(wal, {}))
            norowid.add(s)
            print(line("%d %s %s%s" % (ps, enc, av, " WAL" if wal else ""), s))

    print("== index entries: rows whose table bytes were wiped (in file: the index entry is), in the file "
          "and in WAL mode ==")
    print(HEADER.replace("fixture", "layout  "))
    indexed, indexed_kinds = Score(), {}
    for k, (ps, enc, av) in enumerate(layouts):
        for wal in (False, True):
            path = os.path.join(WORK, "%sindex-%d-%s-%s.db" % ("wal-" if wal else "", ps, enc, av))
            truth, live, path = scenario_fixture(path, ps, enc, av, 3700 + k, n, "index", wal=wal)
            s = run_fixture(path, truth, live, enc, wal, indexed_kinds.setdefault(wal, {}))
            indexed.add(s)
            print(line("%d %s %s%s" % (ps, enc, av, " WAL" if wal else ""), s))
    for wal in (False, True):
        print("  %s:" % ("in WAL mode" if wal else "in the file"))
        print_kinds(indexed_kinds[wal])

    # Every kind in one database.
    print("== stress: every kind in one database ==")
    print(HEADER)
    stress, stress_kinds = Score(), {}
    for k, (ps, enc, av) in enumerate(layouts):
        path = os.path.join(WORK, "del-%d-%s-%s.db" % (ps, enc, av))
        truth, live = deleted_fixture(path, ps, enc, av, 1000 + k, n)
        s = run_fixture(path, truth, live, enc, False, stress_kinds)
        stress.add(s)
        print(line(os.path.basename(path), s))
    wal_ok = 0
    kinds = ["log_only", "update", "restart", "truncated", "flipped", "bigendian", "vacuumed", "dropped"]
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
        text = "%-38s tables/rows --wal %s" % (os.path.basename(copy), "equal to sqlite3" if same else "DIFFER")
        if truth and kind in ("update", "restart", "vacuumed", "dropped"):
            live = {t: [tuple(r) for r in rows[t]] for t in rows}
            s = run_fixture(copy, truth, live, "UTF-8", True, stress_kinds)
            stress.add(s)
            text += "\n" + line("  recover --wal", s)
        print(text)
    print_kinds(stress_kinds)

    print("== rollback journals (in file: only the journal holds it) ==")
    journal_ok, journal_fixtures, journals = score_journals(journal_kinds := {})
    print_kinds(journal_kinds, JOURNAL_KINDS)

    print_total("ONE KIND PER DATABASE", anchor)
    print_total("ONE KIND PER DATABASE, WAL MODE", logged)
    print_total("STRESS", stress)
    print_total("ROLLBACK JOURNALS", journals)
    print_total("WITHOUT ROWID", norowid)
    print_total("INDEX ENTRIES", indexed)
    print("WAL agreement: %d of %d fixtures" % (wal_ok, len(kinds)))
    print("Journals: %d of %d fixtures equal to sqlite3 or with every journal-only row whole" % (journal_ok, journal_fixtures))
    no_text, partial = anchor_kinds.get("no-text", Score()), anchor_kinds.get("partial", Score())
    ok = (anchor.live == 0 and logged.live == 0 and stress.live == 0 and wal_ok == len(kinds) and
          journals.live == 0 and journal_ok == journal_fixtures and
          anchor.whole * 100 >= 93 * anchor.in_file and no_text.whole * 100 >= 95 * no_text.in_file and
          partial.partly_back * 2 >= partial.partly and
          norowid.live == 0 and indexed.live == 0 and
          all(s.phantom * 100 < max(s.reported, 1) for s in (anchor, logged, stress, norowid, indexed)))
    print("target (one kind per database: >= 93%% of the rows still in the files whole, >= 95%% on the no-text kind, "
          "half the partly overwritten rows of the partial kind back in part; no live row and phantoms < 1%% "
          "in every set; WAL agreement; journals: equal to sqlite3, every journal-only row, no live row): %s"
          % ("met" if ok else "NOT met"))
    return 0 if ok else 1

if __name__ == "__main__":
    sys.exit(main())
