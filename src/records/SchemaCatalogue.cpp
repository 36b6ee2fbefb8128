// Schema rows and CREATE TABLE statements.
//
// Schema table record, by value position:
//   0 type      the row is kept only when it reads "table"
//   1 name      the table's name (the empty text is a valid name)
//   2 tbl_name  not used
//   3 rootpage  root page of the table's b-tree, 0 for a virtual table
//   4 sql       the CREATE statement
//
// A column definition is: name [type-name words [(args)]] [constraints].
// The declared type is the text from the first to the last type word (with
// its parenthesised arguments), as the reference library's PRAGMA
// table_info reports it. Table constraints follow the columns, with or
// without commas between them.
//
// How a record stores a table's columns:
//   rowid table       every column in declaration order, except VIRTUAL
//                     generated ones; the rowid alias (a one-term primary
//                     key on a column of type INTEGER) is stored as NULL
//   WITHOUT ROWID     the primary key's terms in key order (a column named
//                     twice is stored twice only when the two terms differ
//                     in collation), then the other stored columns in
//                     declaration order
#include "SchemaCatalogue.h"

#include "engine/ByteReader.h"
#include "platform/TextConvert.h"
#include "records/RecordDecoder.h"
#include "records/SqlTokenizer.h"

namespace {

using Tokens = std::vector<SqlToken>;

// A column as declared, before the listed columns are chosen: generated
// columns are not listed (PRAGMA table_info leaves them out).
struct ColumnDraft {
    ColumnInfo info;
    std::u16string collation;  // from COLLATE, empty for the default
    bool generated = false;
    bool stored = false;       // a STORED generated column has a record value
};

struct KeyTerm {
    int column;
    std::u16string collation;  // empty: the column's own
};

struct TableDraft {
    std::vector<ColumnDraft> columns;
    std::vector<KeyTerm> key;
    // PRIMARY KEY DESC written on the column itself: such an INTEGER column
    // is not a rowid alias (a quirk of the format's reference library that
    // a DESC term of a table constraint does not share).
    bool keyDescendingOnColumn = false;
};

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

bool IsWordAt(std::u16string_view sql, const Tokens& tokens, std::size_t i,
              std::u16string_view keyword)
{
    return i < tokens.size() && IsWord(sql, tokens[i], keyword);
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
// GENERATED and ALWAYS are not among them: the reference library reads them
// as type words and trims a trailing "GENERATED ALWAYS" afterwards.
bool EndsTypeName(std::u16string_view sql, const SqlToken& token)
{
    static constexpr std::u16string_view kStops[] = {
        u"CONSTRAINT", u"PRIMARY", u"NOT",     u"NULL",       u"UNIQUE",
        u"CHECK",      u"DEFAULT", u"COLLATE", u"REFERENCES", u"AS"};
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
bool IsSqlSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

bool EndsWithKeyword(std::u16string_view text, std::u16string_view keyword)
{
    return text.size() >= keyword.size() &&
           CSqlTokenizer::IsKeyword(text.substr(text.size() - keyword.size()), keyword);
}

void TrimTrailingSpace(std::u16string_view& text)
{
    while (!text.empty() && IsSqlSpace(text.back()))
        text.remove_suffix(1);
}

// The reference library drops a trailing "ALWAYS", and then "GENERATED",
// from a type text of 16 characters or more, without looking for word
// boundaries: "INT GENERATED ALWAYS" is INT.
std::u16string_view TrimGeneratedAlways(std::u16string_view span)
{
    if (span.size() < 16 || !EndsWithKeyword(span, u"ALWAYS"))
        return span;
    span.remove_suffix(6);
    TrimTrailingSpace(span);
    if (span.size() >= 9 && EndsWithKeyword(span, u"GENERATED")) {
        span.remove_suffix(9);
        TrimTrailingSpace(span);
    }
    return span;
}

// The declared type as PRAGMA table_info reports it, from the text that
// spans the type words: a text wholly enclosed in one pair of quote
// characters loses them (only the first and last character are looked at,
// so "[big] int" becomes "big] in", as in the reference library); the six
// standard type names are reported in capitals; any other text that still
// starts with a quote is unquoted up to its closing quote.
std::u16string DeclaredType(std::u16string_view span)
{
    span = TrimGeneratedAlways(span);
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

}  // namespace

// The file format's affinity rules, applied to the declared type in the
// reference library's order: the first of INT, CHAR/CLOB/TEXT,
// BLOB (or no type), REAL/FLOA/DOUB decides.
ColumnAffinity AffinityOf(std::u16string_view type)
{
    if (type.empty())
        return ColumnAffinity::kBlob;
    ColumnAffinity affinity = ColumnAffinity::kNumeric;
    std::uint32_t window = 0;  // the last four characters, lower case
    for (char16_t c : type) {
        const char16_t lower = c >= u'A' && c <= u'Z' ? c + 32 : (c < 0x80 ? c : 0x80);
        window = (window << 8) | static_cast<std::uint8_t>(lower);
        const auto is = [window](const char (&word)[5]) {
            return window == ((std::uint32_t(word[0]) << 24) | (std::uint32_t(word[1]) << 16) |
                              (std::uint32_t(word[2]) << 8) | std::uint32_t(word[3]));
        };
        if ((window & 0xFFFFFF) == ((u'i' << 16) | (u'n' << 8) | u't'))
            return ColumnAffinity::kInteger;  // final
        if (is("char") || is("clob") || is("text"))
            affinity = ColumnAffinity::kText;
        else if (is("blob") &&
                 (affinity == ColumnAffinity::kNumeric || affinity == ColumnAffinity::kReal))
            affinity = ColumnAffinity::kBlob;
        else if ((is("real") || is("floa") || is("doub")) && affinity == ColumnAffinity::kNumeric)
            affinity = ColumnAffinity::kReal;
    }
    return affinity;
}

namespace {

bool IsTableConstraint(std::u16string_view sql, const SqlToken& token)
{
    static constexpr std::u16string_view kStarts[] = {u"CONSTRAINT", u"PRIMARY", u"UNIQUE",
                                                      u"CHECK", u"FOREIGN"};
    for (std::u16string_view start : kStarts)
        if (IsWord(sql, token, start))
            return true;
    return false;
}

int FindColumn(const TableDraft& draft, std::u16string_view name)
{
    for (std::size_t i = 0; i < draft.columns.size(); ++i)
        if (EqualsIgnoringAsciiCase(draft.columns[i].info.name, name))
            return static_cast<int>(i);
    return -1;
}

// One term of PRIMARY KEY ( ... ): a column name, possibly in parentheses
// or quoted as a string, with COLLATE and ASC/DESC. The outermost COLLATE,
// which is the last one written, decides the term's collation.
void ParseKeyTerm(std::u16string_view sql, const Tokens& tokens, std::size_t begin,
                  std::size_t end, TableDraft& draft)
{
    std::size_t name = begin;
    while (name < end && IsPunct(sql, tokens[name], u'('))
        ++name;
    if (name >= end || tokens[name].kind == SqlToken::kPunct)
        return;
    KeyTerm term{FindColumn(draft, CSqlTokenizer::Dequote(TokenText(sql, tokens[name]))), {}};
    if (term.column < 0)
        return;
    for (std::size_t i = name + 1; i + 1 < end; ++i)
        if (IsWord(sql, tokens[i], u"COLLATE"))
            term.collation = CSqlTokenizer::Dequote(TokenText(sql, tokens[i + 1]));
    draft.key.push_back(std::move(term));
}

// The items of the parenthesised list that opens at `open` (key terms,
// module arguments), each as its range of tokens; empty items are left out.
std::vector<std::pair<std::size_t, std::size_t>> ListItems(std::u16string_view sql,
                                                                 const Tokens& tokens,
                                                                 std::size_t open)
{
    std::vector<std::pair<std::size_t, std::size_t>> arguments;
    const std::size_t close = MatchingParen(sql, tokens, open);
    std::size_t begin = open + 1;
    int depth = 0;
    for (std::size_t i = open + 1; i <= close && i < tokens.size(); ++i) {
        if (i < close && IsPunct(sql, tokens[i], u'('))
            ++depth;
        else if (i < close && IsPunct(sql, tokens[i], u')'))
            --depth;
        else if (i == close || (depth == 0 && IsPunct(sql, tokens[i], u','))) {
            if (i > begin)
                arguments.push_back({begin, i});
            begin = i + 1;
        }
    }
    return arguments;
}

void ParseKeyList(std::u16string_view sql, const Tokens& tokens, std::size_t open,
                  TableDraft& draft)
{
    for (const auto& [begin, end] : ListItems(sql, tokens, open))
        ParseKeyTerm(sql, tokens, begin, end, draft);
}

// A run of table constraints, which need no commas between them:
// [CONSTRAINT name] PRIMARY KEY (...) | UNIQUE (...) | CHECK (...) |
// FOREIGN KEY (...) REFERENCES ... Only the primary key matters here; every
// other parenthesised part is skipped whole.
void ParseTableConstraints(std::u16string_view sql, const Tokens& tokens, TableDraft& draft)
{
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (IsPunct(sql, tokens[i], u'(')) {
            i = MatchingParen(sql, tokens, i);
        } else if (IsWord(sql, tokens[i], u"PRIMARY") && IsWordAt(sql, tokens, i + 1, u"KEY") &&
                   i + 2 < tokens.size() && IsPunct(sql, tokens[i + 2], u'(')) {
            ParseKeyList(sql, tokens, i + 2, draft);
            i = MatchingParen(sql, tokens, i + 2);
        }
    }
}

// The constraints after a column's type, outside parentheses: PRIMARY KEY
// [DESC], COLLATE name, and AS (...) [STORED|VIRTUAL] of a generated column.
void ParseColumnConstraints(std::u16string_view sql, const Tokens& tokens, std::size_t from,
                            TableDraft& draft)
{
    ColumnDraft& column = draft.columns.back();
    const int index = static_cast<int>(draft.columns.size()) - 1;
    for (std::size_t i = from; i < tokens.size(); ++i) {
        if (IsPunct(sql, tokens[i], u'(')) {
            i = MatchingParen(sql, tokens, i);
        } else if (IsWord(sql, tokens[i], u"PRIMARY") && IsWordAt(sql, tokens, i + 1, u"KEY")) {
            draft.key.push_back({index, {}});
            draft.keyDescendingOnColumn = IsWordAt(sql, tokens, i + 2, u"DESC");
        } else if (IsWord(sql, tokens[i], u"COLLATE") && i + 1 < tokens.size()) {
            column.collation = CSqlTokenizer::Dequote(TokenText(sql, tokens[i + 1]));
        } else if (IsWord(sql, tokens[i], u"AS") && i + 1 < tokens.size() &&
                   IsPunct(sql, tokens[i + 1], u'(')) {
            column.generated = true;
            i = MatchingParen(sql, tokens, i + 1);
            column.stored = IsWordAt(sql, tokens, i + 1, u"STORED");
        }
    }
}

// One comma-separated piece of the column list: a column definition, or
// the start of the table constraints.
void ParseColumnDef(std::u16string_view piece, TableDraft& draft, bool& inConstraints)
{
    const Tokens tokens = CSqlTokenizer::Tokenize(piece);
    if (tokens.empty())
        return;
    inConstraints = inConstraints || IsTableConstraint(piece, tokens[0]);
    if (inConstraints) {
        ParseTableConstraints(piece, tokens, draft);
        return;
    }
    ColumnDraft column;
    column.info.name = CSqlTokenizer::Dequote(TokenText(piece, tokens[0]));

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
        column.info.type = DeclaredType(piece.substr(tokens[1].begin, typeEnd - tokens[1].begin));
    }
    column.info.realAffinity = AffinityOf(column.info.type) == ColumnAffinity::kReal;
    draft.columns.push_back(std::move(column));
    ParseColumnConstraints(piece, tokens, next, draft);
}

bool SameCollation(const TableDraft& draft, const KeyTerm& a, const KeyTerm& b)
{
    const auto effective = [&](const KeyTerm& term) -> std::u16string_view {
        if (!term.collation.empty())
            return term.collation;
        const std::u16string& own = draft.columns[term.column].collation;
        return own.empty() ? std::u16string_view(u"BINARY") : std::u16string_view(own);
    };
    return EqualsIgnoringAsciiCase(effective(a), effective(b));
}

// The listed columns, the rowid alias and the record's column order.
void FinishTable(const TableDraft& draft, TableInfo& table)
{
    std::vector<int> listed(draft.columns.size(), -1);
    bool anyGenerated = false;
    for (std::size_t i = 0; i < draft.columns.size(); ++i) {
        anyGenerated = anyGenerated || draft.columns[i].generated;
        if (!draft.columns[i].generated) {
            listed[i] = static_cast<int>(table.columns.size());
            table.columns.push_back(draft.columns[i].info);
        }
    }
    const auto storedSlot = [&](std::size_t i) {
        if (!draft.columns[i].generated || draft.columns[i].stored)
            table.recordColumns.push_back(listed[i]);
    };

    if (!table.withoutRowid) {
        for (const KeyTerm& term : draft.key)
            table.primaryKey.push_back(listed[term.column]);
        if (draft.key.size() == 1 && !draft.keyDescendingOnColumn &&
            draft.columns[draft.key[0].column].info.type == u"INTEGER")
            table.rowidAliasColumn = listed[draft.key[0].column];
        if (anyGenerated)
            for (std::size_t i = 0; i < draft.columns.size(); ++i)
                storedSlot(i);
        return;
    }
    if (draft.key.empty())
        return;
    std::vector<const KeyTerm*> stored;
    std::vector<bool> inKey(draft.columns.size(), false);
    for (const KeyTerm& term : draft.key) {
        inKey[term.column] = true;
        bool duplicate = false;
        for (const KeyTerm* kept : stored)
            duplicate = duplicate || (kept->column == term.column && SameCollation(draft, *kept, term));
        if (!duplicate)
            stored.push_back(&term);
    }
    for (const KeyTerm* term : stored) {
        table.primaryKey.push_back(listed[term->column]);
        table.recordColumns.push_back(listed[term->column]);
    }
    for (std::size_t i = 0; i < draft.columns.size(); ++i)
        if (!inKey[i])
            storedSlot(i);
}

// The column list of a CREATE TABLE statement, from the "(" at `open`.
void ParseColumnList(std::u16string_view sql, const Tokens& tokens, std::size_t open,
                     TableInfo& table)
{
    TableDraft draft;
    bool inConstraints = false;
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
            ParseColumnDef(sql.substr(pieceBegin, token.begin - pieceBegin), draft, inConstraints);
            pieceBegin = token.end;
            if (IsPunct(sql, token, u')')) {
                close = i;
                break;
            }
        }
    }
    if (close == tokens.size())
        ParseColumnDef(sql.substr(pieceBegin), draft, inConstraints);  // unterminated list

