// Schema rows and CREATE TABLE statements.
//
// Schema table record, by value position:
//   0 type      the row is kept only when it reads "table"
//   1 name      the table's name
//   2 tbl_name  not used
//   3 rootpage  root page of the table's b-tree
//   4 sql       the CREATE statement
//
// A column definition is: name [type-name words [(args)]] [constraints].
// The declared type is the text from the first to the last type word (with
// its parenthesised arguments), as the reference library's PRAGMA
// table_info reports it.
#include "SchemaCatalogue.h"

#include "engine/ByteReader.h"
#include "platform/TextConvert.h"
#include "records/RecordDecoder.h"
#include "records/SqlTokenizer.h"

namespace {

using Tokens = std::vector<SqlToken>;

std::u16string_view TokenText(std::u16string_view sql, const SqlToken& token)
{
    return sql.substr(token.begin, token.end - token.begin);
}

bool IsPunct(std::u16string_view sql, const SqlToken& token, char16_t c)
{
    return token.kind == SqlToken::kPunct && sql[token.begin] == c;
}

bool IsWord(std::u16string_view sql, const SqlToken& token, std::u16string_view keyword)
{
    return token.kind == SqlToken::kWord && CSqlTokenizer::IsKeyword(TokenText(sql, token), keyword);
}

// Index of the ")" that closes the "(" at `open`, or tokens.size().
std::size_t MatchingParen(std::u16string_view sql, const Tokens& tokens, std::size_t open)
{
    int depth = 0;
    for (std::size_t i = open; i < tokens.size(); ++i) {
        if (IsPunct(sql, tokens[i], u'('))
            ++depth;
        else if (IsPunct(sql, tokens[i], u')') && --depth == 0)
            return i;
    }
    return tokens.size();
}

// Words that start a column constraint and so end the declared type.
bool EndsTypeName(std::u16string_view sql, const SqlToken& token)
{
    static constexpr std::u16string_view kStops[] = {
        u"CONSTRAINT", u"PRIMARY", u"NOT",        u"NULL",      u"UNIQUE", u"CHECK",
        u"DEFAULT",    u"COLLATE", u"REFERENCES", u"GENERATED", u"AS"};
    if (token.kind == SqlToken::kPunct)
        return true;
    // Any quoted word ('x', "x", [x], `x`) is a type word.
    if (token.kind == SqlToken::kQuoted)
        return false;
    for (std::u16string_view stop : kStops)
        if (CSqlTokenizer::IsKeyword(TokenText(sql, token), stop))
            return true;
    return false;
}

bool IsQuoteChar(char16_t c) { return c == u'"' || c == u'\'' || c == u'`' || c == u'['; }

// The declared type as PRAGMA table_info reports it, from the text that
// spans the type words: a text wholly enclosed in one pair of quote
// characters loses them (only the first and last character are looked at,
// so "[big] int" becomes "big] in", as in the reference library); the six
// standard type names are reported in capitals; any other text that still
// starts with a quote is unquoted up to its closing quote.
std::u16string DeclaredType(std::u16string_view span)
{
    if (span.size() >= 3 && IsQuoteChar(span.front())) {
        bool innerQuote = false;
        for (std::size_t i = 1; i + 1 < span.size(); ++i)
            innerQuote = innerQuote || IsQuoteChar(span[i]);
        if (!innerQuote)
            span = span.substr(1, span.size() - 2);
    }
    static constexpr std::u16string_view kStandardTypes[] = {u"ANY",     u"BLOB", u"INT",
                                                             u"INTEGER", u"REAL", u"TEXT"};
    if (span.size() >= 3)
        for (std::u16string_view standard : kStandardTypes)
            if (CSqlTokenizer::IsKeyword(span, standard))
                return std::u16string(standard);
    return CSqlTokenizer::Dequote(span);
}

bool IsTableConstraint(std::u16string_view sql, const SqlToken& token)
{
    static constexpr std::u16string_view kStarts[] = {u"CONSTRAINT", u"PRIMARY", u"UNIQUE",
                                                      u"CHECK", u"FOREIGN"};
    for (std::u16string_view start : kStarts)
        if (IsWord(sql, token, start))
            return true;
    return false;
}

int FindColumn(const TableInfo& table, std::u16string_view name)
{
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        if (EqualsIgnoringAsciiCase(table.columns[i].name, name))
            return static_cast<int>(i);
    return -1;
}

void AddPrimaryKeyColumn(TableInfo& table, int column)
{
    if (column < 0)
        return;
    for (int existing : table.primaryKey)
        if (existing == column)
            return;
    table.primaryKey.push_back(column);
}

// PRIMARY KEY ( name [COLLATE x] [ASC|DESC], ... ) of a table constraint.
void ParsePrimaryKeyList(std::u16string_view sql, const Tokens& tokens, std::size_t open,
                         TableInfo& table)
{
    const std::size_t close = MatchingParen(sql, tokens, open);
    bool expectName = true;
    for (std::size_t i = open + 1; i < close; ++i) {
        if (IsPunct(sql, tokens[i], u',')) {
            expectName = true;
        } else if (expectName) {
            AddPrimaryKeyColumn(table,
                                FindColumn(table, CSqlTokenizer::Dequote(TokenText(sql, tokens[i]))));
            expectName = false;
        }
    }
}

void ParseTableConstraint(std::u16string_view sql, const Tokens& tokens, TableInfo& table)
{
    std::size_t i = 0;
    if (IsWord(sql, tokens[0], u"CONSTRAINT"))
        i = 2;  // CONSTRAINT name
    if (i + 2 < tokens.size() && IsWord(sql, tokens[i], u"PRIMARY") &&
        IsWord(sql, tokens[i + 1], u"KEY") && IsPunct(sql, tokens[i + 2], u'('))
        ParsePrimaryKeyList(sql, tokens, i + 2, table);
}

// Looks for PRIMARY KEY among a column's constraints (outside parentheses).
void ParseColumnConstraints(std::u16string_view sql, const Tokens& tokens, std::size_t from,
                            int column, TableInfo& table)
{
    int depth = 0;
    for (std::size_t i = from; i < tokens.size(); ++i) {
        if (IsPunct(sql, tokens[i], u'(')) ++depth;
        else if (IsPunct(sql, tokens[i], u')')) --depth;
        if (depth != 0 || i + 1 >= tokens.size())
            continue;
        if (IsWord(sql, tokens[i], u"PRIMARY") && IsWord(sql, tokens[i + 1], u"KEY")) {
            AddPrimaryKeyColumn(table, column);
            if (i + 2 < tokens.size() && IsWord(sql, tokens[i + 2], u"DESC"))
                table.primaryKeyDescending = true;
        }
    }
}

// The rowid alias and, for a WITHOUT ROWID table, the record's column order.
void FinishTable(TableInfo& table)
{
    if (table.withoutRowid) {
        for (int column : table.primaryKey)
            table.recordColumns.push_back(column);
        for (std::size_t i = 0; i < table.columns.size() && !table.primaryKey.empty(); ++i) {
            bool inKey = false;
            for (int column : table.primaryKey)
                inKey = inKey || column == static_cast<int>(i);
            if (!inKey)
                table.recordColumns.push_back(static_cast<int>(i));
        }
        return;
    }
    if (table.primaryKey.size() == 1 && !table.primaryKeyDescending &&
        EqualsIgnoringAsciiCase(table.columns[table.primaryKey[0]].type, u"INTEGER"))
        table.rowidAliasColumn = table.primaryKey[0];
}

}  // namespace

