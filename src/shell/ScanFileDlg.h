// The "扫描文件" dialog: picks a raw source file (a database, a disk
// image), scans it on a worker thread for pictures, movies or SQLite
// databases, and lists every hit with its byte offset.
//
// The worker reaches the dialog only through SendMessageW (progress range
// and position, results, and its end). The dialog carves with an engine
// object of its own, so nothing the worker uses can go away while it runs:
// Escape and the close box request a stop and close the dialog only once
// the worker has ended; "取消" requests a stop and keeps the dialog open.
#pragma once

#include <QDialog>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "driver/CaseReport.h"
#include "engine/SqliteParser.h"
#include "platform/qt/QtMessageTarget.h"

class CScanResultModel;
class QComboBox;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;
class QUrl;

class CScanFileDlg : public QDialog, public CQtMessageTarget {
    Q_OBJECT
public:
    enum Mode { kPictures = 0, kMovies = 1, kDatabases = 2 };

    // Control numbers and the commands of the result menu.
    static constexpr UINT IDC_RESULT_LIST = 1039;
    static constexpr UINT ID_CHECK_SELECTED = 32774;
    static constexpr UINT ID_CHECK_ALL_ROWS = 32786;
    static constexpr UINT ID_UNCHECK_SELECTED = 32775;
    static constexpr UINT ID_UNCHECK_ALL_ROWS = 32789;
    static constexpr UINT ID_OPEN_DATABASE = 32902;
    // Sent by the worker once the carver has returned.
    static constexpr UINT WM_SCAN_DONE = 0x0401;

    // `hLogWnd`: the log pane that receives the dialog's log lines.
    explicit CScanFileDlg(HWND hLogWnd, QWidget* parent = nullptr);
    ~CScanFileDlg() override;

    // Set by the opener before the dialog is shown.
    std::u16string m_strSourcePath;
    std::int32_t m_nMode = kPictures;
    // Opens a database file written out of the source (the opener's open
    // command); unset, the result menu offers no open.
    std::function<void(const QString& path)> m_openDatabase;

    // Shows the dialog modally on `path` in `mode`; with `startScan` the
    // scan starts at once, as if "扫描" had been pressed. Returns when the
    // dialog has closed.
    static void Run(HWND hLogWnd, QWidget* parent, const std::u16string& path, std::int32_t mode,
                    bool startScan, std::function<void(const QString&)> openDatabase = {});

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The source and hits of the last scan that ran to its end in any scan
    // dialog, for the case report; null before the first.
    static const CCaseReport::Scan* LastScan();

    void OnScan();
    void OnStop();
    void OnCancel();
    void OnChooseSource();
    void OnChooseTarget();
    // The folder browser's outcome: cancelled (`accepted` false), a folder
    // without a file-system path, or a path.
    void ApplyChosenTarget(bool accepted, const QUrl& folder);
    void OnCommand(UINT nID);
    // Writes the rows (all, or the checked ones) as CSV; false on failure.
    bool ExportResults(const QString& path, bool checkedOnly);
    // Writes the database hit at `row` into the target folder and opens it.
    void OpenDatabaseAt(int row);

    bool IsScanning() const { return m_bScanning; }
    std::int32_t ResultCount() const { return m_nResultCount; }
    CScanResultModel* ResultModel() { return m_model; }
    QTableView* ResultList() { return m_wndResultList; }
    QProgressBar* Progress() { return m_wndProgress; }
    QPushButton* ScanButton() { return m_btnScan; }
    QLineEdit* SourceEdit() { return m_editSource; }
    QLineEdit* TargetEdit() { return m_editTarget; }
    QComboBox* KindBox() { return m_comboKind; }
    // The result menu for a right click on `row`; null when no row was hit.
    std::unique_ptr<QMenu> CreateResultMenu(int row);

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ScanThread();
    void OnScanDone();
    void JoinWorker();
    void AdjustColumns();
    void OnResultListRightClick(const QPoint& pos);

    HWND m_hLogWnd;
    QPointer<QObject> m_logGuard;  // the log pane, when it is a window
    bool m_bLogIsWindow = false;
    bool m_bShownOnce = false;
    std::u16string m_strScannedPath;  // the source of the last scan
    EvidenceHash m_sourceHash;        // its hashes, taken once the scan has read it
    CSqliteParser m_parser;  // the carvers' targets: this dialog and the log
    std::int32_t m_nResultCount = 0;
    std::int32_t m_nScanMode = kPictures;  // the kind being scanned
    std::uint32_t m_nRangeScale = 1;       // chunk counts past INT_MAX are scaled
    bool m_bScanning = false;
    bool m_bCloseWhenDone = false;
    std::thread m_worker;

    CScanResultModel* m_model = nullptr;
    QTableView* m_wndResultList = nullptr;
    QProgressBar* m_wndProgress = nullptr;
    QLineEdit* m_editSource = nullptr;
    QLineEdit* m_editTarget = nullptr;
    QLineEdit* m_editSize = nullptr;
    QComboBox* m_comboKind = nullptr;
    QPushButton* m_btnScan = nullptr;
    QPushButton* m_btnStop = nullptr;
    QPushButton* m_btnCancel = nullptr;
    QTimer* m_flushTimer = nullptr;
};
