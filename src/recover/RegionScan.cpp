#include "recover/RegionScan.h"

#include <algorithm>

#include "engine/ByteReader.h"

void CRegionScan::SetSchemas(std::vector<int> order)
{
    m_order = std::move(order);
    m_maxColumns = 0;
    m_entries = false;
    m_sameAs.assign(m_order.size(), -1);
    for (std::size_t i = 0; i < m_order.size(); ++i) {
        const RecoverSchema& schema = m_schemas[m_order[i]];
        m_maxColumns = std::max(m_maxColumns, schema.affinity.size());
        m_entries = m_entries || schema.indexOf >= 0;
        // Tables of the same column affinities read any bytes alike.
        for (std::size_t k = 0; k < i && m_sameAs[i] < 0; ++k)
            if (m_sameAs[k] < 0 && ReadAlike(m_schemas[m_order[k]], schema))
                m_sameAs[i] = static_cast<int>(k);
    }
}

// The cell pointer array a page had before it shrank stays in the space
// after the array it has now: a run of offsets past x, one after the
// other in one direction, which reads as freeblock headers at every
// second byte. A freeblock's own header is followed by a record's bytes,
// not by two more such offsets.
bool CRegionScan::InPointerRun(std::uint32_t x, std::uint32_t to) const
{
    std::uint32_t words[4];
    for (std::uint32_t k = 0; k < 4; ++k) {
        const std::optional<std::uint16_t> word = Get16(m_bytes.page, to, x + 2 * k);
        if (!word || *word <= x || *word >= m_bytes.usable)
            return false;
        words[k] = *word;
    }
    const bool down = words[0] > words[1] && words[1] > words[2] && words[2] > words[3];
    const bool up = words[0] < words[1] && words[1] < words[2] && words[2] < words[3];
    return down || up;
}

std::uint32_t CRegionScan::HeadLimit(std::uint32_t x, std::uint32_t to, const Freeblocks& freeblocks,
                                     std::size_t next, bool& freeStart, bool& staleHead)
{
    const std::uint32_t usable = m_bytes.usable;
    freeStart = next < freeblocks.size() && freeblocks[next].first == x;
    // A freeblock header left behind where the content area has since
    // grown over the freeblock, or inside a run of freeblocks merged
    // later: next offset 0 or further on, a size that fits.
    const std::uint32_t staleSize = Get16(m_bytes.page, to, x + 2).value_or(0);
    const std::uint32_t staleNext = Get16(m_bytes.page, to, x).value_or(1);
    // (The freeblock may since have been cut short by newer cells.)
    staleHead = !freeStart && staleSize >= 4 && staleSize <= usable - x &&
                (staleNext == 0 || (staleNext > x && staleNext < usable)) && !InPointerRun(x, to);
    std::uint32_t limit = to;
    if (freeStart)
        limit = std::min(to, freeblocks[next].second);
    else if (staleHead)
        limit = x + std::min(staleSize, to - x);
    m_headEnd = staleHead ? x + staleSize : freeStart ? limit : 0;
    // Where newer bytes begin: the end of a chain freeblock, or of the
    // region when a live cell follows it.
    m_cutEnd = freeStart ? limit : to < usable ? to : 0;
    return limit;
}

void CRegionScan::ScanRegion(std::uint32_t from, std::uint32_t to, const Freeblocks& freeblocks)
{
    m_freeblocks = &freeblocks;
    std::uint32_t x = from;
    bool afterRecord = false;
    std::size_t next = 0;  // the chain is in ascending order
    while (x < to && to - x >= 4) {
        while (next < freeblocks.size() && freeblocks[next].second <= x)
            ++next;
        const bool inFree = next < freeblocks.size() && freeblocks[next].first <= x;
        m_inFree = inFree;
        bool freeStart = false;
        bool staleHead = false;
        const std::uint32_t limit = HeadLimit(x, to, freeblocks, next, freeStart, staleHead);
        RecordParse& parse = m_foundParse;
        int schema = -1;
        if ((TryEach(x, to, false, parse, schema) ||
             ((freeStart || staleHead) && TryEach(x, limit, true, parse, schema)) ||
             (afterRecord && TryEach(x, to, true, parse, schema))) &&
            !OverlapsCell(x, parse.end)) {
            m_found.OnFound(schema, parse, x, inFree,
                            std::binary_search(m_cellStarts.begin(), m_cellStarts.end(), x));
            x = std::max(parse.end, x + 1);
            afterRecord = true;
            continue;
        }
        afterRecord = false;
        ++x;
    }
}

