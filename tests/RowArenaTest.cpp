// The arena a table read keeps its rows in: every row comes back exactly as
// appended, whatever width its end offsets take, across chunk and index
// boundaries, and clear() leaves an arena that fills again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/RowArena.h"

namespace {

// A row of `values`, appended as the decoder appends one: whole, or
// written in place into a claim with room to spare (the texts then move
// down behind narrower end offsets).
void Append(RowArena& arena, const std::vector<std::string>& values, bool inPlace = false)
{
    std::string joined;
    std::vector<std::uint32_t> ends;
    for (const std::string& value : values) {
        joined += value;
        ends.push_back(static_cast<std::uint32_t>(joined.size()));
    }
    if (!inPlace || joined.size() + 64 > RowArena::kMaxClaim) {
        arena.emplace_back(joined, ends);
        return;
    }
    char* text = arena.ClaimRow(ends.size(), joined.size() + 64);
    joined.copy(text, joined.size());
    arena.CommitRow(text + joined.size(), ends);
}

void ExpectRow(const RowValues& row, const std::vector<std::string>& values)
{
    ASSERT_EQ(row.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(row[i], values[i]) << "value " << i;
}

}  // namespace

TEST(RowArenaTest, RowsComeBackAsAppended)
{
    // Text lengths on both sides of each end-offset width, empty values,
    // a row with no values, UTF-8 text and a row larger than a quarter
    // chunk (a chunk of its own, the rows after it back in the shared one).
    const std::vector<std::vector<std::string>> kinds = {
        {},
        {"", "", ""},
        {"a", std::string(254, 'b')},
        {"a", std::string(254, 'b'), "c"},
        {std::string(0xFFFF, 'd')},
        {std::string(0xFFFF, 'd'), "e"},
        {"\xF0\x9F\x98\x80", std::string(2 << 20, 'f'), "g"},
        {"h", "\xE4\xBD\xA0\xE5\xA5\xBD"},
    };
    // Enough rows to cross several chunks and index blocks; the two
    // largest kinds only now and then.
    std::vector<std::size_t> appended;
    for (std::size_t i = 0; i < 80000; ++i) {
        const std::size_t kind = i % kinds.size();
        appended.push_back(kind < 4 || kind == 7 || i % 20000 < kinds.size() ? kind : 1);
    }
    RowArena arena;
    for (std::size_t row = 0; row < appended.size(); ++row)
        Append(arena, kinds[appended[row]], row % 3 != 0);
    ASSERT_EQ(arena.size(), appended.size());
    std::size_t i = 0;
    for (const RowValues row : arena)
        ExpectRow(row, kinds[appended[i++]]);
    EXPECT_EQ(i, arena.size());
    EXPECT_EQ(arena[7].Wide(1), u"\u4F60\u597D");

    arena.clear();
    EXPECT_TRUE(arena.empty());
    EXPECT_TRUE(arena.begin() == arena.end());
    Append(arena, kinds[3]);
    ExpectRow(arena[0], kinds[3]);
}
