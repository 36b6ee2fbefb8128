#include "DesktopFixture.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include "ResourceIds.h"
#include "driver/JobControl.h"

void CDesktopFixture::CreateFrame()
{
    m_frame = std::make_unique<CMainFrame>();
    m_nDocCount = 0;
    if (!m_frame->Create(false)) {
        m_frame.reset();
        return;
    }
    m_frame->SetAppCommandHandler([this](UINT nID) {
        return nID == ID_FILE_NEW && CChildFrame::NewDocument(*m_frame, m_nDocCount) != nullptr;
    });
}

bool CDesktopFixture::StartFrame()
{
    CreateFrame();
    return m_frame != nullptr && CChildFrame::NewDocument(*m_frame, m_nDocCount) != nullptr;
}

void CDesktopFixture::WaitIdle()
{
    QTRY_VERIFY_WITH_TIMEOUT(CJobControl::RunningWorkers() == 0, 20000);
}

CChildFrame* CDesktopFixture::Child(int index) const
{
    QMdiSubWindow* window = m_frame->MdiArea()->subWindowList().value(index);
    return window != nullptr ? dynamic_cast<CChildFrame*>(window->widget()) : nullptr;
}
