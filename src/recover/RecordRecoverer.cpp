// Free-space record recovery.
//
// A deleted cell of a table leaf page leaves its bytes in one of these
// shapes (the freed cell was: payload size varint, rowid varint, record):
//
//   freeblock head   bytes 0..1 next freeblock, 2..3 freeblock size: the
//                    payload size, the rowid and, when they were short, the
//                    record's header size and first serial type are lost
//   intact cell      freed at the top of the cell content area (the area
//                    just grows), joined to the freeblock before it, or on
//                    a page that was freed whole: nothing is lost
//
// The first shape is rebuilt from the table's columns: with the record
// header beginning s bytes into the freeblock (s = size varint + rowid
// varint), s >= 4 leaves the header whole, s = 3 loses only its size byte,
// and s = 2 also loses the first serial type, whose value size then follows
// from where the record must end.
#include "recover/RecordRecoverer.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "engine/ByteReader.h"
#include "engine/CellCount.h"
#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"
#include "records/OverflowChain.h"
#include "records/RecordDecoder.h"
#include "records/SchemaCatalogue.h"
#include "records/Varint.h"

namespace {

// Whether a stored value of serial type `t` can sit in a column of this
// affinity: a TEXT column turns numbers into text, an INTEGER or REAL
// column turns numeric text into numbers.
bool TypeFits(std::uint64_t t, ColumnAffinity affinity, bool rowidAlias)
{
    if (rowidAlias)
        return t == 0;
    if (t == 10 || t == 11)
        return false;
    const bool number = t >= 1 && t <= 9;
    const bool text = t >= 13 && t % 2 == 1;
    // A blob in a TEXT or numeric column is possible but rare in the data
    // phones keep, and bytes that happen to parse as a record are mostly
    // blobs: taking them would cost far more phantoms than it gains.
    const bool blob = t >= 12 && t % 2 == 0;
    switch (affinity) {
    case ColumnAffinity::kText: return !number && !blob;
    case ColumnAffinity::kInteger:
    case ColumnAffinity::kReal: return !text && !blob;
    default: return true;
    }
}

int VarintLength(std::uint64_t value)
{
    int length = 1;
    while (value >= 0x80 && length < 9) {
        value >>= 7;
        ++length;
    }
    return length;
}

bool IsControl(std::uint32_t c) { return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F; }

// Well-formed UTF-8 without NUL or other control characters.
bool PlausibleUtf8(const std::uint8_t* p, std::uint64_t n)
{
    for (std::uint64_t i = 0; i < n;) {
        const std::uint8_t b = p[i];
        if (b < 0x80) {
            if (IsControl(b))
                return false;
            ++i;
            continue;
        }
        const int extra = b >= 0xF0 && b <= 0xF4 ? 3 : b >= 0xE0 ? (b < 0xF0 ? 2 : -1) : b >= 0xC2 ? 1 : -1;
        if (extra < 0 || static_cast<std::uint64_t>(extra) > n - i - 1)
            return false;
        for (int k = 1; k <= extra; ++k)
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
        if (b == 0xC2 && p[i + 1] < 0xA0)
            return false;  // C1 control characters
        i += 1 + extra;
    }
    return true;
}

// Characters of the scripts and symbols that phone text is written in. Text
// read from the wrong offset of a UTF-16 page decodes to valid but
// unlikely characters (Yi, Balinese, private use); those are refused.
bool CommonCharacter(std::uint32_t u)
{
    static constexpr std::uint32_t kRanges[][2] = {
        {0x0009, 0x000D}, {0x0020, 0x007E}, {0x00A0, 0x024F}, {0x0250, 0x02FF}, {0x0300, 0x036F},
        {0x0370, 0x052F}, {0x0590, 0x06FF}, {0x0900, 0x0DFF}, {0x0E00, 0x0E7F},
        {0x1100, 0x11FF}, {0x1E00, 0x1FFF}, {0x2000, 0x2BFF}, {0x3000, 0x30FF},
        {0x3130, 0x318F}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xAC00, 0xD7AF},
        {0xD800, 0xDFFF}, {0xFE00, 0xFE0F}, {0xFF00, 0xFFEF}};
    for (const auto& range : kRanges)
        if (u >= range[0] && u <= range[1])
            return true;
    return false;
}

bool PlausibleUtf16(const std::uint8_t* p, std::uint64_t n, bool bigEndian)
{
    if (n % 2 != 0)
        return false;
    // Text read one byte off its start turns ASCII into characters whose
    // low byte is zero; real text has few of them.
    std::uint64_t lowZero = 0;
    for (std::uint64_t i = 0; i < n; i += 2) {
        const std::uint32_t u = bigEndian ? (p[i] << 8 | p[i + 1]) : (p[i + 1] << 8 | p[i]);
        if (IsControl(u) || !CommonCharacter(u))
            return false;
        lowZero += u > 0xFF && (u & 0xFF) == 0;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (n - i < 4)
                return false;
            const std::uint32_t low = bigEndian ? (p[i + 2] << 8 | p[i + 3]) : (p[i + 3] << 8 | p[i + 2]);
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            i += 2;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        }
    }
    return 4 * lowZero <= n;
}

// Live rows are read as UTF-8 (no detour through UTF-16), so candidate
// values are hashed and compared in UTF-8 too.
std::uint64_t HashText(std::uint64_t h, std::string_view text)
{
    return (h ^ std::hash<std::string_view>{}(text)) * 0x100000001b3ull;
}

constexpr std::uint64_t kHashSeed = 0xcbf29ce484222325ull;
constexpr const char* kFreeblock = "freeblock";
constexpr const char* kUnallocated = "unallocated";
constexpr const char* kFreelist = "freelist";
constexpr const char* kWal = "wal";

}  // namespace

struct CRecordRecoverer::Schema {
    std::u16string name;
    const TableInfo* table = nullptr;
    std::vector<ColumnAffinity> affinity;
    int alias = -1;
    bool live = false;
};

struct CRecordRecoverer::Candidate {
    RecoveredRecord record;
    int schema = -1;
    bool live = false;
    bool rowidLive = false;  // a live row of its table has its rowid
    bool attested = false;   // read from a page the main file's own tree of its table holds
};

// One page's free space, read against one or more table schemas.
class CRecordRecoverer::Scanner {
public:
    Scanner(CRecordRecoverer& owner, const std::uint8_t* page, std::uint32_t usable,
            std::uint32_t pageNumber, const char* source, std::optional<std::uint32_t> frame)
        : m_owner(owner), m_page(page), m_usable(usable), m_pageNumber(pageNumber),
          m_source(source), m_frame(frame), m_encoding(owner.m_db.textEncoding)
    {
    }

    // A record read from the page: its serial types and where its values lie.
    struct Parse {
        std::vector<std::uint64_t> types;
        bool firstLost = false;       // the first serial type was overwritten
        std::uint32_t bodyStart = 0;
        std::uint32_t end = 0;        // first byte after the record (or its local part)
        std::uint32_t localEnd = 0;   // values reaching past it went to overflow pages
        std::optional<std::int64_t> rowid;
        bool overflow = false;        // the payload went on to overflow pages
        bool partial = false;         // the record's tail was overwritten (CheckPartial)
        std::uint32_t cellEnd = 0;    // end of the whole cell (ParseCell)

        // Back to no guess, keeping the types' storage.
        void Restart()
        {
            types.clear();
            firstLost = false;
            rowid.reset();
            partial = false;
            overflow = false;
        }
    };

    std::uint32_t PageNumber() const { return m_pageNumber; }

    // The schemas records of this page are tried against, best first.
    void SetSchemas(std::vector<int> order)
    {
        schemas = std::move(order);
        m_maxColumns = 0;
        m_sameAs.assign(schemas.size(), -1);
        for (std::size_t i = 0; i < schemas.size(); ++i) {
            const Schema& schema = m_owner.m_schemas[schemas[i]];
            m_maxColumns = std::max(m_maxColumns, schema.affinity.size());
            // Tables of the same column affinities read any bytes alike.
            for (std::size_t k = 0; k < i && m_sameAs[i] < 0; ++k) {
                const Schema& other = m_owner.m_schemas[schemas[k]];
                if (m_sameAs[k] < 0 && other.alias == schema.alias && other.affinity == schema.affinity)
                    m_sameAs[i] = static_cast<int>(k);
            }
        }
    }
    std::vector<int> schemas;
    // Where the cells of the page's own cell pointer array begin, in order:
    // set when a whole page is read with its cells. The array is the
    // newest layout of the page, so a record reaching over one of them had
    // its tail overwritten by that cell and is not read whole.
    std::vector<std::uint32_t> cellStarts;
    // The table whose own tree in the main file holds this page, or -1.
    int attestedSchema = -1;
    // The state of the database this page version belongs to, when it is
    // not the one shown: 0 the main file's own, past the log; n the log's
    // as of frame n. The overflow chain of one of its cells is read from
    // that state, which holds it whole.
    std::optional<std::uint32_t> state;
    // Records go to `sink` instead of the recoverer when set (schema scans).
    std::vector<std::pair<int, Parse>>* sink = nullptr;

