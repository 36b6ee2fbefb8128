#include "recover/Candidates.h"

#include "engine/LogPost.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"

std::u16string CCandidates::ValuesKey(const Candidate& candidate) const
{
    const RecoveredRecord& record = candidate.record;
    const int alias = m_schemas[candidate.schema].alias;
    std::u16string key;
    for (std::size_t i = 0; i < record.values.size(); ++i) {
        const auto& value = record.values[i];
        const bool known = value.has_value() && static_cast<int>(i) != alias;
        key.push_back(known ? u'\x1f' : u'\x1e');
        if (known)
            key += *value;
    }
    return key;
}

void CCandidates::Add(Candidate&& candidate)
{
    // The same record found again (an older copy of its page, or its cell
    // both in the file and in the log) is listed once; the copy that still
    // has its rowid is kept.
    const RecoveredRecord& record = candidate.record;
    std::u16string key = record.table.value_or(u"") + ValuesKey(candidate);
    // Index entries of different rows may hold the same indexed values.
    if (candidate.fromIndex && record.rowid)
        key += u'\x1d' + Widen(std::to_string(*record.rowid));
    const auto [it, added] = m_seen.emplace(std::move(key), m_candidates.size());
    if (added) {
        m_candidates.push_back(std::move(candidate));
        return;
    }
    Candidate& kept = m_candidates[it->second];
    const bool attested = kept.attested || candidate.attested;
    if (!kept.record.rowid && record.rowid)
        kept = std::move(candidate);
    kept.attested = attested;
}

void CCandidates::MergeAttested(HWND log)
{
    // A record read from a page of the main file's own tree of a table is
    // that table's. The same values found elsewhere under another table of
    // the same columns (in the free space of a page that a table created
    // after a drop took over, say) are the same record, not another one.
    std::unordered_map<std::u16string, int> attested;
    for (const Candidate& c : m_candidates)
        if (c.attested)
            attested.emplace(ValuesKey(c), c.schema);
    if (attested.empty())
        return;
    const std::size_t before = m_candidates.size();
    std::erase_if(m_candidates, [&](const Candidate& c) {
        if (c.attested)
            return false;
        const auto it = attested.find(ValuesKey(c));
        return it != attested.end() && it->second != c.schema &&
               ReadAlike(m_schemas[it->second], m_schemas[c.schema]);
    });
    m_seen.clear();  // its indexes no longer hold
    if (m_candidates.size() != before)
        PostLog(log, u"Recover",
                WideFormat(u"recover: %I64u records found again under another table of the same "
                           u"columns are listed once, under the table the main file's own schema "
                           u"gave their page",
                           {static_cast<std::uint64_t>(before - m_candidates.size())}),
                kLogInfo);
}
