// Record decoding: a record's header and values, and the rows they
// make for m_rows, for a row sink, or for the schema.
//
//   serial type   value                         size
//   0             NULL                          0
//   1..6          signed big-endian integer     1, 2, 3, 4, 6, 8
//   7             IEEE 754 double, big-endian   8
//   8, 9          the integers 0 and 1          0
//   10, 11        reserved                      0
//   N>=12 even    blob                          (N-12)/2
//   N>=13 odd     text in the database encoding (N-13)/2
#include "RecordDecoder.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "engine/ByteReader.h"
#include "engine/LogPost.h"
#include "engine/RowArena.h"
#include "engine/RowSink.h"
#include "engine/SqliteParser.h"
#include "platform/IntegerFormat.h"
#include "platform/RealFormat.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"
#include "records/SchemaCatalogue.h"
#include "records/ValueWriters.h"
#include "records/Varint.h"

using namespace value_writers;

namespace {

// Texts longer than this are written through a string (see ValueRoom).
constexpr std::uint64_t kLargeTextBytes = 64 * 1024;

// The room the display text of a value may take: a text (of the bytes the
// record holds) at most six times its UTF-8 bytes when escaped, nine times
// its stored bytes when stored as UTF-16 (three UTF-8 bytes for two); any
// other value, a blob's preview included, less than 128 bytes.
std::uint64_t ValueRoom(std::uint64_t textBytes) { return 9 * textBytes + 128; }

// Bytes of the text value of serial type `t` at `offset` that the record
// holds; 0 for any other value.
std::uint64_t TextBytesHeld(std::uint64_t t, std::uint64_t offset, std::uint64_t dataLength)
{
    if (t < 13 || t % 2 == 0 || offset >= dataLength)
        return 0;
    return std::min(SerialTypeSize(t), dataLength - offset);
}

template <typename Text>
void AppendValue(Text& out, const std::uint8_t* record, std::uint64_t dataLength,
                 std::uint64_t offset, std::uint64_t t, std::uint32_t encoding, bool realAffinity,
                 const AsciiEscapes* escapes = nullptr)
{
    std::int64_t integer = 0;
    if (ReadIntegerValue(record, dataLength, offset, t, integer)) {
        // A REAL column stores a real with an integral value as an integer.
        if (realAffinity)
            AppendReal(out, static_cast<double>(integer));
        else
            AppendInteger(out, integer);
        return;
    }
    if (t == 7) {
        if (!FitsIn(dataLength, offset, 8))
            return;
        const std::uint64_t bits = LoadBigEndian(record + offset, 8);
        double real;
        std::memcpy(&real, &bits, sizeof real);
        AppendReal(out, real);
        return;
    }
    if (t < 12)
        return;
    const std::uint64_t size = SerialTypeSize(t);
    const std::uint64_t available = offset < dataLength ? dataLength - offset : 0;
    const std::uint8_t* bytes = record + (offset < dataLength ? offset : dataLength);
    if (t % 2 == 0)
        AppendBlob(out, bytes, available, size);
    else
        AppendText(out, bytes, std::min(size, available), encoding, escapes);
}

bool RealAffinityOf(const TableInfo& table, int column)
{
    return column >= 0 && static_cast<std::size_t>(column) < table.columns.size() &&
           table.columns[column].realAffinity;
}

// The column shown for value i of a record, or -1.
int ColumnOfValue(const TableInfo& table, std::size_t i)
{
    if (table.recordColumns.empty())
        return i < table.columns.size() ? static_cast<int>(i) : -1;
    return i < table.recordColumns.size() ? table.recordColumns[i] : -1;
}

// Walks a record's values with the column each one shows under; a key
// column stored twice (two collations) shows its first value. `place`
// receives (column, serial type, offset). Values beyond the declared
// columns are ignored.
template <typename Place>
void ForEachPlacedValue(const TableInfo& table, const std::vector<std::uint64_t>& types,
                        std::uint64_t offset, Place place)
{
    const bool mapped = !table.recordColumns.empty();
    const std::size_t count = mapped ? types.size() : std::min(types.size(), table.columns.size());
    thread_local std::vector<bool> filled;
    if (mapped)
        filled.assign(table.columns.size(), false);
    for (std::size_t i = 0; i < count; ++i) {
        const int column = ColumnOfValue(table, i);
        if (column >= 0 && (!mapped || !filled[column])) {
            if (mapped)
                filled[column] = true;
            place(column, types[i], offset);
        }
        const std::uint64_t size = SerialTypeSize(types[i]);
        offset = size > UINT64_MAX - offset ? UINT64_MAX : offset + size;
    }
}

template <typename Text>
void AppendColumnValue(Text& out, const TableInfo& table, const DbInfo& db,
                       const std::uint8_t* record, std::uint64_t dataLength, int column,
                       std::uint64_t t, std::uint64_t offset, std::int64_t rowid,
                       const AsciiEscapes* escapes = nullptr)
{
    if (t == 0 && column == table.rowidAliasColumn)
        AppendInteger(out, rowid);
    else
        AppendValue(out, record, dataLength, offset, t, db.textEncoding,
                    RealAffinityOf(table, column), escapes);
}

// Builds the display row of a table record and hands it on. Values are
// placed under their own column; where the record's order differs from the
// declaration order (WITHOUT ROWID, generated columns) it is mapped back.
// A record with no values gives no row; one with fewer values than the
// table has columns gives a shorter row (unless it is mapped).
template <typename Text>
void DecodeTableRecord(CSqliteParser& parser, const DbInfo& db, const std::uint8_t* record,
                       std::uint64_t dataLength, std::uint64_t offset,
                       const std::vector<std::uint64_t>& types, std::int64_t rowid)
{
    const TableInfo& table = *parser.m_pTable;
    thread_local Text joined;
    thread_local std::vector<std::uint32_t> ends;
    thread_local std::vector<Text> placed;
    joined.clear();
    ends.clear();
    if (!table.recordColumns.empty()) {
        if (types.empty())
            return;
        placed.assign(table.columns.size(), Text());
        ForEachPlacedValue(table, types, offset, [&](int column, std::uint64_t t, std::uint64_t at) {
            AppendColumnValue(placed[column], table, db, record, dataLength, column, t, at, rowid);
        });
        for (const auto& text : placed) {
            joined += text;
            ends.push_back(static_cast<std::uint32_t>(joined.size()));
        }
    } else {
        ForEachPlacedValue(table, types, offset, [&](int column, std::uint64_t t, std::uint64_t at) {
            AppendColumnValue(joined, table, db, record, dataLength, column, t, at, rowid);
            ends.push_back(static_cast<std::uint32_t>(joined.size()));
        });
    }
    if (ends.empty())
        return;
    if constexpr (std::is_same_v<Text, std::string>) {
        if (parser.m_pRowSink == nullptr)
            parser.m_rows.emplace_back(joined, ends);
        else
            parser.m_pRowSink->OnRowUtf8(joined, ends);
    } else {
        parser.m_pRowSink->OnRow(joined, ends);
    }
}

// The display values of a record of a table whose values lie in column
// order, each decoded as DecodeTableRecord decodes it.
class CColumnValues : public CRowSink::CRowValues {
public:
    CColumnValues(const TableInfo& table, const DbInfo& db, const std::uint8_t* record, std::uint64_t dataLength,
                  std::uint64_t offset, const std::vector<std::uint64_t>& types, std::int64_t rowid)
        : m_table(table), m_db(db), m_record(record), m_dataLength(dataLength), m_offset(offset), m_types(types),
          m_rowid(rowid)
    {
    }
    std::string_view Utf8Value(std::size_t column) override
    {
        thread_local std::string text;
        if (column >= std::min(m_types.size(), m_table.columns.size()))
            return {};
        if (column != m_column) {
            std::uint64_t at = m_offset;
            for (std::size_t i = 0; i < column; ++i) {
                const std::uint64_t size = SerialTypeSize(m_types[i]);
                at = size > UINT64_MAX - at ? UINT64_MAX : at + size;
            }
            text.clear();
            AppendColumnValue(text, m_table, m_db, m_record, m_dataLength, static_cast<int>(column),
                              m_types[column], at, m_rowid);
            m_column = column;
        }
        return text;
    }

private:
    const TableInfo& m_table;
    const DbInfo& m_db;
    const std::uint8_t* m_record;
    std::uint64_t m_dataLength;
    std::uint64_t m_offset;
    const std::vector<std::uint64_t>& m_types;
    std::int64_t m_rowid;
    std::size_t m_column = SIZE_MAX;  // the value in `text`
};

// False when the parser's sink turns down the row of a table record.
bool RowWanted(const CSqliteParser& parser, const DbInfo& db, const std::uint8_t* record, std::uint64_t dataLength,
               std::uint64_t offset, const std::vector<std::uint64_t>& types, std::int64_t rowid)
{
    const CRowSink* sink = parser.m_pRowSink != nullptr ? parser.m_pRowSink : parser.m_pRowFilter;
    if (sink == nullptr || !sink->FiltersRows() || !parser.m_pTable->recordColumns.empty())
        return true;
    CColumnValues values(*parser.m_pTable, db, record, dataLength, offset, types, rowid);
    return sink->RowWanted(values);
}

// The row of a table record written straight into the table's arena
// (m_rows): the room its values may need is claimed once and each value is
// written through a cursor, with no joined string to copy. False, with
// nothing written, for a row the arena takes only as a whole (a value over
// kLargeTextBytes of text, or more room than one claim).
template <typename Cursor>
bool DecodeTableRecordInPlace(CSqliteParser& parser, const DbInfo& db, const std::uint8_t* record,
                              std::uint64_t dataLength, std::uint64_t offset,
                              const std::vector<std::uint64_t>& types, std::int64_t rowid)
{
    const TableInfo& table = *parser.m_pTable;
    const std::size_t count = std::min(types.size(), table.columns.size());
    std::uint64_t room = 0;
    std::uint64_t at = offset;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t textBytes = TextBytesHeld(types[i], at, dataLength);
        if (textBytes > kLargeTextBytes)
            return false;
        room += ValueRoom(textBytes);
        const std::uint64_t size = SerialTypeSize(types[i]);
        at = size > UINT64_MAX - at ? UINT64_MAX : at + size;
    }
    if (room > RowArena::kMaxClaim)
        return false;
    if (count == 0)
        return true;  // a record with no values gives no row
    thread_local std::vector<std::uint32_t> ends;
    ends.clear();
    char* const start = parser.m_rows.ClaimRow(count, static_cast<std::size_t>(room));
    Cursor cursor{start};
    ForEachPlacedValue(table, types, offset, [&](int column, std::uint64_t t, std::uint64_t place) {
        AppendColumnValue(cursor, table, db, record, dataLength, column, t, place, rowid);
        ends.push_back(static_cast<std::uint32_t>(cursor.at - start));
    });
    parser.m_rows.CommitRow(cursor.at, ends);
    return true;
}

