#include "LogPost.h"

#include "platform/WideFormat.h"

void PostLog(HWND target, std::u16string_view caption, std::u16string_view text,
             std::uint8_t type)
{
    LogMessage message;
    message.caption = caption;
    message.text = text;
    message.type = type;
    SendMessageW(target, WM_LOG_MESSAGE, reinterpret_cast<WPARAM>(&message), 0);
}

void PostOpenError(HWND target, std::u16string_view caption, std::u16string_view path,
                   std::uint8_t type)
{
    PostLog(target, caption, WideFormat(u"打开/创建设备%s失败", {path}), type);
}

void PostReadError(HWND target, std::u16string_view caption, std::u16string_view path,
                   std::uint8_t type, std::int64_t position)
{
    PostLog(target, caption, WideFormat(u"读取设备%s,位置%I64d失败", {path, position}), type);
}