void ParseColumnDef(std::u16string_view piece, TableInfo& table)
{
    const Tokens tokens = CSqlTokenizer::Tokenize(piece);
    if (tokens.empty())
        return;
    if (IsTableConstraint(piece, tokens[0])) {
        ParseTableConstraint(piece, tokens, table);
        return;
    }
    ColumnInfo column;
    column.name = CSqlTokenizer::Dequote(TokenText(piece, tokens[0]));

    std::size_t next = 1;
    while (next < tokens.size() && !EndsTypeName(piece, tokens[next]))
        ++next;
    if (next > 1) {
        std::size_t typeEnd = tokens[next - 1].end;
        if (next < tokens.size() && IsPunct(piece, tokens[next], u'(')) {
            const std::size_t close = MatchingParen(piece, tokens, next);
            typeEnd = close < tokens.size() ? tokens[close].end : piece.size();
            next = close + 1;
        }
        column.type = DeclaredType(piece.substr(tokens[1].begin, typeEnd - tokens[1].begin));
    }
    table.columns.push_back(std::move(column));
    ParseColumnConstraints(piece, tokens, next,
                           static_cast<int>(table.columns.size()) - 1, table);
}

void ParseCreateTable(std::u16string_view sql, TableInfo& table)
{
    const Tokens tokens = CSqlTokenizer::Tokenize(sql);
    std::size_t open = 0;
    while (open < tokens.size() && !IsPunct(sql, tokens[open], u'('))
        ++open;
    if (open == tokens.size())
        return;

    // Cut the column list at the commas that are not inside parentheses.
    int depth = 0;
    std::size_t pieceBegin = tokens[open].end;
    std::size_t close = tokens.size();
    for (std::size_t i = open + 1; i < tokens.size(); ++i) {
        const SqlToken& token = tokens[i];
        if (IsPunct(sql, token, u'(')) {
            ++depth;
        } else if (IsPunct(sql, token, u')') && depth > 0) {
            --depth;
        } else if (depth == 0 && (IsPunct(sql, token, u',') || IsPunct(sql, token, u')'))) {
            ParseColumnDef(sql.substr(pieceBegin, token.begin - pieceBegin), table);
            pieceBegin = token.end;
            if (IsPunct(sql, token, u')')) {
                close = i;
                break;
            }
        }
    }
    if (close == tokens.size())
        ParseColumnDef(sql.substr(pieceBegin), table);  // unterminated list

    for (std::size_t i = close + 1; i + 1 < tokens.size(); ++i)
        if (IsWord(sql, tokens[i], u"WITHOUT") && IsWord(sql, tokens[i + 1], u"ROWID"))
            table.withoutRowid = true;
    FinishTable(table);
}

