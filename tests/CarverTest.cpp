// The picture and movie carvers, end to end on real files, and the
// `salvix-cli carve` command.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "platform/TextConvert.h"
#include "records/Carver.h"

namespace {

constexpr std::uint64_t kMiB = 1 << 20;
using Bytes = std::vector<std::uint8_t>;

Bytes Jpeg(std::uint8_t marker = 0xE0, const char* id = "JFIF", std::uint8_t zero = 0)
{
    Bytes b = {0xFF, 0xD8, 0xFF, marker, 0xFF, 0xFF};  // bytes 4-5 are not tested
    b.insert(b.end(), id, id + 4);
    b.push_back(zero);
    return b;
}

Bytes Movie(const char* major, const char* compatible)
{
    Bytes b = {0xDE, 0xAD, 0xBE, 0xEF, 'f', 't', 'y', 'p'};  // box size is not tested
    b.insert(b.end(), major, major + 4);
    b.insert(b.end(), {0x12, 0x34, 0x56, 0x78});
    b.insert(b.end(), compatible, compatible + 4);
    return b;
}

// Records every message of the three windows, in the order they arrive,
// as "range N", "pos N", "jpg OFFSET" or "log TYPE CAPTION TEXT".
class CRecordingWnd : public CMessageTarget {
public:
    explicit CRecordingWnd(std::vector<std::string>& events) : m_events(events) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override
    {
        std::uint64_t value = 0;
        if (message == WM_SCAN_RANGE || message == WM_SCAN_POS) {
            value = *reinterpret_cast<const std::uint32_t*>(wParam);
            if (recordPositions || message == WM_SCAN_RANGE)
                m_events.push_back((message == WM_SCAN_RANGE ? "range " : "pos ") + std::to_string(value));
        } else if (message == WM_SCAN_RESULT) {
            const auto& r = *reinterpret_cast<const ScanResult*>(wParam);
            m_events.push_back(WideToUtf8(r.type) + " " + std::to_string(r.offset));
        } else if (message == WM_LOG_MESSAGE) {
            const auto& log = *reinterpret_cast<const LogMessage*>(wParam);
            m_events.push_back("log " + std::to_string(log.type) + " " + WideToUtf8(log.caption) + " " +
                               WideToUtf8(log.text));
        } else {
            m_events.push_back("unexpected message " + std::to_string(message));
        }
        if (onMessage)
            onMessage(message, value);
        return 0;
    }
    std::function<void(UINT, std::uint64_t)> onMessage;
    bool recordPositions = true;

private:
    std::vector<std::string>& m_events;
};

class CarverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_bStop = 0;
        char pattern[] = "/tmp/salvix-carve-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        // Separate windows, so a message sent to the wrong one shows.
        m_parser.m_hLogWnd = &m_log;
        m_parser.m_hProgressWnd = &m_progress;
        m_parser.m_hResultWnd = &m_results;
        m_log.onMessage = m_results.onMessage = [this](UINT message, std::uint64_t) {
            if (message == WM_SCAN_RANGE || message == WM_SCAN_POS)
                m_events.push_back("message sent to the wrong window");
        };
    }
    void TearDown() override
    {
        g_bStop = 0;
        std::filesystem::remove_all(m_dir);
    }

    // A file of `size` filler bytes (never a signature) with `plants` put
    // at their offsets.
    std::string MakeFile(std::uint64_t size, const std::vector<std::pair<std::uint64_t, Bytes>>& plants)
    {
        Bytes data(size);
        for (std::uint64_t i = 0; i < size; ++i)
            data[i] = static_cast<std::uint8_t>(i * 131 + (i >> 9));
        for (const auto& [offset, bytes] : plants)
            std::memcpy(data.data() + offset, bytes.data(), bytes.size());
        const std::string path = m_dir + "/image" + std::to_string(++m_files);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        EXPECT_NE(out, nullptr);
        EXPECT_EQ(std::fwrite(data.data(), 1, data.size(), out), data.size());
        std::fclose(out);
        return path;
    }
    void CarveJpegs(const std::string& path) { CarveJpeg(m_parser, Widen(path)); }
    void CarveMovies(const std::string& path) { CarveMovie(Widen(path), m_parser); }

    std::string m_dir;
    int m_files = 0;
    std::vector<std::string> m_events;
    CRecordingWnd m_log{m_events}, m_progress{m_events}, m_results{m_events};
    CSqliteParser m_parser;
};

