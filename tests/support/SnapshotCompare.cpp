#include "support/SnapshotCompare.h"

#include <algorithm>
#include <set>

#include "platform/TextConvert.h"

std::string NameOf(const TableSnapshot& table) { return WideToUtf8(table.name); }

::testing::AssertionResult SameSchema(const DbSnapshot& engine, const DbSnapshot& oracle)
{
    std::multiset<std::u16string> engineNames, oracleNames;
    for (const TableSnapshot& table : engine.tables)
        engineNames.insert(table.name);
    for (const TableSnapshot& table : oracle.tables)
        oracleNames.insert(table.name);
    if (engineNames != oracleNames) {
        auto result = ::testing::AssertionFailure() << "table lists differ; engine:";
        for (const auto& name : engineNames)
            result << " [" << WideToUtf8(name) << "]";
        result << " sqlite3:";
        for (const auto& name : oracleNames)
            result << " [" << WideToUtf8(name) << "]";
        return result;
    }
    for (const TableSnapshot& expected : oracle.tables) {
        const TableSnapshot* actual = engine.Find(expected.name);
        if (expected.isVirtual && expected.columns.empty())
            continue;  // a module the oracle library lacks
        if (actual->rootPage != expected.rootPage)
            return ::testing::AssertionFailure()
                   << NameOf(expected) << ": root page " << actual->rootPage << " vs "
                   << expected.rootPage;
        if (actual->columns != expected.columns) {
            auto result = ::testing::AssertionFailure() << NameOf(expected) << ": columns differ; engine:";
            for (const auto& column : actual->columns)
                result << " [" << WideToUtf8(column.name) << ":" << WideToUtf8(column.type) << "]";
            result << " sqlite3:";
            for (const auto& column : expected.columns)
                result << " [" << WideToUtf8(column.name) << ":" << WideToUtf8(column.type) << "]";
            return result;
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameRows(const std::vector<DisplayRow>& engine,
                                    const std::vector<DisplayRow>& oracle)
{
    std::vector<DisplayRow> a = engine, b = oracle;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    if (a == b)
        return ::testing::AssertionSuccess();
    std::vector<DisplayRow> onlyEngine, onlyOracle;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(onlyEngine));
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(onlyOracle));
    auto result = ::testing::AssertionFailure()
                  << "rows differ: engine " << a.size() << ", sqlite3 " << b.size() << "; "
                  << onlyEngine.size() << " only in the engine, " << onlyOracle.size()
                  << " only in sqlite3";
    for (std::size_t i = 0; i < onlyEngine.size() && i < 4; ++i)
        result << "\n  engine:  " << RowToUtf8(onlyEngine[i]);
    for (std::size_t i = 0; i < onlyOracle.size() && i < 4; ++i)
        result << "\n  sqlite3: " << RowToUtf8(onlyOracle[i]);
    return result;
}
