#include "QtMessageTarget.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

CQtMessageTarget::CQtMessageTarget(QObject* owner) : m_owner(owner) {}

void CQtMessageTarget::RunOnOwnerThread(const std::function<void()>& call)
{
    QObject* owner = m_owner.data();
    if (owner == nullptr)
        return;  // the window is gone: the message has no receiver
    // A blocking queued call from the owner's own thread would deadlock;
    // this only happens if the owner was moved to the sender's thread.
    if (owner->thread() == QThread::currentThread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(owner, [&call] { call(); }, Qt::BlockingQueuedConnection);
}
