#include "recover/CandidateEmitter.h"

#include <algorithm>
#include <charconv>
#include <unordered_set>

#include "engine/ByteReader.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"
#include "records/RecordDecoder.h"
#include "recover/TextPlausibility.h"

namespace {

// The display text of a value as a table read shows it: a REAL column
// stores a real of integral value as an integer, which reads back as a real.
void AppendColumnText(std::u16string& text, const std::uint8_t* data, std::uint64_t length, std::uint64_t at,
                      std::uint64_t t, std::uint32_t encoding, ColumnAffinity affinity)
{
    std::int64_t integer = 0;
    if (affinity == ColumnAffinity::kReal && ReadIntegerValue(data, length, at, t, integer))
        AppendRealText(text, static_cast<double>(integer));
    else
        AppendValueText(text, data, length, at, t, encoding);
}

}  // namespace

void CCandidateEmitter::OnFound(int s, const RecordParse& parse, std::uint32_t offset, bool inFreeblock,
                                bool atCell)
{
    const RecoverSchema& schema = m_context.schemas[s];
    if (schema.indexOf >= 0) {
        OnIndexEntry(s, parse, offset, inFreeblock, atCell);
        return;
    }
    Candidate candidate;
    candidate.schema = s;
    candidate.attested = s == m_origin.attestedSchema;
    RecoveredRecord& record = candidate.record;
    PlaceRecord(record, schema, parse, offset, inFreeblock);
    record.rowid = parse.rowid;
    ReadOverflow(parse, atCell);
    FillValues(schema, parse, record.values);
    // A WITHOUT ROWID table's values are stored key first.
    if (!schema.recordColumns.empty()) {
        std::vector<std::optional<std::u16string>> stored = std::move(record.values);
        record.values.assign(stored.size(), std::nullopt);
        for (std::size_t i = 0; i < stored.size() && i < schema.recordColumns.size(); ++i)
            record.values[schema.recordColumns[i]] = std::move(stored[i]);
    }
    // Values lost to a cut or to an overflow chain that does not survive
    // make the record partial (a lost first serial type alone does not).
    for (std::size_t i = parse.firstLost ? 1 : 0; i < record.values.size(); ++i)
        record.partial = record.partial || (!record.values[i] && static_cast<int>(i) != schema.alias);
    m_found.Add(std::move(candidate));
}

void CCandidateEmitter::PlaceRecord(RecoveredRecord& record, const RecoverSchema& schema, const RecordParse& parse,
                                    std::uint32_t offset, bool inFreeblock) const
{
    record.table = schema.name;
    record.source = m_origin.source != kUnallocated || !inFreeblock ? m_origin.source : kFreeblock;
    record.page = m_origin.number;
    record.offset = m_origin.base + offset;
    record.end = parse.end;
    record.frame = m_origin.frame;
    record.values.resize(schema.affinity.size());
}

void CCandidateEmitter::ReadOverflow(const RecordParse& parse, bool atCell)
{
    m_chain.clear();
    if (!parse.overflow)
        return;
    std::uint64_t total = parse.bodyStart;
    for (std::uint64_t t : parse.types)
        total += std::min<std::uint64_t>(SerialTypeSize(t), UINT32_MAX);
    if (total > parse.localEnd)
        ReadChain(parse.localEnd, total - parse.localEnd, atCell);
}

// An index entry is a partial row of its table: the indexed columns in
// their places, the rowid last in the entry. It is one only when every
// value read and the last is an integer.
void CCandidateEmitter::OnIndexEntry(int s, const RecordParse& parse, std::uint32_t offset, bool inFreeblock,
                                     bool atCell)
{
    const RecoverSchema& index = m_context.schemas[s];
    const RecoverSchema& table = m_context.schemas[index.indexOf];
    const std::size_t count = index.recordColumns.size();
    const std::uint64_t last = parse.types.empty() ? 0 : parse.types.back();
    if (parse.types.size() != count + 1 || parse.firstLost || parse.partial ||
        !((last >= 1 && last <= 6) || last == 8 || last == 9))
        return;
    std::vector<std::optional<std::u16string>> stored(count + 1);
    ReadOverflow(parse, atCell);
    FillValues(index, parse, stored);
    if (std::any_of(stored.begin(), stored.end(), [](const auto& value) { return !value.has_value(); }))
        return;
    const std::string rowidText = WideToUtf8(*stored[count]);
    std::int64_t rowid = 0;
    if (std::from_chars(rowidText.data(), rowidText.data() + rowidText.size(), rowid).ec != std::errc())
        return;
    Candidate candidate;
    candidate.schema = index.indexOf;
    candidate.fromIndex = true;
    RecoveredRecord& record = candidate.record;
    PlaceRecord(record, table, parse, offset, inFreeblock);
    record.rowid = rowid;
    record.partial = true;
    for (std::size_t i = 0; i < count; ++i) {
        // An index on the rowid alias holds the rowid again.
        if (index.recordColumns[i] == table.alias && *stored[i] != *stored[count])
            return;
        record.values[index.recordColumns[i]] = std::move(stored[i]);
    }
    if (table.alias >= 0)
        record.values[table.alias] = *stored[count];
    m_found.Add(std::move(candidate));
}

