// Saves the rows of a list as CSV or JSON Lines: the display texts of every
// column under the list's headings, all rows or only the checked ones (the
// check box in column 0), in the order the list shows them.
#pragma once

#include <QString>

#include "engine/RowExport.h"

class QAbstractItemModel;

class CModelExport {
public:
    // False when the file cannot be written.
    static bool Write(const QAbstractItemModel& model, const QString& path, CRowExport::Format format,
                      bool checkedOnly);
};
