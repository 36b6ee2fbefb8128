// The scan of one table b-tree page: the bytes its live cells do not hold,
// past the cell pointer array, read with its freeblock chain.
#pragma once

#include <cstdint>

#include "platform/WindowMessage.h"
#include "recover/RegionScan.h"

// Scans the free space of the table leaf or interior page, or index leaf
// page (a WITHOUT ROWID table's, whole cells only), in `bytes`
// (b-tree header at `headerOffset`); with `withCells` every cell too: a
// page version no tree uses any more. A freeblock chain that is not sound
// ends with a line to `log`.
void ScanLeaf(CRegionScan& scan, const PageBytes& bytes, std::uint32_t headerOffset, bool withCells,
              std::uint32_t pageNumber, HWND log);
