#include "PageMap.h"

#include <algorithm>

#include "engine/ByteReader.h"
#include "engine/SqliteParser.h"
#include "platform/WideFormat.h"
#include "records/OverflowChain.h"
#include "records/Varint.h"

namespace {

constexpr std::uint32_t kFileHeaderSize = 100;
// A damaged page could claim bytes twice thousands of times: the first
// conflicts are listed, then one line says how many more there were.
constexpr std::size_t kMaxFaultLines = 32;

PageKind BtreeKind(std::uint8_t type)
{
    switch (type) {
    case kTableLeaf: return PageKind::kTableLeaf;
    case kTableInterior: return PageKind::kTableInterior;
    case kIndexLeaf: return PageKind::kIndexLeaf;
    default: return PageKind::kIndexInterior;
    }
}

// Reads a varint at `offset` of the first `usable` bytes; `offset` moves
// past it.
bool VarintAt(const std::uint8_t* page, std::uint32_t usable, std::uint32_t& offset,
              std::uint64_t& value)
{
    if (offset >= usable)
        return false;
    std::int32_t available = static_cast<std::int32_t>(std::min<std::uint32_t>(usable - offset, 9));
    if (ReadVarint(page + offset, available, value) != 0)
        return false;
    offset += static_cast<std::uint32_t>(available);
    return true;
}

// Finds the first unclaimed byte at or after `at`, with path halving: each
// byte is stepped over a bounded number of times however often a damaged
// page claims it.
std::uint32_t NextFree(std::vector<std::uint32_t>& next, std::uint32_t at)
{
    while (next[at] != at) {
        next[at] = next[next[at]];
        at = next[at];
    }
    return at;
}

}  // namespace

bool IsBtreePageType(std::uint8_t type)
{
    return type == kIndexInterior || type == kTableInterior || type == kIndexLeaf ||
           type == kTableLeaf;
}

bool ReadCellLayout(const std::uint8_t* page, std::uint32_t usable, std::uint32_t offset,
                    std::uint8_t pageType, CellLayout& cell)
{
    cell = CellLayout();
    std::uint32_t at = offset;
    if (pageType == kTableInterior || pageType == kIndexInterior) {
        if (!FitsIn(usable, at, 4))
            return false;
        at += 4;  // left child
    }
    std::uint64_t ignored = 0;
    if (pageType != kTableInterior && !VarintAt(page, usable, at, cell.payloadSize))
        return false;
    if ((pageType == kTableLeaf || pageType == kTableInterior) && !VarintAt(page, usable, at, ignored))
        return false;  // the rowid
    cell.payloadStart = at;
    if (pageType != kTableInterior) {
        cell.localSize = LocalPayloadSize(cell.payloadSize, usable, pageType == kTableLeaf);
        std::uint32_t end = at;
        if (FitsIn(usable, at, cell.localSize)) {
            end = at + cell.localSize;
            if (cell.localSize < cell.payloadSize && FitsIn(usable, end, 4)) {
                cell.overflowPage = *Get32(page, usable, end);
                end += 4;
            } else if (cell.localSize < cell.payloadSize) {
                end = usable;
            }
        } else {
            end = usable;  // a payload running past the content is cut there
        }
        at = end;
    }
    cell.extent = std::max<std::uint32_t>(at - offset, 4);
    return true;
}

