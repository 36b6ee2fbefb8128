#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets.

    make_seeds.py OUTDIR

OUTDIR/fuzz_database: small valid databases (page sizes 512, 1024, 4096 and
65536; UTF-8, UTF-16le and UTF-16be) holding overflowing rows, a WITHOUT
ROWID table, an index and deleted rows, so that every page type, the
overflow chains and the freeblock chains are reached from the first run.
OUTDIR/fuzz_recover: databases with deleted rows, a dropped table and a
write-ahead log copied while its writer held it, each packed as four bytes
of database length, the database, then the log.
OUTDIR/fuzz_journal: databases packed the same way with a rollback journal:
hot journals copied mid-transaction, and a PERSIST journal after a commit.
OUTDIR/fuzz_carve: small raw images with JPEG and ISO media signatures at
sector starts (and one just off a sector start), and databases.
OUTDIR/fuzz_gif: the spinner GIF when the resources hold it, and a few
hand-made GIFs.
"""
import os
import sqlite3
import struct
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def build_database(path, page_size, encoding, rows, overflow_len):
    if os.path.exists(path):
        os.remove(path)
    con = sqlite3.connect(path, isolation_level=None)
    con.execute(f"PRAGMA page_size={page_size}")
    con.execute(f"PRAGMA encoding='{encoding}'")
    con.execute("PRAGMA journal_mode=DELETE")
    con.execute("PRAGMA secure_delete=OFF")
    con.execute("PRAGMA auto_vacuum=NONE")
    con.execute("BEGIN")
    con.execute("CREATE TABLE messages (id INTEGER PRIMARY KEY, sender TEXT, body TEXT, "
                "sent REAL, flags INT, attachment BLOB)")
    con.execute("CREATE TABLE contacts (phone TEXT, name TEXT NOT NULL, "
                "PRIMARY KEY (phone)) WITHOUT ROWID")
    con.execute("CREATE INDEX messages_sender ON messages(sender)")
    con.execute("CREATE TABLE \"quoted [name]\" (`a` VARCHAR(10), [b] DECIMAL(10,2), c)")
    for i in range(rows):
        body = ("message %d " % i) * (1 + i % 7)
        if i % 5 == 0:
            body += "\u4f60\u597d\u00e9" * (overflow_len // 6)  # long: spills to overflow pages
        con.execute("INSERT INTO messages (sender, body, sent, flags, attachment) "
                    "VALUES (?, ?, ?, ?, ?)",
                    ("+4917%05d" % (i * 37 % 99991), body, 1.6e9 + i * 0.5,
                     (-1) ** i * i * 1000003, bytes(range(i % 40))))
        con.execute("INSERT OR REPLACE INTO contacts VALUES (?, ?)",
                    ("+4917%05d" % (i * 37 % 99991), "name %d" % i))
    con.execute("INSERT INTO \"quoted [name]\" VALUES ('x', 12.5, NULL)")
    con.execute("INSERT INTO \"quoted [name]\" VALUES (0, 1, x'00ff')")
    con.execute("COMMIT")
    # Deleted rows leave freeblocks behind in the leaf pages.
    con.execute("DELETE FROM messages WHERE id % 3 = 0")
    con.execute("DELETE FROM contacts WHERE name LIKE '%7'")
    con.close()


def database_seeds(out):
    made = []
    for page_size, encoding, rows, overflow in ((512, "UTF-8", 60, 1500),
                                                (512, "UTF-16le", 40, 1200),
                                                (512, "UTF-16be", 40, 1200),
                                                (1024, "UTF-8", 50, 2500),
                                                (1024, "UTF-16be", 40, 2500),
                                                (4096, "UTF-8", 40, 5000),
                                                (4096, "UTF-16le", 30, 5000),
                                                (65536, "UTF-8", 2, 66000)):
        name = "p%d-%s.db" % (page_size, encoding.lower().replace("-", ""))
        build_database(os.path.join(out, name), page_size, encoding, rows, overflow)
        made.append(name)
    # One database with an empty schema, and one of a single leaf page.
    for name, statements in (("empty.db", []),
                             ("oneleaf.db", ["CREATE TABLE t(a INTEGER PRIMARY KEY, b)",
                                             "INSERT INTO t VALUES (1, 'one')"])):
        path = os.path.join(out, name)
        if os.path.exists(path):
            os.remove(path)
        con = sqlite3.connect(path, isolation_level=None)
        con.execute("PRAGMA page_size=512")
        for statement in statements:
            con.execute(statement)
        con.execute("VACUUM")
        con.close()
        made.append(name)
    return made


def recover_seeds(out):
    made = []
    work = tempfile.mkdtemp()
    for page_size, encoding in ((512, "UTF-8"), (1024, "UTF-16le"), (4096, "UTF-8")):
        path = os.path.join(work, "r.db")
        for suffix in ("", "-wal", "-shm"):
            if os.path.exists(path + suffix):
                os.remove(path + suffix)
        con = sqlite3.connect(path, isolation_level=None)
        con.execute(f"PRAGMA page_size={page_size}")
        con.execute(f"PRAGMA encoding='{encoding}'")
        con.execute("PRAGMA secure_delete=OFF")
        con.execute("CREATE TABLE m(id INTEGER PRIMARY KEY, body TEXT, ts INTEGER)")
        con.execute("CREATE TABLE gone(a TEXT, b INTEGER)")
        for i in range(120):
            con.execute("INSERT INTO m VALUES(?,?,?)", (i, "message %d " % i + "x" * (i % 50), i * 1000))
            con.execute("INSERT INTO gone VALUES(?,?)", ("row %d" % i, i))
        con.execute("DELETE FROM m WHERE id % 3 = 0")
        con.execute("DROP TABLE gone")
        con.execute("PRAGMA journal_mode=WAL")
        con.execute("PRAGMA wal_autocheckpoint=0")
        con.execute("UPDATE m SET body='edited' WHERE id % 5 = 0")
        # Rows on overflow pages that only the log holds, one deleted there.
        con.execute("UPDATE m SET body = body || printf('%.5000c', 'y') WHERE id % 11 = 1")
        con.execute("DELETE FROM m WHERE id % 7 = 0")
        db = open(path, "rb").read()
        wal = open(path + "-wal", "rb").read()
        con.close()
        name = "wal-p%d-%s.bin" % (page_size, encoding.lower().replace("-", ""))
        with open(os.path.join(out, name), "wb") as f:
            f.write(struct.pack(">I", len(db)) + db + wal)
        made.append(name)
    return made


def journal_seeds(out):
    """A hot journal copied mid-transaction (pages spilled, several
    segments), one written without sync, and a PERSIST journal whose header
    a commit zeroed."""
    made = []
    work = tempfile.mkdtemp()
    for page_size, mode, sync in ((512, "DELETE", "FULL"), (1024, "DELETE", "OFF"), (1024, "PERSIST", "FULL")):
        path = os.path.join(work, "j.db")
        for suffix in ("", "-journal"):
            if os.path.exists(path + suffix):
                os.remove(path + suffix)
        con = sqlite3.connect(path, isolation_level=None)
        con.execute(f"PRAGMA page_size={page_size}")
        con.execute(f"PRAGMA journal_mode={mode}")
        con.execute(f"PRAGMA synchronous={sync}")
        con.execute("PRAGMA cache_size=5")
        con.execute("CREATE TABLE m(id INTEGER PRIMARY KEY, body TEXT, ts INTEGER)")
        con.execute("BEGIN")
        for i in range(150):
            con.execute("INSERT INTO m VALUES(?,?,?)", (i, "message %d " % i + "x" * (i % 50), i * 1000))
        con.execute("COMMIT")
        con.execute("BEGIN")
        con.execute("DELETE FROM m WHERE id % 3 = 0")
        for i in range(150, 260):
            con.execute("INSERT INTO m VALUES(?,?,?)", (i, "late %d " % i + "y" * (i % 30), i))
        if mode == "PERSIST":
            con.execute("COMMIT")
        db = open(path, "rb").read()
        journal = open(path + "-journal", "rb").read()
        if mode != "PERSIST":
            con.execute("ROLLBACK")
        con.close()
        name = "journal-p%d-%s-%s.bin" % (page_size, mode.lower(), sync.lower())
        with open(os.path.join(out, name), "wb") as f:
            f.write(struct.pack(">I", len(db)) + db + journal)
        made.append(name)
    return made


SECTOR = 512


def jpeg_sector(marker, tag):
    return b"\xff\xd8\xff" + bytes([marker]) + b"\x00\x10" + tag + b"\x00" + b"\x01\x01"


def ftyp_sector(major, compatible):
    return struct.pack(">I", 24) + b"ftyp" + major + b"\x00\x00\x02\x00" + compatible + b"free"


def carve_seeds(out):
    images = {
        "jpeg-first-sector.img": [(0, jpeg_sector(0xE0, b"JFIF"))],
        "exif-and-movies.img": [(SECTOR, jpeg_sector(0xE1, b"Exif")),
                                (2 * SECTOR, ftyp_sector(b"isom", b"isom")),
                                (3 * SECTOR, ftyp_sector(b"mp42", b"mp42")),
                                (5 * SECTOR, ftyp_sector(b"qt  ", b"qt  ")),
                                (6 * SECTOR, ftyp_sector(b"qt  ", b"mp42")),
                                (7 * SECTOR + 1, jpeg_sector(0xDB, b"JFIF"))],
        "near-misses.img": [(0, ftyp_sector(b"isom", b"iso2")),
                            (SECTOR, jpeg_sector(0xE0, b"JFXX")),
                            (2 * SECTOR, jpeg_sector(0xC4, b"Exif"))],
    }
    # One whole 1 MiB chunk and a tail, with hits on both sides of the seam.
    chunk = 1 << 20
    images["two-chunks.img"] = [(chunk - SECTOR, jpeg_sector(0xE0, b"JFIF")),
                                (chunk + SECTOR, ftyp_sector(b"qt  ", b"qt  "))]
    # A database whose header no longer vouches for its page count, so the
    # database carver walks its structure; a second copy is cut off.
    with tempfile.TemporaryDirectory() as tmp:
        db = os.path.join(tmp, "carve.db")
        build_database(db, 512, "UTF-8", 12, 1500)
        with open(db, "rb") as f:
            raw = bytearray(f.read())
    raw[95] ^= 0x55
    images["databases.img"] = [(SECTOR, bytes(raw)), (SECTOR * (2 + len(raw) // SECTOR), bytes(raw))]
    for name, pieces in images.items():
        size = chunk + 3 * SECTOR + 188 if name == "two-chunks.img" else 8 * SECTOR + 100
        if name == "databases.img":
            size = SECTOR * (2 + len(raw) // SECTOR) + len(raw) // 2
        data = bytearray(size)  # ends in a partial sector
        for offset, piece in pieces:
            data[offset:offset + len(piece)] = piece
        del data[size:]  # a piece past the end is cut off there
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return list(images)


def gif(frames, global_table=True, loop=True):
    data = bytearray(b"GIF89a" + struct.pack("<HH", 16, 16))
    data += bytes([0xF1 if global_table else 0x70, 1, 0])
    if global_table:
        data += bytes([0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 255, 0])
    if loop:
        data += b"!\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
    data += b"!\xfe\x05hello\x00"
    for index, (delay, disposal, local) in enumerate(frames):
        data += b"!\xf9\x04" + bytes([disposal << 2]) + struct.pack("<H", delay) + b"\x00\x00"
        data += b"," + struct.pack("<HHHH", index, index, 8, 8)
        data += bytes([0x80 if local else 0])
        if local:
            data += bytes([0, 0, 255, 0, 255, 0])
        data += b"\x02\x02\x44\x01\x00"
    data += b";"
    return bytes(data)


def gif_seeds(out):
    made = {}
    spinner = os.path.join(ROOT, "resources", "spinner.gif")
    if os.path.exists(spinner):
        with open(spinner, "rb") as f:
            made["spinner.gif"] = f.read()
    made["one-frame.gif"] = gif([(0, 0, False)], loop=False)
    made["three-frames.gif"] = gif([(3, 2, False), (12, 3, True), (5, 1, False)])
    made["no-global-table.gif"] = gif([(10, 0, True), (10, 0, True)], global_table=False)
    made["gif87a-plain.gif"] = b"GIF87a" + gif([(0, 0, False)], loop=False)[6:]
    for name, data in made.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return list(made)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_seeds.py OUTDIR")
    out = sys.argv[1]
    for target, make in (("fuzz_database", database_seeds), ("fuzz_recover", recover_seeds),
                         ("fuzz_journal", journal_seeds),
                         ("fuzz_carve", carve_seeds), ("fuzz_gif", gif_seeds)):
        directory = os.path.join(out, target)
        os.makedirs(directory, exist_ok=True)
        names = make(directory)
        print("%s: %d seeds in %s" % (target, len(names), directory))


if __name__ == "__main__":
    main()
