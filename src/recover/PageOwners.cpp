#include "recover/PageOwners.h"

#include <algorithm>

#include "engine/ByteReader.h"
#include "engine/CellCount.h"
#include "engine/Globals.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"

void WalkTableTree(std::uint32_t root, std::uint64_t lastPage, std::uint32_t usable,
                   const std::function<bool(std::uint32_t)>& enter,
                   const std::function<bool(std::uint32_t, std::vector<std::uint8_t>&)>& read,
                   const PageVisit& onPage, bool index)
{
    const std::uint8_t leaf = index ? kIndexLeaf : kTableLeaf;
    const std::uint8_t interior = index ? kIndexInterior : kTableInterior;
    std::vector<std::pair<std::uint32_t, int>> stack;
    const auto queue = [&](std::uint32_t number, int depth) {
        if (number != 0 && number <= lastPage && depth <= kMaxTreeDepth && enter(number))
            stack.push_back({number, depth});
    };
    queue(root, 0);
    std::vector<std::uint8_t> page;
    while (!stack.empty() && !g_bStop.load()) {
        const auto [number, depth] = stack.back();
        stack.pop_back();
        if (!read(number, page))
            continue;
        const std::uint32_t h = number == 1 ? 100 : 0;
        const std::uint8_t type = page[h];
        if (type != leaf && type != interior)
            continue;
        // An interior page keeps, in its free space, what it held when it
        // was still a leaf (a root page that split, for one).
        onPage(number, page.data(), h);
        if (type != interior)
            continue;
        const std::uint32_t cells = ClampCellCount(Get16(page.data(), usable, h + 3).value_or(0), usable);
        queue(Get32(page.data(), usable, h + 8).value_or(0), depth + 1);
        for (std::uint32_t k = 0; k < cells; ++k) {
            const auto cell = Get16(page.data(), usable, h + 12 + 2 * k);
            if (!cell)
                break;
            queue(Get32(page.data(), usable, *cell).value_or(0), depth + 1);
        }
    }
}

void WalkFileTree(CPageSource& source, const DbInfo& db, std::uint32_t root, const PageVisit& onPage,
                  bool index)
{
    const std::uint64_t filePages = source.FileSize() / db.pageSize;
    std::vector<std::uint8_t> seen(filePages + 1, 0);
    const auto enter = [&](std::uint32_t number) { return !std::exchange(seen[number], 1); };
    const auto read = [&](std::uint32_t number, std::vector<std::uint8_t>& page) {
        page.resize(db.pageSize);
        return source.ReadFileAt(page.data(), db.pageSize, std::uint64_t(number - 1) * db.pageSize);
    };
    WalkTableTree(root, filePages, db.UsableSize(), enter, read, onPage, index);
}

void CPageOwners::Reset(std::uint64_t pageCount)
{
    m_pageCount = pageCount;
    m_owner.assign(pageCount + 1, kNone);
}

void CPageOwners::WalkTree(CPageSource& source, std::uint32_t usable, std::uint32_t root, int owner,
                           const PageVisit& onPage, bool index)
{
    const auto enter = [&](std::uint32_t number) {
        if (m_owner[number] != kNone)
            return false;
        m_owner[number] = owner;
        return true;
    };
    const auto read = [&](std::uint32_t number, std::vector<std::uint8_t>& page) {
        return source.ReadPage(number, page);
    };
    WalkTableTree(root, m_pageCount, usable, enter, read, onPage, index);
}

void CPageOwners::ReadFreelist(CPageSource& source, std::uint32_t usable)
{
    m_freelistLeaf.assign(m_pageCount + 1, 0);
    m_freelist = FreelistWalk();
    std::vector<std::uint8_t> page;
    if (!source.ReadPage(1, page))
        return;
    std::uint32_t trunk = Get32(page.data(), usable, 32).value_or(0);
    std::vector<std::uint8_t> seen(m_pageCount + 1, 0);
    // A list that loops, leaves the database or cannot be read ends.
    while (trunk != 0 && trunk <= m_pageCount && !seen[trunk] && source.ReadPage(trunk, page)) {
        seen[trunk] = 1;
        FreelistWalk::Trunk& entry = m_freelist.trunks.emplace_back();
        entry.page = trunk;
        const std::uint32_t count =
            std::min<std::uint32_t>(Get32(page.data(), usable, 4).value_or(0), usable / 4 - 2);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t number = Get32(page.data(), usable, 8 + 4 * i).value_or(0);
            entry.leaves.push_back(number);
            if (number != 0 && number <= m_pageCount && m_owner[number] == kNone)
                m_freelistLeaf[number] = 1;
        }
        trunk = Get32(page.data(), usable, 0).value_or(0);
    }
    m_freelist.end = trunk;
}

void CPageOwners::MapFileTrees(CPageSource& source, const DbInfo& db,
                               const std::vector<std::pair<std::u16string, std::uint32_t>>& fileRoots,
                               const std::vector<RecoverSchema>& schemas)
{
    if (fileRoots.empty())
        return;
    m_fileOwner.assign(source.FileSize() / db.pageSize + 1, -1);
    for (const auto& fileRoot : fileRoots) {
        const std::uint32_t root = fileRoot.second;
        const auto schema = std::find_if(schemas.begin(), schemas.end(), [&](const RecoverSchema& s) {
            return EqualsIgnoringAsciiCase(s.name, fileRoot.first);
        });
        if (schema == schemas.end())
            continue;
        const int s = static_cast<int>(schema - schemas.begin());
        WalkFileTree(
            source, db, root,
            [&](std::uint32_t number, const std::uint8_t*, std::uint32_t) {
                if (m_fileOwner[number] == -1)
                    m_fileOwner[number] = s;
            },
            schema->withoutRowid);
    }
}
