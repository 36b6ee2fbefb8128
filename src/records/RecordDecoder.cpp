// Record decoding and the display rules for values.
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

#include <cstring>

#include "engine/ByteReader.h"
#include "engine/LogPost.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"
#include "records/SchemaCatalogue.h"
#include "records/Varint.h"

namespace {

// A blob shows as hexadecimal of this many leading bytes at most.
constexpr std::uint64_t kBlobPreviewBytes = 32;

void AppendBlob(std::u16string& out, const std::uint8_t* bytes, std::uint64_t available,
                std::uint64_t size)
{
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    const std::uint64_t shown = std::min({available, size, kBlobPreviewBytes});
    for (std::uint64_t i = 0; i < shown; ++i) {
        out.push_back(kHex[bytes[i] >> 4]);
        out.push_back(kHex[bytes[i] & 0x0F]);
    }
    if (size > kBlobPreviewBytes) {
        out += u"… (";
        AppendNumber(out, size);
        out += u" bytes)";
    }
}

// Builds the display row of a table record. Values are placed under their
// own column; for a WITHOUT ROWID table the record's order is mapped back to
// declaration order.
void DecodeTableRecord(CSqliteParser& parser, const DbInfo& db, const std::uint8_t* record,
                       std::uint64_t dataLength, std::uint64_t offset,
                       const std::vector<std::uint64_t>& types, std::int64_t rowid)
{
    const TableInfo& table = *parser.m_pTable;
    const std::size_t columnCount = table.columns.size();
    thread_local std::u16string joined;
    thread_local std::vector<std::uint32_t> ends;
    thread_local std::vector<std::u16string> placed;
    joined.clear();
    ends.clear();

    const bool mapped = !table.recordColumns.empty();
    const std::size_t count = mapped ? types.size() : std::min(types.size(), columnCount);
    if (mapped)
        placed.assign(columnCount, std::u16string());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t t = types[i];
        if (mapped) {
            if (i < table.recordColumns.size()) {
                const int column = table.recordColumns[i];
                AppendValueText(placed[column], record, dataLength, offset, t, db.textEncoding);
            }
        } else {
            if (t == 0 && static_cast<int>(i) == table.rowidAliasColumn)
                AppendNumber(joined, rowid);
            else
                AppendValueText(joined, record, dataLength, offset, t, db.textEncoding);
            ends.push_back(static_cast<std::uint32_t>(joined.size()));
        }
        const std::uint64_t size = SerialTypeSize(t);
        offset = size > UINT64_MAX - offset ? UINT64_MAX : offset + size;
    }
    if (mapped) {
        if (types.empty())
            return;
        for (const auto& text : placed) {
            joined += text;
            ends.push_back(static_cast<std::uint32_t>(joined.size()));
        }
    }
    if (ends.empty())
        return;
    if (parser.m_pRowSink != nullptr)
        parser.m_pRowSink->OnRow(joined, ends);
    else
        parser.m_rows.emplace_back(joined, ends);
}

}  // namespace

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
    if (encoding == kUtf16le || encoding == kUtf16be) {
        std::uint64_t units = 0;
        while (units < size / 2 && (bytes[2 * units] | bytes[2 * units + 1]) != 0)
            ++units;
        // An odd trailing byte only counts when no NUL character came first.
        const std::uint64_t take = units < size / 2 ? 2 * units : size;
        AppendUtf16AsWide(out, bytes, take, encoding == kUtf16be);
        return;
    }
    const void* nul = size == 0 ? nullptr : std::memchr(bytes, 0, size);
    const std::uint64_t take =
        nul ? static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(nul) - bytes) : size;
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
    std::int64_t integer = 0;
    if (ReadIntegerValue(record, dataLength, offset, t, integer)) {
        AppendNumber(out, integer);
        return;
    }
    if (t == 7) {
        if (!FitsIn(dataLength, offset, 8))
            return;
        const std::uint64_t bits = LoadBigEndian(record + offset, 8);
        double real;
        std::memcpy(&real, &bits, sizeof real);
        AppendNumber(out, real);
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
        AppendStoredText(out, bytes, std::min(size, available), encoding);
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
    else if (parser.m_pTable != nullptr)
        DecodeTableRecord(parser, db, record, dataLength, headerSize, types, rowid);
    return 0;
}