    // Scans [from, to) of the page; `freeblocks` are (start, end) pairs.
    void ScanRegion(std::uint32_t from, std::uint32_t to,
                    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& freeblocks)
    {
        std::uint32_t x = from;
        bool afterRecord = false;
        std::size_t next = 0;  // the chain is in ascending order
        while (x < to && to - x >= 4) {
            while (next < freeblocks.size() && freeblocks[next].second <= x)
                ++next;
            const bool inFree = next < freeblocks.size() && freeblocks[next].first <= x;
            const bool freeStart = inFree && freeblocks[next].first == x;
            std::uint32_t limit = inFree ? std::min(to, freeblocks[next].second) : to;
            // A freeblock header left behind where the content area has since
            // grown over the freeblock, or inside a run of freeblocks merged
            // later: next offset 0 or further on, a size that fits.
            const std::uint32_t staleSize = Get16(m_page, to, x + 2).value_or(0);
            const std::uint32_t staleNext = Get16(m_page, to, x).value_or(1);
            // (The freeblock may since have been cut short by newer cells.)
            const bool staleHead = !freeStart && staleSize >= 4 && staleSize <= m_usable - x &&
                                   (staleNext == 0 || (staleNext > x && staleNext < m_usable));
            if (freeStart)
                limit = std::min(limit, to);
            else if (staleHead)
                limit = x + std::min(staleSize, to - x);
            else
                limit = to;
            m_headEnd = staleHead ? x + staleSize : freeStart ? limit : 0;
            // Where newer bytes begin: the end of a chain freeblock, or of
            // the region when a live cell follows it.
            m_cutEnd = freeStart ? limit : to < m_usable ? to : 0;
            Parse& parse = m_found;
            int schema = -1;
            if ((TryEach(x, to, false, parse, schema) ||
                 ((freeStart || staleHead) && TryEach(x, limit, true, parse, schema)) ||
                 (afterRecord && TryEach(x, to, true, parse, schema))) &&
                !OverlapsCell(x, parse.end)) {
                Emit(schema, parse, x, inFree ? kFreeblock : nullptr);
                x = std::max(parse.end, x + 1);
                afterRecord = true;
                continue;
            }
            afterRecord = false;
            ++x;
        }
    }

private:
    // True when a cell of the page's cell pointer array begins inside
    // (x, end).
    bool OverlapsCell(std::uint32_t x, std::uint32_t end) const
    {
        const auto next = std::upper_bound(cellStarts.begin(), cellStarts.end(), x);
        return next != cellStarts.end() && *next < end;
    }

    // Tries every schema at x, intact cell or freeblock head; the schema
    // whose columns the record fits best wins (on a page no table owns,
    // several tables may read the same bytes).
    bool TryEach(std::uint32_t x, std::uint32_t limit, bool head, Parse& best, int& bestSchema)
    {
        int bestFit = -1;
        if (!head) {
            // The cell's bytes do not depend on the table: read them once.
            if (!ParseCell(x, limit, m_maxColumns, m_cell))
                return false;
            for (std::size_t i = 0; i < schemas.size(); ++i) {
                const int s = schemas[i];
                if (m_sameAs[i] >= 0 || m_cell.types.size() > m_owner.m_schemas[s].affinity.size() ||
                    !FinishCell(s, m_cell, limit))
                    continue;
                const int fit = Fit(m_owner.m_schemas[s], m_cell);
                if (fit > bestFit) {
                    bestSchema = s;
                    bestFit = fit;
                }
            }
            if (bestFit >= 0) {
                FinishCell(bestSchema, m_cell, limit);
                best = m_cell;
            }
            return bestFit >= 0;
        }
        for (std::size_t i = 0; i < schemas.size(); ++i) {
            if (m_sameAs[i] >= 0)
                continue;  // its twin came first and wins any tie
            const int s = schemas[i];
            Parse& parse = m_head;
            if (!TryFreeblockHead(s, x, limit, parse))
                continue;
            const int fit = Fit(m_owner.m_schemas[s], parse);
            if (fit > bestFit) {
                best = parse;
                bestSchema = s;
                bestFit = fit;
            }
        }
        return bestFit >= 0;
    }

    // How well a record fits a schema: every column, then each value whose
    // storage class is the column's own (a NULL rowid column counts).
    static int Fit(const Schema& schema, const Parse& parse)
    {
        int fit = parse.types.size() == schema.affinity.size() ? 1000 : 0;
        for (std::size_t i = 0; i < parse.types.size(); ++i) {
            const std::uint64_t t = parse.types[i];
            const bool number = t >= 1 && t <= 9;
            const bool text = t >= 13 && t % 2 == 1;
            switch (static_cast<int>(i) == schema.alias ? ColumnAffinity::kBlob : schema.affinity[i]) {
            case ColumnAffinity::kInteger:
            case ColumnAffinity::kReal: fit += number; break;
            case ColumnAffinity::kText: fit += text; break;
            default: fit += static_cast<int>(i) == schema.alias && t == 0; break;
            }
        }
        return fit;
    }

    // Serial types of `count` values (or up to `headerEnd`) from `at`.
    bool ReadTypes(std::uint32_t at, std::uint32_t headerEnd, std::size_t count,
                   std::vector<std::uint64_t>& types, std::uint32_t& consumed)
    {
        consumed = 0;
        while (headerEnd != 0 ? at + consumed < headerEnd : types.size() < count) {
            std::uint64_t t = 0;
            std::uint32_t length = 0;
            const std::uint32_t limit = headerEnd != 0 ? headerEnd : m_usable;
            if (!ReadVarintAt(m_page, limit, at + consumed, t, length) || types.size() >= count)
                return false;
            types.push_back(t);
            consumed += length;
        }
        return true;
    }

