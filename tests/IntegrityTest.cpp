// Evidence integrity: a file under examination is only ever read. Opening it
// as a database, reading every table and scanning it for pictures and movies
// must leave its bytes, size, time stamps and inode alone, create nothing
// beside it (no -wal, -shm or -journal), hold no lock, and open it read-only
// with O_NOATIME where the system allows it.
#include <gtest/gtest.h>

#include "support/CorpusPath.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "driver/DbEntries.h"
#include "driver/JobControl.h"
#include "engine/Globals.h"
#include "engine/SourceFile.h"
#include "fuzz/FuzzHarness.h"
#include "platform/TextConvert.h"
#include "support/SqliteOracle.h"


namespace {

// A real phone database whose tables include rows that spill onto overflow
// pages, so the table read logs lines while the file is open.
const std::string kEvidence = RealCorpusDir() + "/nist-cftt-htc-desire626/contacts2.db";

// Time stamps set before each test: an access time older than the
// modification time, so that a read without O_NOATIME would move it even
// under relatime.
constexpr timespec kOldAccess{978307200, 123456789};   // 2001-01-01
constexpr timespec kOldModify{1012608000, 987654321};  // 2002-02-02

std::vector<std::uint8_t> ReadWithoutTouching(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
    if (fd < 0)
        return bytes;
    std::uint8_t block[65536];
    for (ssize_t got; (got = ::read(fd, block, sizeof block)) > 0;)
        bytes.insert(bytes.end(), block, block + got);
    ::close(fd);
    return bytes;
}

struct FileState {
    struct stat info {};
    std::vector<std::uint8_t> bytes;
};

FileState Capture(const std::string& path)
{
    FileState state;
    EXPECT_EQ(::stat(path.c_str(), &state.info), 0) << path;
    state.bytes = ReadWithoutTouching(path);
    return state;
}

bool SameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

void ExpectUnchanged(const FileState& before, const FileState& after)
{
    EXPECT_EQ(before.info.st_ino, after.info.st_ino) << "file replaced or renamed";
    EXPECT_EQ(before.info.st_size, after.info.st_size);
    EXPECT_EQ(before.info.st_mode, after.info.st_mode);
    EXPECT_TRUE(SameTime(before.info.st_mtim, after.info.st_mtim)) << "modification time moved";
    EXPECT_TRUE(SameTime(before.info.st_atim, after.info.st_atim)) << "access time moved";
    EXPECT_TRUE(SameTime(before.info.st_ctim, after.info.st_ctim)) << "status change time moved";
    EXPECT_TRUE(before.bytes == after.bytes) << "content changed";
}

std::vector<std::string> DirectoryEntries(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* entry = ::readdir(d))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The descriptors of this process that refer to `path`.
std::vector<int> DescriptorsOf(const std::string& path)
{
    std::vector<int> fds;
    DIR* d = ::opendir("/proc/self/fd");
    if (d == nullptr)
        return fds;
    while (const dirent* entry = ::readdir(d)) {
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        char target[4096];
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == path)
            fds.push_back(std::atoi(entry->d_name));
    }
    ::closedir(d);
    return fds;
}

// The open flags of `fd` as the kernel reports them (octal "flags:" line).
long OpenFlags(int fd)
{
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
    std::string key;
    while (info >> key) {
        if (key == "flags:") {
            std::string octal;
            info >> octal;
            return std::strtol(octal.c_str(), nullptr, 8);
        }
    }
    return -1;
}

// True when /proc/locks lists a lock on the inode of `info`.
bool IsLocked(const struct stat& info)
{
    std::ifstream locks("/proc/locks");
    const std::string inode = ":" + std::to_string(info.st_ino) + " ";
    for (std::string line; std::getline(locks, line);)
        if (line.find(inode) != std::string::npos)
            return true;
    return false;
}

// A log, progress and result window that, at every message, looks at how
// the engine holds the examined file open at that moment.
class CInspectingWnd : public CMessageTarget {
public:
    explicit CInspectingWnd(std::string path) : m_path(std::move(path))
    {
        ::stat(m_path.c_str(), &m_info);
    }

