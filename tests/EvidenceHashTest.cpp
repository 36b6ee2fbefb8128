// Evidence hashes: salvix-cli hash and tables --json against md5sum, sha1sum
// and sha256sum on the real corpus, an empty file and a sparse file past
// 4 GiB; the examined files keep their bytes and their times.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "support/CliRun.h"
#include "support/CorpusPath.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Digests = std::array<std::string, 3>;  // MD5, SHA-1, SHA-256

// Each file's digests as md5sum, sha1sum and sha256sum print them.
std::map<std::string, Digests> CoreutilsDigests(const CTempDir& dir, const std::vector<std::string>& files)
{
    std::map<std::string, Digests> digests;
    const char* tools[] = {"md5sum", "sha1sum", "sha256sum"};
    for (int i = 0; i < 3; ++i) {
        std::istringstream lines(RunProgram(dir, tools[i], files).out);
        std::string digest, name;
        while (lines >> digest && std::getline(lines >> std::ws, name))
            digests[name][i] = digest;
    }
    return digests;
}

// What reading may not change: size, times and (for a small file) bytes.
struct FileStamp {
    struct stat info {};
    std::string bytes;
    bool operator==(const FileStamp& other) const
    {
        const auto same = [](const timespec& a, const timespec& b) {
            return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
        };
        return info.st_size == other.info.st_size && same(info.st_mtim, other.info.st_mtim) &&
               same(info.st_atim, other.info.st_atim) && same(info.st_ctim, other.info.st_ctim) &&
               bytes == other.bytes;
    }
};

// Read without touching the access time (the test owns the files).
FileStamp Stamp(const std::string& path)
{
    FileStamp stamp;
    ::stat(path.c_str(), &stamp.info);
    if (stamp.info.st_size < (1 << 24)) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOATIME);
        stamp.bytes.resize(static_cast<std::size_t>(stamp.info.st_size));
        if (fd < 0 || ::pread(fd, stamp.bytes.data(), stamp.bytes.size(), 0) != stamp.info.st_size)
            stamp.bytes = "unreadable";
        if (fd >= 0)
            ::close(fd);
    }
    return stamp;
}

// A sparse file just past 4 GiB whose only data sits across the 4 GiB
// boundary and at its end, where a 32-bit position would go wrong.
void WriteSparseFile(const std::string& path)
{
    constexpr off_t k4GiB = off_t(1) << 32;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, k4GiB + 4099), 0);
    ASSERT_EQ(::pwrite(fd, "boundary", 8, k4GiB - 3), 8);
    ASSERT_EQ(::pwrite(fd, "end", 3, k4GiB + 4096), 3);
    ::close(fd);
}

std::vector<std::string> CorpusFiles()
{
    std::vector<std::string> files;
    const std::string corpus = RealCorpusDir();
    if (!corpus.empty())
        for (const auto& entry : fs::recursive_directory_iterator(corpus))
            if (entry.is_regular_file())
                files.push_back(entry.path().string());
    return files;
}

TEST(EvidenceHashTest, DigestsEqualCoreutilsAndLeaveTheFilesAlone)
{
    CTempDir dir;
    std::vector<std::string> own = {dir.File("empty"), dir.File("sparse"), dir.File("copy.db")};
    std::ofstream(own[0]).close();
    WriteSparseFile(own[1]);
    std::vector<std::string> files = CorpusFiles();
    if (!files.empty())
        fs::copy_file(files.front(), own[2]);
    else
        std::ofstream(own[2]) << "stand-in for the corpus";
    files.insert(files.end(), own.begin(), own.end());
    // Let a change of time show: the clock ticks past the files' times.
    ::usleep(20000);

    std::vector<FileStamp> before;
    for (const std::string& file : own)
        before.push_back(Stamp(file));
    std::vector<std::string> args = {"hash", "--json"};
    args.insert(args.end(), files.begin(), files.end());
    const CliResult r = RunCli(dir, args);
    for (std::size_t i = 0; i < own.size(); ++i)
        EXPECT_TRUE(Stamp(own[i]) == before[i]) << own[i] << " changed";
    ASSERT_EQ(r.status, 0) << r.err;

    const auto expected = CoreutilsDigests(dir, files);
    std::istringstream lines(r.out);
    std::string line;
    std::size_t count = 0;
    for (; std::getline(lines, line); ++count) {
        const auto json = nlohmann::json::parse(line);
        const std::string file = json.at("file");
        ASSERT_LT(count, files.size());
        EXPECT_EQ(file, files[count]);
        EXPECT_EQ(json.at("size").get<std::uint64_t>(), fs::file_size(file)) << file;
        const Digests got = {json.at("md5"), json.at("sha1"), json.at("sha256")};
        EXPECT_EQ(got, expected.at(file)) << file;
    }
    EXPECT_EQ(count, files.size());
    // One log line per file.
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), static_cast<long>(files.size())) << r.err;
}

TEST(EvidenceHashTest, TablesJsonCarriesTheHashesOfEveryFileRead)
{
    const std::string corpus = RealCorpusDir();
    const fs::path db = fs::path(corpus) / "eichbaumj-ios" / "kik.sqlite";
    if (corpus.empty() || !fs::exists(db))
        GTEST_SKIP() << "real corpus not found";
    CTempDir dir;
    const std::string copy = dir.File("kik.sqlite");
    fs::copy_file(db, copy);
    fs::copy_file(db.string() + "-wal", copy + "-wal");
    const auto hashOf = [&](const std::string& file) {
        return nlohmann::json::parse(RunCli(dir, {"hash", "--json", file}).out);
    };
    const std::vector<std::pair<std::vector<std::string>, nlohmann::json>> cases = {
        {{"tables", "--json", copy}, nlohmann::json::array({hashOf(copy)})},
        {{"tables", "--json", "--wal", copy}, nlohmann::json::array({hashOf(copy), hashOf(copy + "-wal")})},
    };
    for (const auto& [args, hashes] : cases) {
        const CliResult r = RunCli(dir, args);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto json = nlohmann::ordered_json::parse(r.out);
        EXPECT_EQ(nlohmann::json(json.at("hashes")), hashes);
        // The hashes come before the tables.
        const auto keys = json.items();
        const auto position = [&](const std::string& key) {
            return std::distance(keys.begin(), std::find_if(keys.begin(), keys.end(),
                                                             [&](const auto& item) { return item.key() == key; }));
        };
        EXPECT_LT(position("hashes"), position("tables"));
    }
}

}  // namespace