bool CRegionScan::OverlapsCell(std::uint32_t x, std::uint32_t end) const
{
    const auto next = std::upper_bound(m_cellStarts.begin(), m_cellStarts.end(), x);
    return next != m_cellStarts.end() && *next < end;
}

// The schema whose columns the record fits best wins (on a page no table
// owns, several tables may read the same bytes).
bool CRegionScan::TryEach(std::uint32_t x, std::uint32_t limit, bool head, RecordParse& best,
                          int& bestSchema)
{
    if (!head)
        return TryEachCell(x, limit, best, bestSchema);
    // An index cell's freed head leaves too little to prove a record, but
    // for an index entry of two payload size bytes.
    if (m_indexCells)
        return m_entries && TryEachEntryHead(x, limit, best, bestSchema);
    int bestFit = -1;
    for (std::size_t i = 0; i < m_order.size(); ++i) {
        if (m_sameAs[i] >= 0)
            continue;  // its twin came first and wins any tie
        const int s = m_order[i];
        RecordParse& parse = m_head;
        if (!TryFreeblockHead(m_schemas[s], x, limit, parse))
            continue;
        const int fit = Fit(m_schemas[s], parse.types);
        if (fit > bestFit) {
            best = parse;
            bestSchema = s;
            bestFit = fit;
        }
    }
    return bestFit >= 0;
}

bool CRegionScan::TryEachEntryHead(std::uint32_t f, std::uint32_t limit, RecordParse& best, int& bestSchema)
{
    int bestFit = -1;
    for (std::size_t i = 0; i < m_order.size(); ++i) {
        const int s = m_order[i];
        if (m_schemas[s].indexOf < 0 || !ReadEntryFirstTypeLost(m_bytes, m_schemas[s], f, limit, *this, m_head))
            continue;
        const int fit = Fit(m_schemas[s], m_head.types);
        if (fit > bestFit) {
            best = m_head;
            bestSchema = s;
            bestFit = fit;
        }
    }
    return bestFit >= 0;
}

bool CRegionScan::TryEachCell(std::uint32_t x, std::uint32_t limit, RecordParse& best, int& bestSchema)
{
    if (TryCellsAt(x, limit, m_cellPrefix, false, best, bestSchema))
        return true;
    // An index interior page keeps in its free space the leaf cells it held
    // before it split (no child pointer): read for index entries.
    return m_cellPrefix != 0 && m_entries && TryCellsAt(x, limit, 0, true, best, bestSchema);
}

bool CRegionScan::TryCellsAt(std::uint32_t x, std::uint32_t limit, std::uint32_t prefix, bool entriesOnly,
                             RecordParse& best, int& bestSchema)
{
    // The cell's bytes do not depend on the table: read them once.
    if (limit - x <= prefix || !ParseCell(m_bytes, x + prefix, limit, m_maxColumns, m_cell, m_indexCells))
        return false;
    int bestFit = -1;
    for (std::size_t i = 0; i < m_order.size(); ++i) {
        const RecoverSchema& schema = m_schemas[m_order[i]];
        // A WITHOUT ROWID table's record holds every column.
        if (m_sameAs[i] >= 0 || (entriesOnly && schema.indexOf < 0) || m_cell.types.size() > schema.affinity.size() ||
            (m_indexCells && m_cell.types.size() != schema.affinity.size()) ||
            !FinishCell(m_bytes, schema, m_cell, limit) || !EntryEndsCleanly(schema, limit))
            continue;
        const int fit = Fit(schema, m_cell.types);
        if (fit > bestFit) {
            bestSchema = m_order[i];
            bestFit = fit;
        }
    }
    if (bestFit < 0)
        return false;
    FinishCell(m_bytes, m_schemas[bestSchema], m_cell, limit);
    best = m_cell;
    return true;
}