    LRESULT WindowProc(UINT, WPARAM, LPARAM) override
    {
        ++messages;
        for (int fd : DescriptorsOf(m_path)) {
            ++openDescriptors;
            const long flags = OpenFlags(fd);
            if (flags < 0 || (flags & O_ACCMODE) != O_RDONLY)
                ++writable;
            if (flags >= 0 && (flags & O_NOATIME) == 0)
                ++withoutNoAtime;
        }
        if (IsLocked(m_info))
            ++locked;
        return 0;
    }

    int messages = 0;
    int openDescriptors = 0;
    int writable = 0;
    int withoutNoAtime = 0;
    int locked = 0;

private:
    std::string m_path;
    struct stat m_info {};
};

class IntegrityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/salvix-integrity-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_path = m_dir + "/contacts2.db";
        std::ifstream in(kEvidence, std::ios::binary);
        ASSERT_TRUE(in) << kEvidence;
        std::ofstream out(m_path, std::ios::binary);
        out << in.rdbuf();
        out.close();
        ASSERT_TRUE(out);
        const timespec times[2] = {kOldAccess, kOldModify};
        ASSERT_EQ(::utimensat(AT_FDCWD, m_path.c_str(), times, 0), 0);
    }

    void TearDown() override
    {
        ::chmod(m_dir.c_str(), 0755);
        for (const std::string& name : DirectoryEntries(m_dir))
            ::unlink((m_dir + "/" + name).c_str());
        ::rmdir(m_dir.c_str());
    }

    // Opens the database, reads every table and runs both carvers.
    HarnessCounts ExamineEverything(CMessageTarget* window = nullptr)
    {
        const HarnessCounts counts = ExamineDatabase(m_path, window);
        HarnessCounts carving;
        CarveFile(m_path, carving, window);
        return counts;
    }

    std::string m_dir;
    std::string m_path;
};

TEST_F(IntegrityTest, FileAndDirectoryUnchangedByOpenReadAndCarve)
{
    const FileState before = Capture(m_path);
    struct stat dirBefore {};
    ASSERT_EQ(::stat(m_dir.c_str(), &dirBefore), 0);
    ASSERT_TRUE(SameTime(before.info.st_atim, kOldAccess));

    const HarnessCounts counts = ExamineEverything();
    // The examination really happened: tables found and rows decoded.
    EXPECT_GT(counts.tables, 10u);
    EXPECT_GT(counts.rows, 100u);

    ExpectUnchanged(before, Capture(m_path));
    EXPECT_EQ(DirectoryEntries(m_dir), std::vector<std::string>{"contacts2.db"})
        << "companion files (-wal, -shm, -journal) appeared";
    struct stat dirAfter {};
    ASSERT_EQ(::stat(m_dir.c_str(), &dirAfter), 0);
    // Not even a file created and removed again.
    EXPECT_TRUE(SameTime(dirBefore.st_mtim, dirAfter.st_mtim));
    EXPECT_TRUE(DescriptorsOf(m_path).empty()) << "descriptor left open";
}

TEST_F(IntegrityTest, DesktopOpenTableAndRecordJobsLeaveTheFileAlone)
{
    const FileState before = Capture(m_path);
    // The desktop program's three workers, run here on this thread with no
    // window: open the database, then read and show every table of it.
    CJobContext device;
    device.m_strDbPath = Widen(m_path);
    AnalyseDbThread(device);
    ASSERT_NE(device.m_pOpenedDb, nullptr);
    std::size_t rows = 0;
    for (const TableInfo& table : device.m_pOpenedDb->tables) {
        CJobContext window;
        window.AdoptTable(*device.m_pOpenedDb, table);
        AnalyseTableThread(window);
        ShowRecordsThread(window);
        rows += window.m_parser.m_rows.size();
    }
    g_dbList.clear();
    EXPECT_GT(rows, 100u);
    ExpectUnchanged(before, Capture(m_path));
    EXPECT_EQ(DirectoryEntries(m_dir), std::vector<std::string>{"contacts2.db"});
    EXPECT_TRUE(DescriptorsOf(m_path).empty());
}

TEST_F(IntegrityTest, EngineHoldsTheFileReadOnlyNoAtimeAndUnlocked)
{
    CInspectingWnd window(m_path);
    ExamineEverything(&window);
    // Messages arrived while the file was open (overflow lines of the table
    // read, the carvers' progress), so the inspection saw real descriptors.
    ASSERT_GT(window.openDescriptors, 0);
    EXPECT_EQ(window.writable, 0);
    // The test runs as the file's owner, so O_NOATIME must have been granted.
    EXPECT_EQ(window.withoutNoAtime, 0);
    EXPECT_EQ(window.locked, 0);
}

