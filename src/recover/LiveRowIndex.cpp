#include "recover/LiveRowIndex.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "engine/LogPost.h"
#include "engine/RowSink.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"

namespace {

// Live rows are read as UTF-8 (no detour through UTF-16), so candidate
// values are hashed and compared in UTF-8 too.
std::uint64_t HashText(std::uint64_t h, std::string_view text)
{
    return (h ^ std::hash<std::string_view>{}(text)) * 0x100000001b3ull;
}

constexpr std::uint64_t kHashSeed = 0xcbf29ce484222325ull;

// The candidates of one table whose known columns are the same, by the
// hash of their values.
struct MaskIndex {
    std::vector<bool> mask;
    // The column whose value alone is hashed first (the longest of the
    // first candidate's, most likely to tell rows apart), if any.
    std::optional<std::size_t> key;
    std::unordered_multimap<std::uint64_t, std::size_t> candidates;
    // One bit per hash value modulo its size, of the whole candidates and
    // of their key values: most live rows are no candidate, and a bit says
    // so without hashing every value or walking the map.
    std::vector<std::uint64_t> filter = std::vector<std::uint64_t>(1u << 14, 0);
    std::vector<std::uint64_t> keyFilter = std::vector<std::uint64_t>(1u << 14, 0);

    void Add(std::uint64_t hash, std::uint64_t keyHash, std::size_t candidate)
    {
        candidates.emplace(hash, candidate);
        filter[(hash >> 6) & 0x3FFF] |= 1ull << (hash & 63);
        keyFilter[(keyHash >> 6) & 0x3FFF] |= 1ull << (keyHash & 63);
    }
    static bool Has(const std::vector<std::uint64_t>& bits, std::uint64_t hash)
    {
        return (bits[(hash >> 6) & 0x3FFF] >> (hash & 63)) & 1;
    }
};

// Per table, the masks of known columns among its candidates, each with
// the hashes of the candidates under it. A dropped table of the same
// columns may be this one under an older name (renamed, or read from the
// main file's own schema): its candidates are checked against these live
// rows too.
std::vector<MaskIndex> IndexCandidates(const RecoverContext& context, int s)
{
    const RecoverSchema& schema = context.schemas[s];
    const auto readsAs = [&](int other) {
        const RecoverSchema& o = context.schemas[other];
        return other == s || (!o.live && ReadAlike(o, schema));
    };
    const std::vector<Candidate>& candidates = context.candidates.Items();
    std::vector<MaskIndex> masks;
    std::vector<std::string> texts;
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        if (!readsAs(candidates[c].schema))
            continue;
        const auto& values = candidates[c].record.values;
        std::vector<bool> mask(values.size());
        // The texts' buffers are used again from one candidate to the next.
        texts.resize(std::max(texts.size(), values.size()));
        std::uint64_t hash = kHashSeed;
        for (std::size_t i = 0; i < values.size(); ++i) {
            mask[i] = values[i].has_value() && static_cast<int>(i) != schema.alias;
            texts[i].clear();
            if (mask[i]) {
                AppendWideAsUtf8(texts[i], *values[i]);
                hash = HashText(hash, texts[i]);
            }
        }
        auto it = std::find_if(masks.begin(), masks.end(), [&](const MaskIndex& m) { return m.mask == mask; });
        if (it == masks.end()) {
            MaskIndex& index = masks.emplace_back();
            index.mask = mask;
            for (std::size_t i = 0; i < values.size(); ++i)
                if (mask[i] && (!index.key || texts[i].size() > texts[*index.key].size()))
                    index.key = i;
            it = std::prev(masks.end());
        }
        it->Add(hash, HashText(kHashSeed, it->key ? texts[*it->key] : std::string()), c);
    }
    return masks;
}

// Candidates of freelist pages by rowid, when the table's rowid is a
// column: a live row with the same rowid and other values says the page
// held another table's rows.
std::unordered_multimap<std::string, std::size_t> FreelistRowids(const RecoverContext& context, int s)
{
    std::unordered_multimap<std::string, std::size_t> byRowid;
    const int alias = context.schemas[s].alias;
    if (alias < 0)
        return byRowid;
    const std::vector<Candidate>& candidates = context.candidates.Items();
    for (std::size_t c = 0; c < candidates.size(); ++c)
        if (candidates[c].schema == s && candidates[c].record.source == kFreelist &&
            candidates[c].record.values[alias])
            byRowid.emplace(WideToUtf8(*candidates[c].record.values[alias]), c);
    return byRowid;
}

