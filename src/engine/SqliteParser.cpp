// Database open, header validation and the b-tree page walk.
//
// Database header (first 100 bytes of page 1), the fields read here:
//   offset size  meaning
//        0   16  "SQLite format 3\0"
//       16    2  page size; 1 means 65536
//       20    1  reserved bytes at the end of every page
//       56    4  text encoding: 1 UTF-8, 2 UTF-16le, 3 UTF-16be
//
// B-tree page header (h = 100 on page 1, 0 elsewhere):
//   h+0  1  page type: 2 index interior, 5 table interior,
//                      10 index leaf, 13 table leaf
//   h+1  2  first freeblock offset, 0 for none
//   h+3  2  number of cells
//   h+8  4  right-most child page (interior pages only)
//   h+8 or h+12: the cell pointer array, 2 bytes per cell
#include "SqliteParser.h"

#include <algorithm>
#include <cstring>

#include "engine/ByteReader.h"
#include "engine/CellCount.h"
#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "platform/TextConvert.h"
#include "platform/WideFormat.h"

namespace {

constexpr std::uint32_t kHeaderReadSize = 512;
constexpr char kHeaderString[16] = "SQLite format 3";  // with its zero byte
// The smallest usable page size the file format allows.
constexpr std::uint32_t kMinUsableSize = 480;

}  // namespace

void CSqliteParser::PostError(const std::u16string& text)
{
    PostLog(m_hLogWnd, u"error", text, kLogError);
}

void CSqliteParser::PostStop()
{
    PostLog(m_hLogWnd, u"stop", u"当前操作被停止", kLogInfo);
}

std::uint32_t CSqliteParser::ReadHeaderPageSize()
{
    std::uint8_t header[kHeaderReadSize] = {};
    if (!m_pageSource.ReadHeader(header, kHeaderReadSize))
        return 0;
    if (std::memcmp(header, kHeaderString, sizeof kHeaderString) != 0)
        return 0;
    std::uint32_t pageSize = *Get16(header, sizeof header, 16);
    if (pageSize == 1)
        pageSize = 65536;
    if (pageSize == 0 || (pageSize & 0x1FF) != 0)
        return 0;
    const std::uint8_t reserved = header[20];
    if (pageSize - reserved < kMinUsableSize)
        return 0;
    m_pDb->reservedBytes = reserved;
    const std::uint32_t encoding = *Get32(header, sizeof header, 56);
    m_pDb->textEncoding = (encoding == kUtf16le || encoding == kUtf16be) ? encoding : kUtf8;
    return pageSize;
}

std::string DbInfo::OpenName() const
{
    return nativePath.empty() ? WideToUtf8(path) : nativePath;
}

void CSqliteParser::OpenDatabase(const std::u16string& path)
{
    DbInfo db;
    db.path = path;
    OpenDatabase(db);
}

void CSqliteParser::OpenDatabase(const std::string& nativePath)
{
    DbInfo db;
    db.path = Widen(nativePath);
    db.nativePath = nativePath;
    OpenDatabase(db);
}

void CSqliteParser::OpenDatabase(DbInfo& db)
{
    m_bSchemaMode = 1;
    const std::u16string& path = db.path;
    if (!m_pageSource.Open(db.OpenName())) {
        PostOpenError(m_hLogWnd, u"error", path, kLogError);
        return;
    }
    db.fileSize = m_pageSource.FileSize();
    m_pDb = &db;
    // m_pDb names the caller's record only while this open runs: on every
    // way out, refused files included, it must not outlive that record.
    struct ClearOnExit {
        DbInfo*& pDb;
        ~ClearOnExit() { pDb = nullptr; }
    } clearOnExit{m_pDb};
    // SQLite rolls a hot journal back before it opens a log.
    m_pageSource.AttachJournal(db.OpenName(), m_bUseJournal, m_hLogWnd);
    db.withJournal = m_bUseJournal;
    m_pageSource.AttachLog(db.OpenName(), m_bUseWal, m_hLogWnd);
    db.withWal = m_bUseWal;
    NoteLog(db.log);

    db.pageSize = ReadHeaderPageSize();
    if (db.pageSize == 0) {
        db.reservedBytes = 0;
        g_dbList.push_back(db);
        PostError(WideFormat(u"%s:不是sqlite数据库文件", {path}));
        m_pageSource.Close();
        return;
    }
    m_pageSource.SetPageSize(db.pageSize);

    std::vector<std::uint8_t> page;
    if (!ReadPage(1, page)) {
        g_dbList.push_back(db);
        PostReadError(m_hLogWnd, u"error", path, kLogError, 0);
        m_pageSource.Close();
        return;
    }

    ResetWalk();
    m_visited[1] = true;
    ParsePage(db, page.data(), db.pageSize, 1, 100);
    m_pageSource.Close();

    db.tableCount = static_cast<std::uint32_t>(db.tables.size());
    g_dbList.push_back(db);
}