    // Checks the serial types against the schema and the values against the
    // bytes; sets parse.end.
    bool CheckRecord(int s, Parse& parse, std::uint32_t limit)
    {
        const Schema& schema = m_owner.m_schemas[s];
        const std::size_t count = parse.types.size();
        if (count == 0 || count > schema.affinity.size())
            return false;
        std::uint64_t offset = parse.bodyStart;
        std::size_t substantial = 0;  // values that are not NULL, 0, 1 or empty
        bool telling = false;         // a text or an integer among them
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t t = parse.types[i];
            const bool lost = i == 0 && parse.firstLost;
            if (!lost && !TypeFits(t, schema.affinity[i], static_cast<int>(i) == schema.alias))
                return false;
            const std::uint64_t size = SerialTypeSize(t);
            if (size > limit || offset > limit - size)
                return false;
            if (offset + size <= parse.localEnd && t >= 13 && t % 2 == 1) {
                const std::uint8_t* text = m_page + offset;
                const bool sound = m_encoding == kUtf8
                                       ? PlausibleUtf8(text, size)
                                       : PlausibleUtf16(text, size, m_encoding == kUtf16be);
                if (!sound)
                    return false;
            }
            if (!lost && static_cast<int>(i) != schema.alias) {
                substantial += t != 0 && t != 12 && t != 13;
                telling = telling || (t >= 1 && t <= 6) || (t > 13 && t % 2 == 1);
            }
            offset += size;
        }
        parse.end = static_cast<std::uint32_t>(std::min<std::uint64_t>(offset, parse.localEnd));
        // Zeroed space and the tails of other structures parse as records of
        // NULLs with a stray number or blob: a record must hold a text or an
        // integer, and two values or more when the table has three columns
        // or more besides its rowid.
        const std::size_t columns = schema.affinity.size() - (schema.alias >= 0 ? 1 : 0);
        return telling && substantial >= std::min<std::size_t>(columns >= 3 ? 2 : 1, columns);
    }

    // A whole cell at x: payload size, rowid, record of at most `columns`
    // values whose sizes add up to the payload.
    bool ParseCell(std::uint32_t x, std::uint32_t limit, std::size_t columns, Parse& parse)
    {
        parse.types.clear();
        parse.firstLost = false;
        parse.partial = false;
        std::uint64_t payload = 0;
        std::uint64_t rowid = 0;
        std::uint32_t p = 0;
        std::uint32_t r = 0;
        if (!ReadVarintAt(m_page, limit, x, payload, p) || payload < 2 || payload > 0x7FFFFFFF ||
            !ReadVarintAt(m_page, limit, x + p, rowid, r))
            return false;
        const std::uint32_t y = x + p + r;
        std::uint64_t headerSize = 0;
        std::uint32_t h = 0;
        if (!ReadVarintAt(m_page, limit, y, headerSize, h) || headerSize <= h ||
            headerSize > payload || headerSize > h + 9 * columns || y + headerSize > limit)
            return false;
        std::uint32_t consumed = 0;
        if (!ReadTypes(y + h, static_cast<std::uint32_t>(y + headerSize), columns, parse.types, consumed))
            return false;
        const std::uint32_t local = LocalPayloadSize(payload, m_usable, true);
        parse.overflow = local < payload;
        parse.bodyStart = static_cast<std::uint32_t>(y + headerSize);
        parse.localEnd = y + std::min<std::uint32_t>(local, limit - y);
        if (parse.overflow && !FitsIn(limit, y, std::uint64_t(local) + 4))
            return false;
        if (!parse.overflow && payload > limit - y)
            return false;
        parse.rowid = static_cast<std::int64_t>(rowid);
        std::uint64_t body = 0;
        for (std::uint64_t t : parse.types)
            body = std::min<std::uint64_t>(body + std::min<std::uint64_t>(SerialTypeSize(t), UINT32_MAX), UINT64_MAX / 2);
        if (headerSize + body != payload)
            return false;
        parse.cellEnd = parse.overflow ? y + local + 4 : y + static_cast<std::uint32_t>(payload);
        return true;
    }

    // Checks a cell read by ParseCell against table `s`.
    bool FinishCell(int s, Parse& parse, std::uint32_t limit)
    {
        if (!CheckRecord(s, parse, parse.overflow ? UINT32_MAX : limit))
            return false;
        parse.end = parse.cellEnd;
        return true;
    }

    bool TryCell(int s, std::uint32_t x, std::uint32_t limit, Parse& parse)
    {
        // Whether any cell at all can start at x is remembered: a scan asks
        // about the same offsets for every table and every guessed length.
        if (x >= m_usable)
            return false;
        if (m_noCell.empty())
            m_noCell.assign(m_usable, 0);
        if (m_noCell[x] == 0)
            m_noCell[x] = ParseCell(x, m_usable, m_maxColumns, parse) ? 2 : 1;
        return m_noCell[x] == 2 && ParseCell(x, limit, m_owner.m_schemas[s].affinity.size(), parse) &&
               FinishCell(s, parse, limit);
    }

    // True when a record ending at `end` is followed by what a freed cell
    // run can hold: the region's end or another whole cell; unless `strict`,
    // also a fragment or another freed cell whose own freeblock header was
    // later merged into the one before it. With `sized` the record's length
    // was chosen to fit, so reaching the region's end proves nothing unless
    // a freeblock header put the end there (the region may end where newer
    // cells cut an old one short).
    bool EndsCleanly(int s, std::uint32_t end, std::uint32_t limit, bool strict = false,
                     bool sized = false)
    {
        if (end == limit && (!sized || limit == m_headEnd))
            return true;
        if (end > limit)
            return false;
        if (TryCell(s, end, limit, m_next))
            return true;
        if (strict || end == limit)
            return false;
        if (limit - end < 4)
            return !sized;
        const std::uint32_t nextFree = Get16(m_page, limit, end).value_or(1);
        const std::uint32_t size = Get16(m_page, limit, end + 2).value_or(0);
        return size >= 4 && size <= limit - end && (nextFree == 0 || nextFree > end);
    }

    // Whether a record header may begin at f + start of a freed cell: the
    // bytes from f + 4 up to it are the tail of one varint (the payload
    // size or rowid the freeblock header partly overwrote).
    bool HeaderMayBeginAt(std::uint32_t f, std::uint32_t start) const
    {
        if (start > 4 && (m_page[f + start - 1] & 0x80) != 0)
            return false;
        for (std::uint32_t k = 4; k + 1 < start; ++k)
            if ((m_page[f + k] & 0x80) == 0)
                return false;
        return true;
    }

    // A freed cell whose first four bytes hold a freeblock header.
    bool TryFreeblockHead(int s, std::uint32_t f, std::uint32_t limit, Parse& parse)
    {
        const Schema& schema = m_owner.m_schemas[s];
        const std::size_t columns = schema.affinity.size();
        std::optional<Parse> fallback;
        // Record header whole at f + s (s >= 4); the bytes before it end a varint.
        for (std::uint32_t start = 4; start < 15 && f + start < limit; ++start) {
            if (!HeaderMayBeginAt(f, start))
                continue;
            Parse& trial = m_trial;
            trial.Restart();
            std::uint64_t headerSize = 0;
            std::uint32_t h = 0;
            const std::uint32_t y = f + start;
            if (!ReadVarintAt(m_page, limit, y, headerSize, h) || headerSize <= h ||
                headerSize > h + 9 * columns || y + headerSize > limit)
                continue;
            std::uint32_t consumed = 0;
            if (!ReadTypes(y + h, static_cast<std::uint32_t>(y + headerSize), columns, trial.types, consumed))
                continue;
            trial.bodyStart = static_cast<std::uint32_t>(y + headerSize);
            trial.localEnd = limit;
            if (!CheckRecord(s, trial, limit))
                continue;
            const std::uint64_t payload = trial.end - y;
            if (LocalPayloadSize(payload, m_usable, true) < payload)
                continue;
            const int p = VarintLength(payload);
            if (static_cast<int>(start) - p < 1)
                continue;
            if (EndsCleanly(s, trial.end, limit)) {
                parse = trial;
                return true;
            }
            if (!fallback)
                fallback = trial;
        }
        // Header size lost (s = 3): the serial types begin at f + 4.
        {
            Parse& trial = m_trial;
            trial.Restart();
            std::uint32_t consumed = 0;
            if (ReadTypes(f + 4, 0, columns, trial.types, consumed) && consumed + 1 < 128) {
                trial.bodyStart = f + 4 + consumed;
                trial.localEnd = limit;
                if (CheckRecord(s, trial, limit) && trial.end - (f + 3) < 16384) {
                    if (EndsCleanly(s, trial.end, limit)) {
                        parse = trial;
                        return true;
                    }
                    if (!fallback)
                        fallback = trial;
                }
            }
        }
        // Header size and first serial type lost (s = 2): the first value's
        // size is what makes the record end where the freed run does.
        if (columns >= 2) {
            Parse& trial = m_trial;
            trial.Restart();
            std::uint32_t consumed = 0;
            if (ReadTypes(f + 4, 0, columns - 1, trial.types, consumed)) {
                const std::uint32_t bodyStart = f + 4 + consumed;
                std::uint64_t rest = 0;
                for (std::uint64_t t : trial.types)
                    rest += SerialTypeSize(t);
                trial.types.insert(trial.types.begin(), 0);
                trial.firstLost = true;
                trial.bodyStart = bodyStart;
                trial.localEnd = limit;
                const ColumnAffinity first = schema.affinity[0];
                for (int pass = 0; pass < 2; ++pass)
                for (std::uint32_t v = 0; bodyStart + rest + v <= limit && v < 128; ++v) {
                    const std::uint64_t total = (bodyStart - (f + 2)) + rest + v;
                    if (total >= 128)
                        break;
                    if (schema.alias == 0 && v != 0)
                        break;
                    std::uint64_t t = 0;
                    if (schema.alias == 0)
                        t = 0;
                    else if (first == ColumnAffinity::kInteger || first == ColumnAffinity::kReal)
                        t = v == 1 ? 1 : v == 2 ? 2 : v == 3 ? 3 : v == 4 ? 4 : v == 6 ? 5 : v == 8 ? (first == ColumnAffinity::kReal ? 7 : 6) : v == 0 ? 0 : 12;
                    else
                        t = 13 + 2ull * v;
                    if (t == 12 && v != 0)
                        continue;
                    trial.types[0] = t;
                    // The end is known before the values are checked.
                    const auto end = static_cast<std::uint32_t>(bodyStart + rest + v);
                    if (!EndsCleanly(s, end, limit, pass == 0, true) || !CheckRecord(s, trial, limit))
                        continue;
                    trial.firstLost = v == 0 && schema.alias != 0;
                    parse = trial;
                    return true;
                }
            }
        }
        if (fallback) {
            parse = std::move(*fallback);
            return true;
        }
        return TryPartialHead(s, f, limit, parse);
    }

    // A freed cell whose tail a newer cell took (SQLite places a new cell at
    // the end of the freeblock it fills, so an old record's head survives):
    // its record header whole at f + 4 (header size lost) or after the end
    // of a varint further on, the record cut where newer bytes begin.
    bool TryPartialHead(int s, std::uint32_t f, std::uint32_t limit, Parse& parse)
    {
        // Cut at `limit` only where newer bytes begin; a record that went on
        // to overflow pages ends its local part on its own.
        const bool cutAtLimit = m_cutEnd != 0 && limit == m_cutEnd && limit < m_usable;
        const std::size_t columns = m_owner.m_schemas[s].affinity.size();
        Parse& trial = m_trial;
        // With s = 2 the first serial type is lost too, and only a rowid
        // column, always NULL in the record, makes it known.
        const std::uint32_t first = m_owner.m_schemas[s].alias == 0 && columns >= 2 ? 2 : 3;
        for (std::uint32_t start = first; start < 15 && f + start < limit; ++start) {
            if (!HeaderMayBeginAt(f, start))
                continue;
            trial.Restart();
            std::uint32_t consumed = 0;
            std::uint32_t recordStart = f + start;
            if (start == 2) {
                trial.types.push_back(0);
                if (!ReadTypes(f + 4, 0, columns, trial.types, consumed) || f + 4 + consumed > limit)
                    continue;
                trial.bodyStart = f + 4 + consumed;
            } else if (start == 3) {
                if (!ReadTypes(f + 4, 0, columns, trial.types, consumed) || f + 4 + consumed > limit)
                    continue;
                trial.bodyStart = f + 4 + consumed;
            } else {
                std::uint64_t headerSize = 0;
                std::uint32_t h = 0;
                if (!ReadVarintAt(m_page, limit, recordStart, headerSize, h) || headerSize <= h ||
                    headerSize > h + 9 * columns || recordStart + headerSize > limit ||
                    !ReadTypes(recordStart + h, static_cast<std::uint32_t>(recordStart + headerSize),
                               columns, trial.types, consumed))
                    continue;
                trial.bodyStart = static_cast<std::uint32_t>(recordStart + headerSize);
            }
            if (CheckPartial(s, trial, recordStart, limit, cutAtLimit)) {
                parse = trial;
                return true;
            }
        }
        return false;
    }

    // A record cut at `limit` (when `cutAtLimit`), or one whose payload went
    // on to overflow pages, its local part and the first overflow page
    // number before `limit`: a serial type for every column, each fitting
    // its column; and, in the values wholly before the cut (or held by the
    // header), at least half the columns besides the rowid, two of them
    // substantial and a text among them. The values past the cut are lost,
    // or read from the overflow chain when it survives (Emit).
    bool CheckPartial(int s, Parse& parse, std::uint32_t recordStart, std::uint32_t limit,
                      bool cutAtLimit)
    {
        const Schema& schema = m_owner.m_schemas[s];
        if (parse.types.size() != schema.affinity.size())
            return false;
        std::uint64_t payload = parse.bodyStart - recordStart;
        for (std::uint64_t t : parse.types)
            payload += std::min<std::uint64_t>(SerialTypeSize(t), UINT32_MAX);
        const std::uint32_t local = LocalPayloadSize(payload, m_usable, true);
        parse.overflow = local < payload;
        std::uint32_t cut = limit;
        if (parse.overflow) {
            if (payload > 0x7FFFFFFF || !FitsIn(limit, recordStart, std::uint64_t(local) + 4))
                return false;
            cut = recordStart + local;
        } else if (!cutAtLimit || recordStart + payload <= limit || recordStart + payload > m_usable) {
            return false;
        }
        std::uint64_t offset = parse.bodyStart;
        std::size_t kept = 0;
        std::size_t substantial = 0;
        bool text = false;
        for (std::size_t i = 0; i < parse.types.size(); ++i) {
            const std::uint64_t t = parse.types[i];
            const bool alias = static_cast<int>(i) == schema.alias;
            if (!TypeFits(t, schema.affinity[i], alias))
                return false;
            const std::uint64_t size = SerialTypeSize(t);
            const bool whole = offset + size <= cut;
            if (whole && t >= 13 && t % 2 == 1) {
                const bool sound = m_encoding == kUtf8
                                       ? PlausibleUtf8(m_page + offset, size)
                                       : PlausibleUtf16(m_page + offset, size, m_encoding == kUtf16be);
                if (!sound)
                    return false;
            }
            if (!alias && (whole || size == 0)) {
                ++kept;
                substantial += whole && t != 0 && t != 12 && t != 13 && t != 8 && t != 9;
                text = text || (whole && t > 13 && t % 2 == 1);
            }
            offset += size;
        }
        const std::size_t others = schema.affinity.size() - (schema.alias >= 0 ? 1 : 0);
        if (!text || substantial < 2 || 2 * kept <= others)
            return false;
        parse.partial = true;
        parse.localEnd = cut;
        parse.end = parse.overflow ? cut + 4 : cut;
        return true;
    }

    // The bytes of an overflow chain whose first page number sits at
    // `pointerAt`, up to `needed` bytes, while its pages are freelist
    // leaves: a deleted record's overflow pages go to the freelist, and a
    // page taken again, or made a trunk whose header overwrote its start,
    // ends what can be read. With `ownState`, the chain of a cell of a
    // page version of another state is read from that state.
    void ReadChain(std::uint32_t pointerAt, std::uint64_t needed, std::optional<std::uint32_t> ownState,
                   std::vector<std::uint8_t>& out)
    {
        out.clear();
        std::uint32_t next = Get32(m_page, m_usable, pointerAt).value_or(0);
        const std::uint32_t step = m_usable - 4;
        std::unordered_set<std::uint32_t> visited;  // a chain that loops ends
        for (std::uint64_t pages = 0; out.size() < needed && pages <= needed / step; ++pages) {
            if (next == 0 || !visited.insert(next).second)
                return;
            if (ownState ? !m_owner.ReadPageAsOf(next, *ownState, m_chainPage)
                         : !m_owner.IsFreelistLeaf(next) ||
                               !m_owner.m_parser.m_pageSource.ReadPage(next, m_chainPage))
                return;
            if (m_chainPage.size() < m_usable)
                return;
            const std::uint64_t take = std::min<std::uint64_t>(step, needed - out.size());
            out.insert(out.end(), m_chainPage.begin() + 4, m_chainPage.begin() + 4 + take);
            next = Get32(m_chainPage.data(), m_usable, 0).value_or(0);
        }
    }

    // Display text of a value reaching past the local part into `chain`;
    // false when the bytes are not there or its text is not sound.
    bool SpilledValue(const Parse& parse, std::uint64_t at, std::uint64_t t, std::u16string& text)
    {
        const std::uint64_t size = SerialTypeSize(t);
        if (at + size > parse.localEnd + m_chain.size())
            return false;
        m_value.clear();
        if (at < parse.localEnd)
            m_value.insert(m_value.end(), m_page + at, m_page + parse.localEnd);
        const std::uint64_t from = at > parse.localEnd ? at - parse.localEnd : 0;
        m_value.insert(m_value.end(), m_chain.begin() + from,
                       m_chain.begin() + (at + size - parse.localEnd));
        if (t >= 13 && t % 2 == 1 &&
            !(m_encoding == kUtf8 ? PlausibleUtf8(m_value.data(), size)
                                  : PlausibleUtf16(m_value.data(), size, m_encoding == kUtf16be)))
            return false;
        AppendValueText(text, m_value.data(), m_value.size(), 0, t, m_encoding);
        return true;
    }

    void Emit(int s, const Parse& parse, std::uint32_t offset, const char* inFreeblock)
    {
        if (sink != nullptr) {
            sink->push_back({s, parse});
            return;
        }
        const Schema& schema = m_owner.m_schemas[s];
        Candidate candidate;
        candidate.schema = s;
        candidate.attested = s == attestedSchema;
        RecoveredRecord& record = candidate.record;
        record.table = schema.name;
        record.source = m_source == kFreelist || m_source == kWal || inFreeblock == nullptr
                            ? m_source
                            : inFreeblock;
        record.page = m_pageNumber;
        record.offset = offset;
        record.frame = m_frame;
        record.rowid = parse.rowid;
        record.values.resize(schema.affinity.size());
        m_chain.clear();
        if (parse.overflow) {
            std::uint64_t total = parse.bodyStart;
            for (std::uint64_t t : parse.types)
                total += std::min<std::uint64_t>(SerialTypeSize(t), UINT32_MAX);
            if (total > parse.localEnd)
                ReadChain(parse.localEnd, total - parse.localEnd,
                          std::binary_search(cellStarts.begin(), cellStarts.end(), offset) ? state : std::nullopt,
                          m_chain);
        }
        bool chainSound = true;  // a value in the chain that does not read ends it
        std::uint64_t at = parse.bodyStart;
        for (std::size_t i = 0; i < parse.types.size(); ++i) {
            const std::uint64_t t = parse.types[i];
            const std::uint64_t size = SerialTypeSize(t);
            if (static_cast<int>(i) == schema.alias) {
                if (parse.rowid) {
                    std::u16string text;
                    AppendNumber(text, *parse.rowid);
                    record.values[i] = std::move(text);
                }
            } else if (!(i == 0 && parse.firstLost) && at + size <= parse.localEnd) {
                std::u16string text;
                AppendValueText(text, m_page, parse.localEnd, at, t, m_encoding);
                record.values[i] = std::move(text);
            } else if ((parse.partial || parse.overflow) && size == 0) {
                // NULL, 0 and 1 are held by the header, which survived.
                std::u16string text;
                AppendValueText(text, m_page, parse.localEnd, parse.localEnd, t, m_encoding);
                record.values[i] = std::move(text);
            } else if (parse.overflow && chainSound && !(i == 0 && parse.firstLost)) {
                std::u16string text;
                chainSound = SpilledValue(parse, at, t, text);
                if (chainSound)
                    record.values[i] = std::move(text);
            }
            at += size;
        }
        m_owner.AddCandidate(std::move(candidate));
    }

    CRecordRecoverer& m_owner;
    const std::uint8_t* m_page;
    std::uint32_t m_usable;
    std::uint32_t m_pageNumber;
    const char* m_source;
    std::optional<std::uint32_t> m_frame;
    std::uint32_t m_encoding;
    std::uint32_t m_headEnd = 0;  // where the freeblock tried as a head says it ends
    std::uint32_t m_cutEnd = 0;   // where a record tried as a head may have been cut, or 0
    std::size_t m_maxColumns = 0;
    std::vector<int> m_sameAs;  // by position in `schemas`: an earlier twin, or -1
    std::vector<std::uint8_t> m_chain, m_chainPage, m_value;  // overflow chain scratch
    // Scratch records, kept so that the byte-by-byte scan allocates nothing.
    Parse m_found, m_cell, m_head, m_next, m_trial;
    // By offset: 0 not asked yet, 1 no cell of any table starts there, 2 one may.
    std::vector<std::uint8_t> m_noCell;
};

