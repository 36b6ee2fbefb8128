// Saves the rows of a list as CSV or JSON Lines: the display texts of every
// column under the list's headings, all rows or only the checked ones (the
// check box in column 0), in the order the list shows them.
#pragma once

#include <QString>
#include <functional>

#include "engine/RowExport.h"
#include "platform/WindowMessage.h"

class QAbstractItemModel;
class QMenu;
class QWidget;

class CModelExport {
public:
    // The number of rows written, or -1 when the file cannot be written.
    // CSV values that a spreadsheet would run as formulas get a leading
    // apostrophe unless `rawCsv` is set.
    static long long Write(const QAbstractItemModel& model, const QString& path,
                           CRowExport::Format format, bool checkedOnly, bool rawCsv = false);
    // The save dialog: the chosen path (empty when cancelled); for CSV with
    // a check box for raw values, whose state goes to `rawCsv`. The tests
    // replace it.
    static std::function<QString(QWidget* owner, const QString& title, bool csv, bool& rawCsv)> s_askPath;
    // Adds "导出CSV(全部)" and "导出CSV(已勾选)" to `menu`, and with
    // `jsonLines` the same two for JSON Lines. Each asks `owner` for a file,
    // writes the rows and logs the outcome to `hLogWnd`.
    static void AddMenuItems(QMenu& menu, QWidget* owner, const QAbstractItemModel& model,
                             bool jsonLines, HWND hLogWnd);
};
