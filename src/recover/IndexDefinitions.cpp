#include "recover/IndexDefinitions.h"

#include <algorithm>
#include <unordered_set>

#include "engine/ByteReader.h"
#include "engine/CellCount.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"
#include "records/RecordDecoder.h"
#include "records/SchemaCatalogue.h"
#include "records/SqlTokenizer.h"
#include "recover/PageOwners.h"
#include "recover/RecordShapes.h"

namespace {

using Tokens = std::vector<SqlToken>;

std::u16string_view TextOf(std::u16string_view sql, const SqlToken& token)
{
    return sql.substr(token.begin, token.end - token.begin);
}

bool IsKeywordToken(std::u16string_view sql, const SqlToken& token, std::u16string_view keyword)
{
    return token.kind == SqlToken::kWord && CSqlTokenizer::IsKeyword(TextOf(sql, token), keyword);
}

bool IsPunctToken(std::u16string_view sql, const SqlToken& token, char16_t c)
{
    return token.kind == SqlToken::kPunct && sql[token.begin] == c;
}

// The column a term names: one name, then at most COLLATE name and ASC or
// DESC. Anything else makes the term an expression (-1).
int TermColumn(std::u16string_view sql, const Tokens& tokens, std::size_t from, std::size_t to,
               const TableInfo& table)
{
    if (from >= to || tokens[from].kind == SqlToken::kPunct)
        return -1;
    std::size_t k = from + 1;
    if (k + 1 < to && IsKeywordToken(sql, tokens[k], u"COLLATE") && tokens[k + 1].kind != SqlToken::kPunct)
        k += 2;
    if (k < to && (IsKeywordToken(sql, tokens[k], u"ASC") || IsKeywordToken(sql, tokens[k], u"DESC")))
        ++k;
    if (k != to)
        return -1;
    const std::u16string name = CSqlTokenizer::Dequote(TextOf(sql, tokens[from]));
    for (std::size_t c = 0; c < table.columns.size(); ++c)
        if (EqualsIgnoringAsciiCase(table.columns[c].name, name))
            return static_cast<int>(c);
    return -1;
}

// A schema row of the database shown, its values as texts; `rootPage` from
// its integer rootpage value.
struct SchemaRow {
    std::vector<std::u16string> texts;
    std::int64_t rootPage = 0;
};

bool ReadSchemaCell(const PageBytes& bytes, std::uint32_t cell, const RecoverSchema& master, SchemaRow& row)
{
    RecordParse parse;
    if (!ParseCell(bytes, cell, bytes.usable, master.affinity.size(), parse) || parse.overflow ||
        !FinishCell(bytes, master, parse, bytes.usable) || parse.types.size() != master.affinity.size())
        return false;
    row.texts.assign(parse.types.size(), std::u16string());
    std::uint64_t at = parse.bodyStart;
    for (std::size_t i = 0; i < parse.types.size(); ++i) {
        const std::uint64_t t = parse.types[i];
        if (i == 3 && !ReadIntegerValue(bytes.page, parse.localEnd, at, t, row.rootPage))
            return false;
        if (i != 3 && t >= 13 && t % 2 == 1)
            AppendValueText(row.texts[i], bytes.page, parse.localEnd, at, t, bytes.encoding);
        at += SerialTypeSize(t);
    }
    return true;
}

// The index a schema row names, as a schema of one of `tables` (schema
// indexes of live rowid tables); false when it names none.
bool IndexOfRow(const SchemaRow& row, const std::vector<RecoverSchema>& schemas, std::size_t tables,
                std::uint64_t pageCount, RecoverSchema& index)
{
    if (row.texts[0] != u"index" || row.rootPage <= 1 || static_cast<std::uint64_t>(row.rootPage) > pageCount)
        return false;
    for (std::size_t s = 0; s < tables; ++s) {
        const RecoverSchema& schema = schemas[s];
        if (!schema.live || schema.withoutRowid || schema.indexOf >= 0 ||
            !EqualsIgnoringAsciiCase(schema.name, row.texts[2]))
            continue;
        // A partial row keeps two values or more besides its rowid.
        const auto columns = IndexedColumns(row.texts[4], *schema.table);
        if (!columns || columns->size() - std::count(columns->begin(), columns->end(), schema.alias) < 2)
            return false;
        index = IndexSchemaOf(schemas, static_cast<int>(s), *columns, static_cast<std::uint32_t>(row.rootPage));
        return true;
    }
    return false;
}

}  // namespace

