// The page pane under a record list or a frame list: the page a selected
// record or frame lies in, read through the engine (CPageReader), with a
// title naming the page, its kind and the version shown, a key to the
// region colours, and the bytes (CPageHexView). A page is read only when
// the selection moves to another page or version; a selection on the same
// page only moves the highlight.
#pragma once

#include <QWidget>
#include <cstdint>
#include <utility>

#include "driver/PageReader.h"
#include "platform/WindowMessage.h"

class CPageHexView;
class QLabel;

class CPagePane : public QWidget {
    Q_OBJECT
public:
    explicit CPagePane(QWidget* parent = nullptr);

    // The database pages are read from (its facts are copied); null
    // forgets it. Faults go to `logWnd`.
    void SetDatabase(const DbInfo* db, HWND logWnd);
    // Shows `ref` (read again only when it is not the page shown), with
    // nothing highlighted until Highlight. False when it cannot be read.
    bool ShowPage(const PageRef& ref);
    // Highlights bytes [range.first, range.second); an empty range none.
    void Highlight(std::pair<std::uint32_t, std::uint32_t> range);
    bool HasPage() const { return !m_reader.Bytes().empty(); }
    const CPageReader& Reader() const { return m_reader; }
    CPageHexView* HexView() const { return m_hex; }
    QString Title() const;

signals:
    // A byte of the page was clicked: its offset in the page.
    void ByteClicked(quint32 offset);

private:
    void ShowNothing(const QString& hint);
    QWidget* CreateLegend();

    CPageReader m_reader;
    QLabel* m_title = nullptr;
    CPageHexView* m_hex = nullptr;
};
