#!/usr/bin/env bash
# Builds samples/phone.db from samples/phone.sql with the sqlite3 command
# line. The same sqlite3 version gives the same bytes every time.
set -euo pipefail
cd "$(dirname "$0")"
command -v sqlite3 >/dev/null || { echo "make_sample: sqlite3 is not installed" >&2; exit 1; }
rm -f phone.db phone.db-journal
sqlite3 phone.db < phone.sql >/dev/null
sqlite3 phone.db 'PRAGMA integrity_check' | grep -qx ok
echo "make_sample: wrote $(pwd)/phone.db ($(stat -c %s phone.db) bytes)"
