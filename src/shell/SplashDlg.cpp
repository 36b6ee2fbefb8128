#include "SplashDlg.h"

#include <QLabel>
#include <QPixmap>
#include <QTimerEvent>
#include <chrono>
#include <thread>

#include "ResourceIds.h"
#include "platform/ThreadStart.h"

CSplashDlg::CSplashDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setFixedSize(350, 250);
    auto* picture = new QLabel(this);
    picture->setGeometry(0, 0, 350, 250);
    picture->setPixmap(QPixmap(QStringLiteral(SALVIX_RES_SPLASH)));
}

void CSplashDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_bInitialized) {
        m_bInitialized = true;
        OnInitDialog();
    }
}

void CSplashDlg::OnInitDialog()
{
    m_ready->store(0);
    StartDetachedThread([ready = m_ready] {
        std::this_thread::sleep_for(std::chrono::milliseconds(kArmDelayMs));
        ready->store(1);
    });
    // Precise: a coarse timer may fire up to 5% early.
    m_nTimerId = startTimer(kClosePeriodMs, Qt::PreciseTimer);
}

void CSplashDlg::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_nTimerId && m_ready->load() == 1) {
        killTimer(m_nTimerId);
        m_nTimerId = 0;
        accept();
    }
    QDialog::timerEvent(event);
}
