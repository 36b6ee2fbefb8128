#include "MyProgressDlg.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "PictureEx.h"
#include "ResourceIds.h"
#include "engine/Globals.h"

namespace {

// Dialog units of the window's layout, converted at 1.5 px across and
// 1.625 px down (an 8-point dialog font at 96 dpi).
QRect FromDialogUnits(int x, int y, int cx, int cy)
{
    return QRect(x * 3 / 2, y * 13 / 8, cx * 3 / 2, cy * 13 / 8);
}

constexpr COLORREF kFaceColor = 0xE1E1E1;

}  // namespace

CMyProgressDlg::CMyProgressDlg(QWidget* parent) : QDialog(parent)
{
    setModal(false);
    // A fixed-size window: its caption carries only the close button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf16(u"进度信息..."));
    setFixedSize(FromDialogUnits(0, 0, 289, 58).size());

    // Everything, the controls included, sits on one light-grey face.
    QPalette face = palette();
    const QColor grey(kFaceColor & 0xFF, (kFaceColor >> 8) & 0xFF, (kFaceColor >> 16) & 0xFF);
    face.setColor(QPalette::Window, grey);
    face.setColor(QPalette::Button, grey);
    setPalette(face);
    setAutoFillBackground(true);

    m_progress = new QProgressBar(this);
    m_progress->setGeometry(FromDialogUnits(7, 15, 238, 14));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);

    m_btnStop = new QPushButton(QString::fromUtf16(u"停止"), this);
    m_btnStop->setGeometry(FromDialogUnits(250, 15, 27, 14));
    m_btnStop->setAutoDefault(false);
    connect(m_btnStop, &QPushButton::clicked, this, &CMyProgressDlg::OnStop);

    m_message = new QLabel(this);
    m_message->setGeometry(FromDialogUnits(44, 36, 238, 15));
    m_message->setAttribute(Qt::WA_TranslucentBackground);

    m_picture = new CPictureEx(this);
    m_picture->setGeometry(FromDialogUnits(7, 31, 24, 20));
}

CMyProgressDlg::~CMyProgressDlg()
{
    m_picture->Stop();
}

void CMyProgressDlg::SetMessage(const QString& text)
{
    m_message->setText(text);
}

QString CMyProgressDlg::Message() const
{
    return m_message->text();
}

void CMyProgressDlg::SetProgress(int percent)
{
    m_progress->setValue(percent);
}

int CMyProgressDlg::Progress() const
{
    return m_progress->value();
}

void CMyProgressDlg::OnStop()
{
    // The running job polls the flag and closes this window when it ends.
    g_bStop = 1;
}

void CMyProgressDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Each time the window appears the spinner starts again from its file.
    if (!m_picture->IsThreadRunning() &&
        m_picture->Load(QStringLiteral(SALVIX_RES_SPINNER_TYPE), IDR_SPINNER_GIF))
        m_picture->Draw();
}

void CMyProgressDlg::hideEvent(QHideEvent* event)
{
    // Closing ends the animation thread before the window is gone.
    m_picture->Stop();
    QDialog::hideEvent(event);
}