void CCandidateEmitter::FillValues(const RecoverSchema& schema, const RecordParse& parse,
                                   std::vector<std::optional<std::u16string>>& values)
{
    bool chainSound = true;  // a value in the chain that does not read ends it
    std::uint64_t at = parse.bodyStart;
    for (std::size_t i = 0; i < parse.types.size(); ++i) {
        const std::uint64_t t = parse.types[i];
        const std::uint64_t size = SerialTypeSize(t);
        const bool lost = i == 0 && parse.firstLost;
        std::u16string text;
        if (static_cast<int>(i) == schema.alias) {
            if (parse.rowid) {
                AppendNumber(text, *parse.rowid);
                values[i] = std::move(text);
            }
        } else if (!lost && at + size <= parse.localEnd) {
            AppendColumnText(text, m_bytes.page, parse.localEnd, at, t, m_bytes.encoding, schema.affinity[i]);
            values[i] = std::move(text);
        } else if ((parse.partial || parse.overflow) && size == 0) {
            // NULL, 0 and 1 are held by the header, which survived.
            AppendColumnText(text, m_bytes.page, parse.localEnd, parse.localEnd, t, m_bytes.encoding,
                             schema.affinity[i]);
            values[i] = std::move(text);
        } else if (parse.overflow && chainSound && !lost) {
            chainSound = SpilledValue(parse, at, t, text);
            if (chainSound)
                values[i] = std::move(text);
        }
        at += size;
    }
}

// Read while the chain's pages are freelist leaves: a deleted record's
// overflow pages go to the freelist, and a page taken again, or made a
// trunk whose header overwrote its start, ends what can be read. A live
// cell of a page version of another state has its chain read from that
// state: the log's as of its transaction, or the journal's pages.
bool CCandidateEmitter::ReadChainPage(std::uint32_t number, bool ownChain)
{
    if (ownChain && m_origin.state)
        return m_context.history.ReadPageAsOf(number, *m_origin.state, m_chainPage);
    if (ownChain && m_origin.chainPages)
        return m_origin.chainPages->ReadChainPage(number, m_chainPage);
    // Read aside from the source's window: the scan may run on a thread of its own.
    return m_context.owners.IsFreelistLeaf(number) &&
           m_context.parser.m_pageSource.ReadPageAside(number, m_chainPage);
}

void CCandidateEmitter::ReadChain(std::uint32_t pointerAt, std::uint64_t needed, bool ownChain)
{
    const std::uint32_t usable = m_bytes.usable;
    m_chain.clear();
    std::uint32_t next = Get32(m_bytes.page, usable, pointerAt).value_or(0);
    const std::uint32_t step = usable - 4;
    std::unordered_set<std::uint32_t> visited;  // a chain that loops ends
    for (std::uint64_t pages = 0; m_chain.size() < needed && pages <= needed / step; ++pages) {
        if (next == 0 || !visited.insert(next).second || !ReadChainPage(next, ownChain) ||
            m_chainPage.size() < usable)
            return;
        const std::uint64_t take = std::min<std::uint64_t>(step, needed - m_chain.size());
        m_chain.insert(m_chain.end(), m_chainPage.begin() + 4, m_chainPage.begin() + 4 + take);
        next = Get32(m_chainPage.data(), usable, 0).value_or(0);
    }
}

bool CCandidateEmitter::SpilledValue(const RecordParse& parse, std::uint64_t at, std::uint64_t t,
                                     std::u16string& text)
{
    const std::uint64_t size = SerialTypeSize(t);
    if (at + size > parse.localEnd + m_chain.size())
        return false;
    m_value.clear();
    if (at < parse.localEnd)
        m_value.insert(m_value.end(), m_bytes.page + at, m_bytes.page + parse.localEnd);
    const std::uint64_t from = at > parse.localEnd ? at - parse.localEnd : 0;
    m_value.insert(m_value.end(), m_chain.begin() + from, m_chain.begin() + (at + size - parse.localEnd));
    if (t >= 13 && t % 2 == 1 && !PlausibleText(m_value.data(), size, m_bytes.encoding))
        return false;
    AppendValueText(text, m_value.data(), m_value.size(), 0, t, m_bytes.encoding);
    return true;
}
