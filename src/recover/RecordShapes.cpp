#include "recover/RecordShapes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/ByteReader.h"
#include "records/OverflowChain.h"
#include "records/RecordDecoder.h"
#include "records/Varint.h"
#include "recover/TextPlausibility.h"

namespace {

int VarintLength(std::uint64_t value)
{
    int length = 1;
    while (value >= 0x80 && length < 9) {
        value >>= 7;
        ++length;
    }
    return length;
}

bool IsText(std::uint64_t t) { return t >= 13 && t % 2 == 1; }

// Whether the integer of serial type `t` (1 to 6) at `at` is stored in as
// few bytes as SQLite stores it; `number` tells whether it is other than 0
// and 1 (which a file of the current format keeps in the header alone).
bool MinimalInteger(const PageBytes& bytes, std::uint64_t at, std::uint64_t t, bool& number)
{
    std::int64_t value = 0;
    if (!ReadIntegerValue(bytes.page, bytes.usable, at, t, value))
        return false;
    number = value < 0 || value > 1;
    std::uint64_t fits = 1;
    for (const std::int64_t bound : {0x80ll, 0x8000ll, 0x800000ll, 0x80000000ll, 0x800000000000ll})
        fits += value < -bound || value >= bound;
    return fits == t;
}

// Whether the real at `at` is one a column of this affinity holds. A
// column of numeric affinity stores a real of integral value as an
// integer, so a real there has a fraction; and the numbers phones keep
// (coordinates, amounts, durations, times) lie between 1e-15 and 1e19 in
// magnitude, where eight bytes read from the wrong offset mostly do not.
bool PlausibleReal(const PageBytes& bytes, std::uint64_t at, ColumnAffinity affinity)
{
    const std::uint64_t bits = LoadBigEndian(bytes.page + at, 8);
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    const double magnitude = std::fabs(value);
    if (!(magnitude >= 1e-15 && magnitude <= 1e19))
        return false;
    const bool numeric = affinity == ColumnAffinity::kInteger || affinity == ColumnAffinity::kReal ||
                         affinity == ColumnAffinity::kNumeric;
    return !numeric || std::trunc(value) != value || magnitude >= 9.2e18;
}

// Reads the record header at `y` (its size varint, then the serial types
// of at most `columns` values) before `limit`; sets parse.bodyStart.
bool ReadHeaderAt(const PageBytes& bytes, std::uint32_t y, std::uint32_t limit, std::size_t columns,
                  RecordParse& parse)
{
    std::uint64_t headerSize = 0;
    std::uint32_t h = 0;
    std::uint32_t consumed = 0;
    if (!ReadVarintAt(bytes.page, limit, y, headerSize, h) || headerSize <= h ||
        headerSize > h + 9 * columns || y + headerSize > limit ||
        !ReadTypes(bytes, y + h, static_cast<std::uint32_t>(y + headerSize), columns, parse.types,
                   consumed))
        return false;
    parse.bodyStart = static_cast<std::uint32_t>(y + headerSize);
    return true;
}

// The serial types a lost first value of `size` bytes may have had in a
// column of this schema, the column's own storage class first; the count
// of them (0 when no type has that size).
std::size_t FirstTypeGuesses(const RecoverSchema& schema, std::uint32_t size, std::uint64_t (&types)[2])
{
    if (schema.alias == 0) {
        types[0] = 0;
        return 1;
    }
    const ColumnAffinity first = schema.affinity[0];
    const bool numeric = first == ColumnAffinity::kInteger || first == ColumnAffinity::kReal ||
                         first == ColumnAffinity::kNumeric;
    switch (numeric ? size : UINT32_MAX) {
    case 0: types[0] = 0; return 1;
    case 1: case 2: case 3: case 4: types[0] = size; return 1;
    case 6: types[0] = 5; return 1;
    case 8:
        // An 8-byte integer, or a real: which is the column's own decides
        // the order, the value's check the choice.
        types[0] = first == ColumnAffinity::kReal ? 7 : 6;
        types[1] = first == ColumnAffinity::kReal ? 6 : 7;
        return 2;
    default:
        // A NUMERIC column keeps a text that does not read as a number.
        if (numeric && first != ColumnAffinity::kNumeric)
            return 0;
        types[0] = 13 + 2ull * size;
        return 1;
    }
}

// A record cut at `cut`: every serial type fits its column, the values
// wholly before the cut are sound text where text, and enough of them are
// kept (see ReadPartialHead).
bool KeepsEnough(const PageBytes& bytes, const RecoverSchema& schema, const RecordParse& parse,
                 std::uint32_t cut)
{
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
        if (whole && IsText(t) && !PlausibleText(bytes.page + offset, size, bytes.encoding))
            return false;
        if (whole && t == 7 && !PlausibleReal(bytes, offset, schema.affinity[i]))
            return false;
        if (!alias && (whole || size == 0)) {
            ++kept;
            substantial += whole && t != 0 && t != 12 && t != 13 && t != 8 && t != 9;
            text = text || (whole && t > 13 && t % 2 == 1);
        }
        offset += size;
    }
    const std::size_t others = schema.affinity.size() - (schema.alias >= 0 ? 1 : 0);
    return text && substantial >= 2 && 2 * kept > others;
}

