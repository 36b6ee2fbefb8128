#include "TableRows.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "engine/SourceFile.h"
#include "engine/SqliteParser.h"
#include "engine/WalLog.h"
#include "platform/TextConvert.h"
#include "recover/RecordRecoverer.h"

namespace {

class CTableSink : public CRecoverSink {
public:
    CTableSink(CTableRows& rows, const CWalLog* log) : m_rows(rows), m_log(log) {}
    void OnRecord(const RecoveredRecord& record) override { m_rows.Add(record, m_log); }

private:
    CTableRows& m_rows;
    const CWalLog* m_log;
};

RowSource LogSource(const RecoveredRecord& record, const CWalLog* log)
{
    // A log record with no frame is the main file's own older version.
    if (!record.frame)
        return RowSource::kMainFile;
    if (log == nullptr || *record.frame == 0 || *record.frame > log->Frames().size())
        return RowSource::kWalInvalid;
    switch (log->Frames()[*record.frame - 1].state) {
    case CWalLog::FrameState::kSuperseded:
        return RowSource::kWalSuperseded;
    case CWalLog::FrameState::kUncommitted:
        return RowSource::kWalUncommitted;
    case CWalLog::FrameState::kStale:
        return RowSource::kWalStale;
    default:
        return RowSource::kWalInvalid;
    }
}

RowSource SourceOf(const RecoveredRecord& record, const CWalLog* log)
{
    const std::string_view source = record.source;
    if (source == "freeblock")
        return RowSource::kFreeblock;
    if (source == "unallocated")
        return RowSource::kUnallocated;
    if (source == "freelist")
        return RowSource::kFreelist;
    if (source == "journal")
        return RowSource::kJournal;
    return LogSource(record, log);
}

std::string_view Number(std::uint64_t value, CTableRows::Scratch& scratch)
{
    const auto result = std::to_chars(scratch, scratch + sizeof scratch, value);
    return {scratch, static_cast<std::size_t>(result.ptr - scratch)};
}

}  // namespace

std::u16string_view RowSourceText(RowSource source)
{
    switch (source) {
    case RowSource::kLive: return u"";
    case RowSource::kFreeblock: return u"空闲块";
    case RowSource::kUnallocated: return u"未分配空间";
    case RowSource::kFreelist: return u"空闲页";
    case RowSource::kWalSuperseded: return u"WAL已被替代";
    case RowSource::kWalUncommitted: return u"WAL未提交";
    case RowSource::kWalStale: return u"WAL盐值过期";
    case RowSource::kWalInvalid: return u"WAL无效帧";
    case RowSource::kMainFile: return u"主文件旧版本";
    case RowSource::kJournal: return u"回滚日志";
    }
    return u"";
}

std::u16string_view CTableRows::ExtraCaption(int extra)
{
    static constexpr std::u16string_view kCaptions[kExtraColumns] = {u"状态", u"页", u"偏移", u"帧"};
    return extra >= 0 && extra < kExtraColumns ? kCaptions[extra] : std::u16string_view();
}

void CTableRows::Clear()
{
    m_recovered.clear();
    m_pageFrames.clear();
}

void CTableRows::Recover(DbInfo& db, const TableInfo& table, HWND logWnd)
{
    Clear();
    m_columns = table.columns.size();
    if (db.pageSize == 0)
        return;
    // The log is read again here for the state of each frame: the open
    // kept only its counts.
    CWalLog log;
    bool haveLog = false;
    if (db.withWal && db.log.found) {
        CSourceFile file;
        haveLog = file.Open(db.OpenName() + "-wal") && log.Read(file, nullptr);
    }
    if (haveLog)
        for (const CWalLog::Frame& frame : log.Frames())
            if (frame.state == CWalLog::FrameState::kApplied)
                m_pageFrames[frame.pageNumber] = frame.index;

    // A parser of its own: the recoverer reads live tables through it,
    // which would empty the rows the window's parser holds.
    CSqliteParser parser;
    parser.m_hLogWnd = logWnd;
    parser.m_bUseWal = db.withWal;
    CRecordRecoverer recoverer(parser, db);
    CTableSink sink(*this, haveLog ? &log : nullptr);
    recoverer.Run(table.name, sink);
}

void CTableRows::Add(const RecoveredRecord& record, const CWalLog* log)
{
    Recovered row;
    row.source = SourceOf(record, log);
    row.page = record.page;
    row.offset = record.offset;
    row.end = record.end;
    row.frame = record.frame;
    const std::size_t count = std::max(m_columns, record.values.size());
    row.ends.reserve(count);
    row.lost.assign(count, false);
    for (std::size_t i = 0; i < record.values.size(); ++i) {
        if (record.values[i])
            row.texts += WideToUtf8(*record.values[i]);
        else
            row.lost[i] = true;
        row.ends.push_back(static_cast<std::uint32_t>(row.texts.size()));
    }
    m_recovered.push_back(std::move(row));
}

std::size_t CTableRows::LiveCount() const
{
    return m_parser.m_rows.size();
}

std::uint32_t CTableRows::Page(std::size_t row) const
{
    if (IsRecovered(row))
        return row - LiveCount() < m_recovered.size() ? m_recovered[row - LiveCount()].page : 0;
    return row < m_parser.m_rowCells.size() ? m_parser.m_rowCells[row].page : 0;
}