// Checks each live row of a table against the candidates' index.
class CLiveRowMatcher : public CRowSink {
public:
    CLiveRowMatcher(std::vector<MaskIndex>& masks, std::vector<Candidate>& candidates,
                    const std::unordered_multimap<std::string, std::size_t>& byRowid, int alias)
        : m_masks(masks), m_candidates(candidates), m_byRowid(byRowid), m_alias(alias)
    {
        m_filtersRows = true;
    }
    bool TakesUtf8() const override { return true; }
    // Most live rows are no candidate: a row whose key value no candidate
    // under any mask has is left undecoded (MatchRow would pass it by).
    bool RowWanted(CRowValues& values) const override
    {
        if (!m_byRowid.empty())
            return true;
        return std::any_of(m_masks.begin(), m_masks.end(), [&](const MaskIndex& index) {
            return !index.key || MaskIndex::Has(index.keyFilter, HashText(kHashSeed, values.Utf8Value(*index.key)));
        });
    }
    void OnRowUtf8(std::string_view joined, const std::vector<std::uint32_t>& ends) override
    {
        if (!m_byRowid.empty()) {
            const auto range = m_byRowid.equal_range(std::string(Value(joined, ends, m_alias)));
            for (auto it = range.first; it != range.second; ++it)
                m_candidates[it->second].rowidLive = true;
        }
        for (MaskIndex& index : m_masks)
            MatchRow(index, joined, ends);
    }

private:
    void MatchRow(const MaskIndex& index, std::string_view joined, const std::vector<std::uint32_t>& ends)
    {
        if (index.key && !MaskIndex::Has(index.keyFilter, HashText(kHashSeed, Value(joined, ends, *index.key))))
            return;
        std::uint64_t hash = kHashSeed;
        for (std::size_t i = 0; i < index.mask.size(); ++i)
            if (index.mask[i])
                hash = HashText(hash, Value(joined, ends, i));
        if (!MaskIndex::Has(index.filter, hash))
            return;
        const auto range = index.candidates.equal_range(hash);
        for (auto it = range.first; it != range.second; ++it) {
            Candidate& candidate = m_candidates[it->second];
            bool same = true;
            for (std::size_t i = 0; i < index.mask.size() && same; ++i)
                same = !index.mask[i] || WideToUtf8(*candidate.record.values[i]) == Value(joined, ends, i);
            candidate.live = candidate.live || same;
        }
    }
    static std::string_view Value(std::string_view joined, const std::vector<std::uint32_t>& ends, std::size_t i)
    {
        if (i >= ends.size())
            return {};
        const std::uint32_t begin = i == 0 ? 0 : ends[i - 1];
        return joined.substr(begin, ends[i] - begin);
    }

    std::vector<MaskIndex>& m_masks;
    std::vector<Candidate>& m_candidates;
    const std::unordered_multimap<std::string, std::size_t>& m_byRowid;
    int m_alias;
};

// A freelist page with a record whose rowid a live row of the table has,
// but whose values differ, held rows of another table of the same column
// types (one dropped, its CREATE statement overwritten by the table that
// took its place): the page's records keep their values but lose the
// table's name.
void UnnameForeignPages(RecoverContext& context, int s)
{
    std::vector<Candidate>& candidates = context.candidates.Items();
    std::unordered_set<std::uint32_t> foreign;
    for (const Candidate& c : candidates)
        if (c.schema == s && c.rowidLive && !c.live)
            foreign.insert(c.record.page);
    if (foreign.empty())
        return;
    std::uint64_t unnamed = 0;
    for (Candidate& c : candidates)
        if (c.schema == s && !c.live && c.record.source == kFreelist && foreign.count(c.record.page)) {
            c.record.table.reset();
            ++unnamed;
        }
    PostLog(context.parser.m_hLogWnd, u"Recover",
            WideFormat(u"recover: %I64u records on %I64u freelist pages read as rows of %s, but "
                       u"rowids of its live rows hold other values there: table not named",
                       {unnamed, static_cast<std::uint64_t>(foreign.size()), context.schemas[s].name}),
            kLogInfo);
}

// Reads every row of a live table into `sink`.
void ReadLiveRows(CSqliteParser& parser, DbInfo& db, TableInfo& table, CRowSink& sink)
{
    CRowSink* previous = parser.m_pRowSink;
    parser.m_pRowSink = &sink;
    parser.m_pDb = &db;
    parser.m_pTable = &table;
    parser.ReadTable();
    parser.m_pRowSink = previous;
}

}  // namespace

void DropLiveRows(RecoverContext& context)
{
    for (int s = 0; s < static_cast<int>(context.schemas.size()); ++s) {
        const RecoverSchema& schema = context.schemas[s];
        if (!schema.live)
            continue;
        std::vector<MaskIndex> masks = IndexCandidates(context, s);
        if (masks.empty())
            continue;
        const auto byRowid = FreelistRowids(context, s);
        CLiveRowMatcher matcher(masks, context.candidates.Items(), byRowid, schema.alias);
        ReadLiveRows(context.parser, context.db, *schema.table, matcher);
        UnnameForeignPages(context, s);
    }
}
