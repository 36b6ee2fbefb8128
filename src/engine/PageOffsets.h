// Where the pages an overlay holds lie in its file (a write-ahead log or a
// rollback journal): page number to byte offset. Kept as pairs sorted by
// page number, so that its size follows the entries the file holds and never
// a page number the file claims.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

class CPageOffsets {
public:
    // Records the offset of page `pageNumber`; a page added again keeps its
    // last offset. Call Finish before the first Find.
    void Add(std::uint32_t pageNumber, std::uint64_t offset) { m_entries.push_back({pageNumber, offset}); }
    void Finish()
    {
        // A stable sort keeps each page's entries in the order they were
        // added: the last of them is the one kept.
        std::stable_sort(m_entries.begin(), m_entries.end(),
                         [](const Entry& a, const Entry& b) { return a.first < b.first; });
        const auto last = std::unique(m_entries.rbegin(), m_entries.rend(),
                                      [](const Entry& a, const Entry& b) { return a.first == b.first; });
        m_entries.erase(m_entries.begin(), last.base());
    }
    // The offset of page `pageNumber`, 0 when the file does not hold it.
    std::uint64_t Find(std::uint32_t pageNumber) const
    {
        const auto at = std::lower_bound(m_entries.begin(), m_entries.end(), pageNumber,
                                         [](const Entry& e, std::uint32_t n) { return e.first < n; });
        return at != m_entries.end() && at->first == pageNumber ? at->second : 0;
    }
    bool Empty() const { return m_entries.empty(); }
    std::size_t Size() const { return m_entries.size(); }
    // The highest page number held, 0 when empty.
    std::uint32_t HighestPage() const { return m_entries.empty() ? 0 : m_entries.back().first; }
    void Clear() { m_entries.clear(); }

private:
    using Entry = std::pair<std::uint32_t, std::uint64_t>;
    std::vector<Entry> m_entries;
};
