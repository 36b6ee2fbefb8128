#include "RecordOrder.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <thread>

namespace {

// A value's sort key: empty text first, then numbers by value, then other
// text by code point.
struct SortKey {
    std::uint8_t rank = 0;  // 0 empty, 1 number, 2 text
    bool isInteger = false;
    std::int64_t integer = 0;
    double real = 0;
};

SortKey KeyOf(std::string_view text)
{
    SortKey key;
    if (text.empty())
        return key;
    key.rank = 2;
    char ascii[64];
    if (text.size() >= sizeof ascii)
        return key;
    // Only digits, signs, point and exponent: "inf" or "nan" stay text.
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E'))
            return key;
        ascii[i] = c;
    }
    const char* end = ascii + text.size();
    const char* begin = ascii[0] == '+' ? ascii + 1 : ascii;
    std::int64_t integer = 0;
    auto parsed = std::from_chars(begin, end, integer);
    if (parsed.ec == std::errc() && parsed.ptr == end) {
        key.rank = 1;
        key.isInteger = true;
        key.integer = integer;
        key.real = static_cast<double>(integer);
        return key;
    }
    double real = 0;
    auto parsedReal = std::from_chars(begin, end, real);
    if (parsedReal.ec == std::errc() && parsedReal.ptr == end) {
        key.rank = 1;
        key.real = real;
    }
    return key;
}

// UTF-8 orders byte by byte exactly as its code points do (std::string_view
// compares bytes as unsigned), so text compares as plain bytes.
int CompareText(std::string_view a, std::string_view b) { return a.compare(b); }

// A number's sort key and its row, in 16 bytes: a million rows sort on
// 16 MB of keys.
struct NumberKey {
    std::uint64_t bits;  // the integer, or the real's bits
    std::uint32_t index;  // in m_rows
    bool isInteger;
    std::int64_t Integer() const { return static_cast<std::int64_t>(bits); }
    double Real() const { return std::bit_cast<double>(bits); }
};

NumberKey MakeNumberKey(const SortKey& key, std::uint32_t index)
{
    const std::uint64_t bits =
        key.isInteger ? static_cast<std::uint64_t>(key.integer) : std::bit_cast<std::uint64_t>(key.real);
    return {bits, index, key.isInteger};
}

int CompareNumbers(const NumberKey& a, const NumberKey& b)
{
    if (a.isInteger && b.isInteger)
        return a.Integer() < b.Integer() ? -1 : (a.Integer() > b.Integer() ? 1 : 0);
    // An integer against a real: long double holds every 64-bit integer.
    const long double x = a.isInteger ? static_cast<long double>(a.Integer()) : a.Real();
    const long double y = b.isInteger ? static_cast<long double>(b.Integer()) : b.Real();
    return x < y ? -1 : (x > y ? 1 : 0);
}

// A text value by its first eight bytes, packed big-endian into two words
// that order as the text does, and its row: 12 bytes a row.
struct TextKey {
    std::uint32_t high;
    std::uint32_t low;
    std::uint32_t index;  // in m_rows
    std::uint64_t Prefix() const { return (std::uint64_t{high} << 32) | low; }
};

constexpr std::size_t kPrefixBytes = 8;

TextKey MakeTextKey(std::string_view text, std::uint32_t index)
{
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < kPrefixBytes; ++i)
        prefix = (prefix << 8) | (i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0u);
    return {static_cast<std::uint32_t>(prefix >> 32), static_cast<std::uint32_t>(prefix), index};
}

std::string_view ValueOf(const CTableRows& rows, std::uint32_t index, int column,
                         CTableRows::Scratch& scratch)
{
    return rows.Text(index, column, scratch);
}

// The place of a row (its index in m_tableRows) in the shown walk order:
// live rows last read first, then the recovered ones. Sorting breaks ties
// by it, which orders equal values as a stable sort would, in place,
// without a stable sort's buffer the size of the list.
struct ShownPlace {
    std::size_t liveShown;
    std::size_t liveCount;
    std::size_t operator()(std::uint32_t index) const
    {
        return index < liveShown ? liveShown - 1 - index : liveShown + (index - liveCount);
    }
};

// Lists this long are sorted on two processors: below it a thread costs
// more than it saves.
constexpr std::size_t kTwoThreadKeys = 1 << 16;

// Runs work(0) and work(1): the second on a thread of its own when `share`,
// otherwise both here.
template <typename Work>
void InTwoParts(bool share, const Work& work)
{
    if (!share) {
        work(0);
        work(1);
        return;
    }
    std::thread second([&work] { work(1); });
    work(0);
    second.join();
}