void CSqliteParser::NoteLog(LogInfo& log) const
{
    const CWalLog& wal = m_pageSource.Log();
    log.found = m_pageSource.LogFound();
    log.frames = static_cast<std::uint32_t>(wal.Frames().size());
    log.validFrames = wal.ValidFrames();
    log.commits = wal.Commits();
    log.lastCommitPages = wal.DatabasePages();
}

void CSqliteParser::ResetWalk()
{
    const std::uint64_t pages = m_pageSource.PageCount() + 2;
    m_visited.assign(pages, false);
    m_depth = 0;
}

bool CSqliteParser::EnterChild(std::uint32_t parent, int slotOffset, std::uint32_t child)
{
    if (child < m_visited.size() && m_visited[child]) {
        PostError(WideFormat(u"索引节点%I32u-偏移%d---子节点%I32u重复引用,已跳过",
                             {parent, slotOffset, child}));
        return false;
    }
    if (m_depth >= kMaxTreeDepth) {
        PostError(WideFormat(u"索引节点%I32u-偏移%d---子节点%I32u超出最大树深度%d,已跳过",
                             {parent, slotOffset, child, kMaxTreeDepth}));
        return false;
    }
    if (child < m_visited.size())
        m_visited[child] = true;
    return true;
}

bool CSqliteParser::EnterOverflowPage(std::uint32_t pageNumber)
{
    if (pageNumber >= m_visited.size())
        return true;  // past the file: the read fails and ends the chain
    if (m_visited[pageNumber])
        return false;
    m_visited[pageNumber] = true;
    return true;
}

int CSqliteParser::ParsePage(DbInfo& db, const std::uint8_t* page, std::uint32_t length,
                             std::uint32_t pageNumber, std::uint32_t headerOffset)
{
    if (g_bStop.load()) {
        PostStop();
        return 0;
    }
    const auto type = Get8(page, length, headerOffset);
    switch (type.value_or(0)) {
    case kTableInterior:
    case kIndexInterior:
        return ParseInteriorPage(db, page, length, pageNumber, headerOffset);
    case kTableLeaf:
    case kIndexLeaf:
        return ParseLeafPage(db, page, length, pageNumber, headerOffset);
    default:
        PostError(WideFormat(u"节点%I32u不正常", {pageNumber}));
        return 2;
    }
}

// The cell pointer array, shared by interior and leaf pages. A damaged
// cell count is clamped to what the page can hold ((U - 8) / 6 cells of at
// least four bytes with their two-byte pointers, as SQLite's own b-tree code
// bounds it), with one line; a cell offset inside the header or the pointer
// array, or past the usable end of the page, costs one line and that cell.
template <typename OnCell>
void CSqliteParser::ForEachCellPointer(const DbInfo& db, const std::uint8_t* page,
                                       std::uint32_t length, std::uint32_t pageNumber,
                                       std::uint32_t headerOffset, bool interior, OnCell onCell)
{
    const std::uint32_t usable = std::min(db.UsableSize(), length);
    const std::uint32_t arrayStart = headerOffset + (interior ? 12 : 8);
    const std::u16string_view badOffset =
        interior ? u"索引节点%I32u-偏移%d解析存在错误" : u"叶节点%I32u-偏移%d解析地址存在错误";
    const std::uint32_t claimed = Get16(page, length, headerOffset + 3).value_or(0);
    const std::uint32_t cellCount = ClampCellCount(claimed, usable);
    if (cellCount < claimed)
        PostError(WideFormat(u"节点%I32u单元数%I32u超出页面容量,按%I32u个处理",
                             {pageNumber, claimed, cellCount}));
    const std::uint32_t arrayEnd = arrayStart + 2 * cellCount;
    for (std::uint32_t k = 0; k < cellCount; ++k) {
        const std::uint32_t slot = arrayStart + 2 * k;
        const auto cellOffset = Get16(page, usable, slot);
        if (!cellOffset) {
            // Only a header past the page's usable size gets here.
            PostError(WideFormat(badOffset, {pageNumber, slot}));
            break;
        }
        if (*cellOffset < arrayEnd || *cellOffset >= usable) {
            PostError(WideFormat(badOffset, {pageNumber, int(*cellOffset)}));
            continue;
        }
        onCell(*cellOffset);
    }
}

