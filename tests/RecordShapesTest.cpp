// The shapes a deleted cell leaves its record in, read from hand-built
// pages: each shape as the last freed cell of a page of 512 and of 65536
// bytes, in every text encoding, and the same bytes with a control
// character in the text, which no shape may take.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "records/RecordDecoder.h"
#include "records/SchemaCatalogue.h"
#include "recover/RecordShapes.h"

namespace {

// kNumbersFirstLost: a table of numbers only whose lost first value is a
// millisecond time (six bytes: serial type 5).
enum class Shape { kWholeCell, kHeaderWhole, kHeaderSizeLost, kFirstTypeLost, kPartial, kNumbersFirstLost };

struct ShapeCase {
    Shape shape;
    std::uint32_t pageSize;
    std::uint32_t encoding;
    bool broken;  // a control character in the text, or a real no phone keeps
};

void PrintTo(const ShapeCase& c, std::ostream* out)
{
    *out << "shape " << static_cast<int>(c.shape) << ", page " << c.pageSize << ", encoding " << c.encoding
         << (c.broken ? ", control character" : "");
}

std::vector<std::uint8_t> Varint(std::uint64_t v)
{
    std::vector<std::uint8_t> out{static_cast<std::uint8_t>(v & 0x7F)};
    for (v >>= 7; v != 0; v >>= 7)
        out.insert(out.begin(), static_cast<std::uint8_t>(0x80 | (v & 0x7F)));
    return out;
}

// A value as stored: serial type, bytes, and the text a read shows.
struct Value {
    std::uint64_t type;
    std::vector<std::uint8_t> bytes;
    std::u16string shown;
};

Value Text(std::u16string_view text, std::uint32_t encoding)
{
    Value v{0, {}, std::u16string(text)};
    for (char16_t c : text) {
        if (encoding == kUtf8 && c < 0x80) {
            v.bytes.push_back(static_cast<std::uint8_t>(c));
        } else if (encoding == kUtf8) {  // the test texts stay in the BMP
            v.bytes.push_back(static_cast<std::uint8_t>(0xE0 | (c >> 12)));
            v.bytes.push_back(static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F)));
            v.bytes.push_back(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
        } else {
            const bool bigEndian = encoding == kUtf16be;
            v.bytes.push_back(static_cast<std::uint8_t>(bigEndian ? c >> 8 : c & 0xFF));
            v.bytes.push_back(static_cast<std::uint8_t>(bigEndian ? c & 0xFF : c >> 8));
        }
    }
    v.type = 13 + 2 * v.bytes.size();
    return v;
}

// A real as stored: eight bytes, big-endian.
Value Real(double value, std::u16string shown)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    Value v{7, {}, std::move(shown)};
    for (int k = 7; k >= 0; --k)
        v.bytes.push_back(static_cast<std::uint8_t>(bits >> (8 * k)));
    return v;
}

const Value kNull{0, {}, u""};
const Value kDate{4, {0x5F, 0x5E, 0x10, 0x00}, u"1600000000"};

// The table each shape is read against, and the values of its record: the
// first type lost is only guessed for a table without a rowid column first,
// and a partial record must keep half its columns.
const char16_t* SqlOf(Shape shape)
{
    switch (shape) {
    case Shape::kFirstTypeLost: return u"CREATE TABLE m(body TEXT, date INTEGER)";
    case Shape::kPartial: return u"CREATE TABLE m(id INTEGER PRIMARY KEY, body TEXT, address TEXT, date INTEGER)";
    case Shape::kNumbersFirstLost: return u"CREATE TABLE s(ts INTEGER, lat REAL, lon REAL, acc INTEGER)";
    default: return u"CREATE TABLE m(id INTEGER PRIMARY KEY, body TEXT, date INTEGER)";
    }
}

std::vector<Value> ValuesOf(const ShapeCase& c)
{
    const Value body = Text(c.broken ? u"see you \x01 明天" : u"see you at 5 明天", c.encoding);
    switch (c.shape) {
    case Shape::kFirstTypeLost: return {body, kDate};
    case Shape::kPartial: return {kNull, body, Text(u"+8613800138000", c.encoding), kDate};
    case Shape::kNumbersFirstLost:
        return {{5, {0x01, 0x74, 0x87, 0x6E, 0x80, 0x7B}, u"1600000000123"},
                c.broken ? Real(3.5e300, u"") : Real(52.520008, u"52.520008"), Real(13.404954, u"13.404954"),
                {1, {42}, u"42"}};
    default: return {kNull, body, kDate};
    }
}

// The rowid whose varint, after a one-byte payload size, puts the record
// header s bytes into the cell: s = 4, 3 and 2 for the freeblock shapes.
std::uint64_t RowidOf(Shape shape)
{
    switch (shape) {
    case Shape::kHeaderSizeLost: return 200;
    case Shape::kFirstTypeLost:
    case Shape::kNumbersFirstLost: return 5;
    default: return 20000;
    }
}

// Accepts only the end the record really had.
class CExactEnd : public CRecordEnds {
public:
    explicit CExactEnd(std::uint32_t end) : m_end(end) {}
    bool EndsCleanly(const RecoverSchema&, std::uint32_t end, std::uint32_t, bool, bool) override
    {
        return end == m_end;
    }

private:
    std::uint32_t m_end;
};

class RecordShapeTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(RecordShapeTest, ReadsTheRecordAFreedCellLeaves)
{
    const ShapeCase c = GetParam();
    TableInfo table;
    ParseCreateTable(SqlOf(c.shape), table);
    const RecoverSchema schema = SchemaOf(table, true);
    const std::vector<Value> values = ValuesOf(c);
    // The cell: payload size, rowid, record header, values; the last one on the page.
    std::vector<std::uint8_t> header, body;
    for (const Value& v : values) {
        const auto type = Varint(v.type);
        header.insert(header.end(), type.begin(), type.end());
        body.insert(body.end(), v.bytes.begin(), v.bytes.end());
    }
    header.insert(header.begin(), static_cast<std::uint8_t>(header.size() + 1));
    std::vector<std::uint8_t> cell = Varint(header.size() + body.size());
    const auto rowid = Varint(RowidOf(c.shape));
    cell.insert(cell.end(), rowid.begin(), rowid.end());
    cell.insert(cell.end(), header.begin(), header.end());
    cell.insert(cell.end(), body.begin(), body.end());
    const bool firstLost = c.shape == Shape::kFirstTypeLost || c.shape == Shape::kNumbersFirstLost;
    ASSERT_EQ(cell.size() - header.size() - body.size(), firstLost ? 2u
                                                          : c.shape == Shape::kHeaderSizeLost ? 3u : 4u);
    std::vector<std::uint8_t> page(c.pageSize, 0);
    const std::uint32_t f = c.pageSize - static_cast<std::uint32_t>(cell.size());
    std::copy(cell.begin(), cell.end(), page.begin() + f);
    if (c.shape != Shape::kWholeCell) {
        // The freeblock header: no next freeblock, the cell's size.
        page[f] = page[f + 1] = 0;
        page[f + 2] = static_cast<std::uint8_t>(cell.size() >> 8);
        page[f + 3] = static_cast<std::uint8_t>(cell.size());
    }
    // A newer cell took the partial record's last value.
    const std::uint32_t limit = c.shape == Shape::kPartial ? c.pageSize - 4 : c.pageSize;
    if (c.shape == Shape::kPartial)
        std::fill(page.begin() + limit, page.end(), 0xAA);
    const PageBytes bytes{page.data(), c.pageSize, c.encoding};
    CExactEnd ends(c.pageSize);
    RecordParse parse;
    bool read = false;
    switch (c.shape) {
    case Shape::kWholeCell:
        read = ParseCell(bytes, f, limit, schema.affinity.size(), parse) && FinishCell(bytes, schema, parse, limit);
        break;
    case Shape::kHeaderWhole: read = ReadWholeHeader(bytes, schema, f, 4, limit, parse); break;
    case Shape::kHeaderSizeLost: read = ReadHeaderSizeLost(bytes, schema, f, limit, parse); break;
    case Shape::kFirstTypeLost:
    case Shape::kNumbersFirstLost: read = ReadFirstTypeLost(bytes, schema, f, limit, ends, parse); break;
    case Shape::kPartial: read = ReadPartialHead(bytes, schema, f, limit, true, parse); break;
    }
    ASSERT_EQ(read, !c.broken);
    if (c.broken)
        return;
    EXPECT_EQ(parse.end, limit);
    EXPECT_EQ(parse.partial, c.shape == Shape::kPartial);
    EXPECT_EQ(parse.rowid.has_value(), c.shape == Shape::kWholeCell);
    ASSERT_EQ(parse.types.size(), values.size());
    std::uint64_t at = parse.bodyStart;
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(parse.types[i], values[i].type) << "value " << i;
        const std::uint64_t size = SerialTypeSize(parse.types[i]);
        if (at + size <= limit) {
            std::u16string shown;
            AppendValueText(shown, page.data(), limit, at, parse.types[i], c.encoding);
            EXPECT_TRUE(shown == values[i].shown) << "value " << i;
        }
        at += size;
    }
}

std::vector<ShapeCase> AllCases()
{
    std::vector<ShapeCase> cases;
    for (Shape shape : {Shape::kWholeCell, Shape::kHeaderWhole, Shape::kHeaderSizeLost,
                        Shape::kFirstTypeLost, Shape::kPartial, Shape::kNumbersFirstLost})
        for (std::uint32_t pageSize : {512u, 65536u})
            for (std::uint32_t encoding : {kUtf8, kUtf16le, kUtf16be})
                for (bool broken : {false, true})
                    cases.push_back({shape, pageSize, encoding, broken});
    return cases;
}

std::string CaseName(const ::testing::TestParamInfo<ShapeCase>& info)
{
    static const char* const kShapes[] = {"WholeCell", "HeaderWhole", "HeaderSizeLost", "FirstTypeLost",
                                          "Partial", "NumbersFirstLost"};
    static const char* const kEncodings[] = {"", "Utf8", "Utf16le", "Utf16be"};
    const ShapeCase& c = info.param;
    return std::string(kShapes[static_cast<int>(c.shape)]) + "_" + std::to_string(c.pageSize) + "_" +
           kEncodings[c.encoding] + (c.broken ? "_ControlCharacter" : "");
}

INSTANTIATE_TEST_SUITE_P(Shapes, RecordShapeTest, ::testing::ValuesIn(AllCases()), CaseName);

}  // namespace
