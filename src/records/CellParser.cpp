// Cells of b-tree pages and their payloads.
//
//   table leaf cell:      payload size (varint), rowid (varint), payload,
//                         [first overflow page (4 bytes)]
//   index leaf cell:      payload size (varint), payload, [overflow page]
//   index interior cell:  left child (4 bytes), payload size (varint),
//                         payload, [overflow page]
#include <algorithm>
#include <cstring>

#include "engine/ByteReader.h"
#include "engine/LogPost.h"
#include "engine/SqliteParser.h"
#include "platform/WideFormat.h"
#include "records/OverflowChain.h"
#include "records/RecordDecoder.h"
#include "records/RowDecodePool.h"
#include "records/Varint.h"

void CSqliteParser::ParseCells(DbInfo& db, const std::uint8_t* page, std::uint32_t length,
                               std::uint32_t pageNumber, std::uint8_t pageType, const CellMap& cells)
{
    const bool tableCell = pageType == kTableLeaf;
    const std::uint32_t usable = std::min(db.UsableSize(), length);
    for (auto entry = cells.begin(); entry != cells.end(); ++entry) {
        if (entry->kind != 0)
            continue;  // freeblocks only bound the cell before them
        const std::uint16_t off = entry->offset;
        const auto badCell = [&] {
            PostError(WideFormat(u"节点%I32u-最后%I16u数据转化失败", {pageNumber, off}));
        };

        std::uint64_t payloadSize = 0;
        std::uint32_t sizeLength = 0;
        if (!ReadVarintAt(page, usable, off, payloadSize, sizeLength) || off + sizeLength >= usable) {
            badCell();
            continue;
        }
        std::uint64_t rowid = 0;
        std::uint32_t rowidLength = 0;
        if (tableCell && !ReadVarintAt(page, usable, off + sizeLength, rowid, rowidLength)) {
            badCell();
            continue;
        }
        const std::uint32_t payloadStart = off + sizeLength + rowidLength;

        auto following = std::next(entry);
        if (following != cells.end() && following->offset <= payloadStart) {
            PostError(WideFormat(u"节点%I32u-偏移%I16u分析溢出点出现错误", {pageNumber, off}));
            continue;
        }
        DecodeCellPayload(db, page, pageNumber, off, payloadStart, usable, payloadSize, tableCell,
                          sizeLength, rowidLength, static_cast<std::int64_t>(rowid));
    }
}

void CSqliteParser::ParseIndexInteriorCell(DbInfo& db, const std::uint8_t* page,
                                           std::uint32_t length, std::uint32_t pageNumber,
                                           std::uint16_t cellOffset)
{
    const std::uint32_t usable = std::min(db.UsableSize(), length);
    std::uint64_t payloadSize = 0;
    std::uint32_t sizeLength = 0;
    if (!ReadVarintAt(page, usable, cellOffset + 4u, payloadSize, sizeLength)) {
        PostError(WideFormat(u"节点%I32u-最后%I16u数据转化失败", {pageNumber, cellOffset}));
        return;
    }
    DecodeCellPayload(db, page, pageNumber, cellOffset, cellOffset + 4u + sizeLength, usable,
                      payloadSize, false, sizeLength, 0, 0);
}

void CSqliteParser::DecodeCellPayload(DbInfo& db, const std::uint8_t* page,
                                      std::uint32_t pageNumber, std::uint16_t cellOffset,
                                      std::uint32_t payloadStart, std::uint32_t boundary,
                                      std::uint64_t payloadSize, bool tableCell, int sizeLength,
                                      int rowidLength, std::int64_t rowid)
{
    const std::uint32_t usable = db.UsableSize();
    const std::uint32_t local = LocalPayloadSize(payloadSize, usable, tableCell);
    const bool overflows = local < payloadSize;
    if (!FitsIn(boundary, payloadStart, std::uint64_t(local) + (overflows ? 4 : 0))) {
        PostError(WideFormat(u"节点%I32u-偏移%I16u数据超出页面范围,已跳过", {pageNumber, cellOffset}));
        return;
    }
    if (!overflows) {
        HandRecord(db, page + payloadStart, local, pageNumber, cellOffset, sizeLength, rowidLength,
                   rowid);
        return;
    }

    PostLog(m_hLogWnd, u"normal",
            WideFormat(u"节点%I32u-偏移%I16u分析有溢出", {pageNumber, cellOffset}), kLogInfo);
    const std::uint32_t firstOverflow = *Get32(page, boundary, payloadStart + local);
    const std::uint32_t perPage = usable - 4;
    const std::uint64_t remote = payloadSize - local;
    const std::uint64_t pagesNeeded = remote / perPage + (remote % perPage != 0);
    const std::uint64_t chainBytes = MeasureOverflowChain(*this, firstOverflow, db, pagesNeeded);
    // Only what the chain can really hold is allocated, whatever the cell claims.
    const std::uint64_t total = local + std::min(remote, chainBytes);
    if (chainBytes < remote)
        PostError(WideFormat(u"节点%I32u-偏移%I16u溢出链不完整,缺少%I64u字节",
                             {pageNumber, cellOffset, remote - chainBytes}));
    if (total > UINT32_MAX) {
        PostError(WideFormat(u"节点%I32u-偏移%I16u数据超出页面范围,已跳过", {pageNumber, cellOffset}));
        return;
    }

    std::vector<std::uint8_t> payload(total, 0);
    std::memcpy(payload.data(), page + payloadStart, local);
    std::uint64_t written = local;
    std::vector<std::uint8_t> overflowPage;
    for (std::uint32_t next = firstOverflow; next > 1 && written < total;) {
        if (!ReadPage(next, overflowPage))
            break;
        const std::uint64_t take = std::min<std::uint64_t>(perPage, total - written);
        std::memcpy(payload.data() + written, overflowPage.data() + 4, take);
        written += take;
        next = *Get32(overflowPage.data(), overflowPage.size(), 0);
    }
    HandRecord(db, payload.data(), static_cast<std::uint32_t>(total), pageNumber, cellOffset,
               sizeLength, rowidLength, rowid);
}

void CSqliteParser::HandRecord(DbInfo& db, const std::uint8_t* record, std::uint32_t length,
                               std::uint32_t pageNumber, std::uint16_t cellOffset, int sizeLength,
                               int rowidLength, std::int64_t rowid)
{
    if (m_pDecodePool != nullptr) {
        m_pDecodePool->AddRecord(record, length, pageNumber, cellOffset, sizeLength, rowidLength,
                                 rowid);
        return;
    }
    DecodeRecord(record, *this, db, length, pageNumber, sizeLength, rowidLength, rowid);
    NoteRowCell(pageNumber, cellOffset);
}