CRecordRecoverer::CRecordRecoverer(CSqliteParser& parser, DbInfo& db) : m_parser(parser), m_db(db) {}

CRecordRecoverer::~CRecordRecoverer() = default;

std::u16string CRecordRecoverer::ValuesKey(const Candidate& candidate) const
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

void CRecordRecoverer::AddCandidate(Candidate&& candidate)
{
    // The same record found again (an older copy of its page, or its cell
    // both in the file and in the log) is listed once; the copy that still
    // has its rowid is kept.
    const RecoveredRecord& record = candidate.record;
    std::u16string key = record.table.value_or(u"") + ValuesKey(candidate);
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

void CRecordRecoverer::MergeAttested()
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
    const auto twin = [&](int a, int b) {
        return m_schemas[a].alias == m_schemas[b].alias && m_schemas[a].affinity == m_schemas[b].affinity;
    };
    const std::size_t before = m_candidates.size();
    std::erase_if(m_candidates, [&](const Candidate& c) {
        if (c.attested)
            return false;
        const auto it = attested.find(ValuesKey(c));
        return it != attested.end() && it->second != c.schema && twin(it->second, c.schema);
    });
    m_seen.clear();  // its indexes no longer hold
    if (m_candidates.size() != before)
        PostLog(m_parser.m_hLogWnd, u"Recover",
                WideFormat(u"recover: %I64u records found again under another table of the same "
                           u"columns are listed once, under the table the main file's own schema "
                           u"gave their page",
                           {static_cast<std::uint64_t>(before - m_candidates.size())}),
                kLogInfo);
}

