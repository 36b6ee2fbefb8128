// The target a worker sends its view steps to. It belongs to the job
// context, not to the window, so a worker never sends to a window that is
// gone: once the window has closed, the relay drops the steps.
#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

#include "platform/qt/QtMessageTarget.h"

class CSalvixLeftTreeCtrl;

class CJobRelay : public QObject, public CQtMessageTarget {
    Q_OBJECT
public:
    // A relay for `tree`, owned through the returned pointer and deleted on
    // the window thread whichever thread lets it go.
    static std::shared_ptr<CMessageTarget> Create(CSalvixLeftTreeCtrl* tree);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    explicit CJobRelay(CSalvixLeftTreeCtrl* tree);

    QPointer<CSalvixLeftTreeCtrl> m_tree;
};
