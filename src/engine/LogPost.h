// Log lines: the record a sender fills and the synchronous message that
// carries it to the log window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/WindowMessage.h"

// Window message 32700: wParam is the address of a LogMessage, lParam 0.
constexpr UINT WM_LOG_MESSAGE = 0x7FBC;

enum LogType : std::uint8_t { kLogInfo = 0, kLogUnused = 1, kLogWarning = 2, kLogError = 3 };

struct LogMessage {
    std::uint8_t type = 0;
    std::u16string caption;
    std::u16string text;
};

// Sends one log line and returns once the receiver has handled it.
void PostLog(HWND target, std::u16string_view caption, std::u16string_view text,
             std::uint8_t type);
// "打开/创建设备%s失败" with the path.
void PostOpenError(HWND target, std::u16string_view caption, std::u16string_view path,
                   std::uint8_t type);
// "读取设备%s,位置%I64d失败" with the path and the position.
void PostReadError(HWND target, std::u16string_view caption, std::u16string_view path,
                   std::uint8_t type, std::int64_t position);
