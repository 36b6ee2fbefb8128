// B-tree page header (offset h: 100 on page 1, 0 elsewhere), big-endian:
//   offset  size  meaning
//   h+0     1     page type: 2 index interior, 5 table interior,
//                 10 index leaf, 13 table leaf
//   h+3     2     number of cells
//   h+8     4     right-most child (interior pages only)
//   h+8/12  2×n   cell pointer array (leaf / interior)
//
// Cells (varints marked v):
//   table interior  4-byte left child, v rowid
//   table leaf      v payload size, v rowid, payload
//   index interior  4-byte left child, v payload size, payload
//   index leaf      v payload size, payload
// A payload longer than the page keeps a local part and continues in a
// chain of overflow pages, each starting with the next page's number.
//
// Freelist trunk page: 4-byte next trunk, 4-byte leaf count, leaf numbers.
#include "SqliteExtent.h"

#include <algorithm>

#include "engine/ByteReader.h"
#include "engine/CellCount.h"
#include "records/OverflowChain.h"
#include "records/Varint.h"

namespace {

// Usable sizes below this break the payload formulas (SQLite refuses them).
constexpr std::uint32_t kMinUsableSize = 480;

bool IsBtreePageType(std::uint8_t type)
{
    return type == 2 || type == 5 || type == 10 || type == 13;
}

// Bytes of a record body value of serial type `type`; false for the
// reserved types 10 and 11.
bool SerialTypeSize(std::uint64_t type, std::uint64_t& size)
{
    static constexpr std::uint8_t kSizes[12] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
    if (type == 10 || type == 11)
        return false;
    size = type < 12 ? kSizes[type] : (type - 12) / 2;
    return true;
}

}  // namespace

CSqliteExtent::CSqliteExtent(const CSourceFile& file, std::uint64_t fileLength, std::uint64_t start,
                             std::uint32_t pageSize, std::uint32_t usableSize)
    : m_file(file), m_start(start), m_pageSize(pageSize), m_usableSize(usableSize)
{
    const std::uint64_t bytes = fileLength > start ? fileLength - start : 0;
    const std::uint64_t pages = bytes / pageSize;
    m_availablePages = static_cast<std::uint32_t>(std::min<std::uint64_t>(pages, UINT32_MAX));
}

void CSqliteExtent::Walk(std::uint32_t firstTrunk, std::uint32_t freelistCount)
{
    if (m_usableSize < kMinUsableSize || m_usableSize > m_pageSize)
        return;
    WalkTree(1, true);
    // Roots are walked after the schema tree so its page buffer is free.
    while (!m_roots.empty()) {
        const std::uint32_t root = m_roots.back();
        m_roots.pop_back();
        WalkTree(root, false);
    }
    WalkFreelist(firstTrunk, freelistCount);
}

bool CSqliteExtent::Enter(std::uint32_t page)
{
    if (page == 0)
        return false;
    if (page > m_availablePages) {
        m_pointsPastEnd = true;
        return false;
    }
    if (m_entered.size() >= kMaxWalkedPages) {
        m_walkCut = true;
        return false;
    }
    return m_entered.insert(page).second;
}

bool CSqliteExtent::ReadPage(std::uint32_t page, std::vector<std::uint8_t>& buffer) const
{
    buffer.resize(m_pageSize);
    const std::uint64_t position = m_start + std::uint64_t{page - 1} * m_pageSize;
    return m_file.ReadAt(buffer.data(), m_pageSize, position) == m_pageSize;
}

void CSqliteExtent::Prove(std::uint32_t page)
{
    m_lastPage = std::max(m_lastPage, page);
}

void CSqliteExtent::WalkTree(std::uint32_t root, bool schema)
{
    std::vector<std::uint32_t> pending{root};
    while (!pending.empty()) {
        const std::uint32_t page = pending.back();
        pending.pop_back();
        if (!Enter(page) || !ReadPage(page, m_page))
            continue;
        const std::uint32_t h = page == 1 ? 100 : 0;
        const std::uint8_t type = m_page[h];
        if (!IsBtreePageType(type))
            continue;  // not what the pointer promised: not counted
        Prove(page);
        const bool interior = type == 2 || type == 5;
        const std::uint32_t arrayStart = h + (interior ? 12 : 8);
        if (arrayStart > m_usableSize)
            continue;
        const std::uint32_t cells = ClampCellCount(*Get16(m_page.data(), m_usableSize, h + 3), m_usableSize);
        if (interior)
            pending.push_back(*Get32(m_page.data(), m_usableSize, h + 8));
        const std::uint32_t contentStart = arrayStart + 2 * cells;
        for (std::uint32_t i = 0; i < cells; ++i) {
            const std::uint32_t cell = *Get16(m_page.data(), m_usableSize, arrayStart + 2 * i);
            if (cell < contentStart || cell >= m_usableSize)
                continue;
            WalkCell(cell, type, schema, pending);
        }
    }
}

