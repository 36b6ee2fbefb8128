#include "JobRelay.h"

#include <QThread>

#include "SalvixLeftTreeCtrl.h"
#include "driver/JobContext.h"

CJobRelay::CJobRelay(CSalvixLeftTreeCtrl* tree) : CQtMessageTarget(this), m_tree(tree) {}

std::shared_ptr<CMessageTarget> CJobRelay::Create(CSalvixLeftTreeCtrl* tree)
{
    return std::shared_ptr<CMessageTarget>(new CJobRelay(tree), [](CMessageTarget* target) {
        auto* relay = static_cast<CJobRelay*>(target);
        if (QThread::currentThread() == relay->thread())
            delete relay;
        else
            relay->deleteLater();  // a worker let go last
    });
}

LRESULT CJobRelay::WindowProc(UINT message, WPARAM wParam, LPARAM)
{
    // Runs on the window thread, so the window is either whole or gone.
    if (message != WM_JOB_VIEW || wParam == 0 || m_tree.isNull())
        return 0;
    m_tree->OnJobView(*reinterpret_cast<const JobViewCall*>(wParam));
    return 1;
}
