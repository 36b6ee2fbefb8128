// The texts the views show for databases and tables.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <utility>

#include "engine/DbInfo.h"

// Column 1 of a database's item in the device tree: "大小: %s--表数: %d".
std::u16string DbItemText(const DbInfo& db);
// Colour of a database's item (0x00BBGGRR).
constexpr std::uint32_t kDbItemColor = 0x961414;

// The four rows of the property list: name and value. With `table` null
// they describe `db`, otherwise the table.
using PropertyRow = std::pair<std::u16string, std::u16string>;
std::array<PropertyRow, 4> PropertyRows(const DbInfo& db, const TableInfo* table);

// Top item of a table window's tree: "%s: %d 条记录".
std::u16string TableTreeTitle(const TableInfo& table, std::size_t rowCount);