// An index entry is short and its bytes hold few values to check: one in
// stray bytes (a newer cell pointer array or cell over an older one) is
// told apart by what follows it, as a run of cells holds it: the region's
// end, a whole cell, a fragment inside a freeblock of the chain, or the
// header of a freed cell that a later merge took into a larger freeblock
// (whose size newer cells may since have cut short). Outside the chain
// such a header must point at the end of the chain or into it.
bool CRegionScan::EntryEndsCleanly(const RecoverSchema& schema, std::uint32_t limit)
{
    const std::uint32_t end = m_cell.cellEnd;
    if (schema.indexOf < 0 || EndsCleanly(schema, end, limit, true, false) ||
        (m_inFree && EndsCleanly(schema, end, limit, false, false)))
        return true;
    const std::uint32_t usable = m_bytes.usable;
    const std::uint32_t next = Get16(m_bytes.page, limit, end).value_or(1);
    const std::uint32_t size = Get16(m_bytes.page, limit, end + 2).value_or(0);
    const auto chained = [&](std::uint32_t at) {
        return m_freeblocks && std::any_of(m_freeblocks->begin(), m_freeblocks->end(),
                                            [&](const auto& f) { return f.first == at; });
    };
    return size >= 4 && size <= usable - end && (next == 0 || (next > end && next < usable)) &&
           (m_inFree || next == 0 || chained(next));
}

bool CRegionScan::TryCell(const RecoverSchema& schema, std::uint32_t x, std::uint32_t limit,
                          RecordParse& parse)
{
    // Whether any cell at all can start at x is remembered: a scan asks
    // about the same offsets for every table and every guessed length.
    if (x >= m_bytes.usable)
        return false;
    if (m_noCell.empty())
        m_noCell.assign(m_bytes.usable, 0);
    if (m_noCell[x] == 0)
        m_noCell[x] = ParseCell(m_bytes, x, m_bytes.usable, m_maxColumns, parse, m_indexCells) ? 2 : 1;
    return m_noCell[x] == 2 && ParseCell(m_bytes, x, limit, schema.affinity.size(), parse, m_indexCells) &&
           FinishCell(m_bytes, schema, parse, limit);
}

bool CRegionScan::EndsCleanly(const RecoverSchema& schema, std::uint32_t end, std::uint32_t limit,
                              bool strict, bool sized)
{
    if (end == limit && (!sized || limit == m_headEnd))
        return true;
    if (end > limit)
        return false;
    if (TryCell(schema, end, limit, m_next))
        return true;
    if (strict || end == limit)
        return false;
    if (limit - end < 4)
        return !sized;
    const std::uint32_t nextFree = Get16(m_bytes.page, limit, end).value_or(1);
    const std::uint32_t size = Get16(m_bytes.page, limit, end + 2).value_or(0);
    return size >= 4 && size <= limit - end && (nextFree == 0 || nextFree > end);
}

bool CRegionScan::TryHeaderWhole(const RecoverSchema& schema, std::uint32_t f, std::uint32_t limit,
                                 RecordParse& parse, std::optional<RecordParse>& fallback)
{
    for (std::uint32_t start = 4; start < 15 && f + start < limit; ++start) {
        if (!ReadWholeHeader(m_bytes, schema, f, start, limit, m_trial))
            continue;
        if (EndsCleanly(schema, m_trial.end, limit, false, false)) {
            parse = m_trial;
            return true;
        }
        if (!fallback)
            fallback = m_trial;
    }
    return false;
}

// The shapes are tried from the one that loses least; a record that does
// not end cleanly is kept only when no shape does.
bool CRegionScan::TryFreeblockHead(const RecoverSchema& schema, std::uint32_t f, std::uint32_t limit,
                                   RecordParse& parse)
{
    std::optional<RecordParse> fallback;
    if (TryHeaderWhole(schema, f, limit, parse, fallback))
        return true;
    if (ReadHeaderSizeLost(m_bytes, schema, f, limit, m_trial)) {
        if (EndsCleanly(schema, m_trial.end, limit, false, false)) {
            parse = m_trial;
            return true;
        }
        if (!fallback)
            fallback = m_trial;
    }
    if (ReadFirstTypeLost(m_bytes, schema, f, limit, *this, m_trial)) {
        parse = m_trial;
        return true;
    }
    // A record of numbers only that does not end cleanly has nothing to
    // tell it from stray bytes.
    if (fallback && HoldsText(schema)) {
        parse = std::move(*fallback);
        return true;
    }
    // Cut at `limit` only where newer bytes begin; a record that went on to
    // overflow pages ends its local part on its own.
    const bool cutAtLimit = m_cutEnd != 0 && limit == m_cutEnd && limit < m_bytes.usable;
    if (!ReadPartialHead(m_bytes, schema, f, limit, cutAtLimit, m_trial))
        return false;
    parse = m_trial;
    return true;
}
