#include "WindowMessage.h"

#include "MessageLoop.h"

CMessageTarget::CMessageTarget() : m_ownerThread(std::this_thread::get_id()) {}

CMessageTarget::~CMessageTarget() = default;

void CMessageTarget::RunOnOwnerThread(const std::function<void()>& call)
{
    CMessageLoop::ForThread(m_ownerThread).Invoke(call);
}

LRESULT SendMessageW(HWND target, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (target == nullptr)
        return 0;
    if (std::this_thread::get_id() == target->OwnerThread())
        return target->WindowProc(message, wParam, lParam);
    LRESULT result = 0;
    target->RunOnOwnerThread([&] { result = target->WindowProc(message, wParam, lParam); });
    return result;
}
