#include "support/SqliteOracle.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "platform/TextConvert.h"

namespace {

[[noreturn]] void Fail(sqlite3* db, const std::string& what)
{
    throw std::runtime_error(what + ": " + (db ? sqlite3_errmsg(db) : "no connection"));
}

std::u16string Ascii(const char* text, std::size_t size)
{
    return std::u16string(text, text + size);
}

std::string QuoteName(const std::u16string& name)
{
    std::string quoted = "\"";
    for (char c : WideToUtf8(name)) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// Collations that a real device registered (PHONEBOOK, LOCALIZED, ...) are
// unknown here; a byte-wise stand-in lets sqlite3 prepare the statements.
int CompareBytes(void*, int n1, const void* a, int n2, const void* b)
{
    const int common = n1 < n2 ? n1 : n2;
    const int c = std::memcmp(a, b, static_cast<std::size_t>(common));
    return c != 0 ? c : n1 - n2;
}

void RegisterStubCollation(void*, sqlite3* db, int, const char* name)
{
    sqlite3_create_collation(db, name, SQLITE_UTF8, nullptr, CompareBytes);
}

std::string UriFor(const std::string& path)
{
    std::string uri = "file:";
    for (char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            uri += hex;
        } else {
            uri += c;
        }
    }
    return uri + "?immutable=1";
}

class CStatement {
public:
    CStatement(sqlite3* db, const std::string& sql) : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &m_stmt, nullptr) != SQLITE_OK)
            Fail(db, "prepare " + sql);
    }
    ~CStatement() { sqlite3_finalize(m_stmt); }
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    bool Step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        Fail(m_db, "step");
    }
    sqlite3_stmt* Get() const { return m_stmt; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

std::u16string Utf8Column(sqlite3_stmt* stmt, int column)
{
    const auto* text = sqlite3_column_text(stmt, column);
    const int size = sqlite3_column_bytes(stmt, column);
    return DisplayUtf8(text, static_cast<std::size_t>(size));
}

std::u16string DisplayValue(sqlite3_stmt* stmt, int column, bool utf16)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        return DisplayInteger(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT:
        return DisplayReal(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT:
        if (utf16) {
            // In a UTF-16 database this is the stored text, at most byte-swapped.
            const auto* units = static_cast<const char16_t*>(sqlite3_column_text16(stmt, column));
            const int bytes = sqlite3_column_bytes16(stmt, column);
            return DisplayUtf16(units, static_cast<std::size_t>(bytes) / 2);
        }
        return Utf8Column(stmt, column);
    case SQLITE_BLOB: {
        const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, column));
        const int size = sqlite3_column_bytes(stmt, column);
        return DisplayBlob(bytes, static_cast<std::size_t>(size));
    }
    default:
        return std::u16string();
    }
}

}  // namespace

std::string RowToUtf8(const DisplayRow& row)
{
    std::string out;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i != 0)
            out += " | ";
        for (char16_t c : row[i]) {
            if (c < 0x80) out.push_back(static_cast<char>(c));
            else out += "\\u" + std::to_string(static_cast<unsigned>(c));
        }
        if (out.size() > 400) {
            out += "...";
            break;
        }
    }
    return out;
}

CSqliteDb::CSqliteDb(const std::string& path, int flags)
{
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw std::runtime_error("open " + path + ": " + message);
    }
    sqlite3_collation_needed(m_db, nullptr, RegisterStubCollation);
}

CSqliteDb::~CSqliteDb() { sqlite3_close(m_db); }

void CSqliteDb::Exec(const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error("exec " + sql.substr(0, 200) + ": " + message);
    }
}