int CSqliteParser::ParseInteriorPage(DbInfo& db, const std::uint8_t* page, std::uint32_t length,
                                     std::uint32_t pageNumber, std::uint32_t headerOffset)
{
    const std::uint32_t h = headerOffset;
    const std::uint8_t pageType = page[h];
    const std::uint32_t usable = db.UsableSize();
    std::vector<std::uint8_t> child;

    ++m_depth;
    ForEachCellPointer(db, page, length, pageNumber, h, true, [&](std::uint16_t c) {
        // The 4-byte left child pointer opens every interior cell.
        const auto childNumber = Get32(page, usable, c);
        if (!childNumber || *childNumber == 0) {
            PostError(WideFormat(u"索引节点%I32u-偏移%d解析存在错误", {pageNumber, int(c)}));
            return;
        }
        if (EnterChild(pageNumber, c, *childNumber)) {
            if (!ReadPage(*childNumber, child)) {
                PostError(WideFormat(u"索引节点%I32u-偏移%d---读取子节点%I32u错误",
                                     {pageNumber, int(c), *childNumber}));
            } else if (ParsePage(db, child.data(), db.pageSize, *childNumber, 0) != 0) {
                PostError(WideFormat(u"索引节点%I32u-偏移%d---解析子节点%I32u错误",
                                     {pageNumber, int(c), *childNumber}));
            }
        }
        // In an index b-tree the interior cell's key is an entry of its own,
        // ordered after everything in its left subtree.
        if (pageType == kIndexInterior && !m_bSchemaMode && !g_bStop.load())
            ParseIndexInteriorCell(db, page, length, pageNumber, c);
    });

    const std::uint32_t right = Get32(page, length, h + 8).value_or(0);
    if (!m_pageSource.HasPage(right)) {
        PostError(WideFormat(u"索引节点%I32u中最后子节点%I32u读取错误", {pageNumber, right}));
    } else if (EnterChild(pageNumber, static_cast<int>(h + 8), right)) {
        if (!ReadPage(right, child))
            PostError(WideFormat(u"索引节点%I32u中最后子节点%I32u读取错误", {pageNumber, right}));
        else if (ParsePage(db, child.data(), db.pageSize, right, 0) != 0)
            PostError(WideFormat(u"索引节点%I32u中最后子节点%I32u解析存在错误", {pageNumber, right}));
    }
    --m_depth;
    return 0;
}

int CSqliteParser::ParseLeafPage(DbInfo& db, const std::uint8_t* page, std::uint32_t length,
                                 std::uint32_t pageNumber, std::uint32_t headerOffset)
{
    if (g_bStop.load()) {
        PostStop();
        return 0;
    }
    const std::uint32_t h = headerOffset;
    const std::uint32_t usable = db.UsableSize() < length ? db.UsableSize() : length;
    const std::uint8_t pageType = page[h];
    const std::uint16_t firstFreeblock = Get16(page, length, h + 1).value_or(0);
    CellMap& cells = m_cellMap;
    cells.Clear();

    ForEachCellPointer(db, page, length, pageNumber, h, false,
                       [&](std::uint16_t c) { cells.Insert(c, 0); });

    // The freeblock chain. Each freeblock starts with the offset of the next
    // one; only their starts are recorded, as bounds for the cells before
    // them. A chain that returns to an offset it has visited ends there.
    std::vector<bool> seen;
    for (std::uint32_t f = firstFreeblock; f != 0;) {
        if (f <= 8 || !FitsIn(usable, f, 2)) {
            PostError(WideFormat(u"叶节点%I32u-自由空间偏移%d解析地址存在错误",
                                 {pageNumber, int(f)}));
            break;
        }
        if (seen.empty())
            seen.assign(usable, false);
        if (seen[f]) {
            PostError(WideFormat(u"叶节点%I32u-自由空间偏移%d形成循环,已停止", {pageNumber, int(f)}));
            break;
        }
        seen[f] = true;
        cells.Insert(static_cast<std::uint16_t>(f), 1);
        f = *Get16(page, usable, f);
    }

    cells.Finish();
    ParseCells(db, page, length, pageNumber, pageType, cells);
    return 0;
}

void CloseDatabase(CSqliteParser& parser, std::uint64_t address)
{
    for (auto it = g_dbList.begin(); it != g_dbList.end(); ++it) {
        if (reinterpret_cast<std::uint64_t>(&*it) == address) {
            g_dbList.erase(it);
            break;
        }
    }
    parser.m_rows.clear();
    parser.m_rowCells.clear();
}
