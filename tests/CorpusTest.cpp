// Real phone databases: every table the engine lists, its columns and its
// rows must match what sqlite3 reads from the same file (opened read-only
// and immutable, so sqlite3 neither writes nor merges a write-ahead log).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "support/CorpusPath.h"
#include "support/EngineReader.h"
#include "support/PageFile.h"
#include "support/SnapshotCompare.h"
#include "support/SqliteOracle.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

const std::string kCorpus = RealCorpusDir();

// The database files of the corpus: everything but the write-ahead logs,
// their shared-memory indexes and the notes.
std::vector<std::string> CorpusDatabases()
{
    std::vector<std::string> files;
    if (kCorpus.empty())
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(kCorpus)) {
        if (!entry.is_regular_file())
            continue;
        const std::string name = entry.path().filename().string();
        const std::string ext = entry.path().extension().string();
        if (ext == ".tsv" || ext == ".md" || name.ends_with("-wal") || name.ends_with("-shm"))
            continue;
        files.push_back(fs::relative(entry.path(), kCorpus).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string CaseName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name;
    for (char c : info.param)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

class CorpusTest : public ::testing::TestWithParam<std::string> {};

// Compares a copy of `source` as read by the engine and by sqlite3.
void ExpectSameAsSqlite(const std::string& source)
{
    CTempDir dir;
    const std::string copy = dir.File("copy.db");
    CopyFile(source, copy);

    const DbSnapshot oracle = ReadWithSqlite(copy, true);
    CLogCollector log;
    const DbSnapshot engine = ReadWithEngine(copy, log);
    EXPECT_EQ(engine.pageSize, oracle.pageSize);
    EXPECT_FALSE(oracle.tables.empty());
    ASSERT_TRUE(SameSchema(engine, oracle));
    for (const TableSnapshot& expected : oracle.tables) {
        if (expected.isVirtual)
            continue;
        SCOPED_TRACE(NameOf(expected));
        EXPECT_TRUE(SameRows(engine.Find(expected.name)->rows, expected.rows));
    }
    EXPECT_TRUE(log.Errors().empty()) << log.Dump();
}

// The comparison below is only as good as the files it sees: a missing
// corpus is a failure, not a silent pass.
TEST(CorpusFiles, ArePresent)
{
    ASSERT_FALSE(kCorpus.empty()) << "set SALVIX_CORPUS_DIR to the real-database corpus";
    EXPECT_GE(CorpusDatabases().size(), 5u) << kCorpus;
}

TEST_P(CorpusTest, TablesColumnsAndRowsMatchSqlite)
{
    ExpectSameAsSqlite(std::string(kCorpus) + "/" + GetParam());
}

// The sample database shipped with the program reads like the real ones.
TEST(BundledSample, MatchesSqlite)
{
    const std::string sample = std::string(SALVIX_SOURCE_DIR) + "/samples/phone.db";
    if (!fs::exists(sample))
        GTEST_SKIP() << "run samples/make_sample.sh first";
    ExpectSameAsSqlite(sample);
}

INSTANTIATE_TEST_SUITE_P(Real, CorpusTest, ::testing::ValuesIn(CorpusDatabases()), CaseName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusTest);

}  // namespace