// Writes `separator` and the display text of one value onto `out`: through
// a cursor in the room the value may need, or, for a large text, through a
// string, so that no room many times a long text's size is claimed.
void PutUtf8Value(CTextBuffer& out, std::string_view separator, const TableInfo& table,
                  const DbInfo& db, const std::uint8_t* record, std::uint64_t dataLength,
                  int column, std::uint64_t t, std::uint64_t offset, std::int64_t rowid,
                  const AsciiEscapes& escapes)
{
    const std::uint64_t textBytes = TextBytesHeld(t, offset, dataLength);
    if (textBytes > kLargeTextBytes) {
        thread_local std::string large;
        large.clear();
        AppendColumnValue(large, table, db, record, dataLength, column, t, offset, rowid, &escapes);
        out.Append(separator);
        out.Append(large);
        large.clear();
        large.shrink_to_fit();
        return;
    }
    Utf8Cursor cursor{out.Room(separator.size() + ValueRoom(textBytes))};
    AppendAscii(cursor, separator.data(), separator.size());
    AppendColumnValue(cursor, table, db, record, dataLength, column, t, offset, rowid, &escapes);
    out.Commit(cursor.at);
}

// The same row written as UTF-8 in the sink's layout, straight into its
// buffer.
void DecodeTableRecordUtf8(CSqliteParser& parser, const DbInfo& db, const std::uint8_t* record,
                           std::uint64_t dataLength, std::uint64_t offset,
                           const std::vector<std::uint64_t>& types, std::int64_t rowid)
{
    const TableInfo& table = *parser.m_pTable;
    CRowSink& sink = *parser.m_pRowSink;
    const CRowSink::Utf8Layout& layout = *sink.Utf8RowLayout();
    CTextBuffer& out = sink.Utf8Buffer();
    const std::size_t rowStart = out.size();
    std::size_t written = 0;
    const auto next = [&] { return written++ == 0 ? layout.rowBegin : layout.between; };
    if (!table.recordColumns.empty()) {
        if (types.empty())
            return;
        thread_local std::vector<std::string> placed;
        placed.assign(table.columns.size(), std::string());
        ForEachPlacedValue(table, types, offset, [&](int column, std::uint64_t t, std::uint64_t at) {
            AppendColumnValue(placed[column], table, db, record, dataLength, column, t, at, rowid,
                              &layout.escapes);
        });
        for (const auto& text : placed) {
            out.Append(next());
            out.Append(text);
        }
    } else {
        // Values in declaration order, the common case, are walked as they
        // lie: value i under column i.
        const std::size_t count = std::min(types.size(), table.columns.size());
        std::string_view separator = layout.rowBegin;
        for (std::size_t i = 0; i < count; ++i) {
            PutUtf8Value(out, separator, table, db, record, dataLength, static_cast<int>(i),
                         types[i], offset, rowid, layout.escapes);
            separator = layout.between;
            const std::uint64_t size = SerialTypeSize(types[i]);
            offset = size > UINT64_MAX - offset ? UINT64_MAX : offset + size;
        }
        written = count;
    }
    if (written == 0) {
        out.Truncate(rowStart);
        return;
    }
    Utf8Cursor end{out.Room(layout.rowEnd.size())};
    AppendAscii(end, layout.rowEnd.data(), layout.rowEnd.size());
    out.Commit(end.at);
    sink.OnUtf8Row();
}

}  // namespace