// std::sort on two processors: the keys are split around their middle
// one (every key before it orders first), and each side sorted on its own.
template <typename Key, typename Before>
void SortKeys(std::vector<Key>& keys, const Before& before)
{
    if (keys.size() < kTwoThreadKeys) {
        std::sort(keys.begin(), keys.end(), before);
        return;
    }
    const auto middle = keys.begin() + static_cast<std::ptrdiff_t>(keys.size() / 2);
    std::nth_element(keys.begin(), middle, keys.end(), before);
    InTwoParts(true, [&](int part) {
        if (part == 0)
            std::sort(keys.begin(), middle, before);
        else
            std::sort(middle, keys.end(), before);
    });
}

// A text of a run and its row.
using RunText = std::pair<std::string_view, std::uint32_t>;

// Eight bytes of a text from `offset` on, big-endian and padded with zeros,
// with how many of them the text holds: ordering by both orders as the
// texts do from `offset` on, as far as eight bytes go (a shorter text that
// ends in the word orders before a longer one padded alike).
struct ChunkKey {
    std::uint64_t chunk;
    std::uint32_t item;  // in the run
    std::uint32_t count;
};

ChunkKey MakeChunkKey(std::string_view text, std::size_t offset, std::uint32_t item)
{
    const std::size_t count = offset < text.size() ? std::min<std::size_t>(8, text.size() - offset) : 0;
    std::uint64_t chunk = 0;
    if (count == 8) {
        std::memcpy(&chunk, text.data() + offset, 8);
        if constexpr (std::endian::native == std::endian::little)
            chunk = __builtin_bswap64(chunk);
    } else {
        for (std::size_t i = 0; i < 8; ++i)
            chunk = (chunk << 8) | (i < count ? static_cast<std::uint8_t>(text[offset + i]) : 0u);
    }
    return {chunk, item, static_cast<std::uint32_t>(count)};
}

// Runs shorter than this are sorted by comparing their texts.
constexpr std::size_t kChunkSortRun = 32;

// Sorts `run`, whose texts agree before `offset` and which is in shown
// order, by the texts from `offset` on, ties in shown order. A long run is
// sorted eight bytes at a time on compact keys, and each run of equal words
// again from the next word: the texts are read once a level, not once a
// comparison. A run of equal words comes out in shown order, as it went in.
void SortRunFrom(std::vector<RunText>::iterator first, std::vector<RunText>::iterator last,
                 std::size_t offset, bool ascending)
{
    const auto size = static_cast<std::size_t>(last - first);
    if (size < kChunkSortRun) {
        std::stable_sort(first, last, [offset, ascending](const RunText& a, const RunText& b) {
            const std::size_t from = std::min<std::size_t>({offset, a.first.size(), b.first.size()});
            const int c = CompareText(a.first.substr(from), b.first.substr(from));
            return ascending ? c < 0 : c > 0;
        });
        return;
    }
    std::vector<ChunkKey> keys;
    keys.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        keys.push_back(MakeChunkKey(first[static_cast<std::ptrdiff_t>(i)].first, offset,
                                    static_cast<std::uint32_t>(i)));
    const auto same = [](const ChunkKey& a, const ChunkKey& b) {
        return a.chunk == b.chunk && a.count == b.count;
    };
    std::sort(keys.begin(), keys.end(), [&same, ascending](const ChunkKey& a, const ChunkKey& b) {
        if (!same(a, b)) {
            const bool less = a.chunk != b.chunk ? a.chunk < b.chunk : a.count < b.count;
            return ascending ? less : !less;
        }
        return a.item < b.item;
    });
    std::vector<RunText> sorted;
    sorted.reserve(size);
    for (const ChunkKey& key : keys)
        sorted.push_back(first[key.item]);
    std::copy(sorted.begin(), sorted.end(), first);
    // Texts that filled the word may still differ further on; shorter ones
    // are equal to the end and already in shown order.
    for (std::size_t i = 0; i < size;) {
        std::size_t end = i + 1;
        while (end < size && same(keys[end], keys[i]))
            ++end;
        if (end - i > 1 && keys[i].count == 8)
            SortRunFrom(first + static_cast<std::ptrdiff_t>(i), first + static_cast<std::ptrdiff_t>(end),
                        offset + 8, ascending);
        i = end;
    }
}

