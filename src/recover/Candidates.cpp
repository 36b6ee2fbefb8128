#include "recover/Candidates.h"

#include "engine/LogPost.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"

namespace {

constexpr char16_t kKnown = u'\x1f';
constexpr char16_t kUnknown = u'\x1e';
constexpr char16_t kRowid = u'\x1d';

}  // namespace

template <typename Piece>
void CCandidates::ValuePieces(const Candidate& candidate, Piece&& piece) const
{
    const RecoveredRecord& record = candidate.record;
    const int alias = m_schemas[candidate.schema].alias;
    for (std::size_t i = 0; i < record.values.size(); ++i) {
        const auto& value = record.values[i];
        const bool known = value.has_value() && static_cast<int>(i) != alias;
        piece(std::u16string_view(known ? &kKnown : &kUnknown, 1));
        if (known)
            piece(std::u16string_view(*value));
    }
}

template <typename Piece>
void CCandidates::KeyPieces(const Candidate& candidate, Piece&& piece) const
{
    const RecoveredRecord& record = candidate.record;
    if (record.table)
        piece(std::u16string_view(*record.table));
    ValuePieces(candidate, piece);
    // Index entries of different rows may hold the same indexed values.
    if (candidate.fromIndex && record.rowid) {
        piece(std::u16string_view(&kRowid, 1));
        piece(std::u16string_view(Widen(std::to_string(*record.rowid))));
    }
}

std::u16string CCandidates::ValuesKey(const Candidate& candidate) const
{
    std::u16string key;
    ValuePieces(candidate, [&key](std::u16string_view piece) { key += piece; });
    return key;
}

std::u16string CCandidates::Key(const Candidate& candidate) const
{
    std::u16string key;
    KeyPieces(candidate, [&key](std::u16string_view piece) { key += piece; });
    return key;
}

std::uint64_t CCandidates::KeyHash(const Candidate& candidate) const
{
    // FNV-1a over the key's code units, so that equal keys hash alike
    // however they are cut into pieces.
    std::uint64_t hash = 0xcbf29ce484222325ull;
    KeyPieces(candidate, [&hash](std::u16string_view piece) {
        for (const char16_t unit : piece)
            hash = (hash ^ unit) * 0x100000001b3ull;
    });
    return hash;
}

void CCandidates::Add(Candidate&& candidate)
{
    // The same record found again (an older copy of its page, or its cell
    // both in the file and in the log) is listed once; the copy that still
    // has its rowid is kept.
    const std::uint64_t hash = KeyHash(candidate);
    const auto [first, last] = m_seen.equal_range(hash);
    auto it = first;
    if (it != last) {
        const std::u16string key = Key(candidate);
        while (it != last && Key(m_candidates[it->second]) != key)
            ++it;
    }
    if (it == last) {
        m_seen.emplace(hash, m_candidates.size());
        m_candidates.push_back(std::move(candidate));
        return;
    }
    Candidate& kept = m_candidates[it->second];
    const bool attested = kept.attested || candidate.attested;
    if (!kept.record.rowid && candidate.record.rowid)
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
