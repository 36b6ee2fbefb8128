#include "OutputWnd.h"

#include <QCursor>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QResizeEvent>
#include <ctime>
#include <iterator>

#include "ResourceIds.h"

namespace {

constexpr int kListId = 4;

}  // namespace

COutputWnd::COutputWnd(QWidget* parent) : QDockWidget(parent), CQtMessageTarget(this)
{
    setObjectName(QStringLiteral("OutputWnd"));
    setWindowTitle(QString::fromUtf16(SALVIX_TEXT_OUTPUT_WND));
    // Resizable only: neither closed nor floated nor moved.
    setFeatures(QDockWidget::NoDockWidgetFeatures);
    setAllowedAreas(Qt::AllDockWidgetAreas);

    m_wndOutput = new TFColorListCtrl(this);
    m_wndOutput->setObjectName(QStringLiteral("OutputList%1").arg(kListId));
    // Borderless, so the columns (a quarter, a quarter, a half of the
    // pane) fill the list exactly.
    m_wndOutput->setFrameShape(QFrame::NoFrame);
    m_wndOutput->InsertColumn(QString::fromUtf16(u"类型"));
    m_wndOutput->InsertColumn(QString::fromUtf16(u"日期"));
    m_wndOutput->InsertColumn(QString::fromUtf16(u"提示"));
    m_wndOutput->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_wndOutput, &QWidget::customContextMenuRequested, this,
            &COutputWnd::OnListRightClick);
    m_wndOutput->installEventFilter(this);
    setWidget(m_wndOutput);
    AddBanner();
}

void COutputWnd::AddBanner()
{
    m_wndOutput->InsertRow(m_nLogCount, QString::fromUtf16(SALVIX_TEXT_APP_TITLE));
    m_wndOutput->SetItemText(m_nLogCount, 1, CurrentTimeText());
    m_wndOutput->SetItemText(m_nLogCount, 2, QString::fromUtf16(u"Quorvel软件手机恢复版本"));
    ++m_nLogCount;
}

bool COutputWnd::eventFilter(QObject* watched, QEvent* event)
{
    // The list fills the pane's client area, so its width is the pane's.
    if (watched == m_wndOutput && event->type() == QEvent::Resize)
        AdjustColumns(static_cast<QResizeEvent*>(event)->size().width());
    return QDockWidget::eventFilter(watched, event);
}

void COutputWnd::AdjustColumns(int cx)
{
    m_wndOutput->setColumnWidth(0, cx / 4);
    m_wndOutput->setColumnWidth(1, cx / 4);
    m_wndOutput->setColumnWidth(2, cx / 2);
}

LRESULT COutputWnd::WindowProc(UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_LOG_MESSAGE && wParam != 0)
        return OnLogMessage(*reinterpret_cast<const LogMessage*>(wParam));
    return 0;
}

bool COutputWnd::ColorOfType(std::uint8_t type, COLORREF& color)
{
    static constexpr COLORREF kTypeColors[] = {
        0x000000,  // 0 information: black
        0x00FF00,  // 1: green
        0x1441C8,  // 2 warning: red 200, green 65, blue 20
        0x0000FF,  // 3 error: red
    };
    if (type >= std::size(kTypeColors))
        return false;
    color = kTypeColors[type];
    return true;
}

QString COutputWnd::CurrentTimeText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr)
        return {};
    char buffer[128];
    const std::size_t length = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
    return QString::fromLatin1(buffer, static_cast<qsizetype>(length));
}

LRESULT COutputWnd::OnLogMessage(const LogMessage& message)
{
    // Copy everything out: the record lives on the sender's stack.
    const std::uint8_t type = message.type;
    const QString caption = QString::fromStdU16String(message.caption);
    const QString text = QString::fromStdU16String(message.text);

    m_wndOutput->InsertRow(m_nLogCount, caption);
    m_wndOutput->SetItemText(m_nLogCount, 1, CurrentTimeText());
    m_wndOutput->SetItemText(m_nLogCount, 2, text);
    COLORREF color = 0;
    if (ColorOfType(type, color)) {
        for (int column = 0; column < 3; ++column)
            m_wndOutput->SetItemTextColor(m_nLogCount, column, color);
    }
    m_wndOutput->EnsureVisible(m_nLogCount);

    ++m_nLogCount;
    // Bounded log: drop everything at once rather than trimming per row.
    if (m_nLogCount >= kMaxLogRows) {
        m_wndOutput->DeleteAllRows();
        m_nLogCount = 0;
    }
    return 0;
}

std::unique_ptr<QMenu> COutputWnd::CreateLogMenu()
{
    if (!m_wndOutput->HasSelection())
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    QAction* clear = menu->addAction(QString::fromUtf16(u"清除日志"));
    clear->setData(ID_CLEAR_LOG);
    connect(clear, &QAction::triggered, this, &COutputWnd::OnClearLog);
    QAction* save = menu->addAction(QString::fromUtf16(u"保存日志"));
    save->setData(ID_SAVE_LOG);
    connect(save, &QAction::triggered, this, &COutputWnd::OnSaveLog);
    return menu;
}

void COutputWnd::OnListRightClick(const QPoint&)
{
    if (std::unique_ptr<QMenu> menu = CreateLogMenu())
        menu->exec(QCursor::pos());
}

void COutputWnd::OnClearLog()
{
    m_wndOutput->DeleteAllRows();
    m_nLogCount = 0;
}

void COutputWnd::OnSaveLog()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("log"));
    dialog.selectFile(QStringLiteral("salvix"));
    dialog.setNameFilters({QStringLiteral("Log Files (*.log)"), QStringLiteral("All Files (*)")});
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    SaveLogTo(dialog.selectedFiles().constFirst());  // a failure is silent
}

bool COutputWnd::SaveLogTo(const QString& path) const
{
    const int rows = m_wndOutput->GetItemCount();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray bytes("\xFF\xFE", 2);
    for (int row = 0; row < rows; ++row) {
        const QString line = m_wndOutput->GetItemText(row, 0) + u'\t' +
                             m_wndOutput->GetItemText(row, 1) + u'\t' +
                             m_wndOutput->GetItemText(row, 2) + QStringLiteral("\r\n");
        for (const QChar unit : line) {
            const char16_t code = unit.unicode();
            bytes.append(static_cast<char>(code & 0xFF));
            bytes.append(static_cast<char>(code >> 8));
        }
    }
    return file.write(bytes) == bytes.size();
}