std::vector<int> CRecordRecoverer::AllSchemas(int preferred) const
{
    std::vector<int> order;
    if (preferred >= 0)
        order.push_back(preferred);
    for (int s = 0; s < static_cast<int>(m_schemas.size()); ++s)
        if (s != preferred)
            order.push_back(s);
    return order;
}

void CRecordRecoverer::ScanLeaf(Scanner& scanner, const std::uint8_t* page,
                                std::uint32_t headerOffset, bool withCells)
{
    const std::uint32_t usable = m_db.UsableSize();
    const std::uint32_t h = headerOffset;
    const std::uint32_t cellCount = ClampCellCount(Get16(page, usable, h + 3).value_or(0), usable);
    const bool interior = page[h] == kTableInterior;
    const std::uint32_t headerSize = interior ? 12 : 8;
    const std::uint32_t arrayEnd = std::min<std::uint64_t>(usable, h + headerSize + 2ull * cellCount);
    // The bytes live cells hold, as [start, end) ranges: what lies between
    // them past the cell pointer array is scanned.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> cells;
    if (withCells) {
        scanner.cellStarts.clear();
        for (std::uint32_t k = 0; k < cellCount; ++k) {
            const std::uint32_t c = Get16(page, usable, h + headerSize + 2 * k).value_or(0);
            if (c >= arrayEnd && c < usable)
                scanner.cellStarts.push_back(c);
        }
        std::sort(scanner.cellStarts.begin(), scanner.cellStarts.end());
    } else {
        for (std::uint32_t k = 0; k < cellCount; ++k) {
            const std::uint32_t c = Get16(page, usable, h + headerSize + 2 * k).value_or(0);
            std::uint64_t payload = 0;
            std::uint64_t rowid = 0;
            std::uint32_t p = 0;
            std::uint32_t r = 0;
            if (interior && c >= arrayEnd && ReadVarintAt(page, usable, c + 4, rowid, r)) {
                cells.push_back({c, c + 4 + r});
                continue;
            }
            if (interior || c < arrayEnd || !ReadVarintAt(page, usable, c, payload, p) ||
                !ReadVarintAt(page, usable, c + p, rowid, r))
                continue;
            const std::uint32_t local = LocalPayloadSize(payload, usable, true);
            const std::uint64_t size = p + r + std::uint64_t(local) + (local < payload ? 4 : 0);
            cells.push_back({c, static_cast<std::uint32_t>(std::min<std::uint64_t>(usable, c + size))});
        }
        std::sort(cells.begin(), cells.end());
    }
    // The freeblock chain; a chain that loops or leaves the page ends.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> freeblocks;
    for (std::uint32_t f = Get16(page, usable, h + 1).value_or(0); f != 0 && freeblocks.size() < usable / 4;) {
        const auto next = Get16(page, usable, f);
        const auto size = Get16(page, usable, f + 2);
        if (f < arrayEnd || !next || !size || *size < 4 || *size > usable - f ||
            (*next != 0 && *next <= f)) {
            PostLog(m_parser.m_hLogWnd, u"warning",
                    WideFormat(u"recover: page %u: freeblock at offset %u is not sound, chain ends",
                               {scanner.PageNumber(), f}),
                    kLogWarning);
            break;
        }
        freeblocks.push_back({f, f + *size});
        f = *next;
    }
    std::uint32_t x = arrayEnd;
    for (const auto& [start, end] : cells) {
        if (start > x)
            scanner.ScanRegion(x, start, freeblocks);
        x = std::max(x, end);
    }
    if (x < usable)
        scanner.ScanRegion(x, usable, freeblocks);
}

void CRecordRecoverer::WalkTree(
    std::uint32_t root, int owner,
    const std::function<void(std::uint32_t, const std::uint8_t*, std::uint32_t)>& onLeaf)
{
    const std::uint32_t usable = m_db.UsableSize();
    // A page is marked when it is queued, so each is queued once however
    // many cells point at it.
    const auto enter = [&](std::vector<std::pair<std::uint32_t, int>>& stack, std::uint32_t number,
                           int depth) {
        if (number == 0 || number > m_pageCount || m_owner[number] != -1 || depth > kMaxTreeDepth)
            return;
        m_owner[number] = owner;
        stack.push_back({number, depth});
    };
    std::vector<std::pair<std::uint32_t, int>> stack;
    enter(stack, root, 0);
    std::vector<std::uint8_t> page;
    while (!stack.empty() && !g_bStop.load()) {
        const auto [number, depth] = stack.back();
        stack.pop_back();
        if (!m_parser.m_pageSource.ReadPage(number, page))
            continue;
        const std::uint32_t h = number == 1 ? 100 : 0;
        const std::uint8_t type = page[h];
        if (type == kTableLeaf) {
            onLeaf(number, page.data(), h);
        } else if (type == kTableInterior) {
            // An interior page keeps, in its free space, what it held when
            // it was still a leaf (a root page that split, for one).
            onLeaf(number, page.data(), h);
            const std::uint32_t cells = ClampCellCount(Get16(page.data(), usable, h + 3).value_or(0), usable);
            enter(stack, Get32(page.data(), usable, h + 8).value_or(0), depth + 1);
            for (std::uint32_t k = 0; k < cells; ++k) {
                const auto cell = Get16(page.data(), usable, h + 12 + 2 * k);
                if (!cell)
                    break;
                enter(stack, Get32(page.data(), usable, *cell).value_or(0), depth + 1);
            }
        }
    }
}