using Events = std::vector<std::string>;

TEST_F(CarverTest, ChunkAndTailBoundaries)
{
    // Shorter than a chunk: range 0, no position, only the tail's whole
    // sectors (the one at 512 has 488 bytes and is not examined).
    CarveJpegs(MakeFile(1000, {{0, Jpeg()}, {512, Jpeg()}}));
    EXPECT_EQ(m_events, (Events{"range 0", "jpg 0"}));

    // Exactly one chunk: no tail.
    m_events.clear();
    CarveJpegs(MakeFile(kMiB, {{0, Jpeg()}, {kMiB - 512, Jpeg()}}));
    EXPECT_EQ(m_events, (Events{"range 1", "pos 0", "jpg 0", "jpg 1048064"}));

    // One chunk and 700 bytes: one tail sector; the complete header in
    // the last 188 bytes is not examined.
    m_events.clear();
    CarveJpegs(MakeFile(kMiB + 700, {{kMiB, Jpeg()}, {kMiB + 512, Jpeg()}}));
    EXPECT_EQ(m_events, (Events{"range 1", "pos 0", "jpg 1048576"}));
}

TEST_F(CarverTest, JpegSignatures)
{
    const std::uint64_t c = kMiB;  // all in the second chunk
    CarveJpegs(MakeFile(2 * kMiB, {
        {c + 512, Jpeg(0xE0, "JFIF")},   {c + 1024, Jpeg(0xE1, "Exif")},
        {c + 1536, Jpeg(0xE2, "JFIF")},  {c + 2048, Jpeg(0xE8, "Exif")},
        {c + 2560, Jpeg(0xEB, "JFIF")},  {c + 3072, Jpeg(0xEE, "JFIF")},
        {c + 3584, Jpeg(0xFE, "Exif")},  {c + 4096, Jpeg(0xDB, "JFIF")},
        {c + 4608, Jpeg(0xC4, "Exif")},
        // Rejected: marker outside the set, identifier, missing zero, and
        // good headers one byte and 4 bytes off a sector start.
        {c + 5120, Jpeg(0xE3, "JFIF")},  {c + 5632, Jpeg(0xC0, "Exif")},
        {c + 6144, Jpeg(0xE0, "JFIX")},  {c + 6656, Jpeg(0xE1, "exif")},
        {c + 7168, Jpeg(0xE0, "JFIF", 1)},
        {c + 7680 + 1, Jpeg()},          {c + 8192 + 4, Jpeg()},
        {c + 8704, Movie("isom", "isom")},
    }));
    EXPECT_EQ(m_events, (Events{"range 2", "pos 0", "pos 1", "jpg 1049088", "jpg 1049600",
                                "jpg 1050112", "jpg 1050624", "jpg 1051136", "jpg 1051648",
                                "jpg 1052160", "jpg 1052672", "jpg 1053184"}));
}

TEST_F(CarverTest, MovieSignatures)
{
    const std::string path = MakeFile(8192, {
        {0, Movie("mp42", "mp42")},    {512, Movie("isom", "isom")},
        {1024, Movie("qt  ", "qt  ")}, {1536, Movie("qt  ", "mp42")},
        // Rejected brand pairs, box type, and a header off the sector grid.
        {2048, Movie("isom", "iso2")}, {2560, Movie("mp42", "isom")},
        {3072, Movie("qt  ", "isom")}, {3584, Movie("M4V ", "M4V ")},
        {4096, Movie("mp41", "mp41")}, {4608 + 2, Movie("isom", "isom")},
        {5120, Jpeg()},
    });
    CarveMovies(path);
    EXPECT_EQ(m_events, (Events{"range 0", "mp4 0", "mp4 512", "mov 1024", "mov 1536"}));
    // Each carver looks only for its own kind.
    m_events.clear();
    CarveJpegs(path);
    EXPECT_EQ(m_events, (Events{"range 0", "jpg 5120"}));
}

