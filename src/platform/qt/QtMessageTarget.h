// Qt binding of the window-message target: a target that belongs to a QObject
// and has calls from other threads run on that object's thread.
#pragma once

#include <QPointer>

#include "platform/WindowMessage.h"

class QObject;

// Mixed into a QObject-derived window (pass the window itself). A worker's
// SendMessageW is queued to the window's thread with a blocking queued call,
// so the worker waits until the handler has run, as with a window message.
// The owner thread never waits here: SendMessageW calls the handler directly
// when the sender is the owner.
class CQtMessageTarget : public CMessageTarget {
public:
    explicit CQtMessageTarget(QObject* owner);

    void RunOnOwnerThread(const std::function<void()>& call) override;

private:
    QPointer<QObject> m_owner;
};