std::uint64_t CTableRows::Offset(std::size_t row) const
{
    if (IsRecovered(row))
        return row - LiveCount() < m_recovered.size() ? m_recovered[row - LiveCount()].offset : 0;
    return row < m_parser.m_rowCells.size() ? m_parser.m_rowCells[row].offset : 0;
}

std::optional<std::uint32_t> CTableRows::Frame(std::size_t row) const
{
    if (IsRecovered(row))
        return row - LiveCount() < m_recovered.size() ? m_recovered[row - LiveCount()].frame
                                                      : std::nullopt;
    const auto frame = m_pageFrames.find(Page(row));
    return frame != m_pageFrames.end() ? std::optional<std::uint32_t>(frame->second) : std::nullopt;
}

std::string_view CTableRows::Text(std::size_t row, int column, Scratch& scratch) const
{
    if (column < 0)
        return {};
    const std::size_t live = LiveCount();
    const std::size_t c = static_cast<std::size_t>(column);
    if (c < m_columns) {
        if (row < live) {
            const RowValues values = m_parser.m_rows[row];
            return c < values.size() ? values.Text(c, scratch) : std::string_view();
        }
        if (row - live >= m_recovered.size())
            return {};
        const Recovered& r = m_recovered[row - live];
        if (c >= r.ends.size())
            return {};
        const std::uint32_t begin = c == 0 ? 0 : r.ends[c - 1];
        return std::string_view(r.texts).substr(begin, r.ends[c] - begin);
    }
    switch (static_cast<int>(c - m_columns)) {
    case kStateColumn: {
        if (row < live || row - live >= m_recovered.size())
            return {};
        // The UTF-8 form of each state, made once.
        static const std::vector<std::string> kTexts = [] {
            std::vector<std::string> texts;
            for (int s = 0; s <= static_cast<int>(RowSource::kMainFile); ++s)
                texts.push_back(WideToUtf8(std::u16string(RowSourceText(static_cast<RowSource>(s)))));
            return texts;
        }();
        return kTexts[static_cast<std::size_t>(m_recovered[row - live].source)];
    }
    case kPageColumn:
        return Page(row) != 0 ? Number(Page(row), scratch) : std::string_view();
    case kOffsetColumn:
        return Page(row) != 0 ? Number(Offset(row), scratch) : std::string_view();
    case kFrameColumn: {
        const std::optional<std::uint32_t> frame = Frame(row);
        return frame ? Number(*frame, scratch) : std::string_view();
    }
    default:
        return {};
    }
}

bool CTableRows::IsLost(std::size_t row, int column) const
{
    const std::size_t live = LiveCount();
    if (row < live || row - live >= m_recovered.size() || column < 0)
        return false;
    const Recovered& r = m_recovered[row - live];
    return static_cast<std::size_t>(column) < r.lost.size() && r.lost[static_cast<std::size_t>(column)];
}

PageRef CTableRows::PageOf(std::size_t row) const
{
    PageRef ref;
    ref.page = Page(row);
    if (!IsRecovered(row) || row - LiveCount() >= m_recovered.size())
        return ref;
    const Recovered& r = m_recovered[row - LiveCount()];
    // A journal's page image is no page version the pane reads.
    if (r.source == RowSource::kJournal)
        ref.page = 0;
    if (r.frame) {
        ref.version = PageRef::Version::kLogFrame;
        ref.frame = *r.frame;
    } else if (r.source == RowSource::kMainFile) {
        ref.version = PageRef::Version::kMainFile;
    }
    return ref;
}

std::pair<std::uint32_t, std::uint32_t> CTableRows::Extent(std::size_t row, const CPageMap& map) const
{
    const std::uint32_t offset = static_cast<std::uint32_t>(Offset(row));
    const PageRegion* region = map.RegionAt(offset);
    if (region == nullptr || PageOf(row).page == 0)
        return {0, 0};
    if (IsRecovered(row)) {
        const std::uint32_t end = m_recovered[row - LiveCount()].end;
        const std::uint32_t size = map.Regions().empty() ? 0 : map.Regions().back().end;
        if (end > offset)
            return {offset, std::min(end, size)};
    }
    // A live row's cell, as the map lays it out from its pointer.
    return {region->start, region->end};
}

std::optional<std::size_t> CTableRows::RowAt(const PageRef& ref, std::uint32_t offset,
                                             const CPageMap& map) const
{
    const PageRegion* region = map.RegionAt(offset);
    if (region == nullptr)
        return std::nullopt;
    if (ref.version == PageRef::Version::kShown && region->kind == PageRegionKind::kCell) {
        const std::size_t row = region->start <= UINT16_MAX
                                    ? m_parser.m_rowCells.Find(ref.page, static_cast<std::uint16_t>(region->start))
                                    : m_parser.m_rowCells.size();
        if (row < std::min(m_parser.m_rowCells.size(), LiveCount()))
            return row;
    }
    for (std::size_t i = 0; i < m_recovered.size(); ++i) {
        const std::size_t row = LiveCount() + i;
        const Recovered& r = m_recovered[i];
        if (r.page != ref.page || !(PageOf(row) == ref))
            continue;
        const auto [start, end] = Extent(row, map);
        if (offset >= start && offset < end)
            return row;
    }
    return std::nullopt;
}