void CSqliteDb::InsertRows(const std::string& sql, const std::vector<std::vector<SqlValue>>& rows)
{
    CStatement statement(m_db, sql);
    sqlite3_stmt* stmt = statement.Get();
    for (const auto& row : rows) {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        for (std::size_t i = 0; i < row.size(); ++i) {
            const int index = static_cast<int>(i) + 1;
            const SqlValue& value = row[i];
            int rc = SQLITE_OK;
            if (const auto* integer = std::get_if<std::int64_t>(&value))
                rc = sqlite3_bind_int64(stmt, index, *integer);
            else if (const auto* real = std::get_if<double>(&value))
                rc = sqlite3_bind_double(stmt, index, *real);
            else if (const auto* text = std::get_if<std::string>(&value))
                rc = sqlite3_bind_text64(stmt, index, text->data(), text->size(), SQLITE_TRANSIENT,
                                         SQLITE_UTF8);
            else if (const auto* blob = std::get_if<SqlBlob>(&value))
                rc = sqlite3_bind_blob64(stmt, index, blob->bytes.data(), blob->bytes.size(),
                                         SQLITE_TRANSIENT);
            else
                rc = sqlite3_bind_null(stmt, index);
            if (rc != SQLITE_OK)
                Fail(m_db, "bind");
        }
        statement.Step();
    }
}

std::int64_t CSqliteDb::QueryInt(const std::string& sql)
{
    CStatement statement(m_db, sql);
    if (!statement.Step())
        throw std::runtime_error("no row from " + sql);
    return sqlite3_column_int64(statement.Get(), 0);
}

std::unique_ptr<CSqliteDb> CreateDatabase(const std::string& path, const DbLayout& layout)
{
    auto db = std::make_unique<CSqliteDb>(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    db->Exec("PRAGMA page_size=" + std::to_string(layout.pageSize));
    if (layout.reservedBytes != 0) {
        int reserve = layout.reservedBytes;
        if (sqlite3_file_control(db->Handle(), "main", SQLITE_FCNTL_RESERVE_BYTES, &reserve) !=
            SQLITE_OK)
            Fail(db->Handle(), "reserve bytes");
    }
    db->Exec(std::string("PRAGMA encoding='") + layout.encoding + "'");
    db->Exec(std::string("PRAGMA auto_vacuum=") + (layout.autoVacuum ? "FULL" : "NONE"));
    db->Exec("PRAGMA journal_mode=MEMORY");
    db->Exec("PRAGMA synchronous=OFF");
    return db;
}

std::u16string DisplayInteger(std::int64_t value)
{
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return Ascii(digits, static_cast<std::size_t>(end - digits));
}

std::u16string DisplayReal(double value)
{
    char digits[64];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    std::u16string text = Ascii(digits, static_cast<std::size_t>(end - digits));
    if (text.find_first_not_of(u"-0123456789") == std::u16string::npos)
        text += u".0";
    return text;
}

std::u16string DisplayBlob(const std::uint8_t* bytes, std::size_t size)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::u16string out;
    for (std::size_t i = 0; i < size && i < 32; ++i) {
        out.push_back(static_cast<char16_t>(kDigits[bytes[i] >> 4]));
        out.push_back(static_cast<char16_t>(kDigits[bytes[i] & 15]));
    }
    if (size > 32)
        out += u"\u2026 (" + DisplayInteger(static_cast<std::int64_t>(size)) + u" bytes)";
    return out;
}