// A record cut at `limit` (when `cutAtLimit`), or one whose payload went
// on to overflow pages, its local part and the first overflow page number
// before `limit`: a serial type for every column, each fitting its column;
// and, in the values wholly before the cut (or held by the header), at
// least half the columns besides the rowid, two of them substantial and a
// text among them. The values past the cut are lost, or read from the
// overflow chain when it survives.
bool CheckPartial(const PageBytes& bytes, const RecoverSchema& schema, RecordParse& parse,
                  std::uint32_t recordStart, std::uint32_t limit, bool cutAtLimit)
{
    if (parse.types.size() != schema.affinity.size())
        return false;
    std::uint64_t payload = parse.bodyStart - recordStart;
    for (std::uint64_t t : parse.types)
        payload += std::min<std::uint64_t>(SerialTypeSize(t), UINT32_MAX);
    const std::uint32_t local = LocalPayloadSize(payload, bytes.usable, true);
    parse.overflow = local < payload;
    std::uint32_t cut = limit;
    if (parse.overflow) {
        if (payload > 0x7FFFFFFF || !FitsIn(limit, recordStart, std::uint64_t(local) + 4))
            return false;
        cut = recordStart + local;
    } else if (!cutAtLimit || recordStart + payload <= limit || recordStart + payload > bytes.usable) {
        return false;
    }
    if (!KeepsEnough(bytes, schema, parse, cut))
        return false;
    parse.partial = true;
    parse.localEnd = cut;
    parse.end = parse.overflow ? cut + 4 : cut;
    return true;
}

}  // namespace

// Whether a column besides the rowid may hold text.
bool HoldsText(const RecoverSchema& schema)
{
    for (std::size_t i = 0; i < schema.affinity.size(); ++i)
        if (static_cast<int>(i) != schema.alias && schema.affinity[i] != ColumnAffinity::kInteger &&
            schema.affinity[i] != ColumnAffinity::kReal)
            return true;
    return false;
}

bool ReadTypes(const PageBytes& bytes, std::uint32_t at, std::uint32_t headerEnd, std::size_t count,
               std::vector<std::uint64_t>& types, std::uint32_t& consumed)
{
    consumed = 0;
    while (headerEnd != 0 ? at + consumed < headerEnd : types.size() < count) {
        std::uint64_t t = 0;
        std::uint32_t length = 0;
        const std::uint32_t limit = headerEnd != 0 ? headerEnd : bytes.usable;
        if (!ReadVarintAt(bytes.page, limit, at + consumed, t, length) || types.size() >= count)
            return false;
        types.push_back(t);
        consumed += length;
    }
    return true;
}

