#include "CellMap.h"

#include <algorithm>

void CellMap::Finish()
{
    // Cell pointers mostly run in falling offset order (cells fill a page
    // from its end): strictly falling, reversed they are sorted and no
    // offset repeats.
    const auto notFalling = [](const Entry& a, const Entry& b) { return a.offset <= b.offset; };
    if (std::adjacent_find(m_entries.begin(), m_entries.end(), notFalling) == m_entries.end()) {
        std::reverse(m_entries.begin(), m_entries.end());
        return;
    }
    // A stable sort keeps records of one offset in insertion order, so the
    // first of them survives the unique pass.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const Entry& a, const Entry& b) { return a.offset < b.offset; });
    m_entries.erase(std::unique(m_entries.begin(), m_entries.end(),
                                [](const Entry& a, const Entry& b) { return a.offset == b.offset; }),
                    m_entries.end());
}