void CSqliteExtent::WalkCell(std::uint32_t cellOffset, std::uint8_t pageType, bool schema,
                             std::vector<std::uint32_t>& children)
{
    const std::uint8_t* cell = m_page.data() + cellOffset;
    const std::uint32_t room = m_usableSize - cellOffset;
    std::uint32_t used = 0;
    if (pageType == 2 || pageType == 5) {
        const auto child = Get32(cell, room, 0);
        if (!child)
            return;
        children.push_back(*child);
        used = 4;
        if (pageType == 5)
            return;  // a table interior cell carries only a rowid
    }
    std::uint64_t payloadSize = 0;
    std::uint32_t length = 0;
    if (!ReadVarintAt(cell, room, used, payloadSize, length))
        return;
    used += length;
    if (pageType == 13) {
        std::uint64_t rowid = 0;
        if (!ReadVarintAt(cell, room, used, rowid, length))
            return;
        used += length;
    }
    const std::uint64_t local = LocalPayloadSize(payloadSize, m_usableSize, pageType == 13);
    if (schema && pageType == 13)
        NoteRootPage(cell + used, static_cast<std::uint32_t>(std::min<std::uint64_t>(local, room - used)));
    if (payloadSize > local) {
        const auto first = Get32(cell, room, used + local);
        if (first)
            WalkOverflow(*first, payloadSize - local);
    }
}

void CSqliteExtent::WalkOverflow(std::uint32_t first, std::uint64_t overflowBytes)
{
    // The payload size bounds the chain, whatever its pointers say.
    const std::uint64_t perPage = m_usableSize - 4;
    std::uint64_t pages = (overflowBytes + perPage - 1) / perPage;
    for (std::uint32_t page = first; page != 0 && pages > 0; --pages) {
        if (!Enter(page) || !ReadPage(page, m_chainPage))
            return;
        Prove(page);
        page = *Get32(m_chainPage.data(), m_chainPage.size(), 0);
    }
}

void CSqliteExtent::WalkFreelist(std::uint32_t trunk, std::uint32_t count)
{
    // Every trunk and leaf is one of the `count` freelist pages.
    std::uint64_t remaining = count;
    const std::uint32_t maxLeaves = m_usableSize / 4 - 2;
    while (trunk != 0 && remaining > 0) {
        if (!Enter(trunk) || !ReadPage(trunk, m_chainPage))
            return;
        Prove(trunk);
        --remaining;
        const std::uint8_t* data = m_chainPage.data();
        const std::uint32_t leaves = std::min(*Get32(data, m_pageSize, 4), maxLeaves);
        for (std::uint32_t i = 0; i < leaves && remaining > 0; ++i) {
            const std::uint32_t leaf = *Get32(data, m_pageSize, 8 + 4 * i);
            if (Enter(leaf)) {
                Prove(leaf);
                --remaining;
            }
        }
        trunk = *Get32(data, m_pageSize, 0);
    }
}

void CSqliteExtent::NoteRootPage(const std::uint8_t* payload, std::uint32_t localSize)
{
    // Schema record: type, name, tbl_name, rootpage, sql. Views and
    // triggers have rootpage 0.
    std::int32_t available = static_cast<std::int32_t>(localSize);
    std::uint64_t headerSize = 0;
    if (ReadVarint(payload, available, headerSize) != 0 || headerSize > localSize)
        return;
    std::uint32_t headerPos = static_cast<std::uint32_t>(available);
    std::uint64_t bodyPos = headerSize;
    for (int column = 0; column < 4; ++column) {
        std::uint64_t serialType = 0;
        std::uint64_t size = 0;
        available = static_cast<std::int32_t>(headerSize - headerPos);
        if (headerPos >= headerSize || ReadVarint(payload + headerPos, available, serialType) != 0 ||
            !SerialTypeSize(serialType, size))
            return;
        headerPos += static_cast<std::uint32_t>(available);
        if (column < 3) {
            if (size > localSize)
                return;  // the rootpage lies outside the local bytes
            bodyPos += size;
            continue;
        }
        if (serialType < 1 || serialType > 6 || !FitsIn(localSize, bodyPos, size))
            return;
        // A big-endian two's-complement integer; negative roots are damage.
        const std::uint64_t raw = LoadBigEndian(payload + bodyPos, static_cast<std::size_t>(size));
        const bool negative = (payload[bodyPos] & 0x80) != 0;
        if (!negative && raw >= 2 && raw <= UINT32_MAX)
            m_roots.push_back(static_cast<std::uint32_t>(raw));
    }
}
