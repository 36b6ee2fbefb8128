// Reads one page of a database for the page pane of a window and lays it
// out: the page as the database is shown (the log's committed pages laid
// over the file when it was opened with its log), the main file's own
// version of it, or the version one frame of the log holds. Every read goes
// through the engine's read-only sources; the map is the engine's CPageMap
// with the page's role from CPageRoles.
//
// The sources are opened at the first read and kept for the next ones, so
// a selection costs one page read and one layout.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/DbInfo.h"
#include "engine/SourceFile.h"
#include "platform/WindowMessage.h"
#include "records/PageMap.h"

class CPageRoles;
class CSqliteParser;

// Which version of which page.
struct PageRef {
    enum class Version : std::uint8_t {
        kShown,     // as the database is shown
        kMainFile,  // the main file's bytes, past any log
        kLogFrame,  // the page frame `frame` of the log holds
    };
    std::uint32_t page = 0;
    Version version = Version::kShown;
    std::uint32_t frame = 0;  // 1-based, for kLogFrame

    bool operator==(const PageRef&) const = default;
};

// The file facts of `db` that reading its pages needs: names, page size,
// reserved bytes, text encoding, and whether its log and journal were laid
// over it; no tables.
DbInfo DbFileFacts(const DbInfo& db);

class CPageReader {
public:
    CPageReader();
    ~CPageReader();
    CPageReader(const CPageReader&) = delete;
    CPageReader& operator=(const CPageReader&) = delete;

    // The database later reads come from: its file facts are copied, the
    // sources of an earlier one closed. Faults go to `logWnd`.
    void Attach(const DbInfo& db, HWND logWnd);
    void Detach();
    bool IsAttached() const { return m_db.pageSize != 0; }

    // Reads and lays out `ref`; false (with a log line) when the database
    // has no such page or the log no such frame.
    bool Read(const PageRef& ref);

    const PageRef& Ref() const { return m_ref; }
    const std::vector<std::uint8_t>& Bytes() const { return m_page; }
    const CPageMap& Map() const { return m_map; }

    // "页 N · 表叶子页 · 主文件" and so on, for the page read last.
    std::u16string Title() const;

private:
    bool Open();
    bool ReadShown(std::uint32_t pageNumber);
    bool ReadMainFile(std::uint32_t pageNumber);
    bool ReadLogFrame(std::uint32_t pageNumber, std::uint32_t frame);
    void Fault(const std::u16string& text) const;

    DbInfo m_db;
    HWND m_logWnd = nullptr;
    std::unique_ptr<CSqliteParser> m_parser;
    std::unique_ptr<CPageRoles> m_roles;
    bool m_opened = false;
    CSourceFile m_log;
    std::uint32_t m_logPageSize = 0;  // from the log header, 0 when not read
    bool m_logTried = false;

    PageRef m_ref;
    std::vector<std::uint8_t> m_page;
    CPageMap m_map;
};