TEST_F(CarverTest, StopEndsTheScanAfterTheCurrentChunk)
{
    // Two hits in every chunk and one in the tail.
    const std::string path = MakeFile(3 * kMiB + 1024, {
        {0, Jpeg()}, {512, Jpeg()}, {kMiB, Jpeg()}, {kMiB + 512, Jpeg()},
        {2 * kMiB, Jpeg()}, {2 * kMiB + 512, Jpeg()}, {3 * kMiB + 512, Jpeg()}});
    const Events all = {"range 3", "pos 0", "jpg 0", "jpg 512", "pos 1", "jpg 1048576",
                        "jpg 1049088", "pos 2", "jpg 2097152", "jpg 2097664", "jpg 3146240"};
    const std::size_t lastEventOfChunk[] = {3, 6, 9};
    for (std::uint32_t stopAt = 0; stopAt < 3; ++stopAt) {
        SCOPED_TRACE(stopAt);
        g_bStop = 0;
        m_events.clear();
        m_progress.onMessage = [stopAt](UINT message, std::uint64_t index) {
            if (message == WM_SCAN_POS && index == stopAt)
                g_bStop = 1;
        };
        CarveJpegs(path);
        EXPECT_EQ(m_events, Events(all.begin(), all.begin() + lastEventOfChunk[stopAt] + 1));
    }
    // A stop raised by a hit does not cut the chunk short.
    g_bStop = 0;
    m_events.clear();
    m_progress.onMessage = nullptr;
    m_results.onMessage = [](UINT, std::uint64_t) { g_bStop = 1; };
    CarveJpegs(path);
    EXPECT_EQ(m_events, (Events{"range 3", "pos 0", "jpg 0", "jpg 512"}));
}

TEST_F(CarverTest, SourceThatCannotBeOpened)
{
    for (const std::string& path : {m_dir + "/missing.img", m_dir}) {
        m_events.clear();
        CarveMovies(path);
        EXPECT_EQ(m_events, (Events{"log 3 error 打开/创建设备" + path + "失败"}));
    }
}

// A file that shrinks under the scan: the read falls short, the whole
// sectors it delivered are still examined, one error line names the path
// and the read position, and nothing more is read.
TEST_F(CarverTest, FileShrinkingDuringTheScan)
{
    struct Case {
        std::uint64_t size;
        std::uint32_t truncateAtPos;
        std::uint64_t newSize;
        Events hits;
        std::string asked, got;
    };
    const Case cases[] = {
        // Chunk 1 delivers two whole sectors.
        {3 * kMiB, 1, kMiB + 1024, {"pos 1", "jpg 1048576", "jpg 1049088"}, "1048576", "1024"},
        // Chunk 1 delivers its first blocks and one sector of the next.
        {3 * kMiB, 1, kMiB + 2 * kCarveBlockSize + 512,
         {"pos 1", "jpg 1048576", "jpg 1049088", "jpg 1050112"}, "1048576",
         std::to_string(2 * kCarveBlockSize + 512)},
        // Chunk 1 delivers nothing.
        {3 * kMiB, 1, kMiB, {"pos 1"}, "1048576", "0"},
        // The tail delivers 512 of its 2048 bytes.
        {kMiB + 2048, 0, kMiB + 512, {"jpg 1048576"}, "2048", "512"},
    };
    for (const Case& c : cases) {
        const std::string path = MakeFile(c.size, {{0, Jpeg()}, {kMiB, Jpeg()}, {kMiB + 512, Jpeg()},
                                                   {kMiB + 1536, Jpeg()}});
        m_events.clear();
        m_progress.onMessage = [&](UINT message, std::uint64_t index) {
            if (message == WM_SCAN_POS && index == c.truncateAtPos) {
                ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(c.newSize)), 0);
            }
        };
        CarveJpegs(path);
        Events expected = {"range " + std::to_string(c.size >> 20), "pos 0", "jpg 0"};
        expected.insert(expected.end(), c.hits.begin(), c.hits.end());
        expected.push_back("log 3 error 读取设备" + path + ",位置1048576失败:应读" + c.asked +
                           "字节,只读到" + c.got + "字节,文件在扫描中变短");
        EXPECT_EQ(m_events, expected);
    }
}

