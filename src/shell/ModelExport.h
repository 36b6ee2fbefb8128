// Saves the rows of a list as CSV or JSON Lines: the display texts of every
// column under the list's headings, all rows or only the checked ones (the
// check box in column 0), in the order the list shows them.
#pragma once

#include <QString>

#include "engine/RowExport.h"
#include "platform/WindowMessage.h"

class QAbstractItemModel;
class QMenu;
class QWidget;

class CModelExport {
public:
    // The number of rows written, or -1 when the file cannot be written.
    static long long Write(const QAbstractItemModel& model, const QString& path,
                           CRowExport::Format format, bool checkedOnly);
    // Adds "导出CSV(全部)" and "导出CSV(已勾选)" to `menu`, and with
    // `jsonLines` the same two for JSON Lines. Each asks `owner` for a file,
    // writes the rows and logs the outcome to `hLogWnd`.
    static void AddMenuItems(QMenu& menu, QWidget* owner, const QAbstractItemModel& model,
                             bool jsonLines, HWND hLogWnd);
};