void CPageMap::Build(const std::uint8_t* page, std::uint32_t size, std::uint32_t usableSize,
                     std::uint32_t pageNumber, Role role)
{
    m_pageNumber = pageNumber;
    m_size = size;
    m_usable = std::min(usableSize, size);
    m_owner.assign(size, -1);
    m_claims.clear();
    m_regions.clear();
    m_faults.clear();
    m_next.resize(size + 1);
    for (std::uint32_t i = 0; i <= size; ++i)
        m_next[i] = i;

    const std::uint32_t headerOffset = pageNumber == 1 ? kFileHeaderSize : 0;
    if (pageNumber == 1)
        Claim(PageRegionKind::kFileHeader, 0, kFileHeaderSize, -1);
    Claim(PageRegionKind::kReserved, m_usable, size, -1);
    const auto type = Get8(page, size, headerOffset);
    m_kind = role.kind;
    if (role.kind == PageKind::kOverflow) {
        Claim(PageRegionKind::kPageHeader, 0, 4, -1);
        const std::uint32_t room = m_usable > 4 ? m_usable - 4 : 0;
        Claim(PageRegionKind::kOverflowData, 4, 4 + std::min(role.overflowBytes, room), -1);
    } else if (role.kind == PageKind::kFreelistTrunk) {
        LayOutFreelistTrunk(page);
    } else if (role.kind == PageKind::kFreelistLeaf) {
        Claim(PageRegionKind::kFreelistData, 0, m_usable, -1);
    } else if (type && IsBtreePageType(*type)) {
        m_kind = BtreeKind(*type);
        m_type = *type;
        LayOutBtreePage(page, headerOffset);
    } else {
        m_kind = PageKind::kUnknown;
    }
    CollectRegions();
}

void CPageMap::LayOutBtreePage(const std::uint8_t* page, std::uint32_t headerOffset)
{
    const bool interior = m_kind == PageKind::kTableInterior || m_kind == PageKind::kIndexInterior;
    const std::uint32_t headerSize = interior ? 12 : 8;
    Claim(PageRegionKind::kPageHeader, headerOffset, headerOffset + headerSize, -1);
    const auto cellCount = Get16(page, m_usable, headerOffset + 3);
    if (cellCount && *cellCount > 0)
        LayOutCells(page, headerOffset + headerSize, *cellCount);
    LayOutFreeblocks(page, headerOffset);
}

void CPageMap::LayOutCells(const std::uint8_t* page, std::uint32_t arrayStart,
                           std::uint32_t cellCount)
{
    // The array cannot reach past the content; a count that says it does
    // is clamped, as SQLite's own readers do.
    const std::uint32_t room = arrayStart < m_usable ? (m_usable - arrayStart) / 2 : 0;
    if (cellCount > room) {
        Fault(WideFormat(u"页%I32u: 单元数%I32u超出页面, 只读%I32u个",
                         {m_pageNumber, cellCount, room}));
        cellCount = room;
    }
    const std::uint32_t arrayEnd = arrayStart + 2 * cellCount;
    Claim(PageRegionKind::kCellPointers, arrayStart, arrayEnd, -1);
    for (std::uint32_t i = 0; i < cellCount; ++i) {
        const std::uint32_t offset = *Get16(page, m_usable, arrayStart + 2 * i);
        CellLayout cell;
        if (offset < arrayEnd || offset >= m_usable) {
            Fault(WideFormat(u"页%I32u: 单元%I32u偏移%I32u在单元区之外", {m_pageNumber, i, offset}));
            continue;
        }
        if (!ReadCellLayout(page, m_usable, offset, m_type, cell)) {
            Fault(WideFormat(u"页%I32u: 单元%I32u(偏移%I32u)无法读取", {m_pageNumber, i, offset}));
            cell.extent = 4;
        }
        Claim(PageRegionKind::kCell, offset, offset + std::min(cell.extent, m_usable - offset),
              static_cast<std::int32_t>(i));
    }
}

void CPageMap::LayOutFreeblocks(const std::uint8_t* page, std::uint32_t headerOffset)
{
    // Each freeblock lies after the one before it, so the chain ends within
    // a page's worth of steps.
    std::uint32_t at = *Get16(page, m_usable, headerOffset + 1);
    std::uint32_t previousEnd = 0;
    for (std::uint32_t steps = 0; at != 0 && steps < m_usable / 4; ++steps) {
        const auto next = Get16(page, m_usable, at);
        const auto size = Get16(page, m_usable, at + 2);
        if (!next || !size || at < previousEnd || *size < 4) {
            Fault(WideFormat(u"页%I32u: 空闲块%I32u无效", {m_pageNumber, at}));
            return;
        }
        std::uint32_t end = at + *size;
        if (*size > m_usable - at) {
            Fault(WideFormat(u"页%I32u: 空闲块%I32u超出页面", {m_pageNumber, at}));
            end = m_usable;
        }
        Claim(PageRegionKind::kFreeblock, at, end, -1);
        previousEnd = end;
        at = *next;
    }
}