bool CheckRecord(const PageBytes& bytes, const RecoverSchema& schema, RecordParse& parse,
                 std::uint32_t limit)
{
    const std::size_t count = parse.types.size();
    if (count == 0 || count > schema.affinity.size())
        return false;
    std::uint64_t offset = parse.bodyStart;
    std::size_t substantial = 0;  // values that are not NULL, 0, 1 or empty
    std::size_t numbers = 0;      // numbers other than 0 and 1
    bool telling = false;         // a text or an integer among them
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t t = parse.types[i];
        const bool lost = i == 0 && parse.firstLost;
        if (!lost && !TypeFits(t, schema.affinity[i], static_cast<int>(i) == schema.alias))
            return false;
        const std::uint64_t size = SerialTypeSize(t);
        if (size > limit || offset > limit - size)
            return false;
        if (offset + size <= parse.localEnd && IsText(t) &&
            !PlausibleText(bytes.page + offset, size, bytes.encoding))
            return false;
        if (offset + size <= parse.localEnd && t == 7 && !PlausibleReal(bytes, offset, schema.affinity[i]))
            return false;
        bool number = t == 7;
        if (offset + size <= parse.localEnd && t >= 1 && t <= 6 && !MinimalInteger(bytes, offset, t, number))
            return false;
        if (!lost && static_cast<int>(i) != schema.alias) {
            substantial += t != 0 && t != 12 && t != 13;
            numbers += number;
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
    // A table of numbers only has no text to tell its records from stray
    // bytes: two of its numbers must be other than 0 and 1.
    if (columns >= 2 && !HoldsText(schema) && numbers < 2)
        return false;
    return telling && substantial >= std::min<std::size_t>(columns >= 3 ? 2 : 1, columns);
}

bool ParseCell(const PageBytes& bytes, std::uint32_t x, std::uint32_t limit, std::size_t columns,
               RecordParse& parse, bool indexCell)
{
    parse.types.clear();
    parse.firstLost = false;
    parse.partial = false;
    std::uint64_t payload = 0;
    std::uint64_t rowid = 0;
    std::uint32_t p = 0;
    std::uint32_t r = 0;
    if (!ReadVarintAt(bytes.page, limit, x, payload, p) || payload < 2 || payload > 0x7FFFFFFF ||
        (!indexCell && !ReadVarintAt(bytes.page, limit, x + p, rowid, r)))
        return false;
    const std::uint32_t y = x + p + r;
    if (!ReadHeaderAt(bytes, y, limit, columns, parse) || parse.bodyStart - y > payload)
        return false;
    const std::uint32_t local = LocalPayloadSize(payload, bytes.usable, !indexCell);
    parse.overflow = local < payload;
    parse.localEnd = y + std::min<std::uint32_t>(local, limit - y);
    if (parse.overflow && !FitsIn(limit, y, std::uint64_t(local) + 4))
        return false;
    if (!parse.overflow && payload > limit - y)
        return false;
    if (indexCell)
        parse.rowid.reset();
    else
        parse.rowid = static_cast<std::int64_t>(rowid);
    std::uint64_t body = 0;
    for (std::uint64_t t : parse.types)
        body = std::min<std::uint64_t>(body + std::min<std::uint64_t>(SerialTypeSize(t), UINT32_MAX),
                                       UINT64_MAX / 2);
    if ((parse.bodyStart - y) + body != payload)
        return false;
    parse.cellEnd = parse.overflow ? y + local + 4 : y + static_cast<std::uint32_t>(payload);
    return true;
}

bool FinishCell(const PageBytes& bytes, const RecoverSchema& schema, RecordParse& parse,
                std::uint32_t limit)
{
    if (!CheckRecord(bytes, schema, parse, parse.overflow ? UINT32_MAX : limit))
        return false;
    parse.end = parse.cellEnd;
    return true;
}

bool HeaderMayBeginAt(const PageBytes& bytes, std::uint32_t f, std::uint32_t start)
{
    if (start > 4 && (bytes.page[f + start - 1] & 0x80) != 0)
        return false;
    for (std::uint32_t k = 4; k + 1 < start; ++k)
        if ((bytes.page[f + k] & 0x80) == 0)
            return false;
    return true;
}

bool ReadWholeHeader(const PageBytes& bytes, const RecoverSchema& schema, std::uint32_t f,
                     std::uint32_t start, std::uint32_t limit, RecordParse& parse)
{
    // The bytes before the header end the varint the freeblock header cut.
    if (!HeaderMayBeginAt(bytes, f, start))
        return false;
    parse.Restart();
    const std::uint32_t y = f + start;
    if (!ReadHeaderAt(bytes, y, limit, schema.affinity.size(), parse))
        return false;
    parse.localEnd = limit;
    if (!CheckRecord(bytes, schema, parse, limit))
        return false;
    // The payload size must have fit in the varint before the rowid's.
    const std::uint64_t payload = parse.end - y;
    if (LocalPayloadSize(payload, bytes.usable, true) < payload)
        return false;
    return static_cast<int>(start) - VarintLength(payload) >= 1;
}

bool ReadHeaderSizeLost(const PageBytes& bytes, const RecoverSchema& schema, std::uint32_t f,
                        std::uint32_t limit, RecordParse& parse)
{
    parse.Restart();
    std::uint32_t consumed = 0;
    if (!ReadTypes(bytes, f + 4, 0, schema.affinity.size(), parse.types, consumed) ||
        consumed + 1 >= 128)
        return false;
    parse.bodyStart = f + 4 + consumed;
    parse.localEnd = limit;
    return CheckRecord(bytes, schema, parse, limit) && parse.end - (f + 3) < 16384;
}

bool ReadFirstTypeLost(const PageBytes& bytes, const RecoverSchema& schema, std::uint32_t f,
                       std::uint32_t limit, CRecordEnds& ends, RecordParse& parse)
{
    const std::size_t columns = schema.affinity.size();
    if (columns < 2)
        return false;
    parse.Restart();
    std::uint32_t consumed = 0;
    if (!ReadTypes(bytes, f + 4, 0, columns - 1, parse.types, consumed))
        return false;
    const std::uint32_t bodyStart = f + 4 + consumed;
    std::uint64_t rest = 0;
    for (std::uint64_t t : parse.types)
        rest += SerialTypeSize(t);
    parse.types.insert(parse.types.begin(), 0);
    parse.firstLost = true;
    parse.bodyStart = bodyStart;
    parse.localEnd = limit;
    for (int pass = 0; pass < 2; ++pass)
        for (std::uint32_t v = 0; bodyStart + rest + v <= limit && v < 128; ++v) {
            // The record header was one byte of size: under 128 bytes.
            if ((bodyStart - (f + 2)) + rest + v >= 128 || (schema.alias == 0 && v != 0))
                break;
            std::uint64_t guesses[2];
            const std::size_t count = FirstTypeGuesses(schema, v, guesses);
            // The end is known before the values are checked.
            const auto end = static_cast<std::uint32_t>(bodyStart + rest + v);
            if (count == 0 || !ends.EndsCleanly(schema, end, limit, pass == 0, true))
                continue;
            for (std::size_t g = 0; g < count; ++g) {
                parse.types[0] = guesses[g];
                parse.firstLost = true;
                if (!CheckRecord(bytes, schema, parse, limit))
                    continue;
                parse.firstLost = v == 0 && schema.alias != 0;
                return true;
            }
        }
    return false;
}

namespace {

// The serial type of a lost first value of `size` bytes whose varint took
// `typeLength` bytes (the second of two, `low`, survives): its storage
// class is the column's own; 0 when no such type fits.
std::uint64_t EntryFirstType(ColumnAffinity affinity, std::uint32_t size, std::uint32_t typeLength,
                             std::uint8_t low)
{
    if (affinity == ColumnAffinity::kText || affinity == ColumnAffinity::kNumeric) {
        const std::uint64_t t = 13 + 2ull * size;
        const bool fits = typeLength == 1 ? t < 0x80 : t >= 0x80 && t < 0x4000 && (t & 0x7F) == low;
        return size > 0 && fits ? t : 0;
    }
    if (affinity != ColumnAffinity::kInteger || typeLength != 1)
        return 0;
    switch (size) {
    case 1: case 2: case 3: case 4: return size;
    case 6: return 5;
    case 8: return 6;
    default: return 0;
    }
}

}  // namespace

bool ReadEntryFirstTypeLost(const PageBytes& bytes, const RecoverSchema& schema, std::uint32_t f,
                            std::uint32_t limit, CRecordEnds& ends, RecordParse& parse)
{
    const std::size_t columns = schema.affinity.size();
    if (columns < 2 || f + 5 > limit)
        return false;
    std::optional<RecordParse> proved;
    for (std::uint32_t typeLength = 1; typeLength <= 2; ++typeLength) {
        const std::uint32_t at = f + 3 + typeLength;
        parse.Restart();
        std::uint32_t consumed = 0;
        if ((typeLength == 2 && (bytes.page[f + 4] & 0x80) != 0) ||
            !ReadTypes(bytes, at, 0, columns - 1, parse.types, consumed) || 1 + typeLength + consumed >= 0x80)
            continue;
        std::uint64_t rest = 0;
        for (std::uint64_t t : parse.types)
            rest += SerialTypeSize(t);
        parse.types.insert(parse.types.begin(), 0);
        parse.bodyStart = at + consumed;
        parse.localEnd = limit;
        // A payload of two varint bytes (128 or more), held whole in the page.
        const std::uint64_t before = parse.bodyStart + rest - (f + 2);
        for (auto v = static_cast<std::uint32_t>(before < 0x80 ? 0x80 - before : 1);
             parse.bodyStart + rest + v <= limit && before + v < 0x4000; ++v) {
            const auto end = static_cast<std::uint32_t>(parse.bodyStart + rest + v);
            const std::uint32_t payload = end - (f + 2);
            parse.types[0] = EntryFirstType(schema.affinity[0], v, typeLength, bytes.page[f + 4]);
            if (LocalPayloadSize(payload, bytes.usable, false) < payload ||
                parse.types[0] == 0 || !ends.EndsCleanly(schema, end, limit, true, true) ||
                !CheckRecord(bytes, schema, parse, limit))
                continue;
            // Two readings that both end cleanly prove neither.
            if (proved)
                return false;
            proved = parse;
        }
    }
    if (!proved)
        return false;
    parse = std::move(*proved);
    return true;
}

bool ReadPartialHead(const PageBytes& bytes, const RecoverSchema& schema, std::uint32_t f,
                     std::uint32_t limit, bool cutAtLimit, RecordParse& parse)
{
    const std::size_t columns = schema.affinity.size();
    // With s = 2 the first serial type is lost too, and only a rowid
    // column, always NULL in the record, makes it known.
    const std::uint32_t first = schema.alias == 0 && columns >= 2 ? 2 : 3;
    for (std::uint32_t start = first; start < 15 && f + start < limit; ++start) {
        if (!HeaderMayBeginAt(bytes, f, start))
            continue;
        parse.Restart();
        const std::uint32_t recordStart = f + start;
        if (start <= 3) {
            std::uint32_t consumed = 0;
            if (start == 2)
                parse.types.push_back(0);
            if (!ReadTypes(bytes, f + 4, 0, columns, parse.types, consumed) || f + 4 + consumed > limit)
                continue;
            parse.bodyStart = f + 4 + consumed;
        } else if (!ReadHeaderAt(bytes, recordStart, limit, columns, parse)) {
            continue;
        }
        if (CheckPartial(bytes, schema, parse, recordStart, limit, cutAtLimit))
            return true;
    }
    return false;
}
