#include "CellMap.h"

#include <algorithm>

void CellMap::Finish()
{
    // A stable sort keeps records of one offset in insertion order, so the
    // first of them survives the unique pass.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const Entry& a, const Entry& b) { return a.offset < b.offset; });
    m_entries.erase(std::unique(m_entries.begin(), m_entries.end(),
                                [](const Entry& a, const Entry& b) { return a.offset == b.offset; }),
                    m_entries.end());
}