// Sorts each run of equal prefixes in [first, last) by the rest of its
// texts, looked up once per run. Equal prefixes may hide a shorter text
// padded with zeros, so a run is sorted again from its first byte.
void SortPrefixRuns(std::vector<TextKey>::iterator first, std::vector<TextKey>::iterator last,
                    const CTableRows& rows, int column, bool ascending)
{
    std::vector<RunText> run;
    std::deque<std::string> written;  // texts written out of packed values
    while (first != last) {
        auto end = first + 1;
        while (end != last && end->Prefix() == first->Prefix())
            ++end;
        if (end - first > 1) {
            run.clear();
            written.clear();
            // A stored text stays in the rows through the sort; a text
            // written out of a packed value (a blob's hexadecimal) is kept
            // here for the run.
            CTableRows::Scratch scratch;
            for (auto key = first; key != end; ++key) {
                std::string_view value = ValueOf(rows, key->index, column, scratch);
                const std::less<const char*> before;
                if (!before(value.data(), scratch) && before(value.data(), scratch + sizeof scratch))
                    value = written.emplace_back(value);
                run.emplace_back(value, key->index);
            }
            // The prefix sort left the run in shown order.
            SortRunFrom(run.begin(), run.end(), 0, ascending);
            for (std::size_t i = 0; i < run.size(); ++i)
                first[static_cast<std::ptrdiff_t>(i)].index = run[i].second;
        }
        first = end;
    }
}

// Sort of text keys, ties in shown order: by prefix over the whole list,
// then each run of equal prefixes by the rest of its texts. The runs are
// shared between two processors at the run boundary nearest the middle.
void SortTexts(std::vector<TextKey>& texts, const CTableRows& rows, int column, bool ascending,
               const ShownPlace& place)
{
    SortKeys(texts, [ascending, &place](const TextKey& a, const TextKey& b) {
        if (a.Prefix() != b.Prefix())
            return ascending ? a.Prefix() < b.Prefix() : b.Prefix() < a.Prefix();
        return place(a.index) < place(b.index);
    });
    auto split = texts.begin() + static_cast<std::ptrdiff_t>(texts.size() / 2);
    while (split != texts.begin() && split != texts.end() && split->Prefix() == (split - 1)->Prefix())
        ++split;
    InTwoParts(texts.size() >= kTwoThreadKeys, [&](int part) {
        if (part == 0)
            SortPrefixRuns(texts.begin(), split, rows, column, ascending);
        else
            SortPrefixRuns(split, texts.end(), rows, column, ascending);
    });
}

}  // namespace

std::vector<std::uint32_t> SortedRecordOrder(const CTableRows& rows, std::size_t liveShown,
                                             std::size_t recoveredShown, int column, bool ascending)
{
    std::vector<std::uint32_t> order;
    liveShown = std::min(liveShown, rows.LiveCount());
    recoveredShown = std::min(recoveredShown, rows.RecoveredCount());
    const std::size_t shown = liveShown + recoveredShown;
    // The rows split into empty values (kept in the shown order, last read
    // first), numbers and text; equal values keep the shown order. Each kind is then sorted on its own compact keys; text
    // goes back to the rows only where the first eight bytes tie.
    std::vector<std::uint32_t> empty;
    std::vector<NumberKey> numbers;
    std::vector<TextKey> texts;
    // Room for every shown row in each kind: the pages a kind never fills
    // are never touched, and the list grows without copies.
    numbers.reserve(shown);
    texts.reserve(shown);
    CTableRows::Scratch scratch;
    for (std::size_t r = 0; r < shown; ++r) {
        const auto index = static_cast<std::uint32_t>(
            r < liveShown ? liveShown - 1 - r : rows.LiveCount() + (r - liveShown));
        const std::string_view value = ValueOf(rows, index, column, scratch);
        const SortKey key = KeyOf(value);
        if (key.rank == 0)
            empty.push_back(index);
        else if (key.rank == 1)
            numbers.push_back(MakeNumberKey(key, index));
        else
            texts.push_back(MakeTextKey(value, index));
    }
    const ShownPlace place{liveShown, rows.LiveCount()};
    SortKeys(numbers, [ascending, &place](const NumberKey& a, const NumberKey& b) {
        const int c = CompareNumbers(a, b);
        if (c != 0)
            return ascending ? c < 0 : c > 0;
        return place(a.index) < place(b.index);
    });
    SortTexts(texts, rows, column, ascending, place);
    order.reserve(shown);
    const auto addEmpty = [&] { order.insert(order.end(), empty.begin(), empty.end()); };
    const auto addNumbers = [&] {
        for (const NumberKey& key : numbers)
            order.push_back(key.index);
    };
    const auto addTexts = [&] {
        for (const TextKey& key : texts)
            order.push_back(key.index);
    };
    if (ascending) {
        addEmpty();
        addNumbers();
        addTexts();
    } else {
        addTexts();
        addNumbers();
        addEmpty();
    }
    return order;
}