    for (std::size_t i = close + 1; i + 1 < tokens.size(); ++i)
        if (IsWord(sql, tokens[i], u"WITHOUT") && IsWord(sql, tokens[i + 1], u"ROWID"))
            table.withoutRowid = true;
    FinishTable(draft, table);
}

bool ArgumentHas(std::u16string_view sql, const Tokens& tokens,
                 std::pair<std::size_t, std::size_t> argument, char16_t c)
{
    for (std::size_t i = argument.first; i < argument.second; ++i)
        if (IsPunct(sql, tokens[i], c))
            return true;
    return false;
}

ColumnInfo NamedColumn(std::u16string_view sql, const SqlToken& token, std::u16string_view type)
{
    ColumnInfo column;
    column.name = CSqlTokenizer::Dequote(TokenText(sql, token));
    column.type = type;
    column.realAffinity = AffinityOf(type) == ColumnAffinity::kReal;
    return column;
}

// The columns the built-in full-text and r-tree modules declare, as PRAGMA
// table_info reports them: an argument's first word names a column; types
// and UNINDEXED are dropped; options (key=value, and tokenize in fts3) are
// not columns. False for any other module.
bool ParseModuleColumns(std::u16string_view sql, const Tokens& tokens, std::size_t open,
                        TableInfo& table)
{
    const std::u16string& module = table.module;
    const bool fts3 = module == u"fts3" || module == u"fts4";
    const bool rtree = module == u"rtree" || module == u"rtree_i32";
    if (!fts3 && module != u"fts5" && !rtree)
        return false;
    const auto arguments = open < tokens.size()
                               ? ListItems(sql, tokens, open)
                               : std::vector<std::pair<std::size_t, std::size_t>>();
    for (const auto& argument : arguments) {
        const SqlToken& first = tokens[argument.first];
        if (rtree) {
            const bool auxiliary = IsPunct(sql, first, u'+');
            const std::size_t at = argument.first + (auxiliary ? 1 : 0);
            if (at >= argument.second)
                continue;
            const std::u16string_view type = table.columns.empty() ? u"INT"
                                             : auxiliary           ? u""
                                             : module == u"rtree"  ? u"REAL"
                                                                   : u"INT";
            table.columns.push_back(NamedColumn(sql, tokens[at], type));
            continue;
        }
        const std::u16string_view word = TokenText(sql, first);
        const bool tokenizer = word.size() == 8 && first.kind == SqlToken::kWord &&
                               CSqlTokenizer::IsKeyword(word, u"tokenize") &&
                               argument.second > argument.first + 1;
        const bool option = ArgumentHas(sql, tokens, argument, u'=') && module != u"fts3";
        if (tokenizer || option || first.kind == SqlToken::kPunct)
            continue;
        table.columns.push_back(NamedColumn(sql, first, u""));
    }
    if (fts3 && table.columns.empty()) {
        ColumnInfo content;  // fts3 and fts4 without columns have this one
        content.name = u"content";
        table.columns.push_back(content);
    }
    return true;
}

}  // namespace

