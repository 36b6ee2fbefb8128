// The database carver: real databases of several page sizes and encodings
// planted at sector starts of random bytes, near misses, a database whose
// header does not state its size, one cut off by the end, and the
// `salvix-cli carve sqlite --extract` copies.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sys/wait.h>

#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "platform/TextConvert.h"
#include "records/Carver.h"
#include "records/CarverSqlite.h"
#include "support/SqliteOracle.h"
#include "support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint64_t kMiB = 1 << 20;

Bytes ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A database with an index, overflow chains and freed pages. `legacy`
// makes the header's page count untrustworthy, as writers before 3.7.0
// left it, so its length must come from the structure; the last page of
// such a file is a freelist page, the hardest to find.
Bytes MakeDb(const CTempDir& dir, std::uint32_t pageSize, const char* encoding, bool legacy)
{
    const std::string path = dir.File("db" + std::to_string(pageSize) + encoding);
    {
        auto db = CreateDatabase(path, DbLayout{pageSize, encoding});
        db->Exec("CREATE TABLE t(a INTEGER, b TEXT, c BLOB); CREATE INDEX tb ON t(b);"
                 "INSERT INTO t VALUES(1, '中文 text', randomblob(3000));"
                 "INSERT INTO t SELECT a + 1, b || a, randomblob(900) FROM t;"
                 "INSERT INTO t SELECT a + 2, b || a, randomblob(1200) FROM t;"
                 "CREATE TABLE gone(x); INSERT INTO gone VALUES(randomblob(5000)); DELETE FROM gone;");
    }
    Bytes bytes = ReadAll(path);
    if (legacy)
        bytes[95] ^= 0x55;  // version-valid-for no longer equals the change counter
    return bytes;
}

// Records hits as "sqlite OFFSET PAGESIZE SIZE" and log lines as "log TYPE".
class CRecorder : public CMessageTarget {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override
    {
        if (message == WM_SCAN_RESULT) {
            const auto& r = *reinterpret_cast<const ScanResult*>(wParam);
            events.push_back(WideToUtf8(r.type) + " " + std::to_string(r.offset) + " " +
                             std::to_string(r.pageSize) + " " + std::to_string(r.size));
        } else if (message == WM_LOG_MESSAGE) {
            events.push_back("log " + std::to_string(reinterpret_cast<const LogMessage*>(wParam)->type));
        }
        return 0;
    }
    std::vector<std::string> events;
};

class CarverSqliteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_bStop = 0;
        std::filesystem::create_directory(m_imageDir.File("out"));
        Bytes image(3 * kMiB);
        std::mt19937_64 random(42);
        for (auto& byte : image)
            byte = static_cast<std::uint8_t>(random());
        const auto plant = [&image](std::uint64_t offset, const Bytes& bytes, std::size_t count) {
            std::memcpy(image.data() + offset, bytes.data(), std::min(count, image.size() - offset));
        };
        m_planted = {{5 * 512, MakeDb(m_dbDir, 512, "UTF-8", true)},
                     {kMiB - 512, MakeDb(m_dbDir, 4096, "UTF-16le", false)},
                     {kMiB + kMiB / 2, MakeDb(m_dbDir, 65536, "UTF-16be", false)},
                     {3 * kMiB - 2048, MakeDb(m_dbDir, 1024, "UTF-8", false)}};
        for (const auto& [offset, bytes] : m_planted)
            plant(offset, bytes, bytes.size());
        // Near misses: a page size that is no power of two, a header one
        // sector-start off the grid, a wrong payload fraction.
        Bytes bad = m_planted[1].second;
        bad[16] = 0x0B;
        plant(2 * kMiB, bad, 100);
        plant(2 * kMiB + 512 + 8, m_planted[1].second, 100);
        bad = m_planted[1].second;
        bad[21] = 65;
        plant(2 * kMiB + 2048, bad, 100);
        m_image = m_imageDir.File("image.bin");
        std::ofstream(m_image, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                      static_cast<std::streamsize>(image.size()));
    }

    CTempDir m_dbDir, m_imageDir;
    std::string m_image;
    std::vector<std::pair<std::uint64_t, Bytes>> m_planted;
};

TEST_F(CarverSqliteTest, FindsEveryPlantedDatabaseWithItsLength)
{
    CRecorder results, log, progress;
    CSqliteParser parser;
    parser.m_hLogWnd = &log;
    parser.m_hProgressWnd = &progress;
    parser.m_hResultWnd = &results;
    CarveSqlite(parser, Widen(m_image));

    const auto hit = [this](int i, std::uint32_t pageSize, std::size_t size) {
        return "sqlite " + std::to_string(m_planted[i].first) + " " + std::to_string(pageSize) + " " +
               std::to_string(size);
    };
    EXPECT_EQ(results.events, (std::vector<std::string>{
                                  hit(0, 512, m_planted[0].second.size()),
                                  hit(1, 4096, m_planted[1].second.size()),
                                  hit(2, 65536, m_planted[2].second.size()),
                                  hit(3, 1024, 2048),  // only its first 2048 bytes are in the image
                              }));
    EXPECT_EQ(log.events, std::vector<std::string>{"log 2"});  // the cut-off warning
}

TEST_F(CarverSqliteTest, CliExtractsEachDatabaseByteForByteAndNeverOverwrites)
{
    const std::string out = m_imageDir.File("out");
    const auto run = [this](const std::string& dir, std::string* output) {
        const std::string command = std::string(SALVIX_CLI_PATH) + " carve sqlite --json --extract '" +
                                    dir + "' '" + m_image + "' 2>/dev/null";
        FILE* pipe = ::popen(command.c_str(), "r");
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output->append(buffer, got);
        const int status = ::pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string lines;
    ASSERT_EQ(run(out, &lines), 0);
    std::istringstream stream(lines);
    std::string line;
    for (std::size_t i = 0; i < m_planted.size(); ++i) {
        ASSERT_TRUE(std::getline(stream, line));
        const auto hit = nlohmann::json::parse(line);
        const auto& [offset, bytes] = m_planted[i];
        EXPECT_EQ(hit["index"], i + 1);
        EXPECT_EQ(hit["offset"], offset);
        const Bytes expected(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 3 * kMiB - offset));
        EXPECT_EQ(hit["size"], expected.size());
        EXPECT_TRUE(ReadAll(out + "/" + std::to_string(offset) + ".db") == expected) << offset;
    }
    EXPECT_FALSE(std::getline(stream, line));

    // A second run must not replace the copies, and the source's own folder
    // is refused before anything is written.
    const auto before = std::filesystem::last_write_time(out + "/2560.db");
    std::string ignored;
    EXPECT_EQ(run(out, &ignored), 1);
    EXPECT_EQ(std::filesystem::last_write_time(out + "/2560.db"), before);
    EXPECT_EQ(run(m_imageDir.Path(), &ignored), 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_imageDir.Path()), {}), 2);
}

}  // namespace