void CRecordRecoverer::FindDroppedTables()
{
    // The schema table's own columns: type, name, tbl_name, rootpage, sql.
    Schema master;
    master.name = u"sqlite_master";
    master.affinity = {ColumnAffinity::kText, ColumnAffinity::kText, ColumnAffinity::kText, ColumnAffinity::kInteger,
                       ColumnAffinity::kText};
    m_schemas.push_back(master);
    const int masterIndex = static_cast<int>(m_schemas.size()) - 1;

    std::vector<std::pair<int, Scanner::Parse>> found;
    // Reads the schema records of one page: with `withCells` its cells
    // too, and then each table's root page is kept as the main file's own.
    const auto readSchemaPage = [&](std::uint32_t number, const std::uint8_t* page, std::uint32_t h,
                                    bool withCells) {
        Scanner scanner(*this, page, m_db.UsableSize(), number, kUnallocated, std::nullopt);
        scanner.SetSchemas({masterIndex});
        scanner.sink = &found;
        ScanLeaf(scanner, page, h, withCells);
        for (const auto& [schema, parse] : found) {
            std::vector<std::u16string> values;
            std::uint64_t at = parse.bodyStart;
            for (std::size_t i = 0; i < parse.types.size(); ++i) {
                std::u16string text;
                const std::uint64_t size = SerialTypeSize(parse.types[i]);
                if (!(i == 0 && parse.firstLost) && at + size <= parse.localEnd)
                    AppendValueText(text, page, parse.localEnd, at, parse.types[i], m_db.textEncoding);
                values.push_back(std::move(text));
                at += size;
            }
            if (values.size() < 5 || values[1].empty() || (!values[0].empty() && values[0] != u"table"))
                continue;
            const std::u16string& sql = values[4];
            if (sql.size() < 12 || !EqualsIgnoringAsciiCase(sql.substr(0, 12), u"CREATE TABLE"))
                continue;
            if (withCells && values[0] == u"table") {
                std::uint32_t root = 0;
                for (char16_t c : values[3])
                    root = c >= u'0' && c <= u'9' && root < 100000000 ? root * 10 + (c - u'0') : UINT32_MAX;
                if (root != 0 && root != UINT32_MAX)
                    m_fileRoots.push_back({values[1], root});
            }
            const auto sameName = [&](const TableInfo& t) { return EqualsIgnoringAsciiCase(t.name, values[1]); };
            if (std::any_of(m_db.tables.begin(), m_db.tables.end(), sameName) ||
                std::any_of(m_dropped.begin(), m_dropped.end(), sameName))
                continue;
            TableInfo table;
            table.name = values[1];
            table.sql = sql;
            ParseCreateTable(sql, table);
            if (table.columns.empty() || table.withoutRowid)
                continue;
            PostLog(m_parser.m_hLogWnd, u"Recover",
                    WideFormat(withCells ? u"recover: dropped table %s named by the main file's own "
                                           u"schema (page %u), which the log has since replaced"
                                         : u"recover: dropped table %s named by a CREATE statement in "
                                           u"free space of page %u",
                               {table.name, number}),
                    kLogInfo);
            m_dropped.push_back(std::move(table));
        }
        found.clear();
    };
    WalkTree(1, -2, [&](std::uint32_t number, const std::uint8_t* page, std::uint32_t h) {
        readSchemaPage(number, page, h, false);
    });
    // With a log laid over the file, the main file still holds the database
    // as the last checkpoint left it: its own schema names the tables
    // dropped since, and where each table's tree was then.
    if (m_parser.m_pageSource.HasOverlay())
        WalkFileTree(1, [&](std::uint32_t number, const std::uint8_t* page, std::uint32_t h) {
            readSchemaPage(number, page, h, true);
        });
    m_schemas.pop_back();  // schema rows are not reported as records
}

void CRecordRecoverer::WalkFileTree(
    std::uint32_t root, const std::function<void(std::uint32_t, const std::uint8_t*, std::uint32_t)>& onPage)
{
    const std::uint32_t usable = m_db.UsableSize();
    const std::uint64_t filePages = m_parser.m_pageSource.FileSize() / m_db.pageSize;
    // As in WalkTree, a page is marked when it is queued.
    std::vector<std::uint8_t> seen(filePages + 1, 0);
    std::vector<std::pair<std::uint32_t, int>> stack;
    const auto enter = [&](std::uint32_t number, int depth) {
        if (number == 0 || number > filePages || seen[number] || depth > kMaxTreeDepth)
            return;
        seen[number] = 1;
        stack.push_back({number, depth});
    };
    enter(root, 0);
    std::vector<std::uint8_t> page(m_db.pageSize);
    while (!stack.empty() && !g_bStop.load()) {
        const auto [number, depth] = stack.back();
        stack.pop_back();
        if (!m_parser.m_pageSource.ReadFileAt(page.data(), m_db.pageSize,
                                              std::uint64_t(number - 1) * m_db.pageSize))
            continue;
        const std::uint32_t h = number == 1 ? 100 : 0;
        if (page[h] != kTableLeaf && page[h] != kTableInterior)
            continue;
        onPage(number, page.data(), h);
        if (page[h] != kTableInterior)
            continue;
        const std::uint32_t cells = ClampCellCount(Get16(page.data(), usable, h + 3).value_or(0), usable);
        enter(Get32(page.data(), usable, h + 8).value_or(0), depth + 1);
        for (std::uint32_t k = 0; k < cells; ++k) {
            const auto cell = Get16(page.data(), usable, h + 12 + 2 * k);
            if (!cell)
                break;
            enter(Get32(page.data(), usable, *cell).value_or(0), depth + 1);
        }
    }
}

void CRecordRecoverer::MapFileTrees()
{
    if (m_fileRoots.empty())
        return;
    m_fileOwner.assign(m_parser.m_pageSource.FileSize() / m_db.pageSize + 1, -1);
    for (const auto& entry : m_fileRoots) {
        const auto schema = std::find_if(m_schemas.begin(), m_schemas.end(), [&](const Schema& s) {
            return EqualsIgnoringAsciiCase(s.name, entry.first);
        });
        if (schema == m_schemas.end())
            continue;
        const int s = static_cast<int>(schema - m_schemas.begin());
        WalkFileTree(entry.second, [&](std::uint32_t number, const std::uint8_t*, std::uint32_t) {
            if (m_fileOwner[number] == -1)
                m_fileOwner[number] = s;
        });
    }
}

void CRecordRecoverer::ScanTables()
{
    for (int s = 0; s < static_cast<int>(m_schemas.size()); ++s) {
        if (!m_schemas[s].live)
            continue;
        WalkTree(m_schemas[s].table->rootPage, s,
                 [&](std::uint32_t number, const std::uint8_t* page, std::uint32_t h) {
                     Scanner scanner(*this, page, m_db.UsableSize(), number, kUnallocated,
                                     std::nullopt);
                     scanner.SetSchemas({s});
                     ScanLeaf(scanner, page, h, false);
                 });
    }
}

void CRecordRecoverer::CollectFreelistLeaves()
{
    m_freelistLeaf.assign(m_pageCount + 1, 0);
    const std::uint32_t usable = m_db.UsableSize();
    std::vector<std::uint8_t> page;
    if (!m_parser.m_pageSource.ReadPage(1, page))
        return;
    std::uint32_t trunk = Get32(page.data(), usable, 32).value_or(0);
    std::vector<std::uint8_t> seen(m_pageCount + 1, 0);
    while (trunk != 0 && trunk <= m_pageCount && !seen[trunk] && m_parser.m_pageSource.ReadPage(trunk, page)) {
        seen[trunk] = 1;
        const std::uint32_t count = std::min<std::uint32_t>(Get32(page.data(), usable, 4).value_or(0),
                                                            usable / 4 - 2);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t number = Get32(page.data(), usable, 8 + 4 * i).value_or(0);
            if (number != 0 && number <= m_pageCount && m_owner[number] == -1)
                m_freelistLeaf[number] = 1;
        }
        trunk = Get32(page.data(), usable, 0).value_or(0);
    }
}

