// The log pane: a bottom dock captioned "输出" whose three-column list
// shows one coloured row per log line. Engine workers reach it with
// SendMessageW(WM_LOG_MESSAGE); the row is added on the user-interface
// thread while the worker waits.
#pragma once

#include <QDockWidget>
#include <memory>

#include "TFColorListCtrl.h"
#include "engine/LogPost.h"
#include "platform/qt/QtMessageTarget.h"

class QMenu;

class COutputWnd : public QDockWidget, public CQtMessageTarget {
    Q_OBJECT
public:
    // The whole log, banner included, is dropped when it reaches this many rows.
    static constexpr int kMaxLogRows = 1500;

    explicit COutputWnd(QWidget* parent = nullptr);

    // The handle senders address: the engine keeps it as m_hLogWnd.
    HWND GetLogWnd() { return this; }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    TFColorListCtrl* List() { return m_wndOutput; }
    int LogCount() const { return m_nLogCount; }

    // Text colour of a log type; false for codes without one.
    static bool ColorOfType(std::uint8_t type, COLORREF& color);
    // Local time now, "%Y-%m-%d %H:%M:%S"; empty if it cannot be formatted.
    static QString CurrentTimeText();

    void OnClearLog();
    void OnSaveLog();
    // Writes the rows as UTF-16LE with a byte-order mark, one
    // "caption\ttime\ttext\r\n" line per row. False if the file cannot be
    // created.
    bool SaveLogTo(const QString& path) const;
    // The popup of the list: null when no row is selected.
    std::unique_ptr<QMenu> CreateLogMenu();
    // Sets the column widths for a pane client width of `cx`.
    void AdjustColumns(int cx);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LRESULT OnLogMessage(const LogMessage& message);
    void OnListRightClick(const QPoint& pos);
    void AddBanner();

    TFColorListCtrl* m_wndOutput = nullptr;
    int m_nLogCount = 0;  // index of the next row; equals the row count
};
