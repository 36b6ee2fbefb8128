#include "PageRoles.h"

#include <algorithm>

#include "engine/ByteReader.h"
#include "engine/PageSource.h"
#include "engine/SqliteParser.h"
#include "records/RecordDecoder.h"
#include "records/Varint.h"

namespace {

// Offsets in the database header.
constexpr std::uint32_t kFirstTrunkOffset = 32;
// The rootpage column of a schema row (type, name, tbl_name, rootpage, sql).
constexpr std::size_t kRootPageColumn = 3;

// The rootpage value of a schema record held in its cell's local payload.
std::uint32_t SchemaRootPage(const std::uint8_t* record, std::uint32_t length)
{
    std::uint64_t headerSize = 0;
    std::int32_t available = static_cast<std::int32_t>(std::min<std::uint32_t>(length, 9));
    if (ReadVarint(record, available, headerSize) != 0 || headerSize > length ||
        headerSize < static_cast<std::uint64_t>(available))
        return 0;
    std::vector<std::uint64_t> types;
    if (ReadSerialTypes(record + available, headerSize - available, length - available, types) != 0 ||
        types.size() <= kRootPageColumn)
        return 0;
    std::uint64_t offset = headerSize;
    for (std::size_t i = 0; i < kRootPageColumn; ++i)
        offset += SerialTypeSize(types[i]);
    std::int64_t root = 0;
    if (!ReadIntegerValue(record, length, offset, types[kRootPageColumn], root) || root < 2 ||
        root > static_cast<std::int64_t>(UINT32_MAX))
        return 0;
    return static_cast<std::uint32_t>(root);
}

}  // namespace

CPageRoles::CPageRoles(CPageSource& source, std::uint32_t usableSize)
    : m_source(source), m_usable(usableSize)
{
}

CPageMap::Role CPageRoles::RoleOf(std::uint32_t pageNumber, const std::uint8_t* page,
                                  std::uint32_t size)
{
    if (!m_freelistRead)
        ReadFreelist();
    if (const auto it = m_freelist.find(pageNumber); it != m_freelist.end())
        return {it->second, 0};
    const auto type = Get8(page, size, pageNumber == 1 ? 100 : 0);
    if (type && IsBtreePageType(*type))
        return {};
    if (!m_overflowRead)
        ReadOverflowChains();
    if (const auto it = m_overflow.find(pageNumber); it != m_overflow.end())
        return {PageKind::kOverflow, it->second};
    return {};
}

bool CPageRoles::MapPage(std::uint32_t pageNumber, std::vector<std::uint8_t>& page, CPageMap& map)
{
    if (!m_source.HasPage(pageNumber) || !m_source.ReadPage(pageNumber, page))
        return false;
    const auto size = static_cast<std::uint32_t>(page.size());
    map.Build(page.data(), size, m_usable, pageNumber, RoleOf(pageNumber, page.data(), size));
    return true;
}

void CPageRoles::ReadFreelist()
{
    m_freelistRead = true;
    std::vector<std::uint8_t> page;
    if (!m_source.ReadPage(1, page))
        return;
    const std::uint64_t pageCount = m_source.PageCount();
    auto trunk = Get32(page.data(), page.size(), kFirstTrunkOffset);
    // Each trunk is entered once, so the walk ends within the page count.
    for (std::uint32_t at = trunk.value_or(0); at > 1 && at <= pageCount;) {
        if (!m_freelist.emplace(at, PageKind::kFreelistTrunk).second || !m_source.ReadPage(at, page))
            break;
        const std::uint32_t usable = std::min<std::uint32_t>(m_usable, page.size());
        const std::uint32_t room = usable > 8 ? (usable - 8) / 4 : 0;
        const std::uint32_t leaves = std::min(Get32(page.data(), usable, 4).value_or(0), room);
        for (std::uint32_t i = 0; i < leaves; ++i) {
            const std::uint32_t leaf = *Get32(page.data(), usable, 8 + 4 * i);
            if (leaf > 1 && leaf <= pageCount)
                m_freelist.emplace(leaf, PageKind::kFreelistLeaf);
        }
        at = Get32(page.data(), usable, 0).value_or(0);
    }
}

void CPageRoles::ReadOverflowChains()
{
    m_overflowRead = true;
    std::vector<std::uint32_t> roots;
    WalkTree(1, 0, &roots);
    for (const std::uint32_t root : roots)
        WalkTree(root, 0, nullptr);
    m_entered.clear();
}

bool CPageRoles::Enter(std::uint32_t pageNumber)
{
    return pageNumber > 0 && pageNumber <= m_source.PageCount() &&
           m_entered.insert(pageNumber).second;
}

void CPageRoles::WalkTree(std::uint32_t pageNumber, int depth, std::vector<std::uint32_t>* roots)
{
    std::vector<std::uint8_t> page;
    if (depth > kMaxTreeDepth || !Enter(pageNumber) || !m_source.ReadPage(pageNumber, page))
        return;
    const std::uint32_t usable = std::min<std::uint32_t>(m_usable, page.size());
    const std::uint32_t header = pageNumber == 1 ? 100 : 0;
    const auto type = Get8(page.data(), usable, header);
    if (!type || !IsBtreePageType(*type))
        return;
    const bool interior = *type == kTableInterior || *type == kIndexInterior;
    const std::uint32_t arrayStart = header + (interior ? 12 : 8);
    const std::uint32_t room = arrayStart < usable ? (usable - arrayStart) / 2 : 0;
    const std::uint32_t cells = std::min<std::uint32_t>(Get16(page.data(), usable, header + 3).value_or(0), room);
    std::vector<std::uint32_t> children;
    for (std::uint32_t i = 0; i < cells; ++i) {
        const std::uint32_t offset = *Get16(page.data(), usable, arrayStart + 2 * i);
        if (offset < arrayStart + 2 * cells || offset >= usable)
            continue;
        if (interior)
            children.push_back(Get32(page.data(), usable, offset).value_or(0));
        WalkCell(page.data(), usable, offset, *type, roots);
    }
    if (interior)
        children.push_back(Get32(page.data(), usable, header + 8).value_or(0));
    for (const std::uint32_t child : children)
        WalkTree(child, depth + 1, roots);
}

void CPageRoles::WalkCell(const std::uint8_t* page, std::uint32_t usable, std::uint32_t offset,
                          std::uint8_t type, std::vector<std::uint32_t>* roots)
{
    CellLayout cell;
    if (type == kTableInterior || !ReadCellLayout(page, usable, offset, type, cell))
        return;
    if (roots != nullptr && type == kTableLeaf && FitsIn(usable, cell.payloadStart, cell.localSize))
        if (const std::uint32_t root = SchemaRootPage(page + cell.payloadStart, cell.localSize))
            roots->push_back(root);
    if (cell.overflowPage != 0)
        WalkOverflowChain(cell.overflowPage, cell.payloadSize - cell.localSize);
}

void CPageRoles::WalkOverflowChain(std::uint32_t firstPage, std::uint64_t bytes)
{
    const std::uint32_t perPage = m_usable > 4 ? m_usable - 4 : 0;
    std::uint8_t next[4];
    for (std::uint32_t at = firstPage; bytes > 0 && perPage > 0 && Enter(at);) {
        if (!m_source.ReadPage(at, next, sizeof next))
            return;
        const std::uint64_t held = std::min<std::uint64_t>(bytes, perPage);
        m_overflow[at] = static_cast<std::uint32_t>(held);
        bytes -= held;
        at = *Get32(next, sizeof next, 0);
    }
}