void CRecordRecoverer::ScanFreelist()
{
    const std::uint32_t usable = m_db.UsableSize();
    std::vector<std::uint8_t> page;
    if (!m_parser.m_pageSource.ReadPage(1, page))
        return;
    std::uint32_t trunk = Get32(page.data(), usable, 32).value_or(0);
    std::vector<std::uint8_t> leaf;
    const std::vector<int> all = AllSchemas(-1);
    if (all.empty())
        return;
    std::uint64_t trunks = 0;
    while (trunk != 0 && !g_bStop.load()) {
        if (trunk > m_pageCount || m_owner[trunk] != -1 || ++trunks > m_pageCount) {
            PostLog(m_parser.m_hLogWnd, u"warning",
                    WideFormat(u"recover: freelist trunk page %u is not sound, the list ends", {trunk}),
                    kLogWarning);
            break;
        }
        m_owner[trunk] = -3;
        if (!m_parser.m_pageSource.ReadPage(trunk, page))
            break;
        const std::uint32_t count = std::min<std::uint32_t>(Get32(page.data(), usable, 4).value_or(0),
                                                            usable / 4 - 2);
        Scanner trunkScanner(*this, page.data(), usable, trunk, kFreelist, std::nullopt);
        trunkScanner.SetSchemas(all);
        trunkScanner.ScanRegion(8 + 4 * count, usable, {});
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t number = *Get32(page.data(), usable, 8 + 4 * i);
            if (number == 0 || number > m_pageCount || m_owner[number] != -1)
                continue;
            m_owner[number] = -3;
            if (!m_parser.m_pageSource.ReadPage(number, leaf))
                continue;
            Scanner scanner(*this, leaf.data(), usable, number, kFreelist, std::nullopt);
            // A page the log left as the main file has it keeps the table
            // the main file's own tree gave it.
            const int fileOwner = m_parser.m_pageSource.InLog(number) ? -1 : FileOwner(number);
            scanner.SetSchemas(fileOwner >= 0 ? AllSchemas(fileOwner) : all);
            scanner.attestedSchema = fileOwner;
            if (leaf[0] == kTableLeaf)
                ScanLeaf(scanner, leaf.data(), 0, true);
            else
                scanner.ScanRegion(0, usable, {});
        }
        trunk = *Get32(page.data(), usable, 0);
    }
}

void CRecordRecoverer::ScanLog()
{
    const CPageSource& source = m_parser.m_pageSource;
    if (!source.HasOverlay())
        return;
    const std::uint32_t usable = m_db.UsableSize();
    std::vector<std::uint8_t> page(m_db.pageSize);
    // A transaction writes its pages in page order, not as the b-tree
    // needs them: a cell's overflow pages may follow its leaf's frame. So a
    // frame's page is read as of the end of its transaction: its commit
    // frame, or the log's last valid frame when no commit follows.
    const auto& frames = source.Log().Frames();
    for (const CWalLog::Frame& frame : frames)
        if (frame.Valid())
            m_pageFrames[frame.pageNumber].push_back({frame.index, frame.pageOffset});
    std::vector<std::uint32_t> transactionEnd(frames.size() + 1, 0);
    std::uint32_t end = 0;
    for (auto frame = frames.rbegin(); frame != frames.rend(); ++frame) {
        if (!frame->Valid())
            continue;
        if (end == 0 || frame->commitSize != 0)
            end = frame->index;
        if (frame->index < transactionEnd.size())
            transactionEnd[frame->index] = end;
    }
    for (const CWalLog::Frame& frame : source.Log().Frames()) {
        if (g_bStop.load())
            break;
        if (frame.state == CWalLog::FrameState::kApplied || frame.pageNumber <= 1 ||
            source.Log().PageSize() != m_db.pageSize)
            continue;
        const int owner = frame.pageNumber <= m_pageCount ? m_owner[frame.pageNumber] : -1;
        if (owner == -2 || !source.ReadLogAt(page.data(), m_db.pageSize, frame.pageOffset))
            continue;
        if (page[0] != kTableLeaf)
            continue;
        Scanner scanner(*this, page.data(), usable, frame.pageNumber, kWal, frame.index);
        scanner.SetSchemas(AllSchemas(owner >= 0 ? owner : -1));
        if (frame.Valid() && frame.index < transactionEnd.size())
            scanner.state = transactionEnd[frame.index];
        ScanLeaf(scanner, page.data(), 0, true);
    }
    // The main file's own version of each page the log replaces is older
    // still: reported as a log source without a frame.
    for (const CWalLog::Frame& frame : source.Log().Frames()) {
        const std::uint64_t position = std::uint64_t(frame.pageNumber - 1) * m_db.pageSize;
        if (g_bStop.load() || frame.state != CWalLog::FrameState::kApplied || frame.pageNumber <= 1 ||
            frame.pageNumber > m_pageCount || m_owner[frame.pageNumber] == -2 ||
            !m_parser.m_pageSource.ReadFileAt(page.data(), m_db.pageSize, position) ||
            page[0] != kTableLeaf)
            continue;
        // The main file's own tree says whose page this version was.
        const int fileOwner = FileOwner(frame.pageNumber);
        const int owner = fileOwner >= 0 ? fileOwner : m_owner[frame.pageNumber];
        Scanner scanner(*this, page.data(), usable, frame.pageNumber, kWal, std::nullopt);
        scanner.SetSchemas(AllSchemas(owner >= 0 ? owner : -1));
        scanner.attestedSchema = fileOwner;
        scanner.state = 0;
        ScanLeaf(scanner, page.data(), 0, true);
    }
    // A commit that shrank the database (auto_vacuum moving pages down over
    // freed ones, or a VACUUM) leaves the main file longer than the
    // database until a checkpoint cuts it: the pages past the end keep what
    // the file last held there, rows deleted since among them. Also
    // reported as a log source without a frame.
    const std::uint64_t filePages = source.FileSize() / m_db.pageSize;
    for (std::uint64_t number = m_pageCount + 1; number <= filePages && !m_schemas.empty(); ++number) {
        if (g_bStop.load() ||
            !m_parser.m_pageSource.ReadFileAt(page.data(), m_db.pageSize, (number - 1) * m_db.pageSize))
            break;
        if (page[0] != kTableLeaf)
            continue;
        const int fileOwner = FileOwner(static_cast<std::uint32_t>(number));
        Scanner scanner(*this, page.data(), usable, static_cast<std::uint32_t>(number), kWal, std::nullopt);
        scanner.SetSchemas(AllSchemas(fileOwner));
        scanner.attestedSchema = fileOwner;
        scanner.state = 0;
        ScanLeaf(scanner, page.data(), 0, true);
    }
}

bool CRecordRecoverer::ReadPageAsOf(std::uint32_t number, std::uint32_t frame, std::vector<std::uint8_t>& page)
{
    CPageSource& source = m_parser.m_pageSource;
    page.resize(m_db.pageSize);
    const auto frames = m_pageFrames.find(number);
    if (frame != 0 && frames != m_pageFrames.end()) {
        // The newest version of the page at or before the frame.
        const auto after = std::upper_bound(frames->second.begin(), frames->second.end(),
                                            std::pair<std::uint32_t, std::uint64_t>(frame, UINT64_MAX));
        if (after != frames->second.begin())
            return source.ReadLogAt(page.data(), m_db.pageSize, std::prev(after)->second);
    }
    return number != 0 && source.ReadFileAt(page.data(), m_db.pageSize, std::uint64_t(number - 1) * m_db.pageSize);
}

