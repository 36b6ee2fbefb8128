#include "recover/SchemaFit.h"

#include <algorithm>

RecoverSchema SchemaOf(TableInfo& table, bool live)
{
    RecoverSchema schema;
    schema.name = table.name;
    schema.table = &table;
    schema.alias = table.rowidAliasColumn;
    schema.live = live;
    if (table.withoutRowid) {
        schema.withoutRowid = true;
        schema.recordColumns = table.recordColumns;
        for (int column : table.recordColumns)
            schema.affinity.push_back(AffinityOf(table.columns[column].type));
        return schema;
    }
    for (const ColumnInfo& column : table.columns)
        schema.affinity.push_back(AffinityOf(column.type));
    return schema;
}

bool Recoverable(const TableInfo& table)
{
    if (table.rootPage == 0 || table.columns.empty())
        return false;
    if (!table.withoutRowid)
        return table.recordColumns.empty();
    std::vector<bool> shown(table.columns.size(), false);
    for (int column : table.recordColumns)
        if (column >= 0 && static_cast<std::size_t>(column) < shown.size())
            shown[column] = true;
    return table.recordColumns.size() == table.columns.size() &&
           std::find(shown.begin(), shown.end(), false) == shown.end();
}

RecoverSchema SchemaTableSchema()
{
    RecoverSchema master;
    master.name = u"sqlite_master";
    master.affinity = {ColumnAffinity::kText, ColumnAffinity::kText, ColumnAffinity::kText,
                       ColumnAffinity::kInteger, ColumnAffinity::kText};
    return master;
}

bool TypeFits(std::uint64_t t, ColumnAffinity affinity, bool rowidAlias)
{
    if (rowidAlias)
        return t == 0;
    if (t == 10 || t == 11)
        return false;
    // A TEXT column turns numbers into text, an INTEGER or REAL column turns
    // numeric text into numbers.
    const bool number = t >= 1 && t <= 9;
    const bool text = t >= 13 && t % 2 == 1;
    // A blob in a TEXT or numeric column is possible but rare in the data
    // phones keep, and bytes that happen to parse as a record are mostly
    // blobs: taking them would cost far more phantoms than it gains.
    const bool blob = t >= 12 && t % 2 == 0;
    switch (affinity) {
    case ColumnAffinity::kText: return !number && !blob;
    case ColumnAffinity::kInteger:
    case ColumnAffinity::kReal: return !text && !blob;
    default: return true;
    }
}

int Fit(const RecoverSchema& schema, const std::vector<std::uint64_t>& types)
{
    int fit = types.size() == schema.affinity.size() ? 1000 : 0;
    for (std::size_t i = 0; i < types.size(); ++i) {
        const std::uint64_t t = types[i];
        const bool number = t >= 1 && t <= 9;
        const bool text = t >= 13 && t % 2 == 1;
        const bool alias = static_cast<int>(i) == schema.alias;
        switch (alias ? ColumnAffinity::kBlob : schema.affinity[i]) {
        case ColumnAffinity::kInteger:
        case ColumnAffinity::kReal: fit += number; break;
        case ColumnAffinity::kText: fit += text; break;
        default: fit += alias && t == 0; break;
        }
    }
    return fit;
}

bool ReadAlike(const RecoverSchema& a, const RecoverSchema& b)
{
    return a.alias == b.alias && a.affinity == b.affinity && a.withoutRowid == b.withoutRowid;
}

std::vector<int> SchemaOrder(std::size_t count, int preferred)
{
    std::vector<int> order;
    if (preferred >= 0)
        order.push_back(preferred);
    for (int s = 0; s < static_cast<int>(count); ++s)
        if (s != preferred)
            order.push_back(s);
    return order;
}