void AppendRealText(std::u16string& out, double value) { AppendReal(out, value); }
void AppendRealText(std::string& out, double value) { AppendReal(out, value); }

std::uint64_t StoredTextLength(const std::uint8_t* bytes, std::uint64_t size,
                               std::uint32_t encoding)
{
    if (encoding == kUtf16le || encoding == kUtf16be) {
        std::uint64_t units = 0;
        while (units < size / 2 && (bytes[2 * units] | bytes[2 * units + 1]) != 0)
            ++units;
        // An odd trailing byte only counts when no NUL character came first.
        return units < size / 2 ? 2 * units : size;
    }
    const void* nul = size == 0 ? nullptr : std::memchr(bytes, 0, size);
    return nul ? static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(nul) - bytes) : size;
}

std::uint64_t SerialTypeSize(std::uint64_t t)
{
    static constexpr std::uint8_t kSmallSizes[12] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
    if (t < 12)
        return kSmallSizes[t];
    return (t - 12) / 2;
}

int ReadSerialTypes(const std::uint8_t* data, std::uint64_t areaLength, std::uint64_t dataBytes,
                    std::vector<std::uint64_t>& types)
{
    types.clear();
    std::uint64_t p = 0;
    while (p < areaLength) {
        if (p >= dataBytes)
            return -1;
        if (data[p] < 0x80) {  // one-byte serial types, by far the most common
            types.push_back(data[p++]);
            continue;
        }
        // A serial type may not reach past the header area or the data.
        const std::uint64_t limit = std::min(areaLength, dataBytes) - p;
        std::int32_t available = static_cast<std::int32_t>(std::min<std::uint64_t>(limit, 9));
        std::uint64_t t = 0;
        if (ReadVarint(data + p, available, t) != 0) {
            // Unfinished at the end of the header area: dropped. Unfinished
            // at the end of the data: the header claims bytes that are not there.
            return areaLength <= dataBytes ? 0 : -1;
        }
        types.push_back(t);
        p += static_cast<std::uint64_t>(available);
    }
    return 0;
}