std::u16string DisplayUtf8(const std::uint8_t* bytes, std::size_t size)
{
    std::u16string out;
    std::size_t i = 0;
    while (i < size && bytes[i] != 0) {
        const std::uint8_t b0 = bytes[i];
        std::uint32_t cp = 0;
        std::size_t need = 0;
        std::uint8_t lo = 0x80, hi = 0xBF;
        if (b0 < 0x80) { out.push_back(b0); ++i; continue; }
        else if (b0 >= 0xC2 && b0 <= 0xDF) { need = 1; cp = b0 & 0x1F; }
        else if (b0 >= 0xE0 && b0 <= 0xEF) {
            need = 2; cp = b0 & 0x0F;
            if (b0 == 0xE0) lo = 0xA0;
            if (b0 == 0xED) hi = 0x9F;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            need = 3; cp = b0 & 0x07;
            if (b0 == 0xF0) lo = 0x90;
            if (b0 == 0xF4) hi = 0x8F;
        } else { out.push_back(0xFFFD); ++i; continue; }
        // Maximal subpart rule: a broken sequence counts once, and the byte
        // that broke it starts the next one.
        std::size_t j = 1;
        for (; j <= need; ++j) {
            if (i + j >= size) break;
            const std::uint8_t b = bytes[i + j];
            const std::uint8_t low = j == 1 ? lo : 0x80, high = j == 1 ? hi : 0xBF;
            if (b < low || b > high) break;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (j <= need) {
            out.push_back(0xFFFD);
            i += j;
            continue;
        }
        i += need + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 | (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::u16string DisplayUtf16(const char16_t* units, std::size_t count)
{
    std::u16string out;
    for (std::size_t i = 0; i < count && units[i] != 0; ++i) {
        const char16_t u = units[i];
        const bool high = u >= 0xD800 && u <= 0xDBFF;
        const bool low = u >= 0xDC00 && u <= 0xDFFF;
        if (high && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            out.push_back(u);
            out.push_back(units[++i]);
        } else {
            out.push_back(high || low ? char16_t(0xFFFD) : u);
        }
    }
    return out;
}

DbSnapshot ReadWithSqlite(const std::string& path, bool immutable)
{
    const int flags = SQLITE_OPEN_READONLY | (immutable ? SQLITE_OPEN_URI : 0);
    CSqliteDb db(immutable ? UriFor(path) : path, flags);
    sqlite3* handle = db.Handle();
    DbSnapshot snapshot;
    snapshot.pageSize = static_cast<std::uint32_t>(db.QueryInt("PRAGMA page_size"));
    bool utf16 = false;
    {
        CStatement encoding(handle, "PRAGMA encoding");
        utf16 = encoding.Step() &&
                std::strncmp(reinterpret_cast<const char*>(sqlite3_column_text(encoding.Get(), 0)),
                             "UTF-16", 6) == 0;
    }
    {
        CStatement tables(handle, "SELECT name, rootpage FROM sqlite_master WHERE type='table'");
        while (tables.Step()) {
            TableSnapshot table;
            table.name = Utf8Column(tables.Get(), 0);
            table.rootPage = static_cast<std::uint32_t>(sqlite3_column_int64(tables.Get(), 1));
            table.isVirtual = table.rootPage == 0;
            snapshot.tables.push_back(std::move(table));
        }
    }
    for (TableSnapshot& table : snapshot.tables) {
        const std::string quoted = QuoteName(table.name);
        // The columns PRAGMA table_info lists, selected by name: SELECT *
        // would also return generated columns, which it leaves out.
        std::string select;
        const auto readColumns = [&] {
            CStatement info(handle, "PRAGMA table_info(" + quoted + ")");
            while (info.Step()) {
                ColumnSnapshot column{Utf8Column(info.Get(), 1), Utf8Column(info.Get(), 2)};
                select += (select.empty() ? "" : ", ") + QuoteName(column.name);
                table.columns.push_back(std::move(column));
            }
        };
        if (table.isVirtual) {
            // Modules this library lacks have no columns to compare.
            try {
                readColumns();
            } catch (const std::runtime_error&) {
                table.columns.clear();
            }
            continue;
        }
        readColumns();
        if (select.empty())
            continue;
        CStatement rows(handle, "SELECT " + select + " FROM " + quoted);
        const int count = sqlite3_column_count(rows.Get());
        while (rows.Step()) {
            DisplayRow row;
            for (int i = 0; i < count; ++i)
                row.push_back(DisplayValue(rows.Get(), i, utf16));
            table.rows.push_back(std::move(row));
        }
    }
    return snapshot;
}
