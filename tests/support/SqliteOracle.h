// The reference side of the comparisons: databases are written and read
// back with the sqlite3 library, and every value is turned into the text
// that the engine's display rules give for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <sqlite3.h>

#include "support/DbSnapshot.h"

struct SqlBlob {
    std::vector<std::uint8_t> bytes;
};
// A value to bind: NULL, integer, real, UTF-8 text (may hold NUL bytes),
// blob.
using SqlValue = std::variant<std::nullptr_t, std::int64_t, double, std::string, SqlBlob>;

// An sqlite3 connection that closes itself. Every failure throws
// std::runtime_error with the library's message, so a broken fixture fails
// the test loudly instead of comparing nothing.
class CSqliteDb {
public:
    CSqliteDb(const std::string& path, int flags);
    ~CSqliteDb();
    CSqliteDb(const CSqliteDb&) = delete;
    CSqliteDb& operator=(const CSqliteDb&) = delete;

    sqlite3* Handle() const { return m_db; }
    void Exec(const std::string& sql);
    // Runs one statement once per row of `rows`, binding its values.
    void InsertRows(const std::string& sql, const std::vector<std::vector<SqlValue>>& rows);
    // First column of the first row of a query, as an integer.
    std::int64_t QueryInt(const std::string& sql);

private:
    sqlite3* m_db = nullptr;
};

// The database file's layout, as chosen before the first table is created.
struct DbLayout {
    std::uint32_t pageSize = 4096;
    const char* encoding = "UTF-8";  // "UTF-8", "UTF-16le" or "UTF-16be"
    int reservedBytes = 0;
    bool autoVacuum = false;
};

// Creates a new database file with that layout; the connection is returned
// ready for CREATE TABLE statements.
std::unique_ptr<CSqliteDb> CreateDatabase(const std::string& path, const DbLayout& layout);

// Display texts under the engine's rules.
std::u16string DisplayInteger(std::int64_t value);
std::u16string DisplayReal(double value);
std::u16string DisplayBlob(const std::uint8_t* bytes, std::size_t size);
// Text cut at its first NUL character; malformed sequences become U+FFFD.
std::u16string DisplayUtf8(const std::uint8_t* bytes, std::size_t size);
std::u16string DisplayUtf16(const char16_t* units, std::size_t count);

// Reads every table of the file at `path` through sqlite3: the type 'table'
// rows of sqlite_master, PRAGMA table_info and SELECT * of each table that
// has a b-tree. `immutable` opens it read-only with immutable=1, so sqlite3
// neither writes nor looks for companion files.
DbSnapshot ReadWithSqlite(const std::string& path, bool immutable);