std::optional<std::vector<int>> IndexedColumns(std::u16string_view sql, const TableInfo& table)
{
    const Tokens tokens = CSqlTokenizer::Tokenize(sql);
    std::size_t k = 0;
    while (k < tokens.size() && !IsKeywordToken(sql, tokens[k], u"ON"))
        ++k;
    while (k < tokens.size() && !IsPunctToken(sql, tokens[k], u'('))
        ++k;
    if (k >= tokens.size() || !IsKeywordToken(sql, tokens[0], u"CREATE"))
        return std::nullopt;
    std::vector<int> columns;
    std::size_t term = k + 1;
    for (std::size_t i = k + 1; i < tokens.size(); ++i) {
        const bool close = IsPunctToken(sql, tokens[i], u')');
        if (!close && !IsPunctToken(sql, tokens[i], u','))
            continue;
        const int column = TermColumn(sql, tokens, term, i, table);
        if (column < 0)
            return std::nullopt;
        columns.push_back(column);
        if (close)
            return columns;
        term = i + 1;
    }
    return std::nullopt;
}

RecoverSchema IndexSchemaOf(const std::vector<RecoverSchema>& schemas, int tableSchema,
                            const std::vector<int>& columns, std::uint32_t root)
{
    const RecoverSchema& table = schemas[tableSchema];
    RecoverSchema index;
    index.name = table.name;
    index.table = table.table;
    index.withoutRowid = true;  // its records are the cells of an index b-tree
    index.indexOf = tableSchema;
    index.indexRoot = root;
    index.recordColumns = columns;
    // The rowid alias column holds the rowid itself in an index.
    for (int column : columns)
        index.affinity.push_back(column == table.alias ? ColumnAffinity::kInteger : table.affinity[column]);
    index.affinity.push_back(ColumnAffinity::kInteger);  // the rowid
    return index;
}

std::size_t AddIndexSchemas(CPageSource& source, const DbInfo& db, std::vector<RecoverSchema>& schemas)
{
    const std::size_t tables = schemas.size();
    const PageBytes bytesOf{nullptr, db.UsableSize(), db.textEncoding};
    const std::vector<RecoverSchema> master{SchemaTableSchema()};
    std::unordered_set<std::uint32_t> seen;
    const auto enter = [&](std::uint32_t number) { return seen.insert(number).second; };
    const auto read = [&](std::uint32_t number, std::vector<std::uint8_t>& page) {
        return source.ReadPage(number, page) && page.size() >= db.UsableSize();
    };
    std::vector<RecoverSchema> found;
    WalkTableTree(1, source.PageCount(), db.UsableSize(), enter, read,
                  [&](std::uint32_t, const std::uint8_t* page, std::uint32_t h) {
                      if (page[h] != kTableLeaf)
                          return;
                      PageBytes bytes = bytesOf;
                      bytes.page = page;
                      const std::uint32_t count = ClampCellCount(Get16(page, bytes.usable, h + 3).value_or(0), bytes.usable);
                      SchemaRow row;
                      RecoverSchema index;
                      for (std::uint32_t k = 0; k < count; ++k) {
                          const auto cell = Get16(page, bytes.usable, h + 8 + 2 * k);
                          if (cell && *cell >= h + 8 && ReadSchemaCell(bytes, *cell, master[0], row) &&
                              IndexOfRow(row, schemas, tables, source.PageCount(), index))
                              found.push_back(std::move(index));
                      }
                  });
    for (RecoverSchema& index : found)
        schemas.push_back(std::move(index));
    return found.size();
}
