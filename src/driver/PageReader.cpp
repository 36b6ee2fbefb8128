#include "PageReader.h"

#include "ViewTexts.h"
#include "engine/ByteReader.h"
#include "engine/LogPost.h"
#include "engine/SqliteParser.h"
#include "engine/WalLog.h"
#include "platform/WideFormat.h"
#include "records/PageRoles.h"

DbInfo DbFileFacts(const DbInfo& db)
{
    DbInfo facts;
    facts.pageSize = db.pageSize;
    facts.path = db.path;
    facts.nativePath = db.nativePath;
    facts.reservedBytes = db.reservedBytes;
    facts.textEncoding = db.textEncoding;
    facts.withWal = db.withWal;
    facts.withJournal = db.withJournal;
    facts.fileSize = db.fileSize;
    return facts;
}

CPageReader::CPageReader() = default;
CPageReader::~CPageReader() = default;

void CPageReader::Attach(const DbInfo& db, HWND logWnd)
{
    Detach();
    m_db = DbFileFacts(db);
    m_logWnd = logWnd;
}

void CPageReader::Detach()
{
    m_roles.reset();
    m_parser.reset();
    m_log.Close();
    m_opened = false;
    m_logTried = false;
    m_logPageSize = 0;
    m_db = DbInfo();
    m_ref = PageRef();
    m_page.clear();
    m_map = CPageMap();
}

void CPageReader::Fault(const std::u16string& text) const
{
    PostLog(m_logWnd, u"Page", text, kLogWarning);
}

bool CPageReader::Open()
{
    if (m_opened)
        return m_parser != nullptr;
    m_opened = true;
    auto parser = std::make_unique<CSqliteParser>();
    // The log's and journal's lines were posted when the database was opened.
    parser->m_hLogWnd = nullptr;
    if (m_db.pageSize == 0 || !parser->OpenPages(m_db)) {
        Fault(WideFormat(u"%s: the database cannot be opened to show its pages", {m_db.path}));
        return false;
    }
    const std::uint32_t pageSize = parser->m_pageSource.PageSize();
    if (pageSize <= m_db.reservedBytes) {
        Fault(WideFormat(u"%s: page size %d leaves no usable bytes", {m_db.path, pageSize}));
        return false;
    }
    m_parser = std::move(parser);
    m_roles = std::make_unique<CPageRoles>(m_parser->m_pageSource, pageSize - m_db.reservedBytes);
    return true;
}

bool CPageReader::Read(const PageRef& ref)
{
    if (!IsAttached() || ref.page == 0 || !Open())
        return false;
    bool read = false;
    switch (ref.version) {
    case PageRef::Version::kShown: read = ReadShown(ref.page); break;
    case PageRef::Version::kMainFile: read = ReadMainFile(ref.page); break;
    case PageRef::Version::kLogFrame: read = ReadLogFrame(ref.page, ref.frame); break;
    }
    if (!read) {
        m_ref = PageRef();
        m_page.clear();
        m_map = CPageMap();
        return false;
    }
    m_ref = ref;
    for (const std::u16string& fault : m_map.Faults())
        Fault(fault);
    return true;
}

bool CPageReader::ReadShown(std::uint32_t pageNumber)
{
    if (m_roles->MapPage(pageNumber, m_page, m_map))
        return true;
    Fault(WideFormat(u"%s has no page %d", {m_db.path, pageNumber}));
    return false;
}

bool CPageReader::ReadMainFile(std::uint32_t pageNumber)
{
    // The main file's own page size: with the log laid over it the source
    // reads the log's, which a sound log shares with its file.
    const std::uint32_t size = m_parser->m_pageSource.PageSize();
    m_page.assign(size, 0);
    const std::uint64_t position = static_cast<std::uint64_t>(pageNumber - 1) * size;
    if (!m_parser->m_pageSource.ReadFileAt(m_page.data(), size, position)) {
        Fault(WideFormat(u"%s: the main file has no page %d", {m_db.path, pageNumber}));
        return false;
    }
    m_map.Build(m_page.data(), size, size - m_db.reservedBytes, pageNumber,
                m_roles->RoleOf(pageNumber, m_page.data(), size));
    return true;
}

bool CPageReader::ReadLogFrame(std::uint32_t pageNumber, std::uint32_t frame)
{
    if (!m_logTried) {
        m_logTried = true;
        std::uint8_t header[CWalLog::kHeaderSize];
        if (m_log.Open(m_db.OpenName() + "-wal") &&
            m_log.ReadAt(header, sizeof header, 0) == static_cast<std::int64_t>(sizeof header))
            m_logPageSize = Get32(header, sizeof header, 8).value_or(0);
        // A log page size is a power of two from 512 to 65536, 1 meaning 65536.
        if (m_logPageSize == 1)
            m_logPageSize = 65536;
        if (m_logPageSize < 512 || m_logPageSize > 65536 || (m_logPageSize & (m_logPageSize - 1)) != 0)
            m_logPageSize = 0;
    }
    if (m_logPageSize == 0 || frame == 0 || m_logPageSize <= m_db.reservedBytes) {
        Fault(WideFormat(u"%s-wal: no log frame %d to show", {m_db.path, frame}));
        return false;
    }
    const std::uint64_t frameStart =
        CWalLog::kHeaderSize + static_cast<std::uint64_t>(frame - 1) * (CWalLog::kFrameHeaderSize + m_logPageSize);
    std::uint8_t frameHeader[CWalLog::kFrameHeaderSize];
    m_page.assign(m_logPageSize, 0);
    if (m_log.ReadAt(frameHeader, sizeof frameHeader, frameStart) != static_cast<std::int64_t>(sizeof frameHeader) ||
        m_log.ReadAt(m_page.data(), m_logPageSize, frameStart + sizeof frameHeader) !=
            static_cast<std::int64_t>(m_logPageSize)) {
        Fault(WideFormat(u"%s-wal: frame %d lies past the end of the log", {m_db.path, frame}));
        return false;
    }
    const std::uint32_t framePage = Get32(frameHeader, sizeof frameHeader, 0).value_or(0);
    if (framePage != pageNumber)
        Fault(WideFormat(u"%s-wal: frame %d holds page %d, not page %d",
                         {m_db.path, frame, framePage, pageNumber}));
    m_map.Build(m_page.data(), m_logPageSize, m_logPageSize - m_db.reservedBytes, framePage,
                m_roles->RoleOf(framePage, m_page.data(), m_logPageSize));
    return true;
}

std::u16string CPageReader::Title() const
{
    if (m_page.empty())
        return {};
    std::u16string version;
    switch (m_ref.version) {
    case PageRef::Version::kShown:
        version = m_db.withWal ? u"应用WAL日志后" : u"主文件";
        break;
    case PageRef::Version::kMainFile:
        version = u"主文件旧版本";
        break;
    case PageRef::Version::kLogFrame:
        version = WideFormat(u"WAL帧 %d", {m_ref.frame});
        break;
    }
    return WideFormat(u"页 %d · %s · %s · %d 字节",
                      {m_ref.page, std::u16string(PageKindText(m_map.Kind())), version,
                       static_cast<std::uint32_t>(m_page.size())});
}
