#include "ViewTexts.h"

#include "engine/FormatSize.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"

std::u16string DbItemText(const DbInfo& db)
{
    return WideFormat(u"大小: %s--表数: %d",
                      {FormatSize(static_cast<std::int64_t>(db.fileSize)), db.tableCount});
}

std::u16string DroppedTableText(const TableInfo& table)
{
    return table.name + u"(已删除)";
}

std::vector<PropertyRow> PropertyRows(const DbInfo& db, const TableInfo* table)
{
    if (table == nullptr) {
        std::vector<PropertyRow> rows = {
            {u"文件名称", db.path},
            {u"文件大小", FormatSize(static_cast<std::int64_t>(db.fileSize))},
            {u"页大小", WideFormat(u"%d", {db.pageSize})},
            {u"表数目", WideFormat(u"%I32u", {db.tableCount})}};
        if (db.log.found) {
            const LogInfo& log = db.log;
            rows.insert(rows.end(), {{u"WAL日志", db.withWal ? u"已应用" : u"未应用"},
                                     {u"WAL帧数", WideFormat(u"%I32u", {log.frames})},
                                     {u"有效帧数", WideFormat(u"%I32u", {log.validFrames})},
                                     {u"提交次数", WideFormat(u"%I32u", {log.commits})},
                                     {u"最后提交页数", WideFormat(u"%I32u", {log.lastCommitPages})}});
        }
        for (const EvidenceHash& hash : db.hashes) {
            // The file's own digests first; a journal's or log's under its name.
            const std::u16string prefix = &hash == &db.hashes.front() ? u"" : hash.path + u" ";
            const auto digest = [&](const std::string& text) {
                return hash.complete ? Widen(text) : std::u16string(u"未能读完文件");
            };
            rows.push_back({prefix + u"MD5", digest(hash.md5)});
            rows.push_back({prefix + u"SHA-1", digest(hash.sha1)});
            rows.push_back({prefix + u"SHA-256", digest(hash.sha256)});
        }
        return rows;
    }
    std::u16string names;
    for (const ColumnInfo& column : table->columns)
        names += column.name + u"  ";
    return {{u"表名称", table->dropped ? DroppedTableText(*table) : table->name},
            {u"表根页", WideFormat(u"%I32u", {table->rootPage})},
            {u"字段数", WideFormat(u"%d", {table->columns.size()})},
            {u"字段名称", names}};
}

std::u16string TableTreeTitle(const TableInfo& table, std::size_t rowCount)
{
    return WideFormat(u"%s: %d 条记录", {table.name, rowCount});
}

std::u16string RecoveredTreeTitle(std::size_t recoveredCount)
{
    return WideFormat(u"已删除记录: %d", {recoveredCount});
}

std::u16string_view PageKindText(PageKind kind)
{
    switch (kind) {
    case PageKind::kTableLeaf: return u"表叶子页";
    case PageKind::kTableInterior: return u"表内部页";
    case PageKind::kIndexLeaf: return u"索引叶子页";
    case PageKind::kIndexInterior: return u"索引内部页";
    case PageKind::kOverflow: return u"溢出页";
    case PageKind::kFreelistTrunk: return u"空闲页主干页";
    case PageKind::kFreelistLeaf: return u"空闲页叶子页";
    case PageKind::kUnknown: break;
    }
    return u"未知页";
}

std::u16string_view PageRegionText(PageRegionKind kind)
{
    switch (kind) {
    case PageRegionKind::kFileHeader: return u"文件头";
    case PageRegionKind::kPageHeader: return u"页头";
    case PageRegionKind::kCellPointers: return u"单元指针数组";
    case PageRegionKind::kReserved: return u"保留字节";
    case PageRegionKind::kCell: return u"单元";
    case PageRegionKind::kFreeblock: return u"空闲块";
    case PageRegionKind::kOverflowData: return u"溢出数据";
    case PageRegionKind::kFreelistData: return u"空闲页数据";
    case PageRegionKind::kUnallocated: break;
    }
    return u"未分配空间";
}