void CPageMap::LayOutFreelistTrunk(const std::uint8_t* page)
{
    Claim(PageRegionKind::kPageHeader, 0, 8, -1);
    const auto leaves = Get32(page, m_usable, 4);
    if (!leaves)
        return;
    const std::uint32_t room = m_usable > 8 ? (m_usable - 8) / 4 : 0;
    if (*leaves > room)
        Fault(WideFormat(u"页%I32u: 空闲页数%I32u超出页面", {m_pageNumber, *leaves}));
    Claim(PageRegionKind::kFreelistData, 8, 8 + 4 * std::min(*leaves, room), -1);
}

void CPageMap::Claim(PageRegionKind kind, std::uint32_t start, std::uint32_t end, std::int32_t cell)
{
    end = std::min(end, m_size);
    if (start >= end)
        return;
    const auto index = static_cast<std::int32_t>(m_claims.size());
    m_claims.push_back({kind, start, end, cell});
    std::uint32_t taken = 0;
    for (std::uint32_t at = NextFree(m_next, start); at < end; at = NextFree(m_next, at)) {
        m_owner[at] = index;
        m_next[at] = at + 1;
        ++taken;
    }
    if (taken == end - start)
        return;
    std::u16string name;
    for (const char* c = RegionName(kind); *c != 0; ++c)
        name.push_back(static_cast<char16_t>(*c));
    if (cell >= 0)
        AppendNumber(name += u' ', cell);
    Fault(WideFormat(u"页%I32u: %s(%I32u-%I32u)有%I32u字节已属于其他区域",
                     {m_pageNumber, name, start, end, end - start - taken}));
}

void CPageMap::CollectRegions()
{
    for (std::uint32_t at = 0; at < m_size;) {
        const std::int32_t owner = m_owner[at];
        std::uint32_t end = at + 1;
        while (end < m_size && m_owner[end] == owner)
            ++end;
        if (owner < 0)
            m_regions.push_back({PageRegionKind::kUnallocated, at, end, -1});
        else
            m_regions.push_back({m_claims[owner].kind, at, end, m_claims[owner].cell});
        at = end;
    }
    m_owner.clear();
    m_next.clear();
}

void CPageMap::Fault(std::u16string text)
{
    if (m_faults.size() < kMaxFaultLines)
        m_faults.push_back(std::move(text));
    else if (m_faults.size() == kMaxFaultLines)
        m_faults.push_back(WideFormat(u"页%I32u: 更多错误未列出", {m_pageNumber}));
}

const PageRegion* CPageMap::RegionAt(std::uint32_t offset) const
{
    const auto it = std::upper_bound(m_regions.begin(), m_regions.end(), offset,
                                     [](std::uint32_t at, const PageRegion& r) { return at < r.end; });
    return it == m_regions.end() ? nullptr : &*it;
}

const char* CPageMap::KindName(PageKind kind)
{
    switch (kind) {
    case PageKind::kTableLeaf: return "table-leaf";
    case PageKind::kTableInterior: return "table-interior";
    case PageKind::kIndexLeaf: return "index-leaf";
    case PageKind::kIndexInterior: return "index-interior";
    case PageKind::kOverflow: return "overflow";
    case PageKind::kFreelistTrunk: return "freelist-trunk";
    case PageKind::kFreelistLeaf: return "freelist-leaf";
    case PageKind::kUnknown: break;
    }
    return "unknown";
}

const char* CPageMap::RegionName(PageRegionKind kind)
{
    switch (kind) {
    case PageRegionKind::kFileHeader: return "file-header";
    case PageRegionKind::kPageHeader: return "page-header";
    case PageRegionKind::kCellPointers: return "cell-pointers";
    case PageRegionKind::kReserved: return "reserved";
    case PageRegionKind::kCell: return "cell";
    case PageRegionKind::kFreeblock: return "freeblock";
    case PageRegionKind::kOverflowData: return "overflow-data";
    case PageRegionKind::kFreelistData: return "freelist-data";
    case PageRegionKind::kUnallocated: break;
    }
    return "unallocated";
}
