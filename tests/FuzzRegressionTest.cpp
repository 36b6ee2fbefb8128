// Replays every input the fuzz targets once crashed, hung or ran out of
// memory on, through the very code the fuzz target runs. Each input must now
// finish quickly, and a damaged database must be reported in the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "engine/Globals.h"
#include "fuzz/FuzzHarness.h"

namespace {

namespace fs = std::filesystem;

// Far above what any kept input needs without sanitizers; the fuzzers
// themselves allow one second per input.
constexpr auto kTimeLimit = std::chrono::seconds(10);

std::vector<fs::path> RegressionInputs(const char* target)
{
    std::vector<fs::path> files;
    const fs::path dir = fs::path(SALVIX_SOURCE_DIR) / "tests/fuzz/regressions" / target;
    if (fs::is_directory(dir))
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

template <typename Run>
std::chrono::steady_clock::duration Timed(Run run)
{
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::steady_clock::now() - start;
}

TEST(FuzzRegressionTest, DatabaseInputsAreReportedAndFinish)
{
    const std::vector<fs::path> inputs = RegressionInputs("fuzz_database");
    ASSERT_FALSE(inputs.empty());
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.filename().string());
        const std::vector<std::uint8_t> bytes = ReadAll(input);
        ASSERT_FALSE(bytes.empty());
        HarnessCounts counts;
        const auto took = Timed([&] {
            counts = ExamineDatabase(WriteScratchFile(bytes.data(), bytes.size()));
        });
        EXPECT_LT(took, kTimeLimit);
        // Every kept input is a damaged database, and damage is logged.
        EXPECT_GT(counts.errors, 0u);
        // Output in proportion to the file, whatever cell counts the pages
        // claim and however many cells share one overflow chain: at most a
        // log line per byte, and a few display characters per byte (a
        // one-byte integer shows as up to four digits).
        EXPECT_LE(counts.lines, bytes.size() + 1000);
        EXPECT_LE(counts.textUnits, 8 * bytes.size() + 1000);
        EXPECT_TRUE(g_dbList.empty());
    }
}

// Peak resident memory of this process so far, in KiB.
long PeakKib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A database with its log or its rollback journal: each must finish quickly
// and cost memory in proportion to its bytes, whatever page numbers and
// counts its frames and headers claim.
TEST(FuzzRegressionTest, RecoverInputsFinishInBoundedMemory)
{
    for (const bool journal : {false, true}) {
        const std::vector<fs::path> inputs = RegressionInputs(journal ? "fuzz_journal" : "fuzz_recover");
        ASSERT_FALSE(inputs.empty());
        for (const fs::path& input : inputs) {
            SCOPED_TRACE(input.filename().string());
            const std::vector<std::uint8_t> bytes = ReadAll(input);
            const long before = PeakKib();
            const auto took = Timed([&] { RecoverFromInput(bytes.data(), bytes.size(), nullptr, journal); });
            EXPECT_LT(took, kTimeLimit);
            EXPECT_LT(PeakKib() - before, 64 * 1024);
        }
    }
}

// Each carver reports at most one hit per sector start, and a signature cut
// off by the end of the file is no hit.
TEST(FuzzRegressionTest, CarveInputsFinishWithOneHitPerSectorAtMost)
{
    const std::vector<fs::path> inputs = RegressionInputs("fuzz_carve");
    ASSERT_FALSE(inputs.empty());
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.filename().string());
        const std::vector<std::uint8_t> bytes = ReadAll(input);
        HarnessCounts counts;
        const auto took = Timed([&] { CarveFile(WriteScratchFile(bytes.data(), bytes.size()), counts); });
        EXPECT_LT(took, kTimeLimit);
        const std::size_t sectors = (bytes.size() + 511) / 512;
        EXPECT_LE(counts.scanResults, 3 * sectors);
        if (input.filename() == "jpeg-signatures-cut-at-the-end")
            EXPECT_EQ(counts.scanResults, 0u);
    }
}

// Damaged GIFs are refused or give only whole frames; which is which is
// fixed by their bytes.
TEST(FuzzRegressionTest, GifInputsLoadAsTheirBytesAllow)
{
    struct Expected {
        const char* name;
        bool loads;
    };
    const Expected expected[] = {
        {"colour-table-past-the-end", false},
        {"header-only", false},
        {"lzw-code-size-out-of-range", true},
    };
    const std::vector<fs::path> inputs = RegressionInputs("fuzz_gif");
    ASSERT_EQ(inputs.size(), std::size(expected));
    for (const Expected& want : expected) {
        SCOPED_TRACE(want.name);
        const std::vector<std::uint8_t> bytes =
            ReadAll(fs::path(SALVIX_SOURCE_DIR) / "tests/fuzz/regressions/fuzz_gif" / want.name);
        ASSERT_FALSE(bytes.empty());
        HarnessCounts counts;
        bool loaded = false;
        const auto took = Timed([&] { loaded = ParseGifData(bytes.data(), bytes.size(), counts); });
        EXPECT_LT(took, kTimeLimit);
        EXPECT_EQ(loaded, want.loads);
    }
}

}  // namespace