void DecodeSchemaRecord(DbInfo& db, const std::uint8_t* record, std::uint64_t dataLength,
                        std::uint64_t offset, const std::vector<std::uint64_t>& types)
{
    TableInfo table;
    bool isTable = false;
    for (std::size_t i = 0; i < types.size() && i <= 4; ++i) {
        const std::uint64_t t = types[i];
        const std::uint64_t size = SerialTypeSize(t);
        if (!FitsIn(dataLength, offset, size))
            continue;  // a value past the data is skipped
        const std::uint8_t* bytes = record + offset;
        const bool isText = t >= 13 && t % 2 == 1;
        if (i == 0) {
            std::u16string type;
            if (isText)
                AppendStoredText(type, bytes, size, db.textEncoding);
            isTable = type == u"table";
        } else if (isTable && i == 1 && isText) {
            AppendStoredText(table.name, bytes, size, db.textEncoding);
        } else if (isTable && i == 3) {
            std::int64_t root = 0;
            if (ReadIntegerValue(record, dataLength, offset, t, root) && root >= 0 &&
                root <= static_cast<std::int64_t>(UINT32_MAX))
                table.rootPage = static_cast<std::uint32_t>(root);
        } else if (isTable && i == 4 && isText) {
            AppendStoredText(table.sql, bytes, size, db.textEncoding);
            ParseCreateTable(table.sql, table);
        }
        offset += size;
    }
    if (isTable && !table.name.empty()) {
        table.ordinal = static_cast<std::int32_t>(db.tables.size());
        db.tables.push_back(std::move(table));
    }
}