TEST_F(IntegrityTest, SourceFileOpensReadOnlyWithNoAtimeAndClosesCleanly)
{
    CSourceFile file;
    ASSERT_TRUE(file.Open(Widen(m_path)));
    const std::vector<int> fds = DescriptorsOf(m_path);
    ASSERT_EQ(fds.size(), 1u);
    const long flags = OpenFlags(fds[0]);
    EXPECT_EQ(flags & O_ACCMODE, O_RDONLY);
    EXPECT_NE(flags & O_NOATIME, 0);
    EXPECT_NE(flags & O_CLOEXEC, 0);
    EXPECT_EQ(flags & (O_CREAT | O_TRUNC | O_APPEND), 0);
    std::uint8_t header[16];
    EXPECT_EQ(file.ReadAt(header, sizeof header, 0), 16);
    file.Close();
    EXPECT_TRUE(DescriptorsOf(m_path).empty());
    struct stat info {};
    ASSERT_EQ(::stat(m_path.c_str(), &info), 0);
    EXPECT_TRUE(SameTime(info.st_atim, kOldAccess));
}

// Guards the access-time checks above: unless the file system is mounted
// noatime, a plain read must move an access time older than the
// modification time, so an engine that forgot O_NOATIME would be caught.
TEST_F(IntegrityTest, PlainReadWouldMoveTheAccessTime)
{
    struct statvfs fs {};
    ASSERT_EQ(::statvfs(m_path.c_str(), &fs), 0);
    if (fs.f_flag & ST_NOATIME)
        GTEST_SKIP() << "this file system is mounted noatime";
    std::ifstream in(m_path, std::ios::binary);
    char byte = 0;
    in.read(&byte, 1);
    in.close();
    struct stat info {};
    ASSERT_EQ(::stat(m_path.c_str(), &info), 0);
    EXPECT_FALSE(SameTime(info.st_atim, kOldAccess)) << "a plain read left the access time alone";
}

// A write-protected file in a write-protected directory. Root ignores the
// permission bits, so the examination is also run by an unprivileged child
// process, for which every write or create would fail; it must find exactly
// what root finds.
TEST_F(IntegrityTest, ReadOnlyFileInReadOnlyDirectory)
{
    ASSERT_EQ(::chmod(m_path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(m_dir.c_str(), 0555), 0);
    const FileState before = Capture(m_path);

    const HarnessCounts asOwner = ExamineEverything();
    ExpectUnchanged(before, Capture(m_path));
    EXPECT_GT(asOwner.tables, 0u);

    if (::geteuid() != 0)
        GTEST_SKIP() << "not root: the unprivileged run is the run above";
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        const gid_t nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(2);
        // Writing is refused now, whatever the engine might try.
        if (::open(m_path.c_str(), O_WRONLY) >= 0 || errno != EACCES)
            ::_exit(3);
        const HarnessCounts counts = ExamineEverything();
        const std::size_t result[2] = {counts.tables, counts.rows};
        const ssize_t wrote = ::write(pipeFds[1], result, sizeof result);
        ::_exit(wrote == static_cast<ssize_t>(sizeof result) ? 0 : 4);
    }
    ::close(pipeFds[1]);
    std::size_t result[2] = {0, 0};
    const ssize_t got = ::read(pipeFds[0], result, sizeof result);
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof result));
    EXPECT_EQ(result[0], asOwner.tables);
    EXPECT_EQ(result[1], asOwner.rows);

    // Not the owner, so no O_NOATIME for the child: only the access time may
    // have moved.
    const FileState after = Capture(m_path);
    EXPECT_EQ(before.info.st_ino, after.info.st_ino);
    EXPECT_TRUE(SameTime(before.info.st_mtim, after.info.st_mtim));
    EXPECT_TRUE(before.bytes == after.bytes);
    EXPECT_EQ(DirectoryEntries(m_dir), std::vector<std::string>{"contacts2.db"});
}