void AppendStoredText(std::u16string& out, const std::uint8_t* bytes, std::uint64_t size,
                      std::uint32_t encoding)
{
    const std::uint64_t take = StoredTextLength(bytes, size, encoding);
    if (encoding == kUtf16le || encoding == kUtf16be)
        AppendUtf16AsWide(out, bytes, take, encoding == kUtf16be);
    else
        AppendUtf8AsWide(out, bytes, take);
}

bool ReadIntegerValue(const std::uint8_t* record, std::uint64_t dataLength, std::uint64_t offset,
                      std::uint64_t t, std::int64_t& value)
{
    if (t == 8 || t == 9) {
        value = t == 9 ? 1 : 0;
        return true;
    }
    if (t < 1 || t > 6)
        return false;
    const std::uint64_t size = SerialTypeSize(t);
    if (!FitsIn(dataLength, offset, size))
        return false;
    const std::uint64_t raw = LoadBigEndian(record + offset, size);
    // Sign-extend from the value's own width.
    const unsigned shift = static_cast<unsigned>(64 - 8 * size);
    value = static_cast<std::int64_t>(raw << shift) >> shift;
    return true;
}

void AppendValueText(std::u16string& out, const std::uint8_t* record, std::uint64_t dataLength,
                     std::uint64_t offset, std::uint64_t t, std::uint32_t encoding)
{
    AppendValue(out, record, dataLength, offset, t, encoding, false);
}

