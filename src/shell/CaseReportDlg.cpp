#include "CaseReportDlg.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>

#include "ChildFrame.h"
#include "MainFrame.h"
#include "OutputWnd.h"
#include "ResourceIds.h"
#include "SalvixLeftTreeCtrl.h"
#include "SalvixRightView.h"
#include "ScanFileDlg.h"
#include "driver/EvidenceFiles.h"
#include "engine/Globals.h"

namespace {

// The checked rows of a list, under its column headings.
ReportGrid CheckedRows(const std::u16string& title, const QAbstractItemModel& model)
{
    ReportGrid grid{title, {}, {}};
    const int columns = model.columnCount();
    for (int column = 0; column < columns; ++column)
        grid.headings.push_back(model.headerData(column, Qt::Horizontal).toString().toStdU16String());
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.index(row, 0).data(Qt::CheckStateRole).toInt() != Qt::Checked)
            continue;
        std::vector<std::u16string> values;
        for (int column = 0; column < columns; ++column)
            values.push_back(model.index(row, column).data().toString().toStdU16String());
        grid.rows.push_back(std::move(values));
    }
    return grid;
}

// Every file examined so far: the open databases' files and the source of
// the last scan.
QStringList ExaminedFiles()
{
    QStringList files;
    for (const DbInfo& db : g_dbList)
        for (const std::string& name : EvidenceFileNames(db))
            files << QFile::decodeName(QByteArray::fromStdString(name));
    if (const CCaseReport::Scan* scan = CScanFileDlg::LastScan())
        files << QString::fromStdU16String(scan->source.path);
    return files;
}

// Never an examined file; its folder only when the examiner confirms.
bool PlaceAllowed(QWidget* parent, const QString& path)
{
    const QFileInfo target(path);
    const QString folder = target.absoluteDir().canonicalPath();
    bool inEvidenceFolder = false;
    for (const QString& file : ExaminedFiles()) {
        const QFileInfo examined(file);
        if (target.exists() && examined.canonicalFilePath() == target.canonicalFilePath()) {
            QMessageBox::warning(parent, QString::fromUtf16(u"生成报告"),
                                 QString::fromUtf16(u"不能用报告覆盖检材: ") + path);
            return false;
        }
        inEvidenceFolder = inEvidenceFolder || examined.absoluteDir().canonicalPath() == folder;
    }
    return !inEvidenceFolder || CCaseReportDlg::s_confirmEvidenceFolder(parent, folder);
}

void AddWindows(CCaseReport& report, CMainFrame& frame)
{
    for (QMdiSubWindow* window : frame.MdiArea()->subWindowList()) {
        auto* child = dynamic_cast<CChildFrame*>(window->widget());
        if (child == nullptr || child->RightView() == nullptr || !child->RightView()->IsRecordList())
            continue;
        const CJobContext& job = *child->LeftTree()->Job();
        std::u16string title = window->windowTitle().toStdU16String();
        if (job.m_pSelDb != nullptr)
            title = job.m_pSelDb->path + u": " + title;
        ReportGrid grid = CheckedRows(title, *child->RightView()->Records());
        if (!grid.rows.empty())
            report.AddCheckedRecords(std::move(grid));
    }
    if (const CCaseReport::Scan* scan = CScanFileDlg::LastScan())
        report.AddScan(*scan);
    // The log as the pane shows it: caption, then time and text; warnings
    // and errors known by their colour.
    TFColorListCtrl* log = frame.OutputWnd() != nullptr ? frame.OutputWnd()->List() : nullptr;
    for (int row = 0; log != nullptr && row < frame.OutputWnd()->LogCount(); ++row) {
        std::uint8_t type = kLogInfo;
        for (const std::uint8_t kind : {kLogWarning, kLogError}) {
            COLORREF color = 0;
            if (COutputWnd::ColorOfType(kind, color) && log->GetItemTextColor(row, 0) == color)
                type = kind;
        }
        report.AddLogLine({type, log->GetItemText(row, 0).toStdU16String(),
                           (log->GetItemText(row, 1) + QStringLiteral("  ") + log->GetItemText(row, 2))
                               .toStdU16String()});
    }
}

}  // namespace

std::function<bool(QWidget*, CCaseReportDlg::Request&)> CCaseReportDlg::s_ask =
    [](QWidget* parent, Request& request) {
        CCaseReportDlg dialog(parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        request.examiner = dialog.Examiner();
        request.caseId = dialog.CaseId();
        request.path = QFileDialog::getSaveFileName(parent, QString::fromUtf16(u"生成报告"),
                                                    QDir::home().filePath(QStringLiteral("report.html")),
                                                    QStringLiteral("HTML (*.html)"));
        return !request.path.isEmpty();
    };

std::function<bool(QWidget*, const QString&)> CCaseReportDlg::s_confirmEvidenceFolder =
    [](QWidget* parent, const QString& folder) {
        return QMessageBox::question(parent, QString::fromUtf16(u"生成报告"),
                                     QString::fromUtf16(u"报告将写入检材所在的文件夹 %1, 是否继续?").arg(folder)) ==
               QMessageBox::Yes;
    };

void CCaseReportDlg::Run(CSalvixLeftTreeCtrl& tree)
{
    if (g_bBusy != 0 || tree.m_pMainFrame == nullptr) {
        tree.StartCaseReport(nullptr, {});  // logs the busy warning
        return;
    }
    Request request;
    if (!s_ask(tree.m_pMainFrame, request) || !PlaceAllowed(tree.m_pMainFrame, request.path))
        return;
    auto report = std::make_shared<CCaseReport>();
    report->m_examiner = request.examiner;
    report->m_caseId = request.caseId;
    AddWindows(*report, *tree.m_pMainFrame);
    tree.StartCaseReport(std::move(report), QFile::encodeName(request.path).toStdString());
}

CCaseReportDlg::CCaseReportDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QString::fromUtf16(u"生成报告"));
    auto* form = new QFormLayout(this);
    m_examiner = new QLineEdit(this);
    m_case = new QLineEdit(this);
    form->addRow(QString::fromUtf16(u"检验人:"), m_examiner);
    form->addRow(QString::fromUtf16(u"案件编号:"), m_case);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setMinimumWidth(360);
}

std::u16string CCaseReportDlg::Examiner() const
{
    return m_examiner->text().toStdU16String();
}

std::u16string CCaseReportDlg::CaseId() const
{
    return m_case->text().toStdU16String();
}