void CRecordRecoverer::DropLiveRows()
{
    // Per table, the masks of known columns among its candidates, each with
    // the hashes of the candidates under it.
    struct MaskIndex {
        std::vector<bool> mask;
        // The column whose value alone is hashed first (the longest of the
        // first candidate's, most likely to tell rows apart), if any.
        std::optional<std::size_t> key;
        std::unordered_multimap<std::uint64_t, std::size_t> candidates;
        // One bit per hash value modulo its size, of the whole candidates
        // and of their key values: most live rows are no candidate, and a
        // bit says so without hashing every value or walking the map.
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
    for (int s = 0; s < static_cast<int>(m_schemas.size()); ++s) {
        const Schema& schema = m_schemas[s];
        if (!schema.live)
            continue;
        // A dropped table of the same columns may be this one under an
        // older name (renamed, or read from the main file's own schema):
        // its candidates are checked against these live rows too.
        const auto readsAs = [&](int other) {
            const Schema& o = m_schemas[other];
            return other == s || (!o.live && o.alias == schema.alias && o.affinity == schema.affinity);
        };
        std::vector<MaskIndex> masks;
        std::vector<std::string> texts;
        for (std::size_t c = 0; c < m_candidates.size(); ++c) {
            if (!readsAs(m_candidates[c].schema))
                continue;
            const auto& values = m_candidates[c].record.values;
            std::vector<bool> mask(values.size());
            texts.assign(values.size(), std::string());
            std::uint64_t hash = kHashSeed;
            for (std::size_t i = 0; i < values.size(); ++i) {
                mask[i] = values[i].has_value() && static_cast<int>(i) != schema.alias;
                if (mask[i]) {
                    texts[i] = WideToUtf8(*values[i]);
                    hash = HashText(hash, texts[i]);
                }
            }
            auto it = std::find_if(masks.begin(), masks.end(), [&](const MaskIndex& m) { return m.mask == mask; });
            if (it == masks.end()) {
                MaskIndex index;
                index.mask = mask;
                for (std::size_t i = 0; i < values.size(); ++i)
                    if (mask[i] && (!index.key || texts[i].size() > texts[*index.key].size()))
                        index.key = i;
                masks.push_back(std::move(index));
                it = std::prev(masks.end());
            }
            it->Add(hash, HashText(kHashSeed, it->key ? texts[*it->key] : std::string()), c);
        }
        if (masks.empty())
            continue;

        // Candidates of freelist pages by rowid, when the table's rowid is a
        // column: a live row with the same rowid and other values says the
        // page held another table's rows.
        std::unordered_multimap<std::string, std::size_t> byRowid;
        if (schema.alias >= 0)
            for (std::size_t c = 0; c < m_candidates.size(); ++c)
                if (m_candidates[c].schema == s && m_candidates[c].record.source == kFreelist &&
                    m_candidates[c].record.values[schema.alias])
                    byRowid.emplace(WideToUtf8(*m_candidates[c].record.values[schema.alias]), c);

        class CLiveRowMatcher : public CRowSink {
        public:
            CLiveRowMatcher(std::vector<MaskIndex>& masks, std::vector<Candidate>& candidates,
                            const std::unordered_multimap<std::string, std::size_t>& byRowid, int alias)
                : m_masks(masks), m_candidates(candidates), m_byRowid(byRowid), m_alias(alias) {}
            bool TakesUtf8() const override { return true; }
            void OnRowUtf8(std::string_view joined, const std::vector<std::uint32_t>& ends) override
            {
                if (!m_byRowid.empty()) {
                    const auto range = m_byRowid.equal_range(std::string(Value(joined, ends, m_alias)));
                    for (auto it = range.first; it != range.second; ++it)
                        m_candidates[it->second].rowidLive = true;
                }
                for (MaskIndex& index : m_masks) {
                    if (index.key &&
                        !MaskIndex::Has(index.keyFilter, HashText(kHashSeed, Value(joined, ends, *index.key))))
                        continue;
                    std::uint64_t hash = kHashSeed;
                    for (std::size_t i = 0; i < index.mask.size(); ++i)
                        if (index.mask[i])
                            hash = HashText(hash, Value(joined, ends, i));
                    if (!MaskIndex::Has(index.filter, hash))
                        continue;
                    const auto range = index.candidates.equal_range(hash);
                    for (auto it = range.first; it != range.second; ++it) {
                        Candidate& candidate = m_candidates[it->second];
                        bool same = true;
                        for (std::size_t i = 0; i < index.mask.size() && same; ++i)
                            same = !index.mask[i] || WideToUtf8(*candidate.record.values[i]) == Value(joined, ends, i);
                        candidate.live = candidate.live || same;
                    }
                }
            }

        private:
            static std::string_view Value(std::string_view joined, const std::vector<std::uint32_t>& ends,
                                          std::size_t i)
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
        } matcher(masks, m_candidates, byRowid, schema.alias);

        CRowSink* previous = m_parser.m_pRowSink;
        m_parser.m_pRowSink = &matcher;
        m_parser.m_pDb = &m_db;
        m_parser.m_pTable = const_cast<TableInfo*>(schema.table);
        m_parser.ReadTable();
        m_parser.m_pRowSink = previous;
        UnnameForeignPages(s);
    }
}

void CRecordRecoverer::UnnameForeignPages(int s)
{
    // A freelist page with a record whose rowid a live row of the table has,
    // but whose values differ, held rows of another table of the same
    // column types (one dropped, its CREATE statement overwritten by the
    // table that took its place): the page's records keep their values but
    // lose the table's name.
    std::unordered_set<std::uint32_t> foreign;
    for (const Candidate& c : m_candidates)
        if (c.schema == s && c.rowidLive && !c.live)
            foreign.insert(c.record.page);
    if (foreign.empty())
        return;
    std::uint64_t unnamed = 0;
    for (Candidate& c : m_candidates)
        if (c.schema == s && !c.live && c.record.source == kFreelist && foreign.count(c.record.page)) {
            c.record.table.reset();
            ++unnamed;
        }
    PostLog(m_parser.m_hLogWnd, u"Recover",
            WideFormat(u"recover: %I64u records on %I64u freelist pages read as rows of %s, but "
                       u"rowids of its live rows hold other values there: table not named",
                       {unnamed, static_cast<std::uint64_t>(foreign.size()), m_schemas[s].name}),
            kLogInfo);
}

void CRecordRecoverer::ReadDroppedTables()
{
    if (!m_parser.OpenPages(m_db)) {
        PostOpenError(m_parser.m_hLogWnd, u"error", m_db.path, kLogError);
        return;
    }
    m_pageCount = m_parser.m_pageSource.PageCount();
    m_owner.assign(m_pageCount + 1, -1);
    FindDroppedTables();
    m_parser.m_pageSource.Close();
}

bool CRecordRecoverer::Run(const std::u16string& onlyTable, CRecoverSink& sink)
{
    m_onlyTable = onlyTable;
    for (const TableInfo& table : m_db.tables) {
        if (table.rootPage == 0 || table.columns.empty() || table.withoutRowid ||
            !table.recordColumns.empty())
            continue;
        Schema schema;
        schema.name = table.name;
        schema.table = &table;
        schema.alias = table.rowidAliasColumn;
        schema.live = true;
        for (const ColumnInfo& column : table.columns)
            schema.affinity.push_back(AffinityOf(column.type));
        m_schemas.push_back(std::move(schema));
    }
    if (!m_parser.OpenPages(m_db)) {
        PostOpenError(m_parser.m_hLogWnd, u"error", m_db.path, kLogError);
        return true;
    }
    m_pageCount = m_parser.m_pageSource.PageCount();
    m_owner.assign(m_pageCount + 1, -1);

    FindDroppedTables();
    for (const TableInfo& table : m_dropped) {
        Schema schema;
        schema.name = table.name;
        schema.table = &table;
        schema.alias = table.rowidAliasColumn;
        for (const ColumnInfo& column : table.columns)
            schema.affinity.push_back(AffinityOf(column.type));
        m_schemas.push_back(std::move(schema));
    }
    MapFileTrees();
    const auto named = [&](const Schema& s) { return EqualsIgnoringAsciiCase(s.name, onlyTable); };
    if (!onlyTable.empty() && std::none_of(m_schemas.begin(), m_schemas.end(), named)) {
        m_parser.m_pageSource.Close();
        return false;
    }
    // The owners of every live page are known before free pages are read.
    std::fill(m_owner.begin(), m_owner.end(), -1);
    WalkTree(1, -2, [](std::uint32_t, const std::uint8_t*, std::uint32_t) {});
    CollectFreelistLeaves();
    ScanTables();
    ScanFreelist();
    ScanLog();
    m_parser.m_pageSource.Close();
    MergeAttested();
    DropLiveRows();

    std::uint64_t reported = 0;
    std::uint64_t live = 0;
    for (const Candidate& candidate : m_candidates) {
        if (candidate.live) {
            ++live;
            continue;
        }
        if (!onlyTable.empty() && (!candidate.record.table || !named(m_schemas[candidate.schema])))
            continue;
        sink.OnRecord(candidate.record);
        ++reported;
    }
    PostLog(m_parser.m_hLogWnd, u"Recover",
            WideFormat(u"recover: %I64u records reported; %I64u candidates equal to live rows "
                       u"left out",
                       {reported, live}),
            kLogInfo);
    return true;
}