// A database taken with its write-ahead log and shared-memory file, as
// copied from a phone while the app held it: reading it with and without
// the log, and recovering from it, changes none of the three files and
// creates nothing beside them.
TEST_F(IntegrityTest, DatabaseWithLogAndSharedMemoryUnchanged)
{
    const std::string live = m_dir + "/live/app.db";
    const std::string evidence = m_dir + "/evidence";
    ASSERT_EQ(::mkdir((m_dir + "/live").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(evidence.c_str(), 0700), 0);
    const std::vector<std::string> names = {"app.db", "app.db-shm", "app.db-wal"};
    {
        CSqliteDb db(live, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        db.Exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; PRAGMA secure_delete=OFF");
        db.Exec("CREATE TABLE m(id INTEGER PRIMARY KEY, body TEXT)");
        for (int i = 0; i < 50; ++i)
            db.Exec("INSERT INTO m(body) VALUES('message " + std::to_string(i) + "')");
        db.Exec("DELETE FROM m WHERE id % 3 = 0");
        for (const std::string& name : names) {
            std::ifstream in(m_dir + "/live/" + name, std::ios::binary);
            std::ofstream out(evidence + "/" + name, std::ios::binary);
            out << in.rdbuf();
        }
    }
    std::vector<FileState> before;
    for (const std::string& name : names) {
        const std::string path = evidence + "/" + name;
        const timespec times[2] = {kOldAccess, kOldModify};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        before.push_back(Capture(path));
    }
    struct stat dirBefore {};
    ASSERT_EQ(::stat(evidence.c_str(), &dirBefore), 0);

    const std::string db = evidence + "/app.db";
    for (const char* command : {"tables --wal", "rows --wal", "recover --wal", "recover", "tables"}) {
        const std::string line = std::string(SALVIX_CLI_PATH) + " " + command + " '" + db + "'" +
                                 (std::string(command).starts_with("rows") ? " m" : "") +
                                 " >/dev/null 2>&1";
        EXPECT_EQ(std::system(line.c_str()), 0) << line;
    }
    const std::vector<std::uint8_t>& bytes = before[2].bytes;
    std::vector<std::uint8_t> input = {std::uint8_t(before[0].bytes.size() >> 24),
                                       std::uint8_t(before[0].bytes.size() >> 16),
                                       std::uint8_t(before[0].bytes.size() >> 8),
                                       std::uint8_t(before[0].bytes.size())};
    input.insert(input.end(), before[0].bytes.begin(), before[0].bytes.end());
    input.insert(input.end(), bytes.begin(), bytes.end());
    // The same bytes through the in-process recovery: records were found.
    EXPECT_GT(RecoverFromInput(input.data(), input.size()).rows, 0u);
    // The desktop's jobs: open, reopen with the log, list its frames, read
    // the table with its recovered rows.
    {
        CJobContext device;
        device.m_strDbPath = Widen(db);
        AnalyseDbThread(device);
        ASSERT_NE(device.m_pOpenedDb, nullptr);
        device.m_nReopenDbId = EntryId(*device.m_pOpenedDb);
        device.m_bReopenWithWal = true;
        AnalyseDbThread(device);
        ASSERT_NE(device.m_pOpenedDb, nullptr);
        device.m_pSelDb = device.m_pOpenedDb;
        LogFramesThread(device);
        EXPECT_FALSE(device.m_logFrames.Frames().empty());
        CJobContext window;
        window.AdoptTable(*device.m_pOpenedDb, device.m_pOpenedDb->tables.front());
        AnalyseTableThread(window);
        EXPECT_GT(window.m_tableRows.RecoveredCount(), 0u);
        g_dbList.clear();
    }

    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        ExpectUnchanged(before[i], Capture(evidence + "/" + names[i]));
    }
    EXPECT_EQ(DirectoryEntries(evidence), names);
    struct stat dirAfter {};
    ASSERT_EQ(::stat(evidence.c_str(), &dirAfter), 0);
    EXPECT_TRUE(SameTime(dirBefore.st_mtim, dirAfter.st_mtim));
    for (const std::string& name : DirectoryEntries(m_dir + "/live"))
        ::unlink((m_dir + "/live/" + name).c_str());
    ::rmdir((m_dir + "/live").c_str());
    for (const std::string& name : names)
        ::unlink((evidence + "/" + name).c_str());
    ::rmdir(evidence.c_str());
}

}  // namespace