TEST_F(CarverTest, OffsetsPastFourGigabytes)
{
    // A sparse file: offsets and chunk products must be 64-bit.
    const std::string path = m_dir + "/sparse.img";
    const std::uint64_t at = (4ull << 30) + 512;
    const Bytes header = Jpeg(0xE1, "Exif");
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, header.data(), header.size(), static_cast<off_t>(at)), ssize_t(header.size()));
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>((4ull << 30) + kMiB)), 0);
    close(fd);
    m_progress.recordPositions = false;
    CarveJpegs(path);
    EXPECT_EQ(m_events, (Events{"range 4097", "jpg 4294967808"}));
}

// ---- salvix-cli carve ----

struct CliRun {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

// Starts salvix-cli with its standard output on a pipe and standard error
// in a file; `whileRunning` may read from the pipe before the rest is taken.
CliRun RunCli(const std::vector<std::string>& args,
              const std::function<void(pid_t, int)>& whileRunning = nullptr)
{
    CliRun run;
    int out[2];
    if (pipe(out) != 0)
        return run;
    char errPath[] = "/tmp/salvix-carve-err-XXXXXX";
    const int errFd = mkstemp(errPath);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> all = {SALVIX_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned == 0) {
        if (whileRunning)
            whileRunning(pid, out[0]);
        char buffer[65536];
        for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
            run.out.append(buffer, static_cast<std::size_t>(n));
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    close(out[0]);
    lseek(errFd, 0, SEEK_SET);  // the child advanced the shared file offset
    std::FILE* err = fdopen(errFd, "r");
    for (int ch; err != nullptr && (ch = std::fgetc(err)) != EOF;)
        run.err.push_back(static_cast<char>(ch));
    if (err != nullptr)
        std::fclose(err);
    unlink(errPath);
    return run;
}

TEST_F(CarverTest, CliUsageAndOpenErrors)
{
    const std::string file = MakeFile(1024, {});
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"carve"}, {"carve", "jpeg"}, {"carve", "gif", file}, {"carve", "jpeg", file, file},
             {"carve", "--bogus", "movie", file}}) {
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 2) << args.size();
        EXPECT_EQ(run.out, "");
    }
    const std::string missing = m_dir + "/missing.img";
    const CliRun run = RunCli({"carve", "jpeg", missing});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "3\terror\t打开/创建设备" + missing + "失败\nsalvix-cli: cannot open " + missing + "\n");
}

TEST_F(CarverTest, CliPrintsHitsAsTextAndJsonLines)
{
    const std::string path = MakeFile(kMiB + 1024, {{0, Jpeg()}, {4096, Movie("qt  ", "qt  ")},
                                                    {kMiB + 512, Jpeg(0xE1, "Exif")}});
    CliRun run = RunCli({"carve", "jpeg", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "1\tjpg\t0\n2\tjpg\t1049088\n");
    EXPECT_EQ(run.err, "");  // no progress bar when standard error is not a terminal

    run = RunCli({"carve", "--json", "movie", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(nlohmann::json::parse(run.out), (nlohmann::json{{"index", 1}, {"type", "mov"}, {"offset", 4096}}));
}

TEST_F(CarverTest, CliInterruptStopsAtAChunkBoundary)
{
    // Every sector a picture: 2048 lines per chunk, far more than a pipe
    // holds, so the command is still scanning when the signal arrives.
    std::vector<std::pair<std::uint64_t, Bytes>> plants;
    for (std::uint64_t s = 0; s < 32 * kMiB; s += 512)
        plants.push_back({s, Jpeg()});
    const std::string path = MakeFile(32 * kMiB, plants);
    const CliRun run = RunCli({"carve", "jpeg", path}, [](pid_t pid, int out) {
        char first;  // the first hit proves the handler is in place
        ASSERT_EQ(read(out, &first, 1), 1);
        kill(pid, SIGINT);
    });
    EXPECT_EQ(run.status, 130);
    const std::size_t lines = static_cast<std::size_t>(std::count(run.out.begin(), run.out.end(), '\n'));
    EXPECT_GT(lines, 0u);
    EXPECT_LT(lines, 32u * 2048u);
    EXPECT_EQ(lines % 2048, 0u) << "stopped inside a chunk";
    EXPECT_EQ(run.err, "salvix-cli: scan of " + path + " stopped by interrupt\n");
}

}  // namespace
