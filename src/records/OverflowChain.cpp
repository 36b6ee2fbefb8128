// Overflow pages and the payload split.
//
// A cell keeps at most X bytes of its payload in the page, where X is
// U − 35 for table leaves and ((U − 12) × 64 / 255) − 23 for index pages.
// A larger payload keeps K = M + ((P − M) mod (U − 4)) bytes when K ≤ X,
// else M = ((U − 12) × 32 / 255) − 23, and is followed in the cell by the
// 4-byte number of its first overflow page. Each overflow page holds the
// number of the next page (0 at the end) and U − 4 payload bytes.
#include "OverflowChain.h"

#include "engine/ByteReader.h"
#include "engine/SqliteParser.h"

std::uint32_t LocalPayloadSize(std::uint64_t payloadSize, std::uint32_t usableSize,
                               bool tableLeaf)
{
    const std::uint64_t u = usableSize;
    const std::uint64_t maxLocal = tableLeaf ? u - 35 : ((u - 12) * 64 / 255) - 23;
    if (payloadSize <= maxLocal)
        return static_cast<std::uint32_t>(payloadSize);
    const std::uint64_t minLocal = ((u - 12) * 32 / 255) - 23;
    const std::uint64_t surplus = minLocal + (payloadSize - minLocal) % (u - 4);
    return static_cast<std::uint32_t>(surplus <= maxLocal ? surplus : minLocal);
}

std::uint64_t MeasureOverflowChain(CSqliteParser& parser, std::uint32_t firstPage,
                                   const DbInfo& db, std::uint64_t maxPages)
{
    const std::uint64_t filePages = parser.m_pageSource.PageCount() + 1;
    const std::uint64_t limit = maxPages < filePages ? maxPages : filePages;
    std::uint64_t pages = 0;
    std::uint8_t next[4];
    for (std::uint32_t page = firstPage; page > 1 && pages < limit;) {
        // Pages this walk has entered before, in this chain or elsewhere, end
        // it: that covers a chain that loops back on itself.
        if (!parser.EnterOverflowPage(page))
            break;
        if (!parser.m_pageSource.ReadPage(page, next, sizeof next))
            break;
        ++pages;
        page = *Get32(next, sizeof next, 0);
    }
    return pages * (db.UsableSize() - 4);
}
