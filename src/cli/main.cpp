// salvix-cli: the command line over the SalvixForSqlite engine.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "CliCommands.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  salvix-cli tables [--json] [--wal] [--journal] DB...\n"
    "      Opens each database in turn and lists its tables with their root\n"
    "      pages and columns. With --json: one JSON object per database per\n"
    "      line: {\"path\",\"fileSize\",\"pageSize\",\"tableCount\",\"hashes\":[...],\n"
    "      \"tables\":[{\"name\",\"rootPage\",\"ordinal\",\"columns\":[{\"name\",\"type\"}]}]},\n"
    "      \"hashes\" holding an object as salvix-cli hash --json prints it for\n"
    "      the file and for each file laid over it (--wal, --journal).\n"
    "  salvix-cli rows [--json|--csv|--csv-raw] [--wal] [--journal] [--time COLUMN=ENC]...\n"
    "      DB TABLE\n"
    "  salvix-cli rows [--json|--csv|--csv-raw] [--wal] [--journal] [--time COLUMN=ENC]...\n"
    "      --ordinal N DB\n"
    "      Reads every row of TABLE (or of the table listed as [N] by\n"
    "      salvix-cli tables, for names that only differ in bytes that are not\n"
    "      valid UTF-8), in the order of the b-tree walk. Without --json: one\n"
    "      line per row, values separated by tabs, with backslash, tab, line\n"
    "      feed and carriage return written as \\\\, \\t, \\n and \\r.\n"
    "      With --json: one JSON array of strings per row (JSON Lines).\n"
    "      With --csv: CSV by RFC 4180 in UTF-8 with a byte-order mark, the\n"
    "      column names first, records ended by CR LF. A text that is not a\n"
    "      number and begins with =, +, -, @, a tab or a carriage return gets a\n"
    "      leading apostrophe, so that a spreadsheet program does not run it\n"
    "      as a formula; --csv-raw writes every value untouched.\n"
    "      --time COLUMN=ENC shows that column's numbers as UTC times\n"
    "      (2020-01-06T00:00:00.000Z) read as ENC: unix (seconds since 1970),\n"
    "      unix-ms, unix-us, mac (seconds since 2001), webkit (microseconds\n"
    "      since 1601), filetime (100 ns since 1601). A value that is no number,\n"
    "      or that ENC puts outside the years 1990 to 2040, stays as it is.\n"
    "  salvix-cli recover [--json] [--wal] [--journal] DB [TABLE]\n"
    "      Records the file holds outside its live tables (freeblocks,\n"
    "      unallocated space, freelist pages, unused log frames), one per line:\n"
    "      table, source, page, offset, frame, rowid, then the values in column\n"
    "      order, tab-separated, \\N for what could not be recovered. With --json:\n"
    "      {\"table\",\"source\",\"page\",\"offset\",\"frame\",\"rowid\",\"values\"}\n"
    "      with null for what could not be recovered. Sources: freeblock,\n"
    "      unallocated, freelist, wal (a log frame the database shown does not\n"
    "      use; with frame null, the main file's older version of a page the log\n"
    "      replaces), journal (with --journal, a page image of DB-journal that\n"
    "      the database shown does not use; offset is the byte offset in the\n"
    "      journal). A record equal to a live row of its table is never listed.\n"
    "  salvix-cli page [--json] [--wal] DB N\n"
    "      The regions of page N in order, covering it from 0 to its size once:\n"
    "      start, end, kind, cell index (\"-\" for none), tab-separated, then\n"
    "      the page's bytes (hexadecimal offset, 16 bytes as hex, as text).\n"
    "      With --json: {\"page\",\"type\",\"regions\":[{\"kind\",\"start\",\"end\",\n"
    "      \"cell\"}]}. Types: table-leaf, table-interior, index-leaf,\n"
    "      index-interior, overflow, freelist-trunk, freelist-leaf, unknown.\n"
    "      Kinds: file-header, page-header, cell-pointers, cell, freeblock,\n"
    "      unallocated, reserved, overflow-data, freelist-data. Bytes two\n"
    "      structures claim are warning lines.\n"
    "  --wal (tables, rows, recover, report, page): lay the committed pages of the\n"
    "      database's write-ahead log (DB-wal) over the file, as SQLite would\n"
    "      show them.\n"
    "      Without it a non-empty DB-wal gets a warning. DB-shm is never used.\n"
    "  --journal (tables, rows, recover, report): roll a hot rollback journal\n"
    "      (DB-journal) back over the file in memory: the original pages of the\n"
    "      interrupted transaction and the page count before it, as SQLite\n"
    "      shows the database after its rollback. The journal is never written\n"
    "      or removed. Without it a non-empty DB-journal gets a warning. With\n"
    "      recover, the journal's old page images (also those a PERSIST journal\n"
    "      keeps behind a zeroed header) are read for records too.\n"
    "  salvix-cli carve jpeg|movie|sqlite [--json] [--extract DIR] FILE\n"
    "      Scans FILE for JPEG pictures, MP4/MOV movies or SQLite databases at\n"
    "      512-byte sector starts and prints one line per hit:\n"
    "      index<TAB>type<TAB>offset, or with --json\n"
    "      {\"index\":N,\"type\":\"jpg\",\"offset\":N}. A database adds its page\n"
    "      size and its length in bytes (<TAB>pageSize<TAB>size, or \"pageSize\"\n"
    "      and \"size\"); --extract DIR copies each one into a new file\n"
    "      DIR/OFFSET.db (never replacing a file; DIR may not be FILE's folder).\n"
    "      The index counts hits from 1; the offset is in bytes. A progress bar goes to standard\n"
    "      error when it is a terminal; Ctrl+C stops the scan after the current\n"
    "      1 MiB chunk (exit status 130). A read failure ends the scan (status 1).\n"
    "  salvix-cli hash [--json] FILE...\n"
    "      MD5, SHA-1 and SHA-256 of each FILE, taken in one read-only pass:\n"
    "      file<TAB>size<TAB>md5<TAB>sha1<TAB>sha256, or with --json\n"
    "      {\"file\",\"size\",\"md5\",\"sha1\",\"sha256\"}; one log line per file.\n"
    "      A file that cannot be read to its end prints nothing (status 1).\n"
    "  salvix-cli report [--wal] [--journal] --out FILE.html [--examiner NAME]\n"
    "                    [--case ID] DB...\n"
    "      Writes the case report, one self-contained HTML file: the program's\n"
    "      version, the time (UTC), examiner and case number, each database\n"
    "      with the path, size, times, MD5, SHA-1 and SHA-256 of every file\n"
    "      read, its tables with their row and recovered-row counts, and the\n"
    "      log. FILE.html must not exist yet and may not be in the folder of\n"
    "      an examined file (status 2).\n"
    "  salvix-cli --help\n"
    "\n"
    "Options end at \"--\": every argument after it is a file or table name,\n"
    "also one that begins with \"-\" (salvix-cli rows -- DB --json reads the\n"
    "table named --json). File names are used exactly as given, whatever their\n"
    "bytes; names shown in output and log lines have invalid UTF-8 as U+FFFD.\n"
    "\n"
    "Values are shown by their stored type: integers in signed decimal, reals\n"
    "in the shortest form that reads back exactly, with \".0\" added where that\n"
    "form has no point or exponent (an integer stored in a column of REAL\n"
    "affinity is such a real), text as stored (cut at its\n"
    "first NUL character), blobs as hexadecimal of their first 32 bytes\n"
    "followed by \"... (N bytes)\" when longer, NULL as empty text (the rowid in\n"
    "an INTEGER PRIMARY KEY column).\n"
    "\n"
    "Every log line goes to standard error as type<TAB>caption<TAB>text\n"
    "(type 0 information, 2 warning, 3 error). Faults inside a file are log\n"
    "lines, not failures.\n"
    "\n"
    "Exit status: 0 the job ran; 1 a file could not be opened, is not a\n"
    "database, or has no table of that name; 2 usage error.\n"
    "The examined files are opened read-only and never written.\n";

}  // namespace

int UsageError(const std::string& problem)
{
    if (!problem.empty())
        std::fprintf(stderr, "salvix-cli: %s\n\n", problem.c_str());
    std::fputs(kUsage, stderr);
    return 2;
}

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return UsageError("no command given");
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    for (const auto& arg : args) {
        if (arg == "--")
            break;  // names follow, whatever they look like
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (command == "tables")
        return RunTables(args);
    if (command == "rows")
        return RunRows(args);
    if (command == "recover")
        return RunRecover(args);
    if (command == "page")
        return RunPage(args);
    if (command == "carve")
        return RunCarve(args);
    if (command == "hash")
        return RunHash(args);
    if (command == "report")
        return RunReport(args);
    return UsageError("unknown command '" + command + "'");
}
