#include "ViewTexts.h"

#include "engine/FormatSize.h"
#include "platform/WideFormat.h"

std::u16string DbItemText(const DbInfo& db)
{
    return WideFormat(u"大小: %s--表数: %d",
                      {FormatSize(static_cast<std::int64_t>(db.fileSize)), db.tableCount});
}

std::array<PropertyRow, 4> PropertyRows(const DbInfo& db, const TableInfo* table)
{
    if (table == nullptr) {
        return {{{u"文件名称", db.path},
                 {u"文件大小", FormatSize(static_cast<std::int64_t>(db.fileSize))},
                 {u"页大小", WideFormat(u"%d", {db.pageSize})},
                 {u"表数目", WideFormat(u"%I32u", {db.tableCount})}}};
    }
    std::u16string names;
    for (const ColumnInfo& column : table->columns)
        names += column.name + u"  ";
    return {{{u"表名称", table->name},
             {u"表根页", WideFormat(u"%I32u", {table->rootPage})},
             {u"字段数", WideFormat(u"%d", {table->columns.size()})},
             {u"字段名称", names}}};
}

std::u16string TableTreeTitle(const TableInfo& table, std::size_t rowCount)
{
    return WideFormat(u"%s: %d 条记录", {table.name, rowCount});
}
