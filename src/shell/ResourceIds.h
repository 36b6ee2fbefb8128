// Command numbers, string numbers and texts of the desktop program. The
// numbers are those of the menus and toolbar, so a command keeps one number
// from the menu item or button to its handler.
#pragma once

#include <cstdint>

#include "platform/WindowMessage.h"

using COLORREF = std::uint32_t;  // 0x00BBGGRR

// Menus (resource numbers).
constexpr UINT IDR_DEVICE_MENU = 130;
constexpr UINT IDR_RECORD_MENU = 134;
constexpr UINT IDR_TAB_MENU = 137;
constexpr UINT IDR_TOOLBAR = 140;

// Commands of the device menu, the record menu and the toolbar.
constexpr UINT ID_OPEN_DATABASE = 32818;
constexpr UINT ID_CLOSE_SOURCE = 32819;
constexpr UINT ID_APP_QUIT = 32821;
constexpr UINT ID_SCAN_PICTURES = 32826;
constexpr UINT ID_SCAN_MOVIES = 32827;
constexpr UINT ID_CASE_REPORT = 32892;
constexpr UINT ID_DEVICE_HELP = 32816;
constexpr UINT ID_STOP = 32817;
constexpr UINT ID_UNCHECK_ALL = 32802;
constexpr UINT ID_CHECK_ALL = 32801;
constexpr UINT ID_RECORD_HELP = 32805;
// The record list's recovered rows, and a database's write-ahead log.
constexpr UINT ID_SHOW_RECOVERED = 32830;
constexpr UINT ID_APPLY_WAL = 32831;
constexpr UINT ID_NO_WAL = 32832;
constexpr UINT ID_LOG_FRAMES = 32833;
// The record list's own context menu: check marks of the selection or of all.
constexpr UINT ID_RECORD_CHECK_SELECTED = 32774;
constexpr UINT ID_RECORD_CHECK_ALL = 32786;
constexpr UINT ID_RECORD_UNCHECK_SELECTED = 32775;
constexpr UINT ID_RECORD_UNCHECK_ALL = 32789;
// Tab context menu.
constexpr UINT ID_CLOSE_TAB = 32780;
// Log pane popup.
constexpr UINT ID_CLEAR_LOG = 32820;
constexpr UINT ID_SAVE_LOG = 32824;
// Framework commands reached through the accelerator table.
constexpr UINT ID_FILE_NEW = 57600;
constexpr UINT ID_FILE_OPEN = 57601;
constexpr UINT ID_NEXT_PANE = 57680;
constexpr UINT ID_PREV_PANE = 57681;
// Frame dialogs.
constexpr UINT ID_WINDOW_MANAGER = 132;
constexpr UINT ID_VIEW_CUSTOMIZE = 126;

// String table.
constexpr UINT IDS_MAKER = 101;
constexpr UINT IDS_SERIES = 102;
constexpr UINT IDR_MAINFRAME = 128;
constexpr UINT IDS_OUTPUT_WND = 157;
constexpr UINT IDS_TOOLBAR_CUSTOMIZE = 125;

#define SALVIX_TEXT_MAINFRAME u"Quorvel软件科技SalvixForSqlite"
#define SALVIX_TEXT_APP_TITLE u"SalvixForSqlite"
#define SALVIX_TEXT_MAKER u"Quorvel软件科技出品 · 手机SQLite数据库取证检查工具"
#define SALVIX_TEXT_SERIES u"Salvix系列手机版本软件"
#define SALVIX_TEXT_OUTPUT_WND u"输出"
#define SALVIX_TEXT_CUSTOMIZE u"Customize..."
#define SALVIX_TEXT_DEVICE_TITLE u"Device"

// Embedded pictures (see resources/salvix.qrc).
#define SALVIX_RES_SPINNER_TYPE "GIF"
constexpr int IDR_SPINNER_GIF = 342;
#define SALVIX_RES_SPLASH ":/BITMAP/331"
#define SALVIX_RES_APP_ICON ":/ICON/128"
#define SALVIX_RES_OUTPUT_ICON ":/ICON/166"
#define SALVIX_RES_TOOLBAR_PREFIX ":/TOOLBAR/"
