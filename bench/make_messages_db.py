#!/usr/bin/env python3
"""Writes a phone-style benchmark database: one `messages` table of N rows
(text with Chinese and emoji, integers, a real and a small blob) with
4096-byte pages. The rows are generated from a fixed seed, so every run
writes the same data."""
import os
import random
import sqlite3
import sys

def main():
    if len(sys.argv) < 2:
        print("usage: make_messages_db.py OUTPUT.db [ROWS]", file=sys.stderr)
        return 2
    path = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    if os.path.exists(path):
        os.remove(path)
    rng = random.Random(20200101)
    words = ["你好", "明天", "见面", "好的", "咖啡", "谢谢", "晚安", "😀", "🎉", "👍",
             "ok", "see you", "meeting", "call me", "on my way", "lol", "🚲", "☕"]
    db = sqlite3.connect(path)
    db.execute("PRAGMA page_size=4096")
    db.execute("PRAGMA journal_mode=OFF")
    db.execute("PRAGMA synchronous=OFF")
    db.execute("""CREATE TABLE messages(
        _id INTEGER PRIMARY KEY,
        thread_id INTEGER,
        address TEXT,
        date INTEGER,
        type INTEGER,
        body TEXT,
        read INTEGER,
        score REAL,
        thumb BLOB)""")

    def generate():
        for i in range(1, rows + 1):
            body = " ".join(rng.choice(words) for _ in range(rng.randint(2, 12)))
            yield (i, rng.randint(1, 500), "+86 138 %04d %04d" % (rng.randint(0, 9999), rng.randint(0, 9999)),
                   1577836800000 + i * 60000 + rng.randint(0, 59999), rng.randint(1, 2), body,
                   rng.randint(0, 1), rng.random() * 100, rng.randbytes(rng.randint(4, 24)))

    db.executemany("INSERT INTO messages VALUES(?,?,?,?,?,?,?,?,?)", generate())
    db.commit()
    db.close()
    return 0

if __name__ == "__main__":
    sys.exit(main())
