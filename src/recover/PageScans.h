// The scans of a recovery, each over one kind of page version: the free
// space of the live tables' pages, the freelist's pages, and the page
// versions a write-ahead log holds besides the ones shown.
#pragma once

#include <cstdint>
#include <vector>

#include "recover/CandidateEmitter.h"
#include "recover/RecoverContext.h"

// How a page version is read: as a table b-tree page whose header is at
// `headerOffset` (with every cell when `withCells`), or as plain bytes from
// `from` to the end when `headerOffset` is negative.
struct ScanAs {
    int headerOffset = 0;
    bool withCells = false;
    std::uint32_t from = 0;
};

// Scans one page version against the schemas in `order`.
void ScanPage(RecoverContext& context, const std::uint8_t* page, const PageOrigin& origin,
              std::vector<int> order, ScanAs as);
// The same, with the candidates found going to `found` and the lines to
// `log`: changes nothing in `context`, so that pages whose overflow chains
// are read from the database shown (no `state`, no `chainPages`) may be
// scanned on several threads at once.
void ScanPageInto(const RecoverContext& context, const std::uint8_t* page, const PageOrigin& origin,
                  std::vector<int> order, ScanAs as, CCandidateSink& found, HWND log);

// Scans the free space of every page of every live table, marking the
// pages with their table.
void ScanTables(RecoverContext& context);
// Scans the freelist's trunk and leaf pages (as CPageOwners::ReadFreelist
// read the list), against every table.
void ScanFreelist(RecoverContext& context);
// Scans the log's frames that the database shown does not use, the main
// file's own version of each page the log replaces, and the pages past
// the end of a database a commit shrank.
void ScanLog(RecoverContext& context);
