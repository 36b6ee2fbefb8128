// The "WAL帧" window: every frame of one database's write-ahead log with
// its index, page, the table owning that page, commit size, salts, whether
// its checksum holds and its state. Selecting a frame tells FrameSelected
// and shows the page the frame holds, read from the log, in the page pane
// under the list.
#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <cstdint>

#include "driver/LogFrames.h"
#include "platform/WindowMessage.h"

class CMainFrame;
class CPagePane;
class QTableView;

class CLogFramesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kIndex, kPage, kOwner, kCommitSize, kSalt1, kSalt2, kChecksum, kState, kColumns };

    CLogFramesModel(CLogFrames frames, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    const CLogFrames& Frames() const { return m_frames; }

private:
    CLogFrames m_frames;
};

class CLogFramesWnd : public QWidget {
    Q_OBJECT
public:
    // Shows the frames in a window of their own beside `frame` (one per
    // database: a second call for the same database replaces its rows).
    static CLogFramesWnd* Show(CMainFrame* frame, const CLogFrames& frames);

    // Faults of the page pane go to `logWnd`.
    CLogFramesWnd(const CLogFrames& frames, QWidget* parent = nullptr, HWND logWnd = nullptr);

    QTableView* List() const { return m_list; }
    CLogFramesModel* Model() const { return m_model; }
    CPagePane* PagePane() const { return m_pagePane; }
    // The database whose log is listed, as its item shows it.
    QString DbPath() const;
    // Selects the frame in row `row` (0-based, file order), as a click would.
    void SelectFrame(int row);

signals:
    // A frame was selected: its 1-based index, its page number and where
    // that page starts in the log file ("DbPath()-wal").
    void FrameSelected(quint32 frameIndex, quint32 pageNumber, quint64 pageOffset);

private:
    void SetFrames(const CLogFrames& frames);
    void OnCurrentChanged(const QModelIndex& current);

    QTableView* m_list = nullptr;
    CLogFramesModel* m_model = nullptr;
    CPagePane* m_pagePane = nullptr;
    HWND m_logWnd = nullptr;
};
