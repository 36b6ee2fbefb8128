// Database carving: finds SQLite database files lying inside any raw file
// (a disk image, unallocated space) at 512-byte sector starts, with the
// page size and the length of each.
//
// Same chunked scan, messages and stop behaviour as the picture and movie
// carvers; each hit is a ScanResult of type "sqlite" with pageSize and size.
#pragma once

#include <cstdint>
#include <string>

#include "engine/SqliteParser.h"

// Tests the 100-byte database header at `sector` (at least 100 readable
// bytes). Returns the page size (512 to 65536) or 0 when it is no header.
std::uint32_t MatchSqliteHeader(const std::uint8_t* sector);

// Scans `path` for databases ("sqlite").
void CarveSqlite(CSqliteParser& parser, const std::u16string& path);