int DecodeRecord(const std::uint8_t* record, CSqliteParser& parser, DbInfo& db,
                 std::uint32_t dataLength, std::uint32_t pageNumber, int sizeLength,
                 int rowidLength, std::int64_t rowid)
{
    std::uint64_t headerSize = 0;
    std::int32_t headerSizeLength = static_cast<std::int32_t>(std::min<std::uint32_t>(dataLength, 9));
    if (ReadVarint(record, headerSizeLength, headerSize) != 0) {
        PostLog(parser.m_hLogWnd, u"error",
                WideFormat(u"节点%I32u-最后%d数据转化失败",
                           {pageNumber, static_cast<long long>(dataLength) - sizeLength - rowidLength}),
                kLogError);
        return -1;
    }
    if (headerSize < static_cast<std::uint64_t>(headerSizeLength)) {
        PostLog(parser.m_hLogWnd, u"error",
                WideFormat(u"节点%I32u-最后%d数据字段集长度错误", {pageNumber, dataLength}),
                kLogError);
        return -1;
    }
    thread_local std::vector<std::uint64_t> types;
    if (ReadSerialTypes(record + headerSizeLength, headerSize - headerSizeLength,
                        dataLength - headerSizeLength, types) != 0) {
        PostLog(parser.m_hLogWnd, u"error",
                WideFormat(u"节点%I32u-最后%d数据获取字段集偏移列表失败", {pageNumber, dataLength}),
                kLogError);
        return -1;
    }
    if (parser.m_bSchemaMode)
        DecodeSchemaRecord(db, record, dataLength, headerSize, types);
    else if (parser.m_pTable == nullptr || !RowWanted(parser, db, record, dataLength, headerSize, types, rowid))
        return 0;
    else if (parser.m_pRowSink != nullptr && parser.m_pRowSink->Utf8RowLayout() != nullptr)
        DecodeTableRecordUtf8(parser, db, record, dataLength, headerSize, types, rowid);
    else if (parser.m_pRowSink == nullptr && parser.m_pTable->recordColumns.empty() &&
             (parser.m_bPackHeldValues
                  ? DecodeTableRecordInPlace<PackingCursor>(parser, db, record, dataLength,
                                                            headerSize, types, rowid)
                  : DecodeTableRecordInPlace<Utf8Cursor>(parser, db, record, dataLength,
                                                         headerSize, types, rowid)))
        return 0;
    else if (parser.m_pRowSink == nullptr || parser.m_pRowSink->TakesUtf8())
        DecodeTableRecord<std::string>(parser, db, record, dataLength, headerSize, types, rowid);
    else
        DecodeTableRecord<std::u16string>(parser, db, record, dataLength, headerSize, types, rowid);
    return 0;
}