void ParseCreateTable(std::u16string_view sql, TableInfo& table)
{
    const Tokens tokens = CSqlTokenizer::Tokenize(sql);
    std::size_t open = 0;
    while (open < tokens.size() && !IsPunct(sql, tokens[open], u'('))
        ++open;

    if (IsWordAt(sql, tokens, 0, u"CREATE") && IsWordAt(sql, tokens, 1, u"VIRTUAL")) {
        for (std::size_t i = 2; i + 1 < tokens.size() && i < open; ++i) {
            if (IsWord(sql, tokens[i], u"USING")) {
                for (char16_t c : CSqlTokenizer::Dequote(TokenText(sql, tokens[i + 1])))
                    table.module.push_back(c >= u'A' && c <= u'Z' ? c + 32 : c);
                break;
            }
        }
        if (ParseModuleColumns(sql, tokens, open, table))
            return;
    }
    if (open < tokens.size())
        ParseColumnList(sql, tokens, open, table);
}

void DecodeSchemaRecord(DbInfo& db, const std::uint8_t* record, std::uint64_t dataLength,
                        std::uint64_t offset, const std::vector<std::uint64_t>& types)
{
    TableInfo table;
    bool isTable = false;
    bool named = false;
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
            named = true;
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
    // The empty text is a valid table name; only a row without a name text
    // is dropped.
    if (isTable && named) {
        table.ordinal = static_cast<std::int32_t>(db.tables.size());
        db.tables.push_back(std::move(table));
    }
}
