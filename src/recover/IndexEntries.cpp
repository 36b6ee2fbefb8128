#include "recover/IndexEntries.h"

#include <algorithm>
#include <map>

#include "engine/ByteReader.h"
#include "engine/CellCount.h"
#include "engine/SqliteParser.h"
#include "engine/LogPost.h"
#include "platform/WideFormat.h"
#include "records/Varint.h"

void CIndexEntries::Reset(const std::vector<RecoverSchema>& schemas)
{
    m_indexed.assign(schemas.size(), false);
    m_liveRowids.assign(schemas.size(), {});
    m_alias.clear();
    for (const RecoverSchema& schema : schemas)
        m_alias.push_back(schema.alias);
    for (const RecoverSchema& schema : schemas)
        if (schema.indexOf >= 0)
            m_indexed[schema.indexOf] = true;
}

void CIndexEntries::AddLiveRowids(int s, const std::uint8_t* page, std::uint32_t h, std::uint32_t usable)
{
    if (!Indexed(s) || page[h] != kTableLeaf)
        return;
    const std::uint32_t count = ClampCellCount(Get16(page, usable, h + 3).value_or(0), usable);
    for (std::uint32_t k = 0; k < count; ++k) {
        const auto cell = Get16(page, usable, h + 8 + 2 * k);
        std::uint64_t payload = 0;
        std::uint64_t rowid = 0;
        std::uint32_t p = 0;
        std::uint32_t r = 0;
        if (cell && ReadVarintAt(page, usable, *cell, payload, p) && ReadVarintAt(page, usable, *cell + p, rowid, r))
            m_liveRowids[s].push_back(static_cast<std::int64_t>(rowid));
    }
}

std::u16string CIndexEntries::ValueKey(int schema, std::size_t column, const std::u16string& value)
{
    std::u16string key{static_cast<char16_t>(schema), static_cast<char16_t>(schema >> 16),
                       static_cast<char16_t>(column)};
    return key + value;
}

bool CIndexEntries::RecoveredFromTable(const std::vector<Candidate>& candidates, const Candidate& entry) const
{
    if (m_tableRowids[entry.schema].count(*entry.record.rowid) != 0)
        return true;
    // A record whose rowid a freeblock header overwrote: the same values
    // where the entry has any.
    const auto& values = entry.record.values;
    std::size_t first = 0;
    while (first < values.size() && (!values[first] || static_cast<int>(first) == m_alias[entry.schema]))
        ++first;
    if (first == values.size())
        return false;
    const auto range = m_withoutRowid.equal_range(ValueKey(entry.schema, first, *values[first]));
    for (auto it = range.first; it != range.second; ++it) {
        const auto& other = candidates[it->second].record.values;
        bool same = other.size() == values.size();
        for (std::size_t i = 0; i < values.size() && same; ++i)
            same = !values[i] || static_cast<int>(i) == m_alias[entry.schema] ||
                   (other[i] && *other[i] == *values[i]);
        if (same)
            return true;
    }
    return false;
}

bool CIndexEntries::Join(Candidate& kept, const Candidate& entry)
{
    auto& values = kept.record.values;
    const auto& more = entry.record.values;
    for (std::size_t i = 0; i < values.size() && i < more.size(); ++i)
        if (values[i] && more[i] && *values[i] != *more[i])
            return false;
    for (std::size_t i = 0; i < values.size() && i < more.size(); ++i)
        if (!values[i])
            values[i] = more[i];
    return true;
}

void CIndexEntries::Sift(std::vector<Candidate>& candidates, HWND log)
{
    m_tableRowids.assign(m_indexed.size(), {});
    m_withoutRowid.clear();
    std::size_t entries = 0;
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        const Candidate& candidate = candidates[c];
        entries += candidate.fromIndex;
        if (candidate.fromIndex || !Indexed(candidate.schema))
            continue;
        const auto& values = candidate.record.values;
        if (candidate.record.rowid)
            m_tableRowids[candidate.schema].insert(*candidate.record.rowid);
        else
            for (std::size_t i = 0; i < values.size(); ++i)
                if (values[i] && static_cast<int>(i) != m_alias[candidate.schema])
                    m_withoutRowid.emplace(ValueKey(candidate.schema, i, *values[i]), c);
    }
    if (entries == 0)
        return;
    for (std::vector<std::int64_t>& rowids : m_liveRowids)
        std::sort(rowids.begin(), rowids.end());
    std::map<std::pair<int, std::int64_t>, std::size_t> byRowid;
    std::vector<bool> drop(candidates.size(), false);
    std::uint64_t known = 0;
    std::uint64_t joined = 0;
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        const Candidate& entry = candidates[c];
        if (!entry.fromIndex || entry.live)
            continue;
        const std::vector<std::int64_t>& live = m_liveRowids[entry.schema];
        if (std::binary_search(live.begin(), live.end(), *entry.record.rowid) ||
            RecoveredFromTable(candidates, entry)) {
            drop[c] = true;
            ++known;
            continue;
        }
        const auto [it, added] = byRowid.emplace(std::pair{entry.schema, *entry.record.rowid}, c);
        if (!added && Join(candidates[it->second], entry)) {
            drop[c] = true;
            ++joined;
        }
    }
    std::size_t out = 0;
    for (std::size_t c = 0; c < candidates.size(); ++c)
        if (!drop[c] && out++ != c)
            candidates[out - 1] = std::move(candidates[c]);
    candidates.resize(out);
    PostLog(log, u"Recover",
            WideFormat(u"recover: %I64u index entries read; %I64u left out (their rowid is a live row's, or "
                       u"the table's pages gave that row back), %I64u joined to another index's entry of the "
                       u"same rowid",
                       {static_cast<std::uint64_t>(entries), known, joined}),
            kLogInfo);
}
