// The texts the views show for databases and tables.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/DbInfo.h"
#include "records/PageMap.h"

// Column 1 of a database's item in the device tree: "大小: %s--表数: %d".
std::u16string DbItemText(const DbInfo& db);
// Colour of a database's item (0x00BBGGRR).
constexpr std::uint32_t kDbItemColor = 0x961414;
// Colour of a dropped table's item, and of recovered rows in a record list.
constexpr std::uint32_t kRecoveredColor = 0x0000B4;
// Column 0 of a dropped table's item: its name and "(已删除)".
std::u16string DroppedTableText(const TableInfo& table);

// The rows of the property list: name and value. With `table` null they
// describe `db` (and its log, when one lies beside it), then MD5, SHA-1 and
// SHA-256 of each file read for it; otherwise the table.
using PropertyRow = std::pair<std::u16string, std::u16string>;
std::vector<PropertyRow> PropertyRows(const DbInfo& db, const TableInfo* table);

// Top item of a table window's tree: "%s: %d 条记录".
std::u16string TableTreeTitle(const TableInfo& table, std::size_t rowCount);
// Second top item: "已删除记录: %d".
std::u16string RecoveredTreeTitle(std::size_t recoveredCount);

// The captions of a page's kind and of the kinds of its regions, as the
// page pane shows them.
std::u16string_view PageKindText(PageKind kind);
std::u16string_view PageRegionText(PageRegionKind kind);
